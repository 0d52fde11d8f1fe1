// The central property of the renderer, end to end on the null window: while
// frame callbacks change a random scene frame after frame, each frame
// presents every dirty band exactly once and no clean band, and the window
// always equals a plain full-frame composition of the sprites drawn, with 1,
// 2, 3 and 8 workers. Also runs under ThreadSanitizer.
#include "screen/screen.h"

#include "render/sprite_drawer.h"
#include "sprites/fill_rect_sprite.h"
#include "sprites/image_sprite.h"
#include "tests/render/frame_test_support.h"
#include "tests/render/random_scene.h"
#include "tests/render/reference_compositor.h"
#include "tests/render/render_test_support.h"
#include "tests/render/test_worker_count.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>

namespace zelvor {
namespace {

struct ScreenSize {
  std::int32_t width, height;
};

class ScreenCompositionTest : public ::testing::TestWithParam<std::tuple<std::uint32_t, ScreenSize>> {
 protected:
  void TearDown() override { testing::setRenderWorkerCount(1); }
};

// Frames whose callbacks change the scene; one more frame then draws the
// last changes.
constexpr int changingFrames = 40;

TEST_P(ScreenCompositionTest, EveryFrameEqualsTheFullFrameCompositionOfItsSprites) {
  auto const [workers, size] = GetParam();
  std::uint32_t const seed = workers * 100003u + static_cast<std::uint32_t>(size.width * 1009 + size.height);
  SCOPED_TRACE(::testing::Message() << "seed " << seed << ", " << workers << " workers");
  testing::setRenderWorkerCount(workers);
  testing::NullSurface surface(size.width, size.height);
  Screen screen(surface.dc, size.width, size.height);
  testing::RandomScene scene(seed, size.width, size.height);
  scene.build(
      30,
      [&](std::int32_t id, const Rect& rect, std::int32_t priority, const Colour& colour) {
        return screen.createFillRectSprite(id, rect, priority, colour);
      },
      [&](std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t priority, std::shared_ptr<IImage> image) {
        return screen.createImageSprite(id, x, y, priority, std::move(image));
      });

  auto const composed = [&] {
    testing::Frame frame(size.width, size.height, 0);
    testing::composeReference(frame, scene.visibleRecords());
    return frame;
  };

  // Everything below runs in callbacks on the render thread, while the
  // workers are idle; the test's thread reads it after stop.
  std::vector<Rect> expectedBlits = testing::bandsToPresent(*screen.getSpriteDrawer());
  std::string failure;
  int frame = 0;
  testing::FrameCounter finished;
  screen.addFrameCallback([&](Screen& s) {
    ++frame;
    auto const fail = [&](const std::string& what) {
      if (failure.empty()) failure = "frame " + std::to_string(frame) + ": " + what;
    };
    if (surface.takeBlits() != expectedBlits) fail("the bands presented are not the dirty bands");
    // The window now shows the scene as the previous callback left it.
    if (frame % 4 == 0 || frame > changingFrames) {
      if (auto const difference = testing::firstDifference(composed(), surface.pixels()); !difference.empty()) {
        fail(difference);
      }
    }
    if (frame <= changingFrames) {
      for (int changes = frame % 4 + 1; changes > 0; --changes) scene.change();
    }
    expectedBlits = testing::bandsToPresent(*s.getSpriteDrawer());
    if (frame == changingFrames + 1) finished.tick();
    return false;
  });

  screen.start();
  ASSERT_TRUE(finished.waitFor(1));
  screen.stop();
  EXPECT_EQ(failure, "");
  EXPECT_EQ(testing::firstDifference(composed(), surface.pixels()), "");
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<std::uint32_t, ScreenSize>>& info) {
  ScreenSize const size = std::get<1>(info.param);
  std::ostringstream name;
  name << std::get<0>(info.param) << "workers_" << size.width << "x" << size.height;
  return name.str();
}

// Bands of 10 rows with a short last one; bands of 25 rows; a single band.
INSTANTIATE_TEST_SUITE_P(WorkersAndSizes, ScreenCompositionTest,
                         ::testing::Combine(::testing::Values(1u, 2u, 3u, 8u),
                                            ::testing::Values(ScreenSize{803, 157}, ScreenSize{320, 203},
                                                              ScreenSize{61, 45})),
                         caseName);

}  // namespace
}  // namespace zelvor
