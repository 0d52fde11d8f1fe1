#include "image/image.h"

#include <cstdint>
#include <limits>
#include <new>

namespace zelvor {

namespace {

// The kernels address a pixel as row × pitch + column × bytes per pixel in
// 32-bit signed arithmetic, so the whole buffer, tail included, must stay
// below 2^31 bytes.
std::int32_t checkedPitch(std::int32_t width, std::int32_t height, PixelFormat format) {
  std::int64_t const pitch = std::int64_t{width} * bytesPerPixel(format);
  std::int64_t const limit = std::numeric_limits<std::int32_t>::max() - imageTailBytes;
  if (width < 0 || height < 0 || pitch > limit || (height > 0 && pitch > limit / height)) throw std::bad_alloc();
  return static_cast<std::int32_t>(pitch);
}

}  // namespace

Image::Image(std::int32_t width, std::int32_t height, PixelFormat format)
    : width(width), height(height), format(format), pitch(checkedPitch(width, height, format)) {
  // make_shared of an array would value-initialise it; pixels start undefined.
  pixels = std::shared_ptr<std::uint8_t[]>(new std::uint8_t[std::size_t(height) * std::size_t(pitch) + imageTailBytes]);
}

Image::Image(std::int32_t width, std::int32_t height, std::int32_t pitch, std::shared_ptr<std::uint8_t[]> pixels)
    : width(width), height(height), format(Bgrx32), pitch(pitch), pixels(std::move(pixels)) {}

}  // namespace zelvor
