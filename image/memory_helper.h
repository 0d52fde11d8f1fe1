// Band buffers for the render workers: each starts one pointer-sized word
// after a 4096-byte boundary, where the word before it remembers the block
// that holds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zelvor::MemoryHelper {

// A buffer of at least size bytes (more than size + 4000 bytes of the block
// follow its start). Throws std::bad_alloc.
std::shared_ptr<std::uint8_t[]> allocateBuffer(std::size_t size);

}  // namespace zelvor::MemoryHelper
