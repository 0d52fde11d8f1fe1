// Kernel objects that a thread can wait for (events, threads) and the wait on
// up to MAXIMUM_WAIT_OBJECTS of them. Private to platform/.
//
// Any thread may signal, reset or wait. A waiting thread sleeps on a wait block
// of its own (a mutex and condition variable on its stack) that is linked into
// every object it waits for; signalling an object wakes only the blocks linked
// into that object, so n workers that each wait for their own event cost n
// wake-ups, not n². Lock order: an object's mutex, then a block's mutex.
//
// A wait without time limit first watches its objects for a few microseconds
// on a machine with more than one processor, without taking a lock, before it
// goes to sleep: a hand-off that comes that soon costs no sleep and no
// wake-up. Timed waits never spin.
#pragma once

#include "platform/handle_table.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

namespace zelvor::platform {

struct WaitBlock;

// One link of a wait block in one object's list of waiters.
struct WaitLink {
  WaitLink* previous = this;
  WaitLink* next = this;
  WaitBlock* block = nullptr;
  DWORD index = 0;  // the object's position in the waiter's handle list
};

class Waitable : public KernelObject {
 public:
  Waitable(bool manualReset, bool signalled) : manualReset(manualReset), signalled(signalled) {}
  ~Waitable() override = default;
  Waitable(const Waitable&) = delete;
  Waitable& operator=(const Waitable&) = delete;

  // Signals the object. A manual-reset object wakes every waiter and stays
  // signalled; an auto-reset one is handed to the longest waiting thread and
  // stays signalled only when nobody waits for it.
  void signal();
  void reset();
  // Without the lock: a hint that the object may be taken, nothing more.
  bool looksSignalled() const { return signalled.load(std::memory_order_relaxed); }

 private:
  friend DWORD waitForAny(const std::shared_ptr<Waitable>* objects, DWORD count, DWORD milliseconds);
  friend class ObjectLocks;

  // Caller holds mutex. Takes the object if it is signalled (an auto-reset
  // object is consumed).
  bool tryTake();

  std::mutex mutex;
  bool const manualReset;
  // Written only under mutex; atomic so that a spinning waiter may peek.
  std::atomic<bool> signalled;
  WaitLink waiters;  // sentinel of a circular list, oldest waiter first
};

// Waits until one of count objects (1 to MAXIMUM_WAIT_OBJECTS) is signalled
// or the time is up: WAIT_OBJECT_0 + the lowest position among the objects
// signalled when the wait looks, or WAIT_TIMEOUT. Timed waits run on the
// monotonic clock; 0 only tests, INFINITE never times out.
DWORD waitForAny(const std::shared_ptr<Waitable>* objects, DWORD count, DWORD milliseconds);

// How often a sleeping waiter has woken up, counted over the whole process.
// Tests read it to check that a signal wakes only the threads waiting for it.
std::uint64_t waiterWakeups();

// How long a wait without time limit watches its objects before it sleeps
// (zero on a single processor). Tests change it to run both paths; it is
// read at the start of every wait.
std::chrono::nanoseconds waitSpinTime();
void setWaitSpinTime(std::chrono::nanoseconds time);

// How many waits without time limit ended while spinning, without sleeping.
std::uint64_t waitsEndedBySpin();

}  // namespace zelvor::platform
