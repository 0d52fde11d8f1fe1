// Scoped access to an image's pixels: writers take a PixelLock, readers of
// source pictures a ConstPixelLock. Taken once per drawing operation or
// decoded row, never per pixel.
#pragma once

#include "image/image.h"

#include <cstdint>

namespace zelvor {

class PixelLock {
 public:
  explicit PixelLock(IImage* image) : image(image), pixels(image->lockPixels()) {}
  ~PixelLock() {
    if (image) image->unlockPixels();
  }
  PixelLock(const PixelLock&) = delete;
  PixelLock& operator=(const PixelLock&) = delete;

  std::uint8_t* get() const { return pixels; }

 private:
  IImage* image;
  std::uint8_t* pixels;
};

class ConstPixelLock {
 public:
  explicit ConstPixelLock(const IImage* image) : image(image), pixels(image->lockPixelsConst()) {}
  ~ConstPixelLock() {
    if (image) image->unlockPixelsConst();
  }
  ConstPixelLock(const ConstPixelLock&) = delete;
  ConstPixelLock& operator=(const ConstPixelLock&) = delete;

  const std::uint8_t* get() const { return pixels; }

 private:
  const IImage* image;
  const std::uint8_t* pixels;
};

}  // namespace zelvor
