// The pixel arithmetic: the scalar helpers against the reference model, every
// table's own channel code over all d, c and W (16.8 million cases per mode
// and step),
// and the worked examples of the rules, each run over a whole row so that
// narrow and wide steps both meet it.
#include "image/image.h"
#include "pixels/blend.h"
#include "pixels/colour.h"
#include "pixels/kernel_tables.h"
#include "reference_model.h"
#include "tables_under_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace zelvor;

TEST(Scale256, MatchesModelForEveryByte) {
  for (std::uint32_t x = 0; x < 256; ++x) EXPECT_EQ(scale256(x), std::uint32_t(model::scale(int(x)))) << x;
  EXPECT_EQ(scale256(254), 254u);
  EXPECT_EQ(scale256(255), 256u);
}

TEST(ColourConversion, PixelValueAndAlphaByType) {
  struct Case {
    Colour colour;
    std::uint32_t pixel;
    std::uint8_t alpha;
  };
  Case const cases[] = {
      {{Rgb, {255, 0, 0, 9}}, 0x00FF0000u, 255},
      {{Grey, {128, 7, 7, 7}}, 0x00808080u, 255},
      {{GreyAlpha, {128, 64, 7, 7}}, 0x40808080u, 64},
      {{Rgba, {17, 34, 51, 144}}, 0x90112233u, 144},
      {{7, {1, 2, 3, 4}}, 0u, 255},
      {{-1, {1, 2, 3, 4}}, 0u, 255},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(toPixel(c.colour), c.pixel) << "type " << c.colour.type;
    EXPECT_EQ(alphaOf(c.colour), c.alpha) << "type " << c.colour.type;
    model::ColourInfo const m = model::describe(c.colour);
    EXPECT_EQ(toPixel(c.colour), std::uint32_t(m.fourth << 24 | m.red << 16 | m.green << 8 | m.blue));
  }
}

TEST(BlendChannel, MatchesModelForEveryModeAndValue) {
  for (int mode = 0; mode < 5; ++mode) {
    for (std::uint32_t d = 0; d < 256; ++d) {
      for (std::uint32_t c = 0; c < 256; ++c) {
        ASSERT_EQ(blendChannel(mode, d, c), std::uint32_t(model::channelRule(mode, int(d), int(c))))
            << "mode " << mode << " d " << d << " c " << c;
      }
    }
  }
}

TEST(Weight, MatchesTheRuleForEveryOpacityAndAlpha) {
  for (int opacity = 1; opacity < 256; ++opacity) {
    EXPECT_EQ(weight(std::uint8_t(opacity), false, 0), std::uint32_t(model::scale(opacity)));
    for (int alpha = 0; alpha < 256; ++alpha) {
      std::uint32_t const expected =
          opacity == 255 ? std::uint32_t(model::scale(alpha)) : std::uint32_t(opacity * alpha / 256);
      ASSERT_EQ(weight(std::uint8_t(opacity), true, std::uint8_t(alpha)), expected) << opacity << " " << alpha;
    }
  }
  EXPECT_EQ(weight(251, true, 255), 250u);
  EXPECT_EQ(weight(1, true, 1), 0u);
}

struct TableMode {
  pixeltest::TableUnderTest table;
  int mode;
};

// Every (d, c) pair, three to a pixel, in shuffled order so that neighbouring
// channels are unrelated (a carry between channels shows only for particular
// neighbours, such as a blue that overflows under a green summing to 255).
struct ChannelInputs {
  std::vector<std::uint8_t> d;
  std::vector<std::uint8_t> c;
};

const ChannelInputs& channelInputs() {
  static const ChannelInputs inputs = [] {
    std::size_t const count = (65536 + pixels::channelRuleStep - 1) / pixels::channelRuleStep * pixels::channelRuleStep;
    std::vector<std::uint32_t> pairs(count);
    for (std::size_t i = 0; i < count; ++i) pairs[i] = std::uint32_t(i % 65536);
    std::shuffle(pairs.begin(), pairs.end(), std::mt19937(12345));
    ChannelInputs made{std::vector<std::uint8_t>(count), std::vector<std::uint8_t>(count)};
    for (std::size_t i = 0; i < count; ++i) {
      made.d[i] = std::uint8_t(pairs[i]);
      made.c[i] = std::uint8_t(pairs[i] >> 8);
    }
    return made;
  }();
  return inputs;
}

// The model's result for every input and weight 0..256 (weight-major), kept
// for the mode asked last: the suites are listed mode by mode.
const std::vector<std::uint8_t>& modelResults(int mode) {
  static int cachedMode = -1;
  static std::vector<std::uint8_t> results;
  if (mode != cachedMode) {
    const ChannelInputs& in = channelInputs();
    std::size_t const count = in.d.size();
    results.resize(257 * count);
    for (std::size_t w = 0; w <= 256; ++w) {
      for (std::size_t i = 0; i < count; ++i) {
        results[w * count + i] = std::uint8_t(model::mix(model::channelRule(mode, in.d[i], in.c[i]), in.d[i], int(w)));
      }
    }
    cachedMode = mode;
  }
  return results;
}

void PrintTo(const TableMode& param, std::ostream* out) { *out << param.table.name << " mode " << param.mode; }

class ChannelRules : public testing::TestWithParam<TableMode> {};

// All d and c at once for each weight, through each step the table has: the
// pixel step and every vector width. A table must offer exactly the steps it
// is known for, so that none goes untested.
TEST_P(ChannelRules, EveryDestinationColourAndWeightThroughEveryStep) {
  auto const& [under, mode] = GetParam();
  if (!under.table) GTEST_SKIP() << pixeltest::missingInstructions;
  const ChannelInputs& in = channelInputs();
  const std::vector<std::uint8_t>& expected = modelResults(mode);
  std::size_t const count = in.d.size();
  std::vector<std::uint8_t> out(count);
  std::vector<int> steps;
  for (int stepPixels : {1, 2, 4, 8, 16, 32}) {
    if (!under.table->channels[mode](in.d.data(), in.c.data(), 0, out.data(), count, stepPixels)) continue;
    steps.push_back(stepPixels);
    for (std::uint32_t w = 0; w <= 256; ++w) {
      ASSERT_TRUE(under.table->channels[mode](in.d.data(), in.c.data(), w, out.data(), count, stepPixels));
      auto const wanted = expected.begin() + std::ptrdiff_t(w * count);
      auto const [got, want] = std::mismatch(out.begin(), out.end(), wanted);
      if (got == out.end()) continue;
      std::size_t const i = std::size_t(got - out.begin());
      FAIL() << under.name << " mode " << mode << " step " << stepPixels << ": d " << int(in.d[i]) << " c "
             << int(in.c[i]) << " W " << w << " gave " << int(*got) << ", expected " << int(*want);
    }
  }
  EXPECT_EQ(steps, under.steps) << under.name;
}

std::vector<TableMode> tableModes() {
  std::vector<TableMode> all;
  for (int mode = 0; mode < 5; ++mode) {
    for (const pixeltest::TableUnderTest& table : pixeltest::tablesUnderTest()) all.push_back({table, mode});
  }
  return all;
}

INSTANTIATE_TEST_SUITE_P(Tables, ChannelRules, testing::ValuesIn(tableModes()),
                         [](const testing::TestParamInfo<TableMode>& info) {
                           return info.param.table.name + "_" + std::to_string(info.param.mode);
                         });

// A worked example: one colour or source pixel over one destination pixel,
// bytes in memory order (blue, green, red, fourth); -1 where the result is
// not significant or not stated.
struct Example {
  const char* name;
  int mode;
  int opacity;
  Colour colour;                       // fills
  int format;                          // pictures; -1 for a fill
  std::array<std::uint8_t, 4> source;  // the source pixel's bytes (first bytesPerPixel used)
  std::array<std::uint8_t, 4> before;
  std::array<int, 4> after;
};

constexpr int fill = -1;
constexpr Colour none{0, {0, 0, 0, 0}};

Example const examples[] = {
    {"Normal opacity 100 without alpha: 0xAB over 0xF8",
     Normal,
     100,
     {Grey, {0xAB}},
     fill,
     {},
     {0xF8, 0xF8, 0xF8, 0},
     {0xD9, 0xD9, 0xD9, -1}},
    {"Add opacity 35: 143 over 248", Add, 35, {Grey, {143}}, fill, {}, {248, 248, 248, 0}, {248, 248, 248, -1}},
    {"Multiply with white keeps the destination",
     Multiply,
     255,
     {Rgb, {255, 255, 255}},
     fill,
     {},
     {0x12, 0x80, 0xFE, 0},
     {0x12, 0x80, 0xFE, -1}},
    {"Multiply with black gives 0", Multiply, 255, {Rgb, {0, 0, 0}}, fill, {}, {0x12, 0x80, 0xFE, 0}, {0, 0, 0, -1}},
    {"InverseMultiply with white gives 0",
     InverseMultiply,
     255,
     {Rgb, {255, 255, 255}},
     fill,
     {},
     {0x12, 0x80, 0xFE, 0},
     {0, 0, 0, -1}},
    {"InverseMultiply with black inverts",
     InverseMultiply,
     255,
     {Rgb, {0, 0, 0}},
     fill,
     {},
     {0x12, 0x80, 0xFE, 0},
     {0xED, 0x7F, 0x01, -1}},
    {"alpha 1 at opacity 1 changes nothing",
     Normal,
     1,
     {GreyAlpha, {0, 1}},
     fill,
     {},
     {0x12, 0x80, 0xFE, 0},
     {0x12, 0x80, 0xFE, -1}},
    {"Normal full Rgb (255, 0, 0) stores the whole value",
     Normal,
     255,
     {Rgb, {255, 0, 0}},
     fill,
     {},
     {0x12, 0x34, 0x56, 0x78},
     {0, 0, 255, 0}},
    {"Add full (128, 64, 192) saturates",
     Add,
     255,
     {Rgb, {128, 64, 192}},
     fill,
     {},
     {0xFD, 0xE6, 0xF1, 0xC2},
     {0xFF, 0xFF, 0xFF, -1}},
    {"Add full (128, 64, 192) without overflow",
     Add,
     255,
     {Rgb, {128, 64, 192}},
     fill,
     {},
     {0x0F, 0x0B, 0x0D, 0x04},
     {0xCF, 0x4B, 0x8D, -1}},
    {"Subtract full (128, 64, 192)",
     Subtract,
     255,
     {Rgb, {128, 64, 192}},
     fill,
     {},
     {0xFD, 0xE6, 0xF1, 0xC2},
     {0x3D, 0xA6, 0x71, -1}},
    {"Normal opacity 100 with alpha 144: W 56",
     Normal,
     100,
     {Rgba, {128, 64, 192, 144}},
     fill,
     {},
     {0xFD, 0xFD, 0xFD, 0},
     {239, -1, -1, -1}},
    {"Normal full Bgrx32 copies all four bytes",
     Normal,
     255,
     none,
     Bgrx32,
     {0x11, 0x22, 0x33, 0x44},
     {0xF8, 0xF8, 0xF8, 0xF8},
     {0x11, 0x22, 0x33, 0x44}},
    {"Normal full Gray8 0x45", Normal, 255, none, Gray8, {0x45}, {0xF8, 0x01, 0x80, 0}, {0x45, 0x45, 0x45, -1}},
    {"Normal opacity 13 Gray8 0xAB over 0xF8",
     Normal,
     13,
     none,
     Gray8,
     {0xAB},
     {0xF8, 0xF8, 0xF8, 0},
     {0xF4, 0xF4, 0xF4, -1}},
    {"Normal full Bgr24 (0xAB, 0x17, 0x8F)",
     Normal,
     255,
     none,
     Bgr24,
     {0xAB, 0x17, 0x8F},
     {0, 0, 0, 0},
     {0xAB, 0x17, 0x8F, -1}},
    {"Normal full GrayAlpha16 (0xAB, 0x17) over 0xF8: W 23",
     Normal,
     255,
     none,
     GrayAlpha16,
     {0xAB, 0x17},
     {0xF8, 0xF8, 0xF8, 0},
     {241, 241, 241, -1}},
    {"Normal full Bgra32 alpha 0x45 over 0xF8",
     Normal,
     255,
     none,
     Bgra32,
     {0xAB, 0xAB, 0xAB, 0x45},
     {0xF8, 0xF8, 0xF8, 0},
     {227, 227, 227, -1}},
    {"Normal opacity 251 Bgra32 alpha 255: W 250, not 251",
     Normal,
     251,
     none,
     Bgra32,
     {0, 0, 0, 255},
     {255, 255, 255, 0},
     {5, 5, 5, -1}},
    {"Add opacity 128 Bgra32 alpha 200: W 100",
     Add,
     128,
     none,
     Bgra32,
     {100, 0, 255, 200},
     {100, 255, 10, 0},
     {139, 255, 105, -1}},
    {"Subtract full Gray8", Subtract, 255, none, Gray8, {0x30}, {0x20, 0x40, 0xFF, 0}, {0, 0x10, 0xCF, -1}},
    {"Add full Bgra32 alpha 0 changes nothing",
     Add,
     255,
     none,
     Bgra32,
     {0xFF, 0xFF, 0xFF, 0},
     {0x10, 0x20, 0x30, 0},
     {0x10, 0x20, 0x30, -1}},
    {"InverseMultiply partial GrayAlpha16 alpha 0 changes nothing",
     InverseMultiply,
     77,
     none,
     GrayAlpha16,
     {0x00, 0},
     {0x10, 0x20, 0x30, 0},
     {0x10, 0x20, 0x30, -1}},
};

class WorkedExamples : public testing::TestWithParam<pixeltest::TableUnderTest> {};

// 31 pixels, so that the example meets every step of every table: 16, 8 and
// 4 pixels wide (as far as the table has them) and the narrow tail.
TEST_P(WorkedExamples, EveryPixelOfARow) {
  if (!GetParam().table) GTEST_SKIP() << pixeltest::missingInstructions;
  const pixels::KernelTable& table = *GetParam().table;
  constexpr int width = 31;
  for (const Example& e : examples) {
    Image destination(width, 1, Bgrx32);
    for (int x = 0; x < width; ++x) std::memcpy(destination.lockPixels() + 4 * x, e.before.data(), 4);
    Rect const rect{0, 0, width, 1};
    if (e.format == fill) {
      pixels::fillRectWith(table, e.colour, nullptr, destination, static_cast<BlendMode>(e.mode), rect,
                           std::uint8_t(e.opacity));
    } else {
      Image source(width, 1, static_cast<PixelFormat>(e.format));
      int const size = bytesPerPixel(e.format);
      for (int x = 0; x < width; ++x) std::memcpy(source.lockPixels() + size * x, e.source.data(), std::size_t(size));
      pixels::drawImageWith(table, {0, 0}, nullptr, source, destination, static_cast<BlendMode>(e.mode), rect,
                            std::uint8_t(e.opacity));
    }
    for (int x = 0; x < width; ++x) {
      for (int k = 0; k < 4; ++k) {
        if (e.after[k] < 0) continue;
        EXPECT_EQ(destination.lockPixels()[4 * x + k], e.after[k])
            << table.name << ": " << e.name << ", pixel " << x << " byte " << k;
      }
    }
  }
}

std::vector<pixeltest::TableUnderTest> tablesAndActive() {
  std::vector<pixeltest::TableUnderTest> all = pixeltest::tablesUnderTest();
  all.push_back({"active", &pixels::activeKernelTable(), {}});
  return all;
}

INSTANTIATE_TEST_SUITE_P(Tables, WorkedExamples, testing::ValuesIn(tablesAndActive()),
                         [](const testing::TestParamInfo<pixeltest::TableUnderTest>& info) { return info.param.name; });

}  // namespace
