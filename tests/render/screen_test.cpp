// Screen without its render thread: band height, sprite factories, marking
// the whole screen dirty, and the copy of a band to the window.
#include "screen/screen.h"

#include "render/sprite_drawer.h"
#include "render/sprite_manager.h"
#include "sprites/fill_rect_sprite.h"
#include "sprites/image_sprite.h"
#include "tests/render/frame_test_support.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zelvor {
namespace {

using testing::NullSurface;

TEST(ScreenTest, AsksForTheRowsOfPixelsThatFitIn32KiB) {
  struct Case {
    std::int32_t width;
    std::uint32_t rows;
  };
  for (Case c :
       {Case{800, 10}, Case{8192, 1}, Case{8193, 0}, Case{1, 8192}, Case{3, 2730}, Case{4096, 2}, Case{0, 0}}) {
    EXPECT_EQ(requestedBandRows(c.width), c.rows) << "width " << c.width;
  }
}

TEST(ScreenTest, BuildsItsDrawerForTheScreenSize) {
  Screen const screen(nullptr, 800, 605);
  auto const drawer = screen.getSpriteDrawer();
  EXPECT_EQ(drawer->getWidth(), 800);
  EXPECT_EQ(drawer->getBandRows(), 10u);
  EXPECT_EQ(drawer->getBandCount(), 61);
  EXPECT_FALSE(drawer->isDirty());
  EXPECT_TRUE(screen.getSpriteManager()->getEntries().empty());
  EXPECT_EQ(screen.getWidth(), 800);
  EXPECT_EQ(screen.getHeight(), 605);
}

TEST(ScreenTest, CreatesHiddenRegisteredSpritesWiredToItsDrawerAndManager) {
  Screen screen(nullptr, 100, 100);
  auto picture = std::make_shared<Image>(6, 4, Bgra32);
  auto image = screen.createImageSprite(7, 10, 20, 3, picture);
  Colour const colour{Rgba, {1, 2, 3, 4}};
  auto fill = screen.createFillRectSprite(8, {1, 2, 5, 9}, -6, colour);

  EXPECT_EQ(image->getDrawRecord().rect, (Rect{10, 20, 16, 24}));
  EXPECT_EQ(image->getPriority(), 3);
  EXPECT_EQ(image->getImage(), picture);
  EXPECT_EQ(fill->getDrawRecord().rect, (Rect{1, 2, 5, 9}));
  EXPECT_EQ(fill->getPriority(), -6);
  DrawRecord const record = fill->getDrawRecord();
  EXPECT_EQ(std::memcmp(&record.colour, &colour, sizeof colour), 0);
  EXPECT_FALSE(image->isVisible());
  EXPECT_FALSE(fill->isVisible());

  auto const manager = screen.getSpriteManager();
  EXPECT_EQ(manager->find(7), image);
  EXPECT_EQ(manager->find(8), fill);
  EXPECT_TRUE(manager->hasOrderChanged());
  EXPECT_FALSE(screen.getSpriteDrawer()->isDirty());  // nothing shows yet

  image->show();
  EXPECT_EQ(screen.getSpriteDrawer()->getBandRect(0), (Rect{10, 20, 16, 24}));
}

TEST(ScreenTest, InvalidateAllMarksEveryBandWhole) {
  Screen screen(nullptr, 800, 605);
  screen.invalidateAll();
  auto const drawer = screen.getSpriteDrawer();
  EXPECT_TRUE(drawer->isDirty());
  for (std::int32_t b = 0; b < drawer->getBandCount(); ++b) {
    EXPECT_EQ(drawer->getBandRect(b), (Rect{0, 10 * b, 800, std::min(10 * b + 10, 605)}));
  }
}

// A band image whose pixel (x, r) holds a value naming both.
std::shared_ptr<Image> makeLabelledBand(std::int32_t width, std::int32_t rows) {
  auto band = std::make_shared<Image>(width, rows, Bgrx32);
  auto* pixels = reinterpret_cast<std::uint32_t*>(band->lockPixels());
  for (std::int32_t r = 0; r < rows; ++r) {
    for (std::int32_t x = 0; x < width; ++x) pixels[r * width + x] = 0xAA000000u | std::uint32_t(r) << 12 | x;
  }
  return band;
}

TEST(ScreenTest, PresentBandPutsBandRowROnClientRowBandTopPlusR) {
  struct Case {
    Rect rect;
    std::int32_t bandTop;
  };
  // A whole band, part of a band, a single pixel, and the last band of a
  // screen whose height is not a multiple of the band height.
  for (Case c : {Case{{0, 20, 800, 30}, 20}, Case{{5, 23, 17, 27}, 20}, Case{{799, 39, 800, 40}, 30},
                 Case{{3, 40, 411, 45}, 40}}) {
    SCOPED_TRACE(::testing::Message() << "band top " << c.bandTop);
    NullSurface surface(800, 45);
    Screen screen(surface.dc, 800, 45);
    auto band = makeLabelledBand(800, 10);
    {
      CriticalSectionLock lock(screen.getPresentLock());
      screen.presentBand(*band, c.rect, c.bandTop);
    }
    EXPECT_EQ(surface.takeBlits(), std::vector<Rect>{c.rect});
    auto const pixels = surface.pixels();
    for (std::int32_t y = 0; y < 45; ++y) {
      for (std::int32_t x = 0; x < 800; ++x) {
        bool const inside = x >= c.rect.left && x < c.rect.right && y >= c.rect.top && y < c.rect.bottom;
        std::uint32_t const expected = inside ? (std::uint32_t(y - c.bandTop) << 12 | x) : 0xFFFFFF;
        ASSERT_EQ(pixels[std::size_t(y) * 800 + std::size_t(x)], expected) << "client (" << x << ", " << y << ")";
      }
    }
  }
}

}  // namespace
}  // namespace zelvor
