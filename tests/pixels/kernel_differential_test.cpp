// Every one of the seventy kernels, reached through fillRect and drawImage
// with each kernel table, against the reference model: a sweep of widths 0
// to 67 and 800 (every mix of 16-, 8- and 4-pixel steps and narrow tail) from
// every start within a 32-byte block, then random cases
// with clips, origins and rectangles reaching past the edges. Each case is
// derived from its seed alone; a failure names the table, the kernel, the
// case and the first wrong byte. Guard bytes around the destination and its
// tail must stay as they were.
#include "pixels/kernel_tables.h"
#include "reference_model.h"
#include "tables_under_test.h"
#include "test_image.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace zelvor;
using pixeltest::biasedByte;
using pixeltest::TestImage;

const char* const modeNames[] = {"Normal", "Add", "Subtract", "Multiply", "InverseMultiply"};
const char* const formatNames[] = {"Gray8", "Bgr24", "GrayAlpha16", "Bgra32", "Bgrx32"};
constexpr std::array<int, 5> partialOpacities = {1, 2, 127, 128, 254};

struct Kernel {
  bool image;
  int mode;
  bool partial;
  int variant;  // fills: colour has alpha (0 or 1); images: source format

  std::string name() const {
    std::string text = std::string(image ? "image " : "fill ") + modeNames[mode] + (partial ? " partial " : " full ");
    return text + (image ? formatNames[variant] : variant ? "with alpha" : "without alpha");
  }
};

std::vector<Kernel> kernelsOf(int mode) {
  std::vector<Kernel> kernels;
  for (bool partial : {false, true}) {
    for (int alpha = 0; alpha < 2; ++alpha) kernels.push_back({false, mode, partial, alpha});
    for (int format = 0; format < 5; ++format) kernels.push_back({true, mode, partial, format});
  }
  return kernels;
}

struct Case {
  std::uint32_t seed;
  int destinationWidth;
  int destinationHeight;
  int destinationOffset;  // bytes from a 32-byte boundary
  Rect rect;
  std::optional<ClipWindow> clip;
  SourceOrigin origin;
  int sourceWidth;
  int sourceHeight;
  int sourcePitch;
  int sourceOffset;
  Colour colour;
  int opacity;

  std::string describe(const Kernel& kernel) const {
    std::ostringstream text;
    text << "seed " << seed << ", destination " << destinationWidth << "x" << destinationHeight << " at +"
         << destinationOffset << ", rect {" << rect.left << ", " << rect.top << ", " << rect.right << ", "
         << rect.bottom << "}";
    if (clip) {
      text << ", clip {" << clip->rect.left << ", " << clip->rect.top << ", " << clip->rect.right << ", "
           << clip->rect.bottom << "} offset (" << clip->offsetX << ", " << clip->offsetY << ")";
    }
    if (kernel.image) {
      text << ", origin (" << origin.x << ", " << origin.y << "), source " << sourceWidth << "x" << sourceHeight
           << " pitch " << sourcePitch << " at +" << sourceOffset;
    } else {
      text << ", colour type " << colour.type << " bytes " << int(colour.bytes[0]) << " " << int(colour.bytes[1]) << " "
           << int(colour.bytes[2]) << " " << int(colour.bytes[3]);
    }
    text << ", opacity " << opacity;
    return text.str();
  }
};

int randomIn(std::mt19937& random, int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

int opacityFor(const Kernel& kernel, std::mt19937& random, int index) {
  if (!kernel.partial) return 255;
  return index % 4 == 3 ? randomIn(random, 1, 254) : partialOpacities[std::size_t(index) % partialOpacities.size()];
}

// A colour of the kernel's class. Alpha 0 draws nothing at all; it is offered
// now and then so that the case is seen to change nothing.
Colour colourFor(const Kernel& kernel, std::mt19937& random, bool allowTransparent) {
  Colour colour{0, {biasedByte(random), biasedByte(random), biasedByte(random), biasedByte(random)}};
  int alpha = 255;
  if (kernel.variant) {
    int const pick = randomIn(random, 0, 15);
    alpha = pick == 0 ? 1 : pick == 1 ? 254 : (pick == 2 && allowTransparent) ? 0 : randomIn(random, 1, 254);
    colour.type = randomIn(random, 0, 1) ? GreyAlpha : Rgba;
  } else {
    colour.type = randomIn(random, 0, 3);
  }
  if (colour.type == GreyAlpha) colour.bytes[1] = static_cast<std::uint8_t>(alpha);
  if (colour.type == Rgba) colour.bytes[3] = static_cast<std::uint8_t>(alpha);
  return colour;
}

void chooseSource(Case& c, const Kernel& kernel, int pitchExtra) {
  int const size = kernel.image ? model::bytesPerPixel(kernel.variant) : 1;
  c.sourcePitch = c.sourceWidth * size + pitchExtra;
}

std::uint32_t seedOf(const Kernel& kernel, int index) {
  return std::uint32_t(((kernel.image ? 100 : 0) + kernel.mode * 10 + kernel.partial * 5 + kernel.variant) * 100000 +
                       index);
}

// A rectangle of the given width from column start (0 to 7 pixels into a
// 32-byte block), on rows between undrawn ones, from a source that holds it.
Case sweepCase(const Kernel& kernel, int index, int width, int start) {
  std::uint32_t const seed = seedOf(kernel, index);
  std::mt19937 random(seed);
  Case c{};
  c.seed = seed;
  int const height = 1 + index % 3;
  c.destinationWidth = start + width + randomIn(random, 0, 3);
  c.destinationHeight = height + randomIn(random, 0, 2);
  int const top = randomIn(random, 0, c.destinationHeight - height);
  c.rect = {start, top, start + width, top + height};
  c.origin = {randomIn(random, 0, 2), randomIn(random, 0, 1)};
  c.sourceWidth = c.origin.x + width + randomIn(random, 0, 2);
  c.sourceHeight = c.origin.y + height + randomIn(random, 0, 1);
  chooseSource(c, kernel, index % 5 == 4 ? randomIn(random, 1, 7) : 0);
  c.sourceOffset = index % 16;
  c.colour = colourFor(kernel, random, false);
  c.opacity = opacityFor(kernel, random, index);
  return c;
}

// Anything goes: rectangles past every edge, clips with offsets (some
// empty), origins inside and outside the source, sources smaller than the
// rectangle or empty, and now and then a destination whose pixels are not
// 4-byte aligned.
Case randomCase(const Kernel& kernel, int index) {
  std::uint32_t const seed = seedOf(kernel, index);
  std::mt19937 random(seed);
  Case c{};
  c.seed = seed;
  c.destinationWidth = randomIn(random, 1, 70);
  c.destinationHeight = randomIn(random, 1, 6);
  c.destinationOffset = randomIn(random, 0, 7) == 0 ? randomIn(random, 1, 3) : 4 * randomIn(random, 0, 7);
  int const left = randomIn(random, -12, c.destinationWidth + 4);
  int const top = randomIn(random, -3, c.destinationHeight + 1);
  c.rect = {left, top, left + randomIn(random, -1, 80), top + randomIn(random, -1, 9)};
  if (randomIn(random, 0, 1)) {
    int const clipLeft = randomIn(random, -4, c.destinationWidth);
    int const clipTop = randomIn(random, -2, c.destinationHeight);
    c.clip = ClipWindow{{clipLeft, clipTop, clipLeft + randomIn(random, 0, 80), clipTop + randomIn(random, 0, 8)},
                        randomIn(random, -10, 10),
                        randomIn(random, -3, 3)};
  }
  c.origin = {randomIn(random, -6, 12), randomIn(random, -2, 3)};
  c.sourceWidth = randomIn(random, 0, 9) == 0 ? 0 : randomIn(random, 1, 75);
  c.sourceHeight = randomIn(random, 0, 9) == 0 ? 0 : randomIn(random, 1, 8);
  chooseSource(c, kernel, randomIn(random, 0, 3) == 0 ? randomIn(random, 1, 9) : 0);
  c.sourceOffset = randomIn(random, 0, 15);
  c.colour = colourFor(kernel, random, true);
  c.opacity = opacityFor(kernel, random, index);
  return c;
}

// Runs one case; returns an empty string when every byte is as expected.
std::string runCase(const pixels::KernelTable& table, const Kernel& kernel, const Case& c) {
  std::mt19937 random(c.seed ^ 0x9E3779B9u);
  TestImage destination(Bgrx32, c.destinationWidth, c.destinationHeight, c.destinationWidth * 4, c.destinationOffset,
                        32);
  destination.randomise(random);
  model::Frame expected = destination.frame();
  std::vector<std::uint8_t> const before = expected.bytes;
  const ClipWindow* clip = c.clip ? &*c.clip : nullptr;
  auto const mode = static_cast<BlendMode>(kernel.mode);
  auto const opacity = static_cast<std::uint8_t>(c.opacity);
  if (kernel.image) {
    TestImage source(static_cast<PixelFormat>(kernel.variant), c.sourceWidth, c.sourceHeight, c.sourcePitch,
                     c.sourceOffset, 0);
    source.randomise(random);
    model::draw(expected, c.origin, clip, source.sourceFrame(), kernel.mode, c.rect, c.opacity);
    pixels::drawImageWith(table, c.origin, clip, source, destination, mode, c.rect, opacity);
  } else {
    model::fill(expected, c.colour, clip, kernel.mode, c.rect, c.opacity);
    pixels::fillRectWith(table, c.colour, clip, destination, mode, c.rect, opacity);
  }
  const std::uint8_t* actual = destination.data();
  for (int y = 0; y < c.destinationHeight; ++y) {
    for (int x = 0; x < c.destinationWidth; ++x) {
      int const at = y * expected.pitch + x * 4;
      int const bytes = expected.fourthSignificant[std::size_t(y * c.destinationWidth + x)] ? 4 : 3;
      for (int k = 0; k < bytes; ++k) {
        if (actual[at + k] == expected.bytes[std::size_t(at + k)]) continue;
        std::ostringstream text;
        text << table.name << " " << kernel.name() << ": " << c.describe(kernel) << "\n  first bad pixel (" << x << ", "
             << y << ") byte " << k << ": expected " << int(expected.bytes[std::size_t(at + k)]) << ", got "
             << int(actual[at + k]) << " (was " << int(before[std::size_t(at + k)]) << ")";
        return text.str();
      }
    }
  }
  if (!destination.guardsIntact()) {
    return std::string(table.name) + " " + kernel.name() +
           ": bytes outside the destination changed: " + c.describe(kernel);
  }
  return {};
}

struct Suite {
  pixeltest::TableUnderTest table;
  int mode;
};

void PrintTo(const Suite& suite, std::ostream* out) { *out << suite.table.name << " " << modeNames[suite.mode]; }

class KernelsMatchModel : public testing::TestWithParam<Suite> {};

TEST_P(KernelsMatchModel, WidthSweepFromEveryStartInABlock) {
  auto const& [under, mode] = GetParam();
  if (!under.table) GTEST_SKIP() << pixeltest::missingInstructions;
  const pixels::KernelTable* table = under.table;
  std::vector<int> widths;
  for (int width = 0; width <= 67; ++width) widths.push_back(width);
  widths.push_back(800);
  for (const Kernel& kernel : kernelsOf(mode)) {
    int index = 0;
    std::string failure;
    for (int width : widths) {
      for (int start = 0; start < 8 && failure.empty(); ++start, ++index) {
        failure = runCase(*table, kernel, sweepCase(kernel, index, width, start));
      }
    }
    EXPECT_EQ(failure, "");
  }
}

TEST_P(KernelsMatchModel, RandomCases) {
  auto const& [under, mode] = GetParam();
  if (!under.table) GTEST_SKIP() << pixeltest::missingInstructions;
  const pixels::KernelTable* table = under.table;
  for (const Kernel& kernel : kernelsOf(mode)) {
    std::string failure;
    for (int index = 1000; index < 1150 && failure.empty(); ++index) {
      failure = runCase(*table, kernel, randomCase(kernel, index));
    }
    EXPECT_EQ(failure, "");
  }
}

std::vector<Suite> allSuites() {
  std::vector<Suite> suites;
  for (const pixeltest::TableUnderTest& table : pixeltest::tablesUnderTest()) {
    for (int mode = 0; mode < 5; ++mode) suites.push_back({table, mode});
  }
  return suites;
}

INSTANTIATE_TEST_SUITE_P(Tables, KernelsMatchModel, testing::ValuesIn(allSuites()),
                         [](const testing::TestParamInfo<Suite>& info) {
                           return info.param.table.name + "_" + modeNames[info.param.mode];
                         });

}  // namespace
