// Broken PNG input: each must end as the invalid-format IoException of the
// constructor (header) or of loadImpl (image data), whatever the cause (bad
// bytes, a short file, a failing stream, a picture too large to allocate),
// with no file left open.
#include "image/load_image.h"
#include "image/png_loader.h"
#include "platform/win32.h"
#include "runtime/exception.h"
#include "tests/image/memory_stream_reader.h"
#include "tests/image/png_fixture.h"
#include "tests/image/test_files.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace zelvor {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string headerFailure = "Invalid file format in zelvor::PngLoader::PngLoader method.";
const std::string rowFailure = "Invalid file format in zelvor::PngLoader::loadImpl method.";

// A 32 × 32 RGB picture of noise: its image data does not compress, so it
// spans many reads and can be cut in the middle.
Bytes noisePng(bool interlaced = false) {
  test::PngFixture f;
  f.width = 32;
  f.height = 32;
  f.colourType = 2;
  f.interlaced = interlaced;
  std::mt19937 random(5);
  f.samples.resize(32 * 32 * 3);
  for (auto& value : f.samples) value = std::uint16_t(random() & 0xff);
  return test::encodePng(f);
}

std::uint32_t readBigEndian(const Bytes& bytes, std::size_t at) {
  return std::uint32_t(bytes[at]) << 24 | std::uint32_t(bytes[at + 1]) << 16 | std::uint32_t(bytes[at + 2]) << 8 |
         bytes[at + 3];
}

void writeBigEndian(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = std::uint8_t(value >> (24 - 8 * i));
}

// Offset of the named chunk's length field.
std::size_t chunkAt(const Bytes& bytes, const char* type) {
  for (std::size_t at = 8; at + 8 <= bytes.size(); at += 12 + readBigEndian(bytes, at)) {
    if (std::memcmp(&bytes[at + 4], type, 4) == 0) return at;
  }
  throw std::runtime_error(std::string("no chunk ") + type);
}

void fixCrc(Bytes& bytes, std::size_t chunk) {
  std::uint32_t const length = readBigEndian(bytes, chunk);
  writeBigEndian(bytes, chunk + 8 + length, std::uint32_t(crc32(0, &bytes[chunk + 4], length + 4)));
}

// The same file with another size, colour type or depth in its header, the
// header's CRC made right again.
Bytes withHeader(Bytes bytes, std::uint32_t width, std::uint32_t height, int colourType, int bitDepth) {
  std::size_t const ihdr = chunkAt(bytes, "IHDR");
  writeBigEndian(bytes, ihdr + 8, width);
  writeBigEndian(bytes, ihdr + 12, height);
  bytes[ihdr + 16] = std::uint8_t(bitDepth);
  bytes[ihdr + 17] = std::uint8_t(colourType);
  fixCrc(bytes, ihdr);
  return bytes;
}

Bytes cut(Bytes bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

Bytes flipped(Bytes bytes, std::size_t at) {
  bytes.at(at) ^= 0x40;
  return bytes;
}

struct CorruptCase {
  const char* what;
  Bytes bytes;
  const std::string& message;
};

std::vector<CorruptCase> corruptCases() {
  Bytes const good = noisePng();
  std::size_t const ihdr = chunkAt(good, "IHDR");
  std::size_t const idat = chunkAt(good, "IDAT");
  std::uint32_t const idatLength = readBigEndian(good, idat);
  Bytes const text(200, 'x');
  return {
      {"not a PNG", Bytes(text.begin(), text.end()), headerFailure},
      {"a damaged signature", flipped(good, 4), headerFailure},
      {"an empty file", Bytes(), headerFailure},
      {"the signature only", cut(good, 8), headerFailure},
      {"the header cut short", cut(good, 20), headerFailure},
      {"no chunk after the header", cut(good, ihdr + 25), headerFailure},
      {"a bad header CRC", flipped(good, ihdr + 21), headerFailure},
      {"an unknown colour type", withHeader(good, 32, 32, 5, 8), headerFailure},
      {"a palette of 16 bits", withHeader(good, 32, 32, 3, 16), headerFailure},
      {"a width of 0", withHeader(good, 0, 32, 2, 8), headerFailure},
      {"65536 x 65536 grey", withHeader(good, 65536, 65536, 0, 1), headerFailure},
      {"1000000 x 1000000 RGBA", withHeader(good, 1000000, 1000000, 6, 8), headerFailure},
      {"one pixel too wide", withHeader(good, 16385, 1, 2, 8), headerFailure},
      {"one pixel too high", withHeader(good, 1, 16385, 2, 8), headerFailure},
      {"image data cut short", cut(good, idat + 8 + idatLength / 2), rowFailure},
      {"image data cut before its CRC", cut(good, idat + 8 + idatLength), rowFailure},
      {"a bad image data CRC", flipped(good, idat + 8 + idatLength), rowFailure},
      {"damaged image data", flipped(good, idat + 8 + idatLength / 2), rowFailure},
      {"interlaced image data cut short", cut(noisePng(true), idat + 8 + idatLength / 2), rowFailure},
  };
}

// Loads the file and checks the exact exception class and message.
void expectLoadFailure(const std::string& file, const std::string& message) {
  try {
    loadImage(file.c_str());
    ADD_FAILURE() << "the picture loaded";
  } catch (const IoException& failure) {
    EXPECT_EQ(typeid(failure), typeid(IoException));
    EXPECT_EQ(failure.what(), message);
  }
}

TEST(PngCorruptTest, EveryBrokenFileFailsWhereItBreaksAndClosesTheFile) {
  test::TempFolder const folder;
  for (const auto& c : corruptCases()) {
    SCOPED_TRACE(c.what);
    std::string const file = folder.write("broken.png", c.bytes);
    std::set<int> const before = test::openDescriptors();
    expectLoadFailure(file, c.message);
    EXPECT_EQ(test::openDescriptors(), before);
  }
}

TEST(PngCorruptTest, TheLargestPictureIsAcceptedWithoutAllocatingIt) {
  Bytes const header = withHeader(noisePng(), 16384, 16384, 6, 8);
  PngLoader loader(std::make_shared<test::MemoryStreamReader>(header));
  EXPECT_EQ(loader.getWidth(), 16384);
  EXPECT_EQ(loader.getHeight(), 16384);
  EXPECT_EQ(loader.getFormat(), Bgra32);
  EXPECT_EQ(loader.getPitch(), 65536);
  std::vector<std::uint8_t> row(65536);
  // The data is that of a 32 × 32 picture: far too short.
  EXPECT_THROW(
      {
        for (int i = 0; i < 16384; ++i) loader.load(row.data(), 65536);
      },
      IoException);
}

// Serves the bytes like MemoryStreamReader, but a read that would reach
// beyond `limit` calls `fail` instead (which throws).
class FailingStream : public test::MemoryStreamReader {
 public:
  FailingStream(Bytes bytes, std::int64_t limit, std::function<void()> fail)
      : MemoryStreamReader(std::move(bytes)), limit(limit), fail(std::move(fail)) {}

 protected:
  std::uint32_t readImpl(void* buffer, std::uint32_t size) override {
    if (getCursorImpl() + size > limit) fail();
    return MemoryStreamReader::readImpl(buffer, size);
  }

 private:
  std::int64_t limit;
  std::function<void()> fail;
};

TEST(PngCorruptTest, StreamExceptionsNeverCrossLibpng) {
  Bytes const good = noisePng();
  std::int64_t const idat = std::int64_t(chunkAt(good, "IDAT"));
  struct Thrower {
    const char* what;
    std::function<void()> fail;
  };
  const Thrower throwers[] = {
      {"a Win32Exception", [] { throwWin32Exception("ReadFile API failed in %s method.", "test"); }},
      {"a standard exception", [] { throw std::runtime_error("disk gone"); }},
      {"something not derived from std::exception", [] { throw 42; }},
  };
  for (const auto& thrower : throwers) {
    SCOPED_TRACE(thrower.what);
    try {
      PngLoader loader(std::make_shared<FailingStream>(good, 16, thrower.fail));
      ADD_FAILURE() << "the header was read";
    } catch (const IoException& failure) {
      EXPECT_EQ(failure.what(), headerFailure);
    }
    PngLoader loader(std::make_shared<FailingStream>(good, idat + 100, thrower.fail));
    std::vector<std::uint8_t> row(96);
    try {
      for (int y = 0; y < 32; ++y) loader.load(row.data(), 96);
      ADD_FAILURE() << "every row was read";
    } catch (const IoException& failure) {
      EXPECT_EQ(failure.what(), rowFailure);
    }
  }
}

TEST(PngCorruptTest, MissingFileIsAWin32Failure) {
  test::TempFolder const folder;
  std::set<int> const before = test::openDescriptors();
  try {
    loadImage(folder.path("load.gra").c_str());
    ADD_FAILURE() << "a missing file loaded";
  } catch (const Win32Exception& failure) {
    EXPECT_EQ(failure.errorCode, ERROR_FILE_NOT_FOUND);
    EXPECT_STREQ(failure.what(), "CreateFileA API failed in zelvor::FileStreamReader::FileStreamReader method.");
  }
  EXPECT_EQ(test::openDescriptors(), before);
}

}  // namespace
}  // namespace zelvor
