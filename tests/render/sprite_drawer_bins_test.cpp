// The SpriteDrawer's per-band record lists: a band is offered exactly the
// records whose rectangle overlaps its dirty rectangle, in drawing order;
// sprites spanning many bands, beside or beyond the screen, without area or
// stored inverted; a last band shorter than the others; consecutive frames
// of a changing random scene; and nothing offered outside a frame.
#include "render/sprite_drawer.h"

#include "sprites/fill_rect_sprite.h"
#include "sprites/image_sprite.h"
#include "tests/render/random_scene.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace zelvor {
namespace {

using testing::SpriteWorld;

constexpr Colour grey{Grey, {128, 0, 0, 0}};

// The positions in getRecords() of the records a band is offered.
std::vector<std::size_t> offered(const SpriteDrawer& drawer, std::int32_t band) {
  std::vector<std::size_t> positions;
  const DrawRecord* const first = drawer.getRecords().data();
  drawer.forEachRecordInBand(
      band, [&](const DrawRecord& record) { positions.push_back(static_cast<std::size_t>(&record - first)); });
  return positions;
}

// What a band must be offered, worked out from the records alone: those
// with area whose rectangle overlaps the band's dirty rectangle.
std::vector<std::size_t> overlapping(const SpriteDrawer& drawer, std::int32_t band) {
  std::vector<std::size_t> positions;
  Rect const dirty = drawer.getBandRect(band);
  if (!drawer.isDirty() || dirty.left >= dirty.right || dirty.top >= dirty.bottom) return positions;
  const auto& records = drawer.getRecords();
  for (std::size_t i = 0; i < records.size(); ++i) {
    Rect const r = records[i].rect;
    bool const hasArea = r.left < r.right && r.top < r.bottom;
    if (hasArea && r.left < dirty.right && dirty.left < r.right && r.top < dirty.bottom && dirty.top < r.bottom) {
      positions.push_back(i);
    }
  }
  return positions;
}

struct BinCase {
  std::string name;
  Rect rect;
  std::int32_t firstBand, endBand;  // the bands it is offered to, on a wholly dirty screen
};

TEST(SpriteDrawerBinsTest, EachBandIsOfferedTheRecordsThatReachItInDrawingOrder) {
  // 605 rows: 61 bands of 10 rows, the last one of 5.
  BinCase const cases[] = {
      {"whole screen", {0, 0, 800, 605}, 0, 61},
      {"many bands", {100, 5, 120, 95}, 0, 10},
      {"one band, edge to edge", {0, 20, 5, 30}, 2, 3},
      {"one row", {7, 29, 8, 30}, 2, 3},
      {"across the bottom edge", {-10, 600, 5, 640}, 60, 61},
      {"across the top edge", {300, -40, 310, 1}, 0, 1},
      {"far beyond every edge", {-1000000, -1000000, 1000000, 1000000}, 0, 61},
      {"beside the left edge", {-50, 10, 0, 30}, 0, 0},
      {"beside the right edge", {800, 10, 850, 30}, 0, 0},
      {"above the screen", {10, -30, 20, 0}, 0, 0},
      {"below the screen", {10, 605, 20, 700}, 0, 0},
      {"no width", {10, 10, 10, 20}, 0, 0},
      {"no height", {10, 10, 20, 10}, 0, 0},
      {"stored inverted", {30, 5, 10, 15}, 0, 0},
  };
  SpriteWorld world(800, 605, 10);
  std::vector<std::shared_ptr<FillRectSprite>> sprites;
  std::int32_t id = 0;
  for (const BinCase& c : cases) {
    // Priorities falling with the table's order, so that the drawing order
    // is the table's order reversed.
    sprites.push_back(std::make_shared<FillRectSprite>(world.manager, world.drawer, id, c.rect, 100 - id, grey));
    world.manager->add(sprites.back());
    sprites.back()->showImpl();
    ++id;
  }
  world.drawer->invalidate({0, 0, 800, 605});
  world.drawer->beginFrame();
  ASSERT_EQ(world.drawer->getRecords().size(), std::size(cases));

  for (std::int32_t band = 0; band < world.drawer->getBandCount(); ++band) {
    std::vector<std::size_t> expected;
    for (std::size_t k = std::size(cases); k-- > 0;) {
      if (band >= cases[k].firstBand && band < cases[k].endBand) {
        expected.push_back(std::size(cases) - 1 - k);  // its position in the drawing order
      }
    }
    EXPECT_EQ(offered(*world.drawer, band), expected) << "band " << band;
  }
  world.drawer->endFrame();
}

TEST(SpriteDrawerBinsTest, ABandWithANarrowDirtyRectangleIsOfferedOnlyWhatOverlapsIt) {
  SpriteWorld world(800, 600, 10);
  auto const add = [&](std::int32_t id, const Rect& rect) {
    auto sprite = std::make_shared<FillRectSprite>(world.manager, world.drawer, id, rect, id, grey);
    world.manager->add(sprite);
    sprite->showImpl();
    return sprite;
  };
  auto const background = add(0, {0, 0, 800, 600});
  auto const leftOfIt = add(1, {100, 0, 200, 600});   // ends where the dirty area starts
  auto const inside = add(2, {250, 12, 260, 14});     // within band 1 only
  auto const across = add(3, {150, 5, 350, 25});      // bands 0 to 2
  auto const rightOfIt = add(4, {300, 0, 400, 600});  // starts where it ends
  world.drawer->invalidate({200, 10, 300, 20});       // band 1 only

  world.drawer->beginFrame();
  EXPECT_EQ(offered(*world.drawer, 0), std::vector<std::size_t>{});
  EXPECT_EQ(offered(*world.drawer, 1), (std::vector<std::size_t>{0, 2, 3}));
  EXPECT_EQ(offered(*world.drawer, 2), std::vector<std::size_t>{});
  EXPECT_EQ(offered(*world.drawer, -1), std::vector<std::size_t>{});
  EXPECT_EQ(offered(*world.drawer, 60), std::vector<std::size_t>{});
  world.drawer->endFrame();
}

// Frame after frame of a changing random scene, with areas of every shape
// reported: every band is offered what overlaps it; between frames, even
// once something new is reported, no band is offered anything, and drawing
// a band changes nothing.
TEST(SpriteDrawerBinsTest, ConsecutiveFramesOfARandomSceneOfferExactlyTheOverlappingRecords) {
  for (auto [width, height] : {std::pair{203, 157}, {800, 600}, {37, 9}}) {
    std::uint32_t const seed = static_cast<std::uint32_t>(width * 131 + height);
    SCOPED_TRACE(::testing::Message() << width << " x " << height << ", seed " << seed);
    SpriteWorld world(width, height, 10);
    testing::RandomScene scene(seed, width, height);
    scene.build(
        60,
        [&](std::int32_t id, const Rect& rect, std::int32_t priority, const Colour& colour) {
          auto sprite = std::make_shared<FillRectSprite>(world.manager, world.drawer, id, rect, priority, colour);
          world.manager->add(sprite);
          return sprite;
        },
        [&](std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t priority, std::shared_ptr<IImage> image) {
          auto sprite =
              std::make_shared<ImageSprite>(world.manager, world.drawer, id, x, y, priority, std::move(image));
          world.manager->add(sprite);
          return sprite;
        });
    auto& random = scene.generator();
    auto const coordinate = [&](std::int32_t size) {
      return static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(size + 20)) - 10;
    };
    Image bandImage(width, static_cast<std::int32_t>(world.drawer->getBandRows()), Bgrx32);

    for (int frame = 0; frame < 15; ++frame) {
      SCOPED_TRACE(::testing::Message() << "frame " << frame);
      // The first frame draws whatever the build reported, later ones what
      // changed, and a few more areas of any size, some off the screen.
      for (int k = 0; k < 3; ++k) {
        std::int32_t const left = coordinate(width), top = coordinate(height);
        world.drawer->invalidate({left, top, left + coordinate(width / 2), top + coordinate(height / 2)});
      }
      world.drawer->beginFrame();
      for (std::int32_t band = 0; band < world.drawer->getBandCount(); ++band) {
        ASSERT_EQ(offered(*world.drawer, band), overlapping(*world.drawer, band)) << "band " << band;
      }
      world.drawer->endFrame();

      for (int i = 0; i < 4; ++i) scene.change();
      world.drawer->invalidate({0, 0, width, height});
      std::uint8_t* pixels = bandImage.lockPixels();
      std::fill(pixels, pixels + bandImage.getPitch() * bandImage.getHeight(), 0x5A);
      for (std::int32_t band = 0; band < world.drawer->getBandCount(); ++band) {
        ASSERT_EQ(offered(*world.drawer, band), std::vector<std::size_t>{}) << "band " << band;
        world.drawer->drawBand(band, bandImage);
      }
      EXPECT_EQ(std::count(pixels, pixels + bandImage.getPitch() * bandImage.getHeight(), 0x5A),
                bandImage.getPitch() * bandImage.getHeight());
      bandImage.unlockPixels();
    }
  }
}

}  // namespace
}  // namespace zelvor
