// loadImage and readImage. Everything lives on the caller's stack or in
// shared pointers, so a failure at any row releases the loader, the stream
// (closing the file) and the half-decoded image on the way out.
#include "image/load_image.h"

#include "image/file_stream_reader.h"
#include "image/pixel_lock.h"
#include "image/png_loader.h"

namespace zelvor {

std::shared_ptr<IImage> loadImage(const char* fileName) {
  auto stream = std::make_shared<FileStreamReader>(fileName);
  PngLoader loader(std::move(stream));
  return readImage(loader);
}

std::shared_ptr<IImage> readImage(IImageLoader& loader) {
  auto image = std::make_shared<Image>(loader.getWidth(), loader.getHeight(), loader.getFormat());
  std::int32_t const rows = loader.getHeight();
  std::int32_t const pitch = image->getPitch();
  std::int32_t const passes = loader.getPassCount();
  for (std::int32_t pass = 0; pass < passes; ++pass) {
    for (std::int32_t row = 0; row < rows; ++row) {
      PixelLock const lock(image.get());
      loader.load(lock.get() + std::ptrdiff_t{row} * pitch, static_cast<std::uint32_t>(pitch));
    }
  }
  return image;
}

}  // namespace zelvor
