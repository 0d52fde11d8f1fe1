// Signalling and waiting for waitable kernel objects. Every thread that sets,
// resets or waits for an event or a thread handle runs this code.
//
// A waiter looks at all its objects under their locks at once, so "the lowest
// signalled position" is exact, and links its wait block into each of them in
// the same critical stretch, so that no signal can fall between the look and
// the sleep. The block's result is decided once, under the block's mutex:
// either by a signalling object (which then counts as taken) or by the
// waiter's own time-out. An object that finds the result already decided
// leaves itself signalled for the next waiter.
//
// The spin before sleeping only peeks: what it sees decides nothing. When an
// object looks signalled the waiter takes the ordinary locked path, which
// decides exactly as if it had not spun; a signal that comes after the last
// peek is caught by that path too, so no wake-up can be lost. Timed waits
// lower their thread's timer slack once, so that a 1 ms wait lasts about 1 ms
// rather than the default 50 µs longer.
#include "platform/posix_waitable.h"

#include <sys/prctl.h>

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

namespace zelvor::platform {

namespace {

constexpr DWORD pending = 0xFFFFFFFF;
constexpr DWORD timedOut = 0xFFFFFFFE;

std::atomic<std::uint64_t> wakeups{0};
std::atomic<std::uint64_t> spinEnds{0};

// A few microseconds: long enough to catch a hand-off between threads that
// are running on other processors, short enough that a waiter with nothing
// coming burns next to nothing before it sleeps.
constexpr std::chrono::nanoseconds defaultSpin = std::chrono::microseconds(4);

// Spinning on one processor would only delay the thread that signals.
std::atomic<std::int64_t> spinNanoseconds{std::thread::hardware_concurrency() > 1 ? defaultSpin.count() : 0};

bool anyLooksSignalled(const std::shared_ptr<Waitable>* objects, DWORD count) {
  for (DWORD i = 0; i < count; ++i) {
    if (objects[i]->looksSignalled()) return true;
  }
  return false;
}

// Watches the objects until one looks signalled or the time is up.
bool spinUntilSignalled(const std::shared_ptr<Waitable>* objects, DWORD count) {
  auto const limit = std::chrono::nanoseconds(spinNanoseconds.load(std::memory_order_relaxed));
  if (limit <= std::chrono::nanoseconds::zero()) return false;
  auto const deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    // The clock is read once per handful of peeks: it costs more than one.
    for (int i = 0; i < 16; ++i) {
      if (anyLooksSignalled(objects, count)) return true;
      _mm_pause();
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
  }
}

// Timer slack: the kernel may end a timed sleep this much late to merge
// wake-ups. The default of 50 µs is 5 % of the render loop's pause.
void tightenTimerSlack() {
  thread_local bool const tightened = prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0) == 0;
  static_cast<void>(tightened);
}

void link(WaitLink& list, WaitLink& entry) {
  entry.previous = list.previous;
  entry.next = &list;
  list.previous->next = &entry;
  list.previous = &entry;
}

void unlink(WaitLink& entry) {
  entry.previous->next = entry.next;
  entry.next->previous = entry.previous;
  entry.previous = entry.next = &entry;
}

}  // namespace

struct WaitBlock {
  std::mutex mutex;
  std::condition_variable wake;
  DWORD result = pending;
  std::array<WaitLink, MAXIMUM_WAIT_OBJECTS> links;

  // Called by a signalled object that holds its own mutex; true when this
  // waiter takes the object. The object's mutex keeps the block alive: the
  // waiter unlinks itself under that mutex before its block goes away.
  bool offer(DWORD index) {
    {
      std::lock_guard lock(mutex);
      if (result != pending) return false;
      result = index;
    }
    wake.notify_one();
    return true;
  }
};

// Locks the distinct objects of a wait in address order, so that two waiters
// over overlapping sets cannot deadlock.
class ObjectLocks {
 public:
  ObjectLocks(const std::shared_ptr<Waitable>* objects, DWORD count) {
    for (DWORD i = 0; i < count; ++i) sorted[i] = objects[i].get();
    std::sort(sorted.begin(), sorted.begin() + count);
    size = static_cast<DWORD>(std::unique(sorted.begin(), sorted.begin() + count) - sorted.begin());
    for (DWORD i = 0; i < size; ++i) sorted[i]->mutex.lock();
  }
  ~ObjectLocks() {
    for (DWORD i = size; i-- > 0;) sorted[i]->mutex.unlock();
  }
  ObjectLocks(const ObjectLocks&) = delete;
  ObjectLocks& operator=(const ObjectLocks&) = delete;

 private:
  std::array<Waitable*, MAXIMUM_WAIT_OBJECTS> sorted{};
  DWORD size = 0;
};

bool Waitable::tryTake() {
  if (!signalled.load(std::memory_order_relaxed)) return false;
  if (!manualReset) signalled.store(false, std::memory_order_relaxed);
  return true;
}

void Waitable::signal() {
  std::lock_guard lock(mutex);
  signalled.store(true, std::memory_order_relaxed);
  for (WaitLink* entry = waiters.next; entry != &waiters && signalled.load(std::memory_order_relaxed);
       entry = entry->next) {
    if (entry->block->offer(entry->index) && !manualReset) signalled.store(false, std::memory_order_relaxed);
  }
}

void Waitable::reset() {
  std::lock_guard lock(mutex);
  signalled.store(false, std::memory_order_relaxed);
}

DWORD waitForAny(const std::shared_ptr<Waitable>* objects, DWORD count, DWORD milliseconds) {
  if (milliseconds == INFINITE) {
    // Only a hint: the locked look below decides, whatever the spin saw.
    if (spinUntilSignalled(objects, count)) {
      ObjectLocks const locks(objects, count);
      for (DWORD i = 0; i < count; ++i) {
        if (objects[i]->tryTake()) {
          spinEnds.fetch_add(1, std::memory_order_relaxed);
          return WAIT_OBJECT_0 + i;
        }
      }
    }
  } else if (milliseconds != 0) {
    tightenTimerSlack();
  }
  WaitBlock block;
  {
    ObjectLocks const locks(objects, count);
    for (DWORD i = 0; i < count; ++i) {
      if (objects[i]->tryTake()) return WAIT_OBJECT_0 + i;
    }
    if (milliseconds == 0) return WAIT_TIMEOUT;
    for (DWORD i = 0; i < count; ++i) {
      block.links[i].block = &block;
      block.links[i].index = i;
      link(objects[i]->waiters, block.links[i]);
    }
  }

  auto const deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  DWORD result;
  {
    std::unique_lock lock(block.mutex);
    while (block.result == pending) {
      if (milliseconds == INFINITE) {
        block.wake.wait(lock);
      } else if (block.wake.wait_until(lock, deadline) == std::cv_status::timeout && block.result == pending) {
        block.result = timedOut;
      }
      wakeups.fetch_add(1, std::memory_order_relaxed);
    }
    result = block.result;
  }

  for (DWORD i = 0; i < count; ++i) {
    std::lock_guard lock(objects[i]->mutex);
    unlink(block.links[i]);
  }
  return result == timedOut ? WAIT_TIMEOUT : WAIT_OBJECT_0 + result;
}

std::uint64_t waiterWakeups() { return wakeups.load(std::memory_order_relaxed); }

std::chrono::nanoseconds waitSpinTime() {
  return std::chrono::nanoseconds(spinNanoseconds.load(std::memory_order_relaxed));
}

void setWaitSpinTime(std::chrono::nanoseconds time) { spinNanoseconds.store(time.count(), std::memory_order_relaxed); }

std::uint64_t waitsEndedBySpin() { return spinEnds.load(std::memory_order_relaxed); }

}  // namespace zelvor::platform
