// The multimedia clock and timer period. Stateless; any thread may call.
//
// Linux timers are already fine-grained, so raising the period changes
// nothing; only the argument check of the Windows calls is kept.
#include "platform/kernel_services.h"

#include <time.h>

#include <cstdint>

DWORD timeGetTime() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  // Truncating to 32 bits gives the wrap at 2^32 milliseconds.
  auto const milliseconds =
      static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(milliseconds);
}

MMRESULT timeBeginPeriod(UINT period) { return period == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR; }

MMRESULT timeEndPeriod(UINT period) { return period == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR; }
