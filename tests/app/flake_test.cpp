// Snowflake motion: wrapping at the edges, the bounded drift, the bounded
// flicker, and the draws taken from the calling thread's generator.
#include "app/flake.h"

#include "app_test_support.h"
#include "image/image.h"
#include "sprites/image_sprite.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <ostream>
#include <vector>

namespace {

constexpr std::int32_t width = 800;
constexpr std::int32_t height = 600;

// A visible Add-mode flake sprite; with no manager or drawer its reports go
// nowhere, which moving does not depend on.
Flake makeFlake(std::int32_t x, std::int32_t y, std::int32_t speed, std::int32_t dx, std::uint8_t opacity,
                std::int32_t baseOpacity = 128) {
  auto picture = std::make_shared<zelvor::Image>(16, 16, zelvor::GrayAlpha16);
  auto sprite = std::make_shared<zelvor::ImageSprite>(std::weak_ptr<zelvor::SpriteManager>{},
                                                      std::weak_ptr<zelvor::SpriteDrawer>{}, 100, x, y, 500, picture);
  sprite->setBlendMode(zelvor::Add);
  sprite->setOpacity(opacity);
  sprite->show();
  return Flake{100, dx, speed, baseOpacity, sprite};
}

struct MoveCase {
  const char* name;
  std::int32_t x, y, speed, dx, opacity;
  int draw;
  std::int32_t expectedX, expectedY, expectedDx, expectedOpacity;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const MoveCase& c, std::ostream* out) { *out << c.name; }

class FlakeMoves : public ::testing::TestWithParam<MoveCase> {};

TEST_P(FlakeMoves, OneFrame) {
  MoveCase const& c = GetParam();
  Flake flake = makeFlake(c.x, c.y, c.speed, c.dx, static_cast<std::uint8_t>(c.opacity));
  moveFlakeWithDraw(flake, c.draw, width, height);
  EXPECT_EQ(flake.sprite->getX(), c.expectedX);
  EXPECT_EQ(flake.sprite->getY(), c.expectedY);
  EXPECT_EQ(flake.dx, c.expectedDx);
  EXPECT_EQ(flake.sprite->getOpacity(), c.expectedOpacity);
}

// Draws: 3 odd, +0; 4 even, -1; 5 odd, +2; 2 even, -2; 6 even, -0.
INSTANTIATE_TEST_SUITE_P(Cases, FlakeMoves,
                         ::testing::Values(
                             // The right edge: W + 10 stays, W + 11 re-enters at -10.
                             MoveCase{"EndsAtRightLimit", 809, 100, 1, 0, 100, 3, 810, 101, 1, 100},
                             MoveCase{"PassesRightLimit", 810, 100, 1, 0, 100, 3, -10, 101, 1, 100},
                             // The left edge does not wrap.
                             MoveCase{"DriftsOutLeft", -10, 100, 1, 0, 100, 4, -11, 101, -1, 99},
                             // The bottom: H stays, H + 1 re-enters at -10 with its base opacity.
                             MoveCase{"EndsAtBottom", 400, 598, 2, 0, 100, 3, 401, 600, 1, 100},
                             MoveCase{"PassesBottom", 400, 599, 2, 0, 7, 2, 399, -10, -1, 128},
                             // Opacity stays within 0 to 255.
                             MoveCase{"BrightensToTheTop", 400, 100, 1, 0, 254, 5, 401, 101, 1, 255},
                             MoveCase{"StaysAtTheTop", 400, 100, 1, 0, 255, 5, 401, 101, 1, 255},
                             MoveCase{"DimsToTheBottom", 400, 100, 1, 0, 1, 2, 399, 101, -1, 0},
                             MoveCase{"StaysAtTheBottom", 400, 100, 1, 0, 0, 2, 399, 101, -1, 0},
                             MoveCase{"BrightensByTwo", 400, 100, 3, 1, 100, 5, 402, 103, 2, 102},
                             MoveCase{"EvenDrawWithoutDimming", 400, 100, 3, 1, 100, 6, 400, 103, 0, 100},
                             // Drift is bounded by the speed both ways.
                             MoveCase{"DriftCappedRight", 400, 100, 2, 2, 100, 3, 402, 102, 2, 100},
                             MoveCase{"DriftCappedLeft", 400, 100, 2, -2, 100, 4, 398, 102, -2, 99},
                             // A flake that has drifted left for ages: the sum wraps instead of
                             // overflowing, lands beyond the right edge and re-enters.
                             MoveCase{"FarLeftNeverOverflows", INT_MIN, 100, 1, 0, 100, 4, -10, 101, -1, 99}),
                         [](const ::testing::TestParamInfo<MoveCase>& info) { return info.param.name; });

TEST(FlakeDrift, FiveOddDrawsClimbToTheSpeedAndStay) {
  Flake flake = makeFlake(400, 100, 4, 0, 128);
  std::vector<std::int32_t> dxs;
  for (int i = 0; i < 5; ++i) {
    moveFlakeWithDraw(flake, 3, width, height);
    dxs.push_back(flake.dx);
  }
  EXPECT_EQ(dxs, (std::vector<std::int32_t>{1, 2, 3, 4, 4}));
  EXPECT_EQ(flake.sprite->getX(), 400 + 1 + 2 + 3 + 4 + 4);
}

TEST(FlakeDrift, StaysWithinTheSpeedOverManyFrames) {
  app_test::onFreshThread([] {
    for (std::int32_t speed = 1; speed <= 4; ++speed) {
      Flake flake = makeFlake(400, 100, speed, 0, 128);
      std::int32_t low = 0;
      std::int32_t high = 0;
      for (int frame = 0; frame < 2000; ++frame) {
        moveFlake(flake, width, height);
        low = std::min(low, flake.dx);
        high = std::max(high, flake.dx);
      }
      // A random walk of 2000 steps reaches both bounds and never passes them.
      EXPECT_EQ(low, -speed) << "speed " << speed;
      EXPECT_EQ(high, speed) << "speed " << speed;
    }
  });
}

TEST(FlakeDrift, MoveFlakeDrawsFromTheCallingThread) {
  app_test::onFreshThread([] {
    // This thread's first draws are 41 (odd, +2), 18467 (odd, +2) and
    // 6334 (even, -1).
    Flake flake = makeFlake(400, 100, 4, 0, 100);
    moveFlake(flake, width, height);
    moveFlake(flake, width, height);
    moveFlake(flake, width, height);
    EXPECT_EQ(flake.dx, 1);
    EXPECT_EQ(flake.sprite->getX(), 400 + 1 + 2 + 1);
    EXPECT_EQ(flake.sprite->getY(), 112);
    EXPECT_EQ(flake.sprite->getOpacity(), 103);
  });
}

}  // namespace
