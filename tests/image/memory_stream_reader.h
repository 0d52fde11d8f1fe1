// An IStreamReader over bytes in memory, for the tests and the fuzz target:
// no files, and the same cursor rules as FileStreamReader (the cursor may
// stand beyond the end; reads there return nothing). Used by one thread.
#pragma once

#include "image/stream_reader.h"
#include "runtime/exception.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zelvor::test {

class MemoryStreamReader : public IStreamReader {
 public:
  explicit MemoryStreamReader(std::vector<std::uint8_t> bytes) : bytes(std::move(bytes)) {}

 protected:
  std::uint32_t readImpl(void* buffer, std::uint32_t size) override {
    std::int64_t const available = std::max<std::int64_t>(0, length() - cursor);
    auto const count = static_cast<std::uint32_t>(std::min<std::int64_t>(size, available));
    if (count != 0) std::memcpy(buffer, bytes.data() + cursor, count);
    cursor += count;
    return count;
  }
  std::uint32_t skipImpl(std::uint32_t count) override {
    cursor += count;
    return count;
  }
  bool isEofImpl() override { return cursor == length(); }
  void seekImpl(std::int64_t offset, SeekOrigin origin) override {
    std::int64_t const base = origin == Begin ? 0 : origin == End ? length() : cursor;
    if (base + offset < 0)
      throw IoException(formatMessage("Invalid seek position in %s method.", "MemoryStreamReader"));
    cursor = base + offset;
  }
  std::int64_t getCursorImpl() override { return cursor; }
  std::int64_t getLengthImpl() override { return length(); }

 private:
  std::int64_t length() const { return static_cast<std::int64_t>(bytes.size()); }

  std::vector<std::uint8_t> bytes;
  std::int64_t cursor = 0;
};

}  // namespace zelvor::test
