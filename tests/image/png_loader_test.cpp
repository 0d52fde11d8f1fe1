// PngLoader and loadImage on pictures made here with libpng's writer: every
// colour type and legal bit depth, with and without tRNS, interlaced or not,
// from 1 × 1 to odd widths, compared byte for byte with a plain model; a few
// hand-computed pixels that do not trust the model; and the row protocol
// (passes, extra rows, short destinations).
#include "image/png_loader.h"
#include "image/load_image.h"
#include "image/pixel_lock.h"
#include "runtime/exception.h"
#include "tests/image/memory_stream_reader.h"
#include "tests/image/png_fixture.h"
#include "tests/image/test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace zelvor {
namespace {

using test::ExpectedPicture;
using test::PngFixture;

struct Kind {
  int colourType;
  int bitDepth;
  bool trns;
};

const Kind kinds[] = {
    {0, 1, false}, {0, 2, false},  {0, 4, false}, {0, 8, false}, {0, 16, false},  //
    {0, 1, true},  {0, 2, true},   {0, 4, true},  {0, 8, true},  {0, 16, true},   //
    {2, 8, false}, {2, 16, false}, {2, 8, true},  {2, 16, true},                  //
    {3, 1, false}, {3, 2, false},  {3, 4, false}, {3, 8, false},                  //
    {3, 1, true},  {3, 2, true},   {3, 4, true},  {3, 8, true},                   //
    {4, 8, false}, {4, 16, false},                                                //
    {6, 8, false}, {6, 16, false},
};

// Random samples biased towards the extremes, with the transparent colour
// planted on every fifth pixel and a near miss (lowest bit flipped) next to
// it, so both sides of the tRNS comparison occur in every picture.
PngFixture makeFixture(const Kind& kind, std::uint32_t width, std::uint32_t height, bool interlaced,
                       std::uint32_t seed) {
  std::mt19937 random(seed);
  PngFixture f;
  f.width = width;
  f.height = height;
  f.colourType = kind.colourType;
  f.bitDepth = kind.bitDepth;
  f.interlaced = interlaced;
  int const channels = test::channelsOf(kind.colourType);
  std::uint32_t const top = kind.colourType == 3 ? std::min(1u << kind.bitDepth, 200u) - 1 : (1u << kind.bitDepth) - 1;
  auto sample = [&] {
    switch (random() % 4) {
      case 0: return 0u;
      case 1: return top;
      default: return std::uint32_t(random() % (top + 1));
    }
  };
  f.samples.resize(std::size_t(width) * height * channels);
  for (auto& value : f.samples) value = std::uint16_t(sample());

  if (kind.colourType == 3) {
    for (std::uint32_t i = 0; i <= top; ++i) {
      f.palette.push_back({std::uint8_t(random()), std::uint8_t(random()), std::uint8_t(random())});
    }
    // Shorter than the palette: entries past it are opaque.
    if (kind.trns) {
      for (std::uint32_t i = 0; i < (top + 2) / 2; ++i) f.paletteAlpha.push_back(i == 0 ? 0 : std::uint8_t(random()));
    }
  } else if (kind.trns) {
    std::array<std::uint16_t, 3> colour{};
    for (auto& value : colour) value = std::uint16_t(sample());
    f.transparentColour = colour;
    std::size_t const pixels = std::size_t(width) * height;
    for (std::size_t pixel = 0; pixel < pixels; pixel += 5) {
      for (int c = 0; c < channels; ++c) f.samples[pixel * channels + c] = colour[c];
      if (pixel + 1 < pixels) {
        for (int c = 0; c < channels; ++c) f.samples[(pixel + 1) * channels + c] = colour[c];
        f.samples[(pixel + 1) * channels + channels - 1] ^= 1;
      }
    }
  }
  return f;
}

// The first differing byte, as a readable position, or "" when equal.
std::string firstDifference(const ExpectedPicture& expected, const IImage& image) {
  ConstPixelLock const lock(&image);
  for (std::size_t i = 0; i < expected.bytes.size(); ++i) {
    if (lock.get()[i] != expected.bytes[i]) {
      std::size_t const perPixel = bytesPerPixel(expected.format);
      return "row " + std::to_string(i / expected.pitch) + " pixel " + std::to_string(i % expected.pitch / perPixel) +
             " byte " + std::to_string(i % perPixel) + ": expected " + std::to_string(expected.bytes[i]) + ", got " +
             std::to_string(lock.get()[i]);
    }
  }
  return "";
}

void expectPicture(const ExpectedPicture& expected, std::uint32_t width, std::uint32_t height, const IImage& image) {
  ASSERT_EQ(image.getFormat(), expected.format);
  ASSERT_EQ(image.getWidth(), std::int32_t(width));
  ASSERT_EQ(image.getHeight(), std::int32_t(height));
  ASSERT_EQ(image.getPitch(), expected.pitch);
  EXPECT_EQ(firstDifference(expected, image), "");
}

class PngKindTest : public ::testing::TestWithParam<std::tuple<Kind, bool>> {};

TEST_P(PngKindTest, DecodesEveryByteAtEverySize) {
  auto const [kind, interlaced] = GetParam();
  test::TempFolder const folder;
  struct Size {
    std::uint32_t width, height;
  };
  // 1 × 1 and 2 × 3 leave some Adam7 passes empty; 7 and 33 are odd widths
  // that end low-depth rows inside a byte.
  for (auto const [width, height] : {Size{1, 1}, Size{2, 3}, Size{7, 5}, Size{33, 9}}) {
    PngFixture const f = makeFixture(kind, width, height, interlaced, width * 1000 + height);
    SCOPED_TRACE(test::describe(f));
    std::string const file = folder.write("picture.png", test::encodePng(f));

    std::shared_ptr<IImage> const image = loadImage(file.c_str());
    expectPicture(test::expectedDecode(f), width, height, *image);

    PngLoader const loader(std::make_shared<test::MemoryStreamReader>(test::encodePng(f)));
    EXPECT_EQ(loader.getPassCount(), interlaced ? 7 : 1);
    EXPECT_EQ(loader.getPitch(), image->getPitch());
  }
}

std::string kindName(const ::testing::TestParamInfo<std::tuple<Kind, bool>>& info) {
  auto const [kind, interlaced] = info.param;
  return "type" + std::to_string(kind.colourType) + "_depth" + std::to_string(kind.bitDepth) +
         (kind.trns ? "_trns" : "") + (interlaced ? "_interlaced" : "");
}

INSTANTIATE_TEST_SUITE_P(AllKinds, PngKindTest, ::testing::Combine(::testing::ValuesIn(kinds), ::testing::Bool()),
                         kindName);

// Pixels worked out by hand from the PNG rules, so that a mistake shared by
// the model and the loader still shows.
struct HandCase {
  const char* what;
  PngFixture fixture;
  PixelFormat format;
  std::vector<std::uint8_t> bytes;
};

PngFixture fixture(std::uint32_t width, int colourType, int bitDepth, std::vector<std::uint16_t> samples) {
  PngFixture f;
  f.width = width;
  f.colourType = colourType;
  f.bitDepth = bitDepth;
  f.samples = std::move(samples);
  return f;
}

TEST(PngLoaderTest, HandComputedPixels) {
  std::vector<HandCase> cases = {
      {"RGB 8 is stored blue first", fixture(1, 2, 8, {10, 20, 30}), Bgr24, {30, 20, 10}},
      {"RGBA 16 keeps the high bytes",
       fixture(1, 6, 16, {0x1234, 0x5678, 0x9abc, 0xdef0}),
       Bgra32,
       {0x9a, 0x56, 0x12, 0xde}},
      {"grey + alpha 16 keeps the high bytes", fixture(1, 4, 16, {0xabcd, 0x1234}), GrayAlpha16, {0xab, 0x12}},
      {"grey 1 scales to 0 and 255", fixture(2, 0, 1, {0, 1}), Gray8, {0, 255}},
      {"grey 2 scales by 85", fixture(4, 0, 2, {0, 1, 2, 3}), Gray8, {0, 85, 170, 255}},
      {"grey 4 scales by 17", fixture(3, 0, 4, {1, 9, 15}), Gray8, {17, 153, 255}},
      {"grey 16 keeps the high byte", fixture(2, 0, 16, {0x12ff, 0xff00}), Gray8, {0x12, 0xff}},
  };
  HandCase rgbTrns{"RGB tRNS matches all three channels",
                   fixture(3, 2, 8, {10, 20, 30, 10, 20, 31, 11, 20, 30}),
                   Bgra32,
                   {30, 20, 10, 0, 31, 20, 10, 255, 30, 20, 11, 255}};
  rgbTrns.fixture.transparentColour = {{10, 20, 30}};
  cases.push_back(rgbTrns);
  HandCase greyTrns{
      "grey 16 tRNS compares all 16 bits", fixture(2, 0, 16, {0x1234, 0x1235}), GrayAlpha16, {0x12, 0, 0x12, 255}};
  greyTrns.fixture.transparentColour = {{0x1234, 0, 0}};
  cases.push_back(greyTrns);
  HandCase lowTrns{
      "grey 2 tRNS gives two bytes a pixel", fixture(3, 0, 2, {1, 2, 1}), GrayAlpha16, {85, 0, 170, 255, 85, 0}};
  lowTrns.fixture.transparentColour = {{1, 0, 0}};
  cases.push_back(lowTrns);
  HandCase palette{"palette alpha past the tRNS entries is opaque",
                   fixture(3, 3, 2, {0, 1, 2}),
                   Bgra32,
                   {3, 2, 1, 7, 6, 5, 4, 255, 9, 8, 7, 255}};
  palette.fixture.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  palette.fixture.paletteAlpha = {7};
  cases.push_back(palette);
  HandCase plainPalette{"palette without tRNS", fixture(2, 3, 8, {1, 0}), Bgr24, {6, 5, 4, 3, 2, 1}};
  plainPalette.fixture.palette = {{1, 2, 3}, {4, 5, 6}};
  cases.push_back(plainPalette);

  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PngLoader loader(std::make_shared<test::MemoryStreamReader>(test::encodePng(c.fixture)));
    ASSERT_EQ(loader.getFormat(), c.format);
    ASSERT_EQ(std::size_t(loader.getPitch()), c.bytes.size());
    std::vector<std::uint8_t> row(c.bytes.size() + 4, 0xee);
    EXPECT_EQ(loader.load(row.data(), std::uint32_t(c.bytes.size())), loader.getPitch());
    EXPECT_EQ(std::vector<std::uint8_t>(row.begin(), row.begin() + std::ptrdiff_t(c.bytes.size())), c.bytes);
    EXPECT_EQ(row[c.bytes.size()], 0xee) << "wrote past the row";
  }
}

TEST(PngLoaderTest, InterlacedPictureEqualsItsPlainTwin) {
  PngFixture plain = makeFixture({6, 16, false}, 19, 13, false, 7);
  PngFixture interlaced = plain;
  interlaced.interlaced = true;
  test::TempFolder const folder;
  std::string const plainFile = folder.write("plain.png", test::encodePng(plain));
  std::string const interlacedFile = folder.write("interlaced.png", test::encodePng(interlaced));
  auto const a = loadImage(plainFile.c_str());
  auto const b = loadImage(interlacedFile.c_str());
  ConstPixelLock const lockA(a.get());
  ConstPixelLock const lockB(b.get());
  EXPECT_EQ(std::memcmp(lockA.get(), lockB.get(), std::size_t(a->getPitch()) * a->getHeight()), 0);
}

TEST(PngLoaderTest, LoadingTwiceGivesIndependentImages) {
  test::TempFolder const folder;
  std::string const file = folder.write("picture.png", test::encodePng(makeFixture({2, 8, false}, 4, 4, false, 1)));
  auto const first = loadImage(file.c_str());
  auto const second = loadImage(file.c_str());
  PixelLock const a(first.get());
  ConstPixelLock const b(second.get());
  ASSERT_NE(a.get(), b.get());
  std::size_t const size = std::size_t(first->getPitch()) * first->getHeight();
  ASSERT_EQ(std::memcmp(a.get(), b.get(), size), 0);
  a.get()[0] ^= 0xff;
  EXPECT_NE(std::memcmp(a.get(), b.get(), size), 0);
}

TEST(PngLoaderTest, GeometryIsKnownBeforeTheFirstRow) {
  PngLoader const loader(
      std::make_shared<test::MemoryStreamReader>(test::encodePng(makeFixture({0, 4, true}, 5, 3, false, 2))));
  EXPECT_EQ(loader.getWidth(), 5);
  EXPECT_EQ(loader.getHeight(), 3);
  EXPECT_EQ(loader.getFormat(), GrayAlpha16);
  EXPECT_EQ(loader.getPitch(), 10);
  EXPECT_EQ(loader.getPassCount(), 1);
}

void expectLoadFailure(PngLoader& loader, std::uint8_t* destination, std::uint32_t size) {
  try {
    loader.load(destination, size);
    ADD_FAILURE() << "load did not fail";
  } catch (const IoException& failure) {
    EXPECT_STREQ(failure.what(), "Invalid file format in zelvor::PngLoader::loadImpl method.");
  }
}

TEST(PngLoaderTest, RowsBeyondTheLastAreRefused) {
  for (bool const interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "interlaced" : "plain");
    PngLoader loader(
        std::make_shared<test::MemoryStreamReader>(test::encodePng(makeFixture({2, 8, false}, 3, 2, interlaced, 3))));
    std::vector<std::uint8_t> row(9);
    for (int i = 0; i < 2 * loader.getPassCount(); ++i) ASSERT_EQ(loader.load(row.data(), 9), 9);
    expectLoadFailure(loader, row.data(), 9);
  }
}

TEST(PngLoaderTest, ADestinationSmallerThanARowIsRefusedUntouched) {
  PngLoader loader(
      std::make_shared<test::MemoryStreamReader>(test::encodePng(makeFixture({2, 8, false}, 3, 2, false, 4))));
  std::vector<std::uint8_t> row(9, 0xee);
  expectLoadFailure(loader, row.data(), 8);
  EXPECT_EQ(row, std::vector<std::uint8_t>(9, 0xee));
  // The loader is done for after a failure.
  expectLoadFailure(loader, row.data(), 9);
}

// Records where each row goes.
class RecordingLoader : public IImageLoader {
 public:
  std::int32_t getWidth() const override { return 3; }
  std::int32_t getHeight() const override { return 4; }
  PixelFormat getFormat() const override { return Bgr24; }
  std::int32_t getPitch() const override { return 9; }
  std::int32_t getPassCount() const override { return 7; }

  std::vector<std::uint8_t*> destinations;
  std::vector<std::uint32_t> sizes;

 protected:
  std::int32_t loadImpl(std::uint8_t* destination, std::uint32_t size) override {
    destinations.push_back(destination);
    sizes.push_back(size);
    std::memset(destination, int(destinations.size()), 9);
    return 9;
  }
};

TEST(ReadImageTest, WalksEveryRowOncePerPass) {
  RecordingLoader loader;
  auto const image = readImage(loader);
  ASSERT_EQ(loader.destinations.size(), 28u);
  PixelLock const lock(image.get());
  for (std::size_t call = 0; call < 28; ++call) {
    EXPECT_EQ(loader.destinations[call], lock.get() + 9 * (call % 4)) << "call " << call;
    EXPECT_EQ(loader.sizes[call], 9u);
  }
  EXPECT_EQ(image->getFormat(), Bgr24);
  EXPECT_EQ(lock.get()[0], 25);  // the last pass wrote last
}

}  // namespace
}  // namespace zelvor
