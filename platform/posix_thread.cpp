// Threads started through _beginthreadex, their waitable handles and exit
// codes, and Sleep. The creating thread, the new thread (which records its
// exit code and signals its handle as its last act) and any thread waiting
// for or closing the handle meet in a ThreadObject.
//
// Threads are created detached: the system reclaims a thread as soon as it
// ends, whether or not its handle was closed first, and nothing ever needs
// pthread_join. The new thread holds its own reference to the ThreadObject,
// so closing the handle early is safe.
#include "platform/posix_error.h"
#include "platform/posix_waitable.h"

#include <limits.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <new>

namespace zelvor::platform {
namespace {

constexpr unsigned createSuspended = 0x4;

class ThreadObject final : public Waitable {
 public:
  ThreadObject() : Waitable(true, false) {}

  // The exit code is published before the handle is signalled, so whoever the
  // wait releases reads the final code.
  void finish(DWORD code) {
    exitCode.store(code, std::memory_order_release);
    signal();
  }
  DWORD getExitCode() const { return exitCode.load(std::memory_order_acquire); }

 private:
  std::atomic<DWORD> exitCode{STILL_ACTIVE};
};

struct StartBlock {
  std::shared_ptr<ThreadObject> thread;
  unsigned(__stdcall* start)(void*);
  void* argument;
};

std::atomic<unsigned> nextThreadId{1};

void* runThread(void* raw) {
  std::unique_ptr<StartBlock> block(static_cast<StartBlock*>(raw));
  std::shared_ptr<ThreadObject> const thread = std::move(block->thread);
  auto* const start = block->start;
  void* const argument = block->argument;
  block.reset();
  thread->finish(start(argument));
  return nullptr;
}

// Detached, with the requested stack size rounded up to what pthreads accepts.
class ThreadAttributes {
 public:
  explicit ThreadAttributes(unsigned stackSize) {
    error = pthread_attr_init(&attributes);
    if (error) return;
    initialised = true;
    error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (error || stackSize == 0) return;
    std::size_t const page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::size_t size = stackSize < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : stackSize;
    size = (size + page - 1) / page * page;
    error = pthread_attr_setstacksize(&attributes, size);
  }
  ~ThreadAttributes() {
    if (initialised) pthread_attr_destroy(&attributes);
  }
  ThreadAttributes(const ThreadAttributes&) = delete;
  ThreadAttributes& operator=(const ThreadAttributes&) = delete;

  const pthread_attr_t* get() const { return &attributes; }

  int error = 0;

 private:
  pthread_attr_t attributes;
  bool initialised = false;
};

std::uintptr_t failThreadStart(int error) {
  errno = error;
  setLastErrorFromErrno(error);
  return 0;
}

}  // namespace
}  // namespace zelvor::platform

std::uintptr_t _beginthreadex(void*, unsigned stackSize, unsigned(__stdcall* start)(void*), void* argument,
                              unsigned initFlags, unsigned* threadId) {
  using namespace zelvor::platform;
  if (!start) return failThreadStart(EINVAL);
  // Suspended threads cannot be made with pthreads; zelvor never asks for one.
  if (initFlags & createSuspended) {
    errno = EINVAL;
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  ThreadAttributes const attributes(stackSize);
  if (attributes.error) return failThreadStart(attributes.error);

  std::unique_ptr<StartBlock> block;
  try {
    block = std::make_unique<StartBlock>(StartBlock{std::make_shared<ThreadObject>(), start, argument});
  } catch (const std::bad_alloc&) {
    return failThreadStart(ENOMEM);
  }
  HANDLE const handle = insertHandle(block->thread);
  if (!handle) {
    errno = EAGAIN;
    return 0;
  }
  pthread_t id;
  int const error = pthread_create(&id, attributes.get(), runThread, block.get());
  if (error) {
    removeHandle(handle);
    return failThreadStart(error);
  }
  block.release();  // the new thread owns it now
  if (threadId) *threadId = nextThreadId.fetch_add(1, std::memory_order_relaxed);
  return reinterpret_cast<std::uintptr_t>(handle);
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  auto const object = zelvor::platform::lookupHandleAs<zelvor::platform::ThreadObject>(thread);
  if (!object) return FALSE;
  if (!exitCode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *exitCode = object->getExitCode();
  return TRUE;
}

// Sleeps to an absolute point of the monotonic clock, so that signals that
// interrupt the sleep do not stretch it.
void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) pause();
  }
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += milliseconds / 1000;
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}
