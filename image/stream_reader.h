// The byte-stream interfaces the image loader reads through: forward reading
// (ISequentialStreamReader), a movable 64-bit cursor (ISeekable), and the two
// joined (IStreamReader). Callers use the public non-virtual operations;
// implementations override only the ...Impl ones, so a later common rule
// (a check, a trace) has one place to live.
//
// A stream is used by one thread at a time: the one that loads an image.
#pragma once

#include <cstdint>

namespace zelvor {

enum SeekOrigin : std::int32_t {
  Begin = 0,    // offset from the start
  Current = 1,  // offset from the cursor
  End = 2,      // offset from the end
};

class ISequentialStreamReader {
 public:
  virtual ~ISequentialStreamReader() = default;

  // Bytes read; fewer than size only when the stream ends.
  std::uint32_t read(void* buffer, std::uint32_t size) { return readImpl(buffer, size); }
  // Bytes skipped; the cursor may end up beyond the end.
  std::uint32_t skip(std::uint32_t count) { return skipImpl(count); }
  // True when the cursor stands exactly at the end.
  bool isEof() { return isEofImpl(); }

 protected:
  virtual std::uint32_t readImpl(void* buffer, std::uint32_t size) = 0;
  virtual std::uint32_t skipImpl(std::uint32_t count) = 0;
  virtual bool isEofImpl() = 0;
};

class ISeekable {
 public:
  virtual ~ISeekable() = default;

  void seek(std::int64_t offset, SeekOrigin origin) { seekImpl(offset, origin); }
  std::int64_t getCursor() { return getCursorImpl(); }
  std::int64_t getLength() { return getLengthImpl(); }

 protected:
  virtual void seekImpl(std::int64_t offset, SeekOrigin origin) = 0;
  virtual std::int64_t getCursorImpl() = 0;
  virtual std::int64_t getLengthImpl() = 0;
};

// ISeekable is a virtual base so that a class joining several seekable
// interfaces still has one cursor.
class IStreamReader : public ISequentialStreamReader, public virtual ISeekable {};

}  // namespace zelvor
