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
#include "platform/posix_waitable.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>

namespace zelvor::platform {

namespace {

constexpr DWORD pending = 0xFFFFFFFF;
constexpr DWORD timedOut = 0xFFFFFFFE;

std::atomic<std::uint64_t> wakeups{0};

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
  if (!signalled) return false;
  if (!manualReset) signalled = false;
  return true;
}

void Waitable::signal() {
  std::lock_guard lock(mutex);
  signalled = true;
  for (WaitLink* entry = waiters.next; entry != &waiters && signalled; entry = entry->next) {
    if (entry->block->offer(entry->index) && !manualReset) signalled = false;
  }
}

void Waitable::reset() {
  std::lock_guard lock(mutex);
  signalled = false;
}

DWORD waitForAny(const std::shared_ptr<Waitable>* objects, DWORD count, DWORD milliseconds) {
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

}  // namespace zelvor::platform
