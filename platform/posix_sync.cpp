// Events, the wait calls and critical sections. Called from every thread:
// events and waits go through the handle table, critical sections are
// recursive pthread mutexes that live inside their CRITICAL_SECTION.
#include "platform/posix_waitable.h"

#include <array>
#include <new>

namespace zelvor::platform {
namespace {

class EventObject final : public Waitable {
 public:
  using Waitable::Waitable;
};

}  // namespace
}  // namespace zelvor::platform

using zelvor::platform::EventObject;
using zelvor::platform::Waitable;

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  // Named events would be shared between processes; nothing here can share
  // them, so a name is refused rather than silently ignored.
  if (name) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  try {
    return zelvor::platform::insertHandle(std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE));
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

BOOL SetEvent(HANDLE event) {
  auto const object = zelvor::platform::lookupHandleAs<EventObject>(event);
  if (!object) return FALSE;
  object->signal();
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  auto const object = zelvor::platform::lookupHandleAs<EventObject>(event);
  if (!object) return FALSE;
  object->reset();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  std::shared_ptr<Waitable> const object = zelvor::platform::lookupHandleAs<Waitable>(handle);
  if (!object) return WAIT_FAILED;
  return zelvor::platform::waitForAny(&object, 1, milliseconds);
}

// Waiting for all objects at once is not needed by zelvor and is refused,
// except over a single object, where it means the same as waiting for any.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles || (waitAll && count > 1)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::array<std::shared_ptr<Waitable>, MAXIMUM_WAIT_OBJECTS> objects;
  for (DWORD i = 0; i < count; ++i) {
    objects[i] = zelvor::platform::lookupHandleAs<Waitable>(handles[i]);
    if (!objects[i]) return WAIT_FAILED;
  }
  return zelvor::platform::waitForAny(objects.data(), count, milliseconds);
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&section->mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

void EnterCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_lock(&section->mutex); }

void LeaveCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_unlock(&section->mutex); }

void DeleteCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_destroy(&section->mutex); }
