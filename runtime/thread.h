// One operating-system thread that runs a function object with a
// ThreadNotifier, stopped cooperatively by interrupt() and join().
#pragma once

#include "platform/win32.h"
#include "runtime/thread_notifier.h"

#include <functional>

namespace zelvor {

class Thread {
 public:
  using Body = std::function<void(ThreadNotifier&)>;

  Thread();
  // Interrupts and joins a running thread.
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  void start(Body body);
  void interrupt();
  void join();

  HANDLE getHandle() const { return handle; }

 private:
  static unsigned __stdcall threadEntry(void* argument);

  HANDLE handle = nullptr;
  ThreadNotifier notifier;
  Body body;
};

}  // namespace zelvor
