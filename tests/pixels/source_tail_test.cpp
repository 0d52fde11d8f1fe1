// Source reads stay within an Image's buffer: for every format, pictures
// whose last row ends exactly where the used bytes end (the 15 bytes after it
// are the whole tail the wide loads may use) are drawn whole, from every start
// within a 32-byte destination block, by every image kernel of every table, so
// that each kind of step meets the end of the picture.
// Under AddressSanitizer a read past the tail stops the test.
#include "image/image.h"
#include "pixels/kernel_tables.h"
#include "reference_model.h"
#include "tables_under_test.h"
#include "test_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

using namespace zelvor;

class SourceTail : public testing::TestWithParam<pixeltest::TableUnderTest> {};

TEST_P(SourceTail, LastRowEndingAtTheEndOfTheUsedBytes) {
  if (!GetParam().table) GTEST_SKIP() << pixeltest::missingInstructions;
  const pixels::KernelTable& table = *GetParam().table;
  std::mt19937 random(7);
  for (int format = 0; format < 5; ++format) {
    for (int width = 1; width <= 40; ++width) {
      int const height = 1 + width % 3;
      Image source(width, height, static_cast<PixelFormat>(format));
      std::uint8_t* bytes = source.lockPixels();
      for (int i = 0; i < height * source.getPitch(); ++i) bytes[i] = pixeltest::biasedByte(random);
      model::SourceFrame const frame{width, height, source.getPitch(), format,
                                     std::vector<std::uint8_t>(bytes, bytes + height * source.getPitch())};
      for (int start = 0; start < 8; ++start) {
        for (int mode = 0; mode < 5; ++mode) {
          for (int opacity : {255, 128}) {
            pixeltest::TestImage destination(Bgrx32, start + width, height, (start + width) * 4, 0, 32);
            destination.randomise(random);
            model::Frame expected = destination.frame();
            Rect const rect{start, 0, start + width, height};
            model::draw(expected, {0, 0}, nullptr, frame, mode, rect, opacity);
            pixels::drawImageWith(table, {0, 0}, nullptr, source, destination, static_cast<BlendMode>(mode), rect,
                                  std::uint8_t(opacity));
            for (int i = 0; i < height * (start + width); ++i) {
              ASSERT_EQ(std::memcmp(destination.data() + 4 * i, expected.bytes.data() + 4 * i, 3), 0)
                  << table.name << " format " << format << " width " << width << " start " << start << " mode " << mode
                  << " opacity " << opacity << " pixel " << i;
            }
            ASSERT_TRUE(destination.guardsIntact());
          }
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, SourceTail, testing::ValuesIn(pixeltest::tablesUnderTest()),
                         [](const testing::TestParamInfo<pixeltest::TableUnderTest>& info) { return info.param.name; });

}  // namespace
