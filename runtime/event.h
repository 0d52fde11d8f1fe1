// A manual-reset kernel event that owns its handle and reports every failed
// system call as a Win32Exception.
#pragma once

#include "platform/win32.h"

#include <cstdint>

namespace zelvor {

class Event {
 public:
  // Unnamed, manual reset, not signalled.
  Event();
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void set();
  void reset();

  // True when signalled, false when the time-out elapsed; wait(0) only tests.
  bool wait(std::uint32_t milliseconds);

  // Waits for any event of a range of Event pointers; returns the position of
  // the one that ended the wait, the lowest when several are signalled.
  template <class Iterator>
  static std::int32_t waitAny(Iterator first, Iterator last);

  HANDLE getHandle() const { return handle; }

 private:
  static std::int32_t waitAnyHandles(const HANDLE* handles, std::uint32_t count);

  HANDLE handle = nullptr;
};

template <class Iterator>
std::int32_t Event::waitAny(Iterator first, Iterator last) {
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  std::uint32_t count = 0;
  // A longer range is counted, not cut: the wait then refuses the count and
  // fails, instead of silently ignoring the events past the limit.
  for (; first != last; ++first, ++count) {
    if (count < MAXIMUM_WAIT_OBJECTS) handles[count] = (*first)->getHandle();
  }
  return waitAnyHandles(handles, count);
}

}  // namespace zelvor
