// SpriteDrawer: band geometry, how reported areas become dirty band
// rectangles, the frame snapshot, and band drawing checked against the plain
// full-frame compositor over many widths, band-image alignments and random
// scenes.
#include "render/sprite_drawer.h"
#include "image/memory_helper.h"
#include "sprites/fill_rect_sprite.h"
#include "sprites/image_sprite.h"
#include "tests/render/random_scene.h"
#include "tests/render/reference_compositor.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace zelvor {
namespace {

using testing::SpriteWorld;

constexpr Rect clean{0, 0, 0, 0};
constexpr Colour white{Rgb, {255, 255, 255, 0}};

TEST(UnionRectTest, EmptyOperandYieldsTheOtherElseTheBoundingBox) {
  EXPECT_EQ(unionRect({0, 0, 0, 0}, {1, 2, 3, 4}), (Rect{1, 2, 3, 4}));
  EXPECT_EQ(unionRect({1, 2, 3, 4}, {5, 5, 5, 9}), (Rect{1, 2, 3, 4}));
  EXPECT_EQ(unionRect({5, 12, 25, 20}, {100, 12, 110, 13}), (Rect{5, 12, 110, 20}));
  EXPECT_EQ(unionRect({-4, 3, 2, 8}, {0, -1, 1, 2}), (Rect{-4, -1, 2, 8}));
}

struct GeometryCase {
  std::int32_t width, height;
  std::uint32_t limit;
  std::uint32_t bandRows;
  std::int32_t bandCount;
  Rect lastBand;  // after marking the whole screen
};

TEST(SpriteDrawerTest, CutsTheScreenIntoBandsOfAtMostTheRequestedRows) {
  GeometryCase const cases[] = {
      {800, 600, 10, 10, 60, {0, 590, 800, 600}},
      {800, 605, 10, 10, 61, {0, 600, 800, 605}},
      {8192, 50, 1, 1, 50, {0, 49, 8192, 50}},
      {9000, 3, 0, 1, 3, {0, 2, 9000, 3}},   // wider than a band allows: single rows
      {61, 45, 134, 45, 1, {0, 0, 61, 45}},  // the height is the smaller
      {7, 1, 1170, 1, 1, {0, 0, 7, 1}},
  };
  for (const GeometryCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << " limit " << c.limit);
    SpriteWorld world(c.width, c.height, c.limit);
    EXPECT_EQ(world.drawer->getBandRows(), c.bandRows);
    ASSERT_EQ(world.drawer->getBandCount(), c.bandCount);
    world.drawer->invalidate({0, 0, c.width, c.height});
    EXPECT_EQ(world.drawer->getBandRect(c.bandCount - 1), c.lastBand);
    EXPECT_EQ(world.drawer->getBandRect(0).top, 0);
  }
}

TEST(SpriteDrawerTest, AScreenWithoutPixelsHasNoBandsAndNeverBecomesDirty) {
  for (auto [width, height] : {std::pair{0, 600}, {800, 0}, {-5, 10}, {10, -5}}) {
    SpriteWorld world(width, height, 10);
    EXPECT_EQ(world.drawer->getBandCount(), 0);
    world.drawer->invalidate({0, 0, 0, 0});
    world.drawer->invalidate({1, 1, 5, 5});
    EXPECT_FALSE(world.drawer->isDirty());
  }
}

struct InvalidateCase {
  std::string name;
  std::vector<Rect> reports;
  std::map<std::int32_t, Rect> dirtyBands;  // all others clean
  bool dirty;
};

class InvalidateTest : public ::testing::TestWithParam<InvalidateCase> {};

TEST_P(InvalidateTest, GrowsTheDirtyRectanglesOfTheBandsItTouches) {
  const InvalidateCase& c = GetParam();
  SpriteWorld world(800, 600, 10);
  for (const Rect& r : c.reports) world.drawer->invalidate(r);
  for (std::int32_t b = 0; b < world.drawer->getBandCount(); ++b) {
    auto const found = c.dirtyBands.find(b);
    EXPECT_EQ(world.drawer->getBandRect(b), found == c.dirtyBands.end() ? clean : found->second) << "band " << b;
  }
  EXPECT_EQ(world.drawer->isDirty(), c.dirty);
}

std::map<std::int32_t, Rect> everyBand(std::int32_t left = 0, std::int32_t right = 800) {
  std::map<std::int32_t, Rect> bands;
  for (std::int32_t b = 0; b < 60; ++b) bands[b] = {left, 10 * b, right, 10 * b + 10};
  return bands;
}

INSTANTIATE_TEST_SUITE_P(
    Screen800x600, InvalidateTest,
    ::testing::Values(
        InvalidateCase{"WholeScreen", {{0, 0, 800, 600}}, everyBand(), true},
        InvalidateCase{
            "ThreeBands", {{5, 15, 25, 35}}, {{1, {5, 15, 25, 20}}, {2, {5, 20, 25, 30}}, {3, {5, 30, 25, 35}}}, true},
        InvalidateCase{"GrowsABand",
                       {{5, 15, 25, 35}, {100, 12, 110, 13}},
                       {{1, {5, 12, 110, 20}}, {2, {5, 20, 25, 30}}, {3, {5, 30, 25, 35}}},
                       true},
        // Clipped to the empty (0, 100, 0, 120), which does not restrict the
        // band areas: both bands get their full width, yet nothing is dirty.
        InvalidateCase{
            "LeftEdgeOnly", {{-10, 100, 0, 120}}, {{10, {0, 100, 800, 110}}, {11, {0, 110, 800, 120}}}, false},
        InvalidateCase{"EmptyRectMeansWholeScreen", {{3, 3, 3, 9}}, everyBand(), true},
        InvalidateCase{"WhollyOffScreen", {{900, 10, 950, 20}, {-50, -50, -10, -10}, {10, 700, 20, 720}}, {}, false},
        InvalidateCase{"PartlyOffScreen", {{-20, 595, 30, 640}}, {{59, {0, 595, 30, 600}}}, true},
        InvalidateCase{"TouchingTheBottomEdge", {{0, 600, 10, 610}}, {}, false},
        InvalidateCase{"BottomRowOfABand", {{7, 29, 8, 30}}, {{2, {7, 29, 8, 30}}}, true},
        // Stored inverted by a fill sprite: it covers no pixel, so no band
        // takes it (a band presented with a negative width would be wrong).
        InvalidateCase{"InvertedRect", {{30, 5, 10, 15}}, {}, true}),
    [](const auto& info) { return info.param.name; });

TEST(SpriteDrawerTest, BeginFrameSnapshotsVisibleSpritesInPriorityOrder) {
  SpriteWorld world(100, 100, 10);
  auto picture = std::make_shared<Image>(2, 2, Gray8);
  auto top = std::make_shared<ImageSprite>(world.manager, world.drawer, 1, 3, 4, 9, picture);
  auto hidden = std::make_shared<FillRectSprite>(world.manager, world.drawer, 2, Rect{0, 0, 5, 5}, 5, white);
  auto bottom = std::make_shared<FillRectSprite>(world.manager, world.drawer, 3, Rect{1, 1, 9, 9}, -1, white);
  auto transparent = std::make_shared<FillRectSprite>(world.manager, world.drawer, 4, Rect{0, 0, 1, 1}, 0, white);
  for (const auto& s : std::initializer_list<std::shared_ptr<ISprite>>{top, hidden, bottom, transparent}) {
    world.manager->add(s);
  }
  top->show();
  bottom->show();
  transparent->setOpacity(0);
  transparent->show();
  ASSERT_TRUE(world.drawer->isDirty());

  world.drawer->beginFrame();
  const auto& records = world.drawer->getRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].rect, (Rect{1, 1, 9, 9}));
  EXPECT_EQ(records[1].opacity, 0);  // drawn as nothing, but recorded
  EXPECT_EQ(records[2].image, picture.get());
  EXPECT_FALSE(world.manager->hasOrderChanged());

  std::size_t const capacity = records.capacity();
  world.drawer->endFrame();
  EXPECT_TRUE(world.drawer->getRecords().empty());
  EXPECT_EQ(world.drawer->getRecords().capacity(), capacity);
  EXPECT_FALSE(world.drawer->isDirty());
  EXPECT_EQ(world.bandRects(), std::vector<Rect>(10, clean));
}

TEST(SpriteDrawerTest, ACleanFrameNeitherSortsNorCollects) {
  SpriteWorld world(100, 100, 10);
  auto sprite = std::make_shared<FillRectSprite>(world.manager, world.drawer, 1, Rect{0, 0, 5, 5}, 0, white);
  sprite->showImpl();  // visible, but reported nothing
  world.manager->add(sprite);

  world.drawer->beginFrame();
  EXPECT_TRUE(world.drawer->getRecords().empty());
  EXPECT_TRUE(world.manager->hasOrderChanged());
  world.drawer->endFrame();
  EXPECT_TRUE(world.manager->hasOrderChanged());
}

TEST(SpriteDrawerTest, WithoutItsManagerAFrameCollectsNothing) {
  auto manager = std::make_shared<SpriteManager>();
  SpriteDrawer drawer(100, 100, 10, manager);
  manager.reset();
  drawer.invalidate({0, 0, 100, 100});
  drawer.beginFrame();
  EXPECT_TRUE(drawer.getRecords().empty());
  drawer.endFrame();
  EXPECT_FALSE(drawer.isDirty());
}

// A band image of one band's height over a band buffer whose first pixel is
// shifted by a number of pixels, so that the kernels' head, body and tail
// split falls differently.
std::shared_ptr<Image> makeBandImage(const SpriteDrawer& drawer, std::int32_t shiftPixels) {
  std::size_t const pitch = std::size_t(drawer.getWidth()) * 4;
  auto buffer = MemoryHelper::allocateBuffer(pitch * drawer.getBandRows() + 64);
  std::shared_ptr<std::uint8_t[]> shifted(buffer, buffer.get() + 4 * shiftPixels);
  return std::make_shared<Image>(drawer.getWidth(), static_cast<std::int32_t>(drawer.getBandRows()),
                                 static_cast<std::int32_t>(pitch), std::move(shifted));
}

// One frame as the render loop and its workers draw it, on one thread: when
// the drawer is dirty, every dirty band drawn into a band image that still
// holds garbage, and its dirty rectangle copied to the window as presentBand
// places it.
void drawFrameByBands(SpriteDrawer& drawer, IImage& bandImage, testing::Frame& window, std::mt19937& random) {
  if (!drawer.isDirty()) return;
  drawer.beginFrame();
  for (std::int32_t b = 0; b < drawer.getBandCount(); ++b) {
    Rect const r = drawer.getBandRect(b);
    if (isEmpty(r)) continue;
    std::uint8_t* pixels = bandImage.lockPixels();
    for (std::int32_t i = 0; i < bandImage.getPitch() * bandImage.getHeight(); ++i) {
      pixels[i] = static_cast<std::uint8_t>(random());
    }
    drawer.drawBand(b, bandImage);
    std::int32_t const bandTop = b * static_cast<std::int32_t>(drawer.getBandRows());
    for (std::int32_t y = r.top; y < r.bottom; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(pixels + (y - bandTop) * bandImage.getPitch());
      for (std::int32_t x = r.left; x < r.right; ++x) {
        window.pixels[std::size_t(y) * std::size_t(window.width) + std::size_t(x)] = row[x] & 0xFFFFFF;
      }
    }
    bandImage.unlockPixels();
  }
  drawer.endFrame();
}

struct BandCase {
  std::int32_t width, height;
};

class BandDrawingTest : public ::testing::TestWithParam<std::tuple<BandCase, std::int32_t>> {};

TEST_P(BandDrawingTest, FramesDrawnBandByBandEqualTheFullFrameComposition) {
  auto const [size, shift] = GetParam();
  std::uint32_t const seed = static_cast<std::uint32_t>(size.width * 7919 + size.height * 31 + shift);
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  SpriteWorld world(size.width, size.height, 8192u / static_cast<std::uint32_t>(size.width));
  testing::RandomScene scene(seed, size.width, size.height);
  scene.build(
      40,
      [&](std::int32_t id, const Rect& rect, std::int32_t priority, const Colour& colour) {
        auto sprite = std::make_shared<FillRectSprite>(world.manager, world.drawer, id, rect, priority, colour);
        world.manager->add(sprite);
        return sprite;
      },
      [&](std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t priority, std::shared_ptr<IImage> image) {
        auto sprite = std::make_shared<ImageSprite>(world.manager, world.drawer, id, x, y, priority, std::move(image));
        world.manager->add(sprite);
        return sprite;
      });
  auto bandImage = makeBandImage(*world.drawer, shift);
  testing::Frame window(size.width, size.height, 0xFFFFFF);

  // The first frame draws everything; the later ones only what changed.
  for (int frame = 0; frame < 12; ++frame) {
    drawFrameByBands(*world.drawer, *bandImage, window, scene.generator());
    testing::Frame expected(size.width, size.height, 0);
    testing::composeReference(expected, scene.visibleRecords());
    ASSERT_EQ(testing::firstDifference(expected, window.pixels), "") << "frame " << frame;
    for (int i = 0; i < 3; ++i) scene.change();
  }
}

std::string bandCaseName(const ::testing::TestParamInfo<std::tuple<BandCase, std::int32_t>>& info) {
  BandCase const size = std::get<0>(info.param);
  return std::to_string(size.width) + "x" + std::to_string(size.height) + "_shift" +
         std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(WidthsAndAlignments, BandDrawingTest,
                         ::testing::Combine(::testing::Values(BandCase{1, 40}, BandCase{7, 13}, BandCase{16, 57},
                                                              BandCase{61, 45}, BandCase{203, 157}, BandCase{803, 33}),
                                            ::testing::Values(0, 1, 2, 3)),
                         bandCaseName);

TEST(SpriteDrawerTest, DrawsOnlyInsideTheDirtyRectangleAndNothingAfterEndFrame) {
  SpriteWorld world(40, 30, 10);
  auto sprite = std::make_shared<FillRectSprite>(world.manager, world.drawer, 1, Rect{0, 0, 40, 30}, 0,
                                                 Colour{Rgb, {10, 20, 30, 0}});
  world.manager->add(sprite);
  sprite->showImpl();
  world.drawer->invalidate({5, 12, 9, 14});  // band 1 only

  auto bandImage = std::make_shared<Image>(40, 10, Bgrx32);
  auto* pixels = reinterpret_cast<std::uint32_t*>(bandImage->lockPixels());
  std::fill(pixels, pixels + 400, 0xDEADBEEFu);

  world.drawer->beginFrame();
  world.drawer->drawBand(0, *bandImage);  // clean band: nothing
  world.drawer->drawBand(1, *bandImage);
  for (std::int32_t y = 0; y < 10; ++y) {
    for (std::int32_t x = 0; x < 40; ++x) {
      bool const inside = x >= 5 && x < 9 && y >= 2 && y < 4;
      EXPECT_EQ(pixels[y * 40 + x] & 0xFFFFFF, inside ? 0x0A141Eu : 0xADBEEFu) << x << ", " << y;
    }
  }
  world.drawer->endFrame();

  std::fill(pixels, pixels + 400, 0xDEADBEEFu);
  world.drawer->drawBand(1, *bandImage);
  EXPECT_EQ(std::count(pixels, pixels + 400, 0xDEADBEEFu), 400);
}

}  // namespace
}  // namespace zelvor
