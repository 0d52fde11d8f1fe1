// Frame-time statistics and the title text, with the clock under the
// test's control.
#include "app/frame_stats.h"
#include "app/title_timer.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

DWORD fakeNow = 0;
DWORD fakeClock() { return fakeNow; }

// Records one frame ending at each of the clock readings, in order.
double fpsAfterFrames(const std::vector<DWORD>& times) {
  FrameStats stats(&fakeClock);
  for (DWORD const time : times) {
    fakeNow = time;
    stats.recordFrame();
  }
  return stats.getFps();
}

struct FramesCase {
  const char* name;
  std::vector<DWORD> times;
  double fps;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const FramesCase& c, std::ostream* out) { *out << c.name; }

class FrameStatsCases : public ::testing::TestWithParam<FramesCase> {};

TEST_P(FrameStatsCases, AveragesTheRecordedDurations) {
  EXPECT_DOUBLE_EQ(fpsAfterFrames(GetParam().times), GetParam().fps);
}

std::vector<DWORD> seventeenDurations() {
  // 100 lands in slot 0, fifteen 10s after it, then a 17th frame of 20
  // that must replace the 100.
  std::vector<DWORD> times{1000, 1100};
  for (int i = 0; i < 15; ++i) times.push_back(times.back() + 10);
  times.push_back(times.back() + 20);
  return times;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, FrameStatsCases,
    ::testing::Values(FramesCase{"NoFrame", {}, 0.0},
                      // The first frame has nothing to measure from.
                      FramesCase{"OneFrame", {1000}, 0.0}, FramesCase{"ThreeDurations", {1000, 1016, 1033, 1050}, 60.0},
                      FramesCase{"OnlyTheLastSixteenCount", seventeenDurations(), 16 * 1000.0 / (15 * 10 + 20)},
                      // The second frame of a millisecond adds nothing, and
                      // the next measures from it, not from the first.
                      FramesCase{"SameMillisecond", {1000, 1010, 1010, 1030}, 2 * 1000.0 / 30},
                      // A wrap of the clock records nothing; the next frame
                      // measures from the wrapped reading.
                      FramesCase{"ClockWrap", {0xFFFFFFF0u, 5, 15}, 100.0},
                      // A reading of 0 counts as "no previous frame".
                      FramesCase{"ReadingZeroStartsAfresh", {0, 10, 30}, 50.0}),
    [](const ::testing::TestParamInfo<FramesCase>& info) { return info.param.name; });

TEST(FrameStats, RingKeepsAtMostSixteenSlots) {
  // Thirty-three frames of 25 ms after one of 5 ms: the 5 is long gone.
  std::vector<DWORD> times{1000, 1005};
  for (int i = 0; i < 33; ++i) times.push_back(times.back() + 25);
  EXPECT_DOUBLE_EQ(fpsAfterFrames(times), 40.0);
}

struct TitleCase {
  double fps;
  const wchar_t* title;
};

void PrintTo(const TitleCase& c, std::ostream* out) { *out << c.fps; }

class TitleText : public ::testing::TestWithParam<TitleCase> {};

TEST_P(TitleText, ShowsTheRateWithTwoDecimals) { EXPECT_EQ(formatTitle(GetParam().fps), GetParam().title); }

INSTANTIATE_TEST_SUITE_P(Rates, TitleText,
                         ::testing::Values(TitleCase{59.94, L"Zelvor - 59.94 (fps)"},
                                           TitleCase{0.0, L"Zelvor - 0.00 (fps)"},
                                           TitleCase{16 * 1000.0 / 170, L"Zelvor - 94.12 (fps)"},
                                           TitleCase{1000.0, L"Zelvor - 1000.00 (fps)"}));

}  // namespace
