// TestImage: see test_image.h.
#include "test_image.h"

#include <algorithm>
#include <new>

namespace pixeltest {

std::uint8_t biasedByte(std::mt19937& random) {
  std::uint32_t const r = random();
  switch (r & 3) {
    case 0: return 0x00;
    case 1: return 0xFF;
    default: return static_cast<std::uint8_t>(r >> 8);
  }
}

TestImage::TestImage(zelvor::PixelFormat format, int width, int height, int pitch, int byteOffset, int guardBytes)
    : format(format),
      width(width),
      height(height),
      pitch(pitch),
      guardBytes(guardBytes),
      lead(std::size_t(guardBytes + byteOffset)),
      size(lead + usedBytes() + zelvor::imageTailBytes + std::size_t(guardBytes)),
      block(static_cast<std::uint8_t*>(::operator new[](size, std::align_val_t{64}))),
      pixels(block.get() + lead) {
  std::fill_n(block.get(), size, std::uint8_t{0});
}

void TestImage::randomise(std::mt19937& random) {
  std::generate_n(block.get(), size, [&] { return biasedByte(random); });
  guards.assign(block.get(), block.get() + lead);
  guards.insert(guards.end(), block.get() + lead + usedBytes(), block.get() + size);
}

bool TestImage::guardsIntact() const {
  return std::equal(block.get(), block.get() + lead, guards.begin()) &&
         std::equal(block.get() + lead + usedBytes(), block.get() + size, guards.begin() + std::ptrdiff_t(lead));
}

model::Frame TestImage::frame() const {
  return {width, height, pitch, std::vector<std::uint8_t>(pixels, pixels + usedBytes()),
          std::vector<bool>(std::size_t(width) * std::size_t(height), true)};
}

model::SourceFrame TestImage::sourceFrame() const {
  return {width, height, pitch, format, std::vector<std::uint8_t>(pixels, pixels + usedBytes())};
}

}  // namespace pixeltest
