// Frame-time statistics behind the frame rate in the window title: the
// durations of the last 16 recorded frames in a ring of millisecond slots.
//
// The render thread records (recordFrame, once per frame); the user-interface
// thread reads (getFps, once a second). statsLock guards only the slots:
// nextSlot and lastFrameTime belong to the recording thread alone.
#pragma once

#include "platform/win32.h"
#include "runtime/critical_section.h"

#include <array>
#include <cstdint>

class FrameStats {
 public:
  using Clock = DWORD (*)();

  static constexpr int slotCount = 16;
  // Marks a slot that was never written (-1 read as signed).
  static constexpr std::uint32_t emptySlot = 0xFFFFFFFFu;

  // Tests inject their own millisecond clock; the program uses timeGetTime.
  explicit FrameStats(Clock clock = &timeGetTime) : clock(clock) { frameTimes.fill(emptySlot); }
  FrameStats(const FrameStats&) = delete;
  FrameStats& operator=(const FrameStats&) = delete;

  // Records the time since the previous call. The first frame, a frame in the
  // same millisecond as the previous one and a frame across a wrap of the
  // clock record nothing; every call becomes the reference for the next.
  void recordFrame();

  // Frames per second averaged over the recorded slots; 0 before any.
  double getFps();

 private:
  Clock clock;
  zelvor::CriticalSection statsLock;
  std::int32_t nextSlot = 0;
  std::uint32_t lastFrameTime = 0;
  std::array<std::uint32_t, slotCount> frameTimes;
};
