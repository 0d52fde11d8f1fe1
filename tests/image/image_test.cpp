// Image geometry and buffers, the pixel locks, the refusal of sizes that do
// not fit, and MemoryHelper's page-offset band buffers.
//
// The array forms of operator new and delete are replaced in this program so
// that a test can see, on its own thread, which blocks were allocated and
// freed: an Image that must be refused before allocating, or a band buffer
// that must be freed exactly once. Outside such a test they behave as usual.
#include "image/image.h"
#include "image/memory_helper.h"
#include "image/pixel_lock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

namespace {

struct ArrayAllocations {
  bool counting = false;
  int allocations = 0;
  int releases = 0;
  std::size_t lastSize = 0;
  void* lastAllocated = nullptr;
  void* lastReleased = nullptr;
};

thread_local ArrayAllocations arrays;

// Counts the array allocations and releases of the calling thread while alive.
class CountArrays {
 public:
  CountArrays() { arrays = ArrayAllocations{true}; }
  ~CountArrays() { arrays.counting = false; }
  CountArrays(const CountArrays&) = delete;
  CountArrays& operator=(const CountArrays&) = delete;
};

}  // namespace

void* operator new[](std::size_t size) {
  void* const block = std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  if (arrays.counting) {
    ++arrays.allocations;
    arrays.lastSize = size;
    arrays.lastAllocated = block;
  }
  return block;
}

void operator delete[](void* block) noexcept {
  if (block && arrays.counting) {
    ++arrays.releases;
    arrays.lastReleased = block;
  }
  std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept { operator delete[](block); }

namespace {

using zelvor::ConstPixelLock;
using zelvor::Image;
using zelvor::PixelFormat;
using zelvor::PixelLock;

constexpr std::int32_t int32Max = std::numeric_limits<std::int32_t>::max();

TEST(Image, PitchAndBufferSize) {
  struct Case {
    std::int32_t width, height, format;
    std::int32_t pitch;
  };
  Case const cases[] = {
      {3, 2, zelvor::Bgr24, 9},
      {5, 3, zelvor::Gray8, 5},
      {5, 3, zelvor::GrayAlpha16, 10},
      {5, 3, zelvor::Bgra32, 20},
      {5, 3, zelvor::Bgrx32, 20},
      {5, 3, 5, 5},  // any other value: one byte per pixel
      {5, 3, -1, 5},
      {5, 3, 1000, 5},
      {0, 4, zelvor::Bgra32, 0},  // zero sizes are legal
      {4, 0, zelvor::Bgra32, 16},
      {0, 0, zelvor::Bgr24, 0},
  };
  for (Case const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " format " << c.format);
    std::size_t const expectedSize = std::size_t(c.height) * std::size_t(c.pitch) + 15;
    CountArrays const count;
    Image image(c.width, c.height, static_cast<PixelFormat>(c.format));
    EXPECT_EQ(arrays.allocations, 1);
    EXPECT_EQ(arrays.lastSize, expectedSize);
    EXPECT_EQ(image.getWidth(), c.width);
    EXPECT_EQ(image.getHeight(), c.height);
    EXPECT_EQ(image.getFormat(), c.format);
    EXPECT_EQ(image.getPitch(), c.pitch);
    // Every byte up to the end of the 15-byte tail is ours to touch (the
    // address sanitizer build checks the bounds).
    PixelLock const lock(&image);
    std::memset(lock.get(), 0xA5, expectedSize);
    EXPECT_EQ(lock.get()[expectedSize - 1], 0xA5);
  }
}

TEST(Image, PixelAddressing) {
  Image image(3, 2, zelvor::Bgr24);
  {
    PixelLock const lock(&image);
    std::memset(lock.get(), 0, 2 * 9);
    // Pixel (2, 1): row 1 starts at the pitch, column 2 at 2 × 3 bytes.
    lock.get()[1 * image.getPitch() + 2 * 3] = 0x11;  // blue
    lock.get()[17] = 0x33;                            // red of the same pixel
  }
  ConstPixelLock const lock(&image);
  EXPECT_EQ(lock.get()[15], 0x11);
  EXPECT_EQ(lock.get()[17], 0x33);
  EXPECT_EQ(lock.get()[14], 0);
  EXPECT_EQ(lock.get()[9], 0);  // start of row 1, untouched
}

TEST(Image, LocksReturnTheSameStableAddress) {
  Image image(7, 5, zelvor::Bgra32);
  std::uint8_t* const first = image.lockPixels();
  image.unlockPixels();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(image.lockPixels(), first);
    image.unlockPixels();
    EXPECT_EQ(image.lockPixelsConst(), first);
    image.unlockPixelsConst();
    PixelLock const lock(&image);
    ConstPixelLock const constLock(&image);
    EXPECT_EQ(lock.get(), first);
    EXPECT_EQ(constLock.get(), first);
  }
}

TEST(Image, OverAGivenBufferUsesExactlyThatBuffer) {
  std::shared_ptr<std::uint8_t[]> buffer(new std::uint8_t[1000]);
  {
    CountArrays const count;
    Image const image(10, 8, 100, buffer);
    EXPECT_EQ(arrays.allocations, 0);
    EXPECT_EQ(image.lockPixelsConst(), buffer.get());
    EXPECT_EQ(image.getFormat(), zelvor::Bgrx32);
    EXPECT_EQ(image.getPitch(), 100);  // kept as given
    EXPECT_EQ(image.getWidth(), 10);
    EXPECT_EQ(image.getHeight(), 8);
    EXPECT_EQ(buffer.use_count(), 2);
  }
  EXPECT_EQ(buffer.use_count(), 1);
}

TEST(Image, SizesThatDoNotFitAreRefusedBeforeAllocating) {
  struct Case {
    std::int32_t width, height, format;
  };
  Case const cases[] = {
      {-1, 1, zelvor::Gray8},
      {1, -1, zelvor::Gray8},
      {std::numeric_limits<std::int32_t>::min(), 1, zelvor::Bgra32},
      {int32Max, 1, zelvor::Bgra32},          // the pitch alone overflows
      {int32Max / 4 + 1, 1, zelvor::Bgrx32},  // pitch just past 2^31
      {65536, 65536, zelvor::Bgra32},         // height × pitch = 2^34
      {46341, 46341, zelvor::Gray8},          // just over 2^31
      {int32Max - 14, 1, zelvor::Gray8},      // fits only without the tail
      {1, int32Max, zelvor::Bgr24},
  };
  for (Case const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " format " << c.format);
    CountArrays const count;
    EXPECT_THROW(Image(c.width, c.height, static_cast<PixelFormat>(c.format)), std::bad_alloc);
    EXPECT_EQ(arrays.allocations, 0);
  }
}

TEST(MemoryHelper, BufferStartsOnePointerPastAPageBoundary) {
  for (std::size_t size : {0u, 1u, 100u, 4095u, 4096u, 4097u, 32000u, 1u << 20}) {
    SCOPED_TRACE(size);
    auto const buffer = zelvor::MemoryHelper::allocateBuffer(size);
    auto const address = reinterpret_cast<std::uintptr_t>(buffer.get());
    EXPECT_EQ(address % 4096, sizeof(void*));
    // More than size + 4000 bytes of the block follow the start.
    std::memset(buffer.get(), 0x5A, size + 4001);
  }
}

TEST(MemoryHelper, BlockIsFreedOnceAfterTheLastHolder) {
  for (int order = 0; order < 2; ++order) {
    CountArrays const count;
    auto buffer = zelvor::MemoryHelper::allocateBuffer(800 * 4 * 10);
    ASSERT_EQ(arrays.allocations, 1);
    void* const block = arrays.lastAllocated;
    auto image = std::make_shared<Image>(800, 10, 800 * 4, buffer);
    auto copy = buffer;
    if (order == 0) {
      buffer.reset();
      copy.reset();
      EXPECT_EQ(arrays.releases, 0);
      image.reset();
    } else {
      image.reset();
      copy.reset();
      EXPECT_EQ(arrays.releases, 0);
      buffer.reset();
    }
    EXPECT_EQ(arrays.releases, 1);
    EXPECT_EQ(arrays.lastReleased, block);
  }
}

TEST(MemoryHelper, ImpossibleSizeIsRefused) {
  CountArrays const count;
  EXPECT_THROW(zelvor::MemoryHelper::allocateBuffer(std::numeric_limits<std::size_t>::max() - 100), std::bad_alloc);
  EXPECT_EQ(arrays.allocations, 0);
}

}  // namespace
