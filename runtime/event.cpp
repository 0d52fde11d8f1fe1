// Event: a manual-reset kernel event owned by one object. Any thread may set,
// reset or wait for it; the kernel object does the synchronisation.
#include "runtime/event.h"

#include "runtime/exception.h"

namespace zelvor {

namespace {

constexpr const char* waitFailed = "WaitForSingleObject API failed in %s method.";
constexpr const char* waitMethod = "zelvor::Event::wait";

}  // namespace

Event::Event() {
  handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!handle) throwWin32Exception("CreateEvent API failed in %s method.", "zelvor::Event::Event");
}

Event::~Event() {
  if (handle) CloseHandle(handle);
}

void Event::set() {
  if (!SetEvent(handle)) throwWin32Exception("SetEvent API failed in %s method.", "zelvor::Event::set");
}

void Event::reset() {
  if (!ResetEvent(handle)) throwWin32Exception("ResetEvent API failed in %s method.", "zelvor::Event::reset");
}

bool Event::wait(std::uint32_t milliseconds) {
  DWORD const result = WaitForSingleObject(handle, milliseconds);
  if (result == WAIT_OBJECT_0) return true;
  if (result == WAIT_TIMEOUT) return false;
  throwWin32Exception(waitFailed, waitMethod);
}

// The multi-object wait reports its failures with the same text as wait.
std::int32_t Event::waitAnyHandles(const HANDLE* handles, std::uint32_t count) {
  DWORD const result = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
  // Without a time limit, anything but a position in the range is a failure.
  if (result - WAIT_OBJECT_0 < count) return static_cast<std::int32_t>(result - WAIT_OBJECT_0);
  throwWin32Exception(waitFailed, waitMethod);
}

}  // namespace zelvor
