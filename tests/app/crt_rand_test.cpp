// The scene's random generator: the C run-time's sequence, one state per
// thread.
#include "app/crt_rand.h"

#include "app_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> firstDraws(int count) {
  std::vector<int> draws;
  for (int i = 0; i < count; ++i) draws.push_back(crtRand());
  return draws;
}

TEST(CrtRand, UnseededThreadDrawsTheRunTimeSequence) {
  // The run-time's sequence for the state 1, which every thread starts from.
  std::vector<int> const expected{41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
  app_test::onFreshThread([&] { EXPECT_EQ(firstDraws(10), expected); });
}

TEST(CrtRand, EveryThreadHasItsOwnState) {
  std::vector<int> first;
  std::vector<int> second;
  app_test::onFreshThread([&] {
    first = firstDraws(5);
    // Draws on another thread meanwhile do not move this thread's state.
    app_test::onFreshThread([&] { second = firstDraws(5); });
    first.push_back(crtRand());
  });
  EXPECT_EQ(second, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
  EXPECT_EQ(first, (std::vector<int>{41, 18467, 6334, 26500, 19169, 15724}));
}

TEST(CrtRand, StaysWithinFifteenBitsOverTheWholePeriodSample) {
  app_test::onFreshThread([] {
    int low = 32767;
    int high = 0;
    for (int i = 0; i < 200000; ++i) {
      int const draw = crtRand();
      low = std::min(low, draw);
      high = std::max(high, draw);
    }
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 32767);
  });
}

}  // namespace
