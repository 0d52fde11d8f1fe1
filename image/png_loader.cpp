// PngLoader on libpng. libpng reports errors by longjmp, which C++ does not
// survive crossing live destructors or exceptions. The rules kept here:
//  - every function that calls a libpng operation able to fail sets the jump
//    point itself and does nothing after setjmp but call a worker function
//    (so no local of the jumping-to frame changes between setjmp and a jump);
//  - the frames a jump skips (libpng's own, readProc, the workers) hold only
//    trivially destructible locals;
//  - no exception ever enters libpng: readProc catches everything, leaves its
//    catch block (destroying the exception) and only then calls png_error.
// The C++ exceptions are thrown once control is back in ordinary frames.
//
// Used by the one thread that loads the picture.
#include "image/png_loader.h"

#include "runtime/exception.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <limits>

namespace zelvor {

namespace {

constexpr const char* invalidFormat = "Invalid file format in %s method.";
constexpr const char* outOfMemory = "Out of memory in %s method.";
constexpr const char* constructorName = "zelvor::PngLoader::PngLoader";
constexpr const char* loadName = "zelvor::PngLoader::loadImpl";
constexpr const char* readProcName = "zelvor::PngLoader::readProc";

// Unknown chunks kept per picture, and the largest chunk (or decompressed
// text or profile) libpng may buffer. Nothing ancillary matters to us; the
// limits only stop a tiny file from making libpng allocate a lot.
constexpr png_uint_32 chunkCacheMax = 128;
constexpr png_alloc_size_t chunkMallocMax = 1 << 20;

// libpng sizes a text chunk's buffer by the length the chunk declares (and
// clears it), before it reads a byte of it: a 100-byte file declaring a 2 GiB
// tEXt chunk would cost 2 GiB. Its own limits do not cover that path, so every
// allocation above this is refused; libpng then drops the chunk with a
// warning or fails the picture. Its largest honest needs (row buffers of
// 16384 pixels of 8 bytes, zlib's window) stay far below.
constexpr png_alloc_size_t largestAllocation = 4 << 20;

png_voidp allocate(png_structp, png_alloc_size_t size) {
  return size <= largestAllocation ? std::malloc(size) : nullptr;
}
void release(png_structp, png_voidp block) { std::free(block); }

// Both handlers stay silent: the caller gets our exception, and libpng's text
// on standard error would only be noise. The error handler must not return.
[[noreturn]] void errorProc(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void warningProc(png_structp, png_const_charp) {}

// The layout libpng delivers after the transformations, or -1.
std::int32_t formatOf(int colourType) {
  switch (colourType) {
    case PNG_COLOR_TYPE_GRAY: return Gray8;
    case PNG_COLOR_TYPE_RGB: return Bgr24;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return GrayAlpha16;
    case PNG_COLOR_TYPE_RGB_ALPHA: return Bgra32;
    default: return -1;
  }
}

}  // namespace

void PngLoader::ReadStructs::reset() {
  if (png != nullptr) {
    png_infopp const infoAddress = info != nullptr ? &info : nullptr;
    png_infopp const endInfoAddress = info != nullptr && endInfo != nullptr ? &endInfo : nullptr;
    png_destroy_read_struct(&png, infoAddress, endInfoAddress);
  }
  png = nullptr;
  info = nullptr;
  endInfo = nullptr;
}

PngLoader::PngLoader(std::shared_ptr<ISequentialStreamReader> stream) : stream(std::move(stream)) {
  structs.png =
      png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, errorProc, warningProc, nullptr, allocate, release);
  if (structs.png == nullptr) throw Exception(formatMessage(outOfMemory, constructorName));
  structs.info = png_create_info_struct(structs.png);
  if (structs.info == nullptr) {
    structs.reset();
    throw Exception(formatMessage(outOfMemory, constructorName));
  }
  structs.endInfo = png_create_info_struct(structs.png);
  if (structs.endInfo == nullptr) {
    structs.reset();
    throw Exception(formatMessage(outOfMemory, constructorName));
  }
  if (!readHeader()) {
    structs.reset();
    throw IoException(formatMessage(invalidFormat, constructorName));
  }
}

PngLoader::~PngLoader() = default;

bool PngLoader::readHeader() {
  if (setjmp(png_jmpbuf(structs.png)) != 0) return false;
  return decodeHeader();
}

bool PngLoader::decodeHeader() {
  png_structp const png = structs.png;
  png_infop const info = structs.info;

  // Refused while the header is parsed, before libpng or anyone else sizes a
  // buffer by them.
  png_set_user_limits(png, maxImageDimension, maxImageDimension);
  png_set_chunk_cache_max(png, chunkCacheMax);
  png_set_chunk_malloc_max(png, chunkMallocMax);
  png_set_read_fn(png, this, &PngLoader::readProc);
  png_read_info(png, info);

  png_uint_32 pngWidth = 0;
  png_uint_32 pngHeight = 0;
  int bitDepth = 0;
  int colourType = 0;
  png_get_IHDR(png, info, &pngWidth, &pngHeight, &bitDepth, &colourType, nullptr, nullptr, nullptr);
  if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand(png);
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    png_set_palette_to_rgb(png);
    png_set_bgr(png);
  }
  if (colourType == PNG_COLOR_TYPE_RGB || colourType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) png_set_tRNS_to_alpha(png);
  if (bitDepth > 8) png_set_strip_16(png);
  // Adam7 pictures are de-interlaced by reading every pass over the same rows.
  passCount = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  png_get_IHDR(png, info, &pngWidth, &pngHeight, &bitDepth, &colourType, nullptr, nullptr, nullptr);
  std::int32_t const layout = formatOf(colourType);
  if (layout < 0 || bitDepth != 8) return false;
  if (pngWidth == 0 || pngHeight == 0 || pngWidth > maxImageDimension || pngHeight > maxImageDimension) return false;
  // libpng writes rowbytes per row; the image has room for exactly our pitch.
  // The two must agree (low-depth grey with tRNS, for one, becomes 2 bytes a
  // pixel, not 1), or a row would overrun its place.
  std::int64_t const pitch = std::int64_t{pngWidth} * bytesPerPixel(layout);
  if (static_cast<std::int64_t>(png_get_rowbytes(png, info)) != pitch) return false;
  if (pitch * pngHeight > maxImageBytes) return false;

  width = static_cast<std::int32_t>(pngWidth);
  height = static_cast<std::int32_t>(pngHeight);
  format = static_cast<PixelFormat>(layout);
  rowsLeft = std::int64_t{height} * passCount;
  return true;
}

std::int32_t PngLoader::loadImpl(std::uint8_t* destination, std::uint32_t size) {
  // After an error libpng's state is undefined, and past the last row it
  // would read on into the chunks after the image data: both are refused. So
  // is a destination smaller than a row, which libpng would overrun.
  if (failed || rowsLeft <= 0 || size < static_cast<std::uint32_t>(getPitch()) || !readRow(destination)) {
    failed = true;
    throw IoException(formatMessage(invalidFormat, loadName));
  }
  --rowsLeft;
  return getPitch();
}

bool PngLoader::readRow(std::uint8_t* destination) {
  if (setjmp(png_jmpbuf(structs.png)) != 0) return false;
  png_read_row(structs.png, destination, nullptr);
  return true;
}

void PngLoader::readProc(png_struct_def* png, std::uint8_t* data, std::size_t length) {
  auto* const loader = static_cast<PngLoader*>(png_get_io_ptr(png));
  try {
    while (length != 0) {
      auto const piece =
          static_cast<std::uint32_t>(std::min<std::size_t>(length, std::numeric_limits<std::uint32_t>::max()));
      if (loader->stream->read(data, piece) != piece) throw IoException(formatMessage(invalidFormat, readProcName));
      data += piece;
      length -= piece;
    }
    return;
  } catch (...) {
    // Nothing may be thrown through libpng, and longjmp must not leave this
    // handler: the exception is only destroyed when the handler ends.
  }
  // The exception is gone and this frame holds nothing with a destructor, so
  // the jump libpng's error path makes skips nothing that needs running.
  png_error(png, "read failed");
}

}  // namespace zelvor
