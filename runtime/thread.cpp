// Thread: one operating-system thread running a function object. start,
// interrupt, join and the destructor run on the owner's thread only; the body
// runs on the new thread and touches only the notifier and what it captured.
// The body is stored before the thread is created and not changed until it
// has been joined, so the two threads never race on it.
#include "runtime/thread.h"

#include <exception>
#include <utility>

namespace zelvor {

Thread::Thread() { notifier.event.reset(); }

Thread::~Thread() {
  if (handle) {
    interrupt();
    join();
  }
}

void Thread::start(Body newBody) {
  // Replacing the body of a running thread would pull it from under its feet
  // and lose the old handle: stop the running one first, as a restart does.
  if (handle) {
    interrupt();
    join();
  }
  // The argument is our own copy, so moving it in is safe even when the caller
  // passed a copy of the stored body.
  body = std::move(newBody);
  notifier.event.reset();
  handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Thread::threadEntry, this, 0, nullptr));
}

void Thread::interrupt() { notifier.event.set(); }

void Thread::join() {
  if (!handle) return;
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
  handle = nullptr;
}

unsigned __stdcall Thread::threadEntry(void* argument) {
  Thread& thread = *static_cast<Thread*>(argument);
  try {
    // An empty body throws std::bad_function_call, caught below.
    thread.body(thread.notifier);
    return 0;
  } catch (const std::exception&) {
    return 0xFFFFFFFFu;
  }
}

}  // namespace zelvor
