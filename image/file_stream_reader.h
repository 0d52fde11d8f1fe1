// FileStreamReader: an IStreamReader over a read-only file opened through the
// Windows file API. Every failed system call becomes a Win32Exception naming
// the operation; a skip that moves the cursor backwards an IoException.
//
// Owns its file handle from construction to destruction. Used by one thread at
// a time; nothing here is locked and nothing is buffered.
#pragma once

#include "image/stream_reader.h"
#include "platform/win32.h"

#include <cstdint>

namespace zelvor {

class FileStreamReader : public IStreamReader {
 public:
  // Opens an existing file for reading; others may read it too.
  explicit FileStreamReader(const char* fileName);
  ~FileStreamReader() override;

  FileStreamReader(const FileStreamReader&) = delete;
  FileStreamReader& operator=(const FileStreamReader&) = delete;

 protected:
  std::uint32_t readImpl(void* buffer, std::uint32_t size) override;
  std::uint32_t skipImpl(std::uint32_t count) override;
  bool isEofImpl() override;
  void seekImpl(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t getCursorImpl() override;
  std::int64_t getLengthImpl() override;

 private:
  HANDLE handle = INVALID_HANDLE_VALUE;
};

}  // namespace zelvor
