// An IImage for the pixel tests that puts its pixels where a test wants them:
// any format, pitch and byte offset from a 64-byte boundary (wide enough for
// every alignment a kernel table cares about), with guard bytes
// around a destination and, for a source, nothing after the 15 bytes that
// follow the last row, so that AddressSanitizer catches any read beyond them.
// Also the random bytes the tests fill pictures with. Test thread only.
#pragma once

#include "image/image.h"
#include "reference_model.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace pixeltest {

// A byte biased towards the values where arithmetic breaks: 0x00 and 0xFF a
// quarter of the time each, anything otherwise.
std::uint8_t biasedByte(std::mt19937& random);

class TestImage : public zelvor::IImage {
 public:
  // guardBytes (a multiple of 32, so that byteOffset counts from a 32-byte
  // boundary) lie before the first row and after the
  // 15-byte tail; 0 leaves the tail at the very end of the allocation.
  TestImage(zelvor::PixelFormat format, int width, int height, int pitch, int byteOffset, int guardBytes);

  std::int32_t getWidth() const override { return width; }
  std::int32_t getHeight() const override { return height; }
  zelvor::PixelFormat getFormat() const override { return format; }
  std::int32_t getPitch() const override { return pitch; }
  std::uint8_t* lockPixels() override { return pixels; }
  const std::uint8_t* lockPixelsConst() const override { return pixels; }
  void unlockPixels() override {}
  void unlockPixelsConst() const override {}

  std::uint8_t* data() { return pixels; }
  std::size_t usedBytes() const { return std::size_t(height) * std::size_t(pitch); }

  // Pixels, tail and guards from the biased generator. Everything outside the
  // rows (guards and tail) is remembered and must stay as it is.
  void randomise(std::mt19937& random);
  bool guardsIntact() const;

  model::Frame frame() const;
  model::SourceFrame sourceFrame() const;

 private:
  struct Release {
    void operator()(std::uint8_t* p) const { ::operator delete[](p, std::align_val_t{64}); }
  };

  zelvor::PixelFormat format;
  int width;
  int height;
  int pitch;
  int guardBytes;
  std::size_t lead;
  std::size_t size;
  std::unique_ptr<std::uint8_t[], Release> block;
  std::uint8_t* pixels;
  std::vector<std::uint8_t> guards;
};

}  // namespace pixeltest
