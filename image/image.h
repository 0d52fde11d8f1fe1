// Pictures and pixel buffers: the five pixel layouts, the IImage interface
// through which everything reaches pixels, and Image, its one implementation.
//
// Rows are stored top row first and tightly packed (pitch = width × bytes per
// pixel for every image made here). An Image's own buffer has 15 bytes after
// its last row, so a 16-byte load that starts at any pixel of the last row
// stays inside the buffer. Images do no synchronisation: any number of threads
// may read one image; writers own theirs.
#pragma once

#include <cstdint>
#include <memory>

namespace zelvor {

enum PixelFormat : std::int32_t {
  Gray8 = 0,        // grey level
  Bgr24 = 1,        // blue, green, red
  GrayAlpha16 = 2,  // grey level, alpha
  Bgra32 = 3,       // blue, green, red, alpha (straight)
  Bgrx32 = 4,       // blue, green, red, a byte without meaning
};

// 1 for any value outside the five formats.
constexpr std::int32_t bytesPerPixel(std::int32_t format) {
  switch (format) {
    case Bgr24: return 3;
    case GrayAlpha16: return 2;
    case Bgra32:
    case Bgrx32: return 4;
    default: return 1;
  }
}

// Bytes an Image allocates after its last row.
inline constexpr std::int32_t imageTailBytes = 15;

class IImage {
 public:
  virtual ~IImage() = default;
  virtual std::int32_t getWidth() const = 0;
  virtual std::int32_t getHeight() const = 0;
  virtual PixelFormat getFormat() const = 0;
  virtual std::int32_t getPitch() const = 0;
  virtual std::uint8_t* lockPixels() = 0;
  virtual const std::uint8_t* lockPixelsConst() const = 0;
  virtual void unlockPixels() = 0;
  virtual void unlockPixelsConst() const = 0;
};

class Image : public IImage {
 public:
  // A new image with its own buffer of height × pitch + 15 bytes, contents
  // undefined. Sizes that are negative or whose buffer would not be
  // addressable with 32-bit signed offsets throw std::bad_alloc before any
  // allocation.
  Image(std::int32_t width, std::int32_t height, PixelFormat format);

  // A Bgrx32 image over an existing buffer (the render workers' band buffers);
  // the pitch is kept as given.
  Image(std::int32_t width, std::int32_t height, std::int32_t pitch, std::shared_ptr<std::uint8_t[]> pixels);

  std::int32_t getWidth() const override { return width; }
  std::int32_t getHeight() const override { return height; }
  PixelFormat getFormat() const override { return format; }
  std::int32_t getPitch() const override { return pitch; }
  std::uint8_t* lockPixels() override { return pixels.get(); }
  const std::uint8_t* lockPixelsConst() const override { return pixels.get(); }
  void unlockPixels() override {}
  void unlockPixelsConst() const override {}

 private:
  std::int32_t width;
  std::int32_t height;
  PixelFormat format;
  std::int32_t pitch;
  std::shared_ptr<std::uint8_t[]> pixels;
};

}  // namespace zelvor
