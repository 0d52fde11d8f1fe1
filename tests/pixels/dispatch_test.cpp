// fillRect and drawImage: where they draw (offsets, clips, rectangles past
// every edge, the source cut and the origin) and when they draw nothing at all
// (opacity 0, a transparent colour, modes and formats out of range, empty or
// inverted rectangles and clips, images without pixels, coordinates at the
// ends of the 32-bit range). Each case names the rectangle that must change
// and, for pictures, which source pixel each changed pixel must show.
#include "image/image.h"
#include "pixels/blend.h"
#include "pixels/kernel_tables.h"
#include "tables_under_test.h"
#include "test_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>

namespace {

using namespace zelvor;
using pixeltest::TestImage;

constexpr std::int32_t maxInt = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t minInt = std::numeric_limits<std::int32_t>::min();
constexpr Rect nothing{0, 0, 0, 0};

bool inside(int x, int y, const Rect& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

std::uint32_t pixelAt(IImage& image, int x, int y) {
  std::uint32_t value;
  std::memcpy(&value, image.lockPixels() + y * image.getPitch() + 4 * x, 4);
  return value;
}

// A destination of random pixels between guard bytes.
TestImage destinationOf(int width, int height) {
  TestImage image(Bgrx32, width, height, width * 4, 0, 32);
  std::mt19937 random(std::uint32_t(width * 1000 + height));
  image.randomise(random);
  return image;
}

struct FillCase {
  const char* name;
  int width;
  int height;
  Rect rect;
  std::optional<ClipWindow> clip;
  Colour colour;
  int mode;
  int opacity;
  Rect changed;
};

Colour const red{Rgb, {255, 0, 0, 0}};

// clang-format off
FillCase const fillCases[] = {
    {"rect inside", 20, 10, {2, 3, 10, 8}, std::nullopt, red, Normal, 255, {2, 3, 10, 8}},
    {"rect past every edge", 20, 10, {-5, -5, 25, 25}, std::nullopt, red, Normal, 255, {0, 0, 20, 10}},
    {"band clip: offsetY -40 moves rows 45 and 46 to 5 and 6", 800, 10, {0, 45, 800, 47}, ClipWindow{{0, 0, 800, 10}, 0, -40}, red, Normal, 255, {0, 5, 800, 7}},
    {"negative offsets, then the clip", 20, 10, {0, 0, 10, 5}, ClipWindow{{2, 1, 18, 9}, -3, -2}, red, Normal, 255, {2, 1, 7, 3}},
    {"clip past the destination", 20, 10, {0, 0, 30, 30}, ClipWindow{{-10, 5, 40, 40}, 0, 0}, red, Normal, 255, {0, 5, 20, 10}},
    {"rect wholly outside the clip", 20, 10, {0, 0, 5, 5}, ClipWindow{{10, 0, 20, 10}, 0, 0}, red, Normal, 255, nothing},
    {"empty rect", 20, 10, {3, 3, 3, 8}, std::nullopt, red, Normal, 255, nothing},
    {"empty rect with a clip", 20, 10, {3, 3, 9, 3}, ClipWindow{{0, 0, 20, 10}, 0, 0}, red, Normal, 255, nothing},
    {"empty clip rectangle lets nothing through", 20, 10, {0, 0, 20, 10}, ClipWindow{{5, 5, 5, 9}, 0, 0}, red, Normal, 255, nothing},
    {"inverted rect", 20, 10, {10, 0, 5, 4}, std::nullopt, red, Normal, 255, nothing},
    {"inverted rect with a clip", 20, 10, {10, 6, 15, 2}, ClipWindow{{0, 0, 20, 10}, 0, 0}, red, Normal, 255, nothing},
    {"opacity 0", 20, 10, {0, 0, 20, 10}, std::nullopt, red, Normal, 0, nothing},
    {"Rgba with alpha 0", 20, 10, {0, 0, 20, 10}, std::nullopt, {Rgba, {255, 0, 0, 0}}, Normal, 255, nothing},
    {"GreyAlpha with alpha 0", 20, 10, {0, 0, 20, 10}, std::nullopt, {GreyAlpha, {9, 0}}, Add, 100, nothing},
    {"mode 5", 20, 10, {0, 0, 20, 10}, std::nullopt, red, 5, 255, nothing},
    {"mode -1", 20, 10, {0, 0, 20, 10}, std::nullopt, red, -1, 255, nothing},
    {"right edge near the 32-bit limit, offset past it", 20, 10, {maxInt - 10, 0, maxInt, 5}, ClipWindow{{0, 0, 20, 10}, 100, 0}, red, Normal, 255, nothing},
    {"left edge at the 32-bit limit, offset below it", 20, 10, {minInt, 0, maxInt, 3}, ClipWindow{{0, 0, 20, 10}, -5, 0}, red, Normal, 255, {0, 0, 20, 3}},
    {"offset of the whole 32-bit range", 20, 10, {0, 0, 20, 10}, ClipWindow{{0, 0, 20, 10}, maxInt, minInt}, red, Normal, 255, nothing},
};
// clang-format on

class FillDispatch : public testing::TestWithParam<pixeltest::TableUnderTest> {};

TEST_P(FillDispatch, ChangesExactlyTheExpectedRectangle) {
  if (!GetParam().table) GTEST_SKIP() << pixeltest::missingInstructions;
  const pixels::KernelTable& table = *GetParam().table;
  for (const FillCase& c : fillCases) {
    TestImage destination = destinationOf(c.width, c.height);
    TestImage before = destinationOf(c.width, c.height);
    const ClipWindow* clip = c.clip ? &*c.clip : nullptr;
    pixels::fillRectWith(table, c.colour, clip, destination, static_cast<BlendMode>(c.mode), c.rect,
                         std::uint8_t(c.opacity));
    int wrong = 0;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        std::uint32_t const expected = inside(x, y, c.changed) ? toPixel(c.colour) : pixelAt(before, x, y);
        if (pixelAt(destination, x, y) != expected && wrong++ == 0) {
          ADD_FAILURE() << table.name << ": " << c.name << ": pixel (" << x << ", " << y << ") is " << std::hex
                        << pixelAt(destination, x, y) << ", expected " << expected;
        }
      }
    }
    EXPECT_TRUE(destination.guardsIntact()) << table.name << ": " << c.name;
  }
}

// Alpha 255 counts as no alpha: the whole value, fourth byte included, is
// stored as by an opaque colour; Grey and Rgb never have alpha, whatever their
// unused bytes hold.
TEST_P(FillDispatch, ColoursWithoutEffectiveAlphaAreStoredWhole) {
  if (!GetParam().table) GTEST_SKIP() << pixeltest::missingInstructions;
  const pixels::KernelTable& table = *GetParam().table;
  Colour const colours[] = {{Rgb, {1, 2, 3, 0}}, {Grey, {7, 0, 0, 0}}, {GreyAlpha, {9, 255}}, {Rgba, {1, 2, 3, 255}}};
  for (const Colour& colour : colours) {
    TestImage destination = destinationOf(12, 2);
    pixels::fillRectWith(table, colour, nullptr, destination, Normal, {0, 0, 12, 2}, 255);
    for (int x = 0; x < 12; ++x) EXPECT_EQ(pixelAt(destination, x, 1), toPixel(colour)) << "type " << colour.type;
  }
}

// A destination without pixels is never drawn into: its empty bounds must
// not be taken as no restriction.
TEST_P(FillDispatch, DestinationWithoutPixels) {
  if (!GetParam().table) GTEST_SKIP() << pixeltest::missingInstructions;
  const pixels::KernelTable& table = *GetParam().table;
  for (auto [width, height] : {std::pair{0, 4}, std::pair{4, 0}, std::pair{0, 0}}) {
    TestImage destination(Bgrx32, width, height, width * 4, 0, 32);
    std::mt19937 random(1);
    destination.randomise(random);
    pixels::fillRectWith(table, red, nullptr, destination, Normal, {0, 0, 8, 8}, 255);
    Image source(4, 4, Bgrx32);
    pixels::drawImageWith(table, {0, 0}, nullptr, source, destination, Normal, {0, 0, 8, 8}, 255);
    EXPECT_TRUE(destination.guardsIntact()) << width << "x" << height;
  }
}

struct ImageCase {
  const char* name;
  int width;
  int height;
  Rect rect;
  std::optional<ClipWindow> clip;
  SourceOrigin origin;
  int sourceWidth;
  int sourceHeight;
  int format;
  int mode;
  int opacity;
  Rect changed;
  int shiftX;  // a changed pixel (x, y) shows source pixel (x + shiftX, y + shiftY)
  int shiftY;
};

// clang-format off
ImageCase const imageCases[] = {
    {"rect from -3: column 0 shows source column 3", 10, 2, {-3, 0, 5, 2}, std::nullopt, {0, 0}, 10, 2, Bgrx32, Normal, 255, {0, 0, 5, 2}, 3, 0},
    {"origin (2, 1) of a 5x4 source into {10, 10, 20, 20}", 25, 25, {10, 10, 20, 20}, std::nullopt, {2, 1}, 5, 4, Bgrx32, Normal, 255, {10, 10, 13, 13}, -8, -9},
    {"cut at the left edge by 3 columns starts at source column sx + 3", 10, 1, {-3, 0, 7, 1}, std::nullopt, {1, 0}, 12, 1, Bgrx32, Normal, 255, {0, 0, 7, 1}, 4, 0},
    {"negative origin: the source starts inside the rectangle", 10, 5, {0, 0, 6, 4}, std::nullopt, {-2, -1}, 3, 2, Bgrx32, Normal, 255, {2, 1, 5, 3}, -2, -1},
    {"clip with offset", 12, 4, {-4, -1, 6, 2}, ClipWindow{{1, 0, 9, 3}, 4, 1}, {0, 0}, 10, 3, Bgrx32, Normal, 255, {1, 0, 9, 3}, 0, 0},
    {"band clip of a picture crossing the band", 20, 10, {3, 35, 13, 55}, ClipWindow{{0, 0, 20, 10}, 0, -40}, {0, 0}, 10, 20, Bgrx32, Normal, 255, {3, 0, 13, 10}, -3, 5},
    {"picture wholly outside the clip", 20, 10, {0, 0, 5, 5}, ClipWindow{{6, 0, 20, 10}, 0, 0}, {0, 0}, 5, 5, Bgrx32, Normal, 255, nothing, 0, 0},
    {"origin at the source's right edge", 20, 10, {0, 0, 5, 5}, std::nullopt, {10, 0}, 10, 10, Bgrx32, Normal, 255, nothing, 0, 0},
    {"origin below the source", 20, 10, {0, 0, 5, 5}, std::nullopt, {0, 12}, 10, 10, Bgrx32, Normal, 255, nothing, 0, 0},
    {"source of width 0", 20, 10, {0, 0, 5, 5}, std::nullopt, {0, 0}, 0, 3, Bgrx32, Normal, 255, nothing, 0, 0},
    {"source of height 0", 20, 10, {0, 0, 5, 5}, std::nullopt, {0, 0}, 4, 0, Bgrx32, Normal, 255, nothing, 0, 0},
    {"empty clip rectangle", 20, 10, {0, 0, 5, 5}, ClipWindow{{2, 2, 8, 2}, 0, 0}, {0, 0}, 5, 5, Bgrx32, Normal, 255, nothing, 0, 0},
    {"empty rect", 20, 10, {4, 0, 4, 5}, std::nullopt, {0, 0}, 5, 5, Bgrx32, Normal, 255, nothing, 0, 0},
    {"inverted rect", 20, 10, {8, 0, 4, 5}, std::nullopt, {0, 0}, 5, 5, Bgrx32, Normal, 255, nothing, 0, 0},
    {"opacity 0", 20, 10, {0, 0, 5, 5}, std::nullopt, {0, 0}, 5, 5, Bgrx32, Normal, 0, nothing, 0, 0},
    {"mode 5", 20, 10, {0, 0, 5, 5}, std::nullopt, {0, 0}, 5, 5, Bgrx32, 5, 255, nothing, 0, 0},
    {"mode -1", 20, 10, {0, 0, 5, 5}, std::nullopt, {0, 0}, 5, 5, Bgrx32, -1, 255, nothing, 0, 0},
    {"format 5", 20, 10, {0, 0, 5, 5}, std::nullopt, {0, 0}, 5, 5, 5, Normal, 255, nothing, 0, 0},
    {"format -1", 20, 10, {0, 0, 5, 5}, std::nullopt, {0, 0}, 5, 5, -1, Normal, 255, nothing, 0, 0},
    {"origin at the lowest 32-bit value", 20, 10, {0, 0, 5, 5}, std::nullopt, {minInt, 0}, 5, 5, Bgrx32, Normal, 255, nothing, 0, 0},
    {"origin at the highest 32-bit value, rect far left", 20, 10, {minInt, 0, 5, 5}, std::nullopt, {maxInt, 0}, 5, 5, Bgrx32, Normal, 255, nothing, 0, 0},
    {"rect from the lowest 32-bit value, origin far right", 20, 10, {minInt, 0, 5, 5}, std::nullopt, {maxInt - 2, 0}, 5, 5, Bgrx32, Normal, 255, nothing, 0, 0},
    {"rect and origin both at the lowest 32-bit value", 20, 10, {minInt, 0, 3, 2}, std::nullopt, {minInt, 0}, 5, 5, Bgrx32, Normal, 255, {0, 0, 3, 2}, 0, 0},
    {"rect near the lowest value, origin pulls the source into view", 20, 10, {minInt + 5, 0, 4, 2}, std::nullopt, {maxInt, 0}, 16, 2, Bgrx32, Normal, 255, nothing, 0, 0},
};
// clang-format on

// Source pixels that tell their position: blue x, green y, red 0x5A, fourth
// byte 0xC3 (the full-opacity Bgrx32 copy keeps all four).
std::uint32_t sourcePixel(int x, int y) { return 0xC35A0000u | std::uint32_t(y) << 8 | std::uint32_t(x); }

class ImageDispatch : public testing::TestWithParam<pixeltest::TableUnderTest> {};

TEST_P(ImageDispatch, ChangesExactlyTheExpectedRectangle) {
  if (!GetParam().table) GTEST_SKIP() << pixeltest::missingInstructions;
  const pixels::KernelTable& table = *GetParam().table;
  for (const ImageCase& c : imageCases) {
    TestImage destination = destinationOf(c.width, c.height);
    TestImage before = destinationOf(c.width, c.height);
    TestImage source(static_cast<PixelFormat>(c.format), c.sourceWidth, c.sourceHeight, c.sourceWidth * 4, 0, 0);
    for (int y = 0; y < c.sourceHeight; ++y) {
      for (int x = 0; x < c.sourceWidth; ++x) {
        std::uint32_t const value = sourcePixel(x, y);
        std::memcpy(source.data() + y * c.sourceWidth * 4 + x * 4, &value, 4);
      }
    }
    const ClipWindow* clip = c.clip ? &*c.clip : nullptr;
    pixels::drawImageWith(table, c.origin, clip, source, destination, static_cast<BlendMode>(c.mode), c.rect,
                          std::uint8_t(c.opacity));
    int wrong = 0;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        std::uint32_t const expected =
            inside(x, y, c.changed) ? sourcePixel(x + c.shiftX, y + c.shiftY) : pixelAt(before, x, y);
        if (pixelAt(destination, x, y) != expected && wrong++ == 0) {
          ADD_FAILURE() << table.name << ": " << c.name << ": pixel (" << x << ", " << y << ") is " << std::hex
                        << pixelAt(destination, x, y) << ", expected " << expected;
        }
      }
    }
    EXPECT_TRUE(destination.guardsIntact()) << table.name << ": " << c.name;
  }
}

std::string tableName(const testing::TestParamInfo<pixeltest::TableUnderTest>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Tables, FillDispatch, testing::ValuesIn(pixeltest::tablesUnderTest()), tableName);
INSTANTIATE_TEST_SUITE_P(Tables, ImageDispatch, testing::ValuesIn(pixeltest::tablesUnderTest()), tableName);

// The widest table the processor runs is the one chosen; SSE2 is the floor.
TEST(ActiveTable, IsTheWidestThisProcessorRuns) {
  const pixels::KernelTable& expected = pixels::avx2Supported() ? pixels::avx2KernelTable() : pixels::sse2KernelTable();
  EXPECT_EQ(&pixels::activeKernelTable(), &expected) << pixels::activeKernelTable().name;
}

// The public operations reach the table chosen for the process.
TEST(PublicOperations, DrawThroughTheActiveTable) {
  TestImage destination = destinationOf(20, 3);
  fillRect({Rgb, {1, 2, 3, 0}}, nullptr, destination, Normal, {2, 1, 19, 2}, 255);
  EXPECT_EQ(pixelAt(destination, 2, 1), 0x00010203u);
  EXPECT_EQ(pixelAt(destination, 18, 1), 0x00010203u);
  Image source(4, 1, Bgrx32);
  std::uint32_t const value = 0x11223344u;
  for (int x = 0; x < 4; ++x) std::memcpy(source.lockPixels() + 4 * x, &value, 4);
  drawImage({0, 0}, nullptr, source, destination, Normal, {0, 2, 4, 3}, 255);
  EXPECT_EQ(pixelAt(destination, 3, 2), value);
  EXPECT_TRUE(destination.guardsIntact());
}

}  // namespace
