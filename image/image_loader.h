// IImageLoader: a decoder that knows the picture's geometry and layout up
// front and then delivers it one row per load call, straight into the
// caller's memory.
//
// A loader is used by the one thread that loads the picture.
#pragma once

#include "image/image.h"

#include <cstdint>

namespace zelvor {

class IImageLoader {
 public:
  virtual ~IImageLoader() = default;

  virtual std::int32_t getWidth() const = 0;
  virtual std::int32_t getHeight() const = 0;
  virtual PixelFormat getFormat() const = 0;
  // Bytes of one delivered row: width × bytes per pixel of the format.
  virtual std::int32_t getPitch() const = 0;

  // Decodes the next row into destination, which has room for getPitch()
  // bytes; returns getPitch(). Rows come top to bottom, one per call.
  std::int32_t load(std::uint8_t* destination, std::uint32_t size) { return loadImpl(destination, size); }

 protected:
  virtual std::int32_t loadImpl(std::uint8_t* destination, std::uint32_t size) = 0;

 public:
  // How many times the caller walks the rows top to bottom: 1 for an
  // ordinary picture, 7 for an Adam7-interlaced one. Each pass fills in more
  // pixels of the same rows and leaves the pixels of earlier passes alone, so
  // the destination of a row must be the same memory in every pass.
  virtual std::int32_t getPassCount() const = 0;
};

}  // namespace zelvor
