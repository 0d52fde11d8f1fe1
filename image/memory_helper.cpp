#include "image/memory_helper.h"

#include <cstring>
#include <limits>
#include <new>

namespace zelvor::MemoryHelper {

namespace {

constexpr std::size_t pageSize = 4096;
// Room for the worst-case distance to the next boundary (4095), the word
// stored there, and slack after the buffer.
constexpr std::size_t overhead = 8196;

struct BufferDeleter {
  void operator()(std::uint8_t* buffer) const {
    std::uint8_t* block;
    std::memcpy(&block, buffer - sizeof block, sizeof block);
    delete[] block;
  }
};

}  // namespace

std::shared_ptr<std::uint8_t[]> allocateBuffer(std::size_t size) {
  if (size > std::numeric_limits<std::size_t>::max() - overhead) throw std::bad_alloc();
  std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[size + overhead]);
  auto const start = reinterpret_cast<std::uintptr_t>(block.get());
  auto* const boundary = reinterpret_cast<std::uint8_t*>((start + pageSize - 1) & ~std::uintptr_t{pageSize - 1});
  std::uint8_t* const raw = block.release();
  std::memcpy(boundary, &raw, sizeof raw);
  // From here the deleter owns the block: if the control block cannot be
  // made, shared_ptr calls it before passing std::bad_alloc on.
  return std::shared_ptr<std::uint8_t[]>(boundary + sizeof raw, BufferDeleter{});
}

}  // namespace zelvor::MemoryHelper
