// libFuzzer target: PngLoader fed from memory, decoding every row of every
// pass into an Image the way loadImage does. The only exception allowed out
// of the loader is the invalid-format IoException; anything else, and every
// sanitizer report, is a finding.
//
// Random bytes rarely survive libpng's chunk CRCs, so for inputs of even
// length the CRC of every complete chunk is made right first: mutations then
// reach the header checks, the transformations and zlib. Odd lengths keep
// their CRCs, so the CRC failure paths are fuzzed too.
#include "image/pixel_lock.h"
#include "image/png_loader.h"
#include "runtime/exception.h"
#include "tests/image/memory_stream_reader.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

std::uint32_t readBigEndian(const std::uint8_t* at) {
  return std::uint32_t(at[0]) << 24 | std::uint32_t(at[1]) << 16 | std::uint32_t(at[2]) << 8 | at[3];
}

void fixChunkCrcs(std::vector<std::uint8_t>& bytes) {
  std::size_t at = 8;
  while (at + 12 <= bytes.size()) {
    std::uint32_t const length = readBigEndian(&bytes[at]);
    if (length > bytes.size() - at - 12) break;
    std::uint32_t const crc = std::uint32_t(crc32(0, &bytes[at + 4], length + 4));
    for (int i = 0; i < 4; ++i) bytes[at + 8 + length + i] = std::uint8_t(crc >> (24 - 8 * i));
    at += 12 + length;
  }
}

// The rows of every pass, as loadImage reads them.
void decode(zelvor::PngLoader& loader) {
  auto const image = std::make_shared<zelvor::Image>(loader.getWidth(), loader.getHeight(), loader.getFormat());
  std::int32_t const pitch = image->getPitch();
  for (std::int32_t pass = 0; pass < loader.getPassCount(); ++pass) {
    for (std::int32_t row = 0; row < loader.getHeight(); ++row) {
      zelvor::PixelLock const lock(image.get());
      loader.load(lock.get() + std::ptrdiff_t{row} * pitch, static_cast<std::uint32_t>(pitch));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  if (size % 2 == 0) fixChunkCrcs(bytes);
  try {
    zelvor::PngLoader loader(std::make_shared<zelvor::test::MemoryStreamReader>(std::move(bytes)));
    decode(loader);
  } catch (const zelvor::IoException&) {
  }
  return 0;
}
