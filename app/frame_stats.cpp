// Recording (render thread) and averaging (user-interface thread) of frame
// times; see frame_stats.h for which thread owns which field.
#include "app/frame_stats.h"

void FrameStats::recordFrame() {
  std::uint32_t const now = clock();
  if (lastFrameTime != 0 && lastFrameTime < now) {
    std::int32_t const slot = nextSlot == slotCount ? 0 : nextSlot;
    {
      zelvor::CriticalSectionLock lock(statsLock);
      frameTimes[static_cast<std::size_t>(slot)] = now - lastFrameTime;
    }
    nextSlot = slot + 1;
  }
  lastFrameTime = now;
}

double FrameStats::getFps() {
  std::uint32_t count = 0;
  std::uint32_t sum = 0;
  {
    zelvor::CriticalSectionLock lock(statsLock);
    for (std::uint32_t const time : frameTimes) {
      if (time == emptySlot) continue;
      ++count;
      sum += time;
    }
  }
  // Recorded durations are never 0, so a non-empty ring has a non-zero sum.
  if (sum == 0) return 0.0;
  return count * 1000.0 / sum;
}
