// PngLoader: decodes a PNG stream with libpng into rows of one of the image
// layouts (grey, grey + alpha, BGR, BGRA; 8 bits a channel, straight alpha).
//
// The constructor reads everything up to the image data, so the geometry is
// known as soon as it returns; load then delivers one row per call. Any
// libpng error or stream failure ends as an IoException ("Invalid file
// format") naming the constructor or loadImpl. Pictures larger than
// maxImageDimension on a side or maxImageBytes in all are refused in the
// constructor, before anyone allocates room for them.
//
// Used by the one thread that loads the picture; holds the stream for as long
// as it lives.
#pragma once

#include "image/image_loader.h"
#include "image/stream_reader.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// libpng's own structure types, declared here so that users of the loader do
// not see png.h.
struct png_struct_def;
struct png_info_def;

namespace zelvor {

class PngLoader : public IImageLoader {
 public:
  static constexpr std::uint32_t maxImageDimension = 16384;
  static constexpr std::int64_t maxImageBytes = std::int64_t{1} << 30;

  explicit PngLoader(std::shared_ptr<ISequentialStreamReader> stream);
  ~PngLoader() override;

  PngLoader(const PngLoader&) = delete;
  PngLoader& operator=(const PngLoader&) = delete;

  std::int32_t getWidth() const override { return width; }
  std::int32_t getHeight() const override { return height; }
  PixelFormat getFormat() const override { return format; }
  std::int32_t getPitch() const override { return width * bytesPerPixel(format); }
  std::int32_t getPassCount() const override { return passCount; }

  // libpng's read callback: pulls exactly length bytes from the loader's
  // stream, or leaves through libpng's error path.
  static void readProc(png_struct_def* png, std::uint8_t* data, std::size_t length);

 protected:
  std::int32_t loadImpl(std::uint8_t* destination, std::uint32_t size) override;

 private:
  // The read structure and its two information structures, destroyed
  // together as libpng requires.
  class ReadStructs {
   public:
    ReadStructs() = default;
    ~ReadStructs() { reset(); }
    ReadStructs(const ReadStructs&) = delete;
    ReadStructs& operator=(const ReadStructs&) = delete;
    void reset();

    png_struct_def* png = nullptr;
    png_info_def* info = nullptr;
    png_info_def* endInfo = nullptr;  // created, never filled: the end is not read
  };

  // Each sets libpng's jump point and reports a jump back as false.
  bool readHeader();
  bool readRow(std::uint8_t* destination);
  // The header work that readHeader guards; may be left by a jump.
  bool decodeHeader();

  std::shared_ptr<ISequentialStreamReader> stream;
  ReadStructs structs;
  std::int32_t width = 0;
  std::int32_t height = 0;
  PixelFormat format = Gray8;
  std::int32_t passCount = 1;
  std::int64_t rowsLeft = 0;  // row reads left over all passes
  bool failed = false;        // libpng's state is unusable after an error
};

}  // namespace zelvor
