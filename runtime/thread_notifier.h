// How a thread body learns that its owner wants it to stop: its sleeps and
// waits end early with InterruptedException once the owner interrupts it.
#pragma once

#include "runtime/event.h"

#include <cstdint>

namespace zelvor {

class ThreadNotifier {
 public:
  ThreadNotifier();
  ThreadNotifier(const ThreadNotifier&) = delete;
  ThreadNotifier& operator=(const ThreadNotifier&) = delete;

  bool isInterrupted();
  // Throws InterruptedException when interrupted before the time elapses.
  void sleep(std::uint32_t milliseconds);
  // Waits for e or the interrupt; the interrupt wins when both are signalled.
  bool wait(Event& e);

  Event event;  // the interrupt event, set by Thread::interrupt
};

}  // namespace zelvor
