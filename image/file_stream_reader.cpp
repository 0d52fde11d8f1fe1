// FileStreamReader on the kernel's file calls. The handle is the only state;
// the file pointer lives in the system, so every position query asks it.
#include "image/file_stream_reader.h"

#include "runtime/exception.h"

namespace zelvor {

FileStreamReader::FileStreamReader(const char* fileName) {
  handle = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  // The destructor does not run for a constructor that throws, but nothing
  // is open yet, so nothing leaks.
  if (handle == INVALID_HANDLE_VALUE) {
    throwWin32Exception("CreateFileA API failed in %s method.", "zelvor::FileStreamReader::FileStreamReader");
  }
}

FileStreamReader::~FileStreamReader() { CloseHandle(handle); }

std::uint32_t FileStreamReader::readImpl(void* buffer, std::uint32_t size) {
  std::uint32_t total = 0;
  std::uint32_t remaining = size;
  auto* next = static_cast<std::uint8_t*>(buffer);
  while (remaining != 0) {
    DWORD got = 0;
    if (!ReadFile(handle, next, remaining, &got, nullptr)) {
      throwWin32Exception("ReadFile API failed in %s method.", "zelvor::FileStreamReader::readImpl");
    }
    next += got;
    total += got;
    // A read that starts beyond the end gets nothing and the cursor never
    // equals the length there, so an empty read must end the loop too, or it
    // would ask the system forever.
    if (got == 0 || isEofImpl()) return total;
    remaining -= got;
  }
  return total;
}

std::uint32_t FileStreamReader::skipImpl(std::uint32_t count) {
  std::int64_t const before = getCursorImpl();
  seekImpl(std::int64_t{count}, Current);
  std::int64_t const after = getCursorImpl();
  if (after < before)
    throw IoException(formatMessage("Invalid seek position in %s method.", "zelvor::FileStreamReader::skipImpl"));
  return static_cast<std::uint32_t>(after - before);
}

bool FileStreamReader::isEofImpl() { return getCursorImpl() == getLengthImpl(); }

void FileStreamReader::seekImpl(std::int64_t offset, SeekOrigin origin) {
  DWORD method = FILE_CURRENT;
  if (origin == Begin) method = FILE_BEGIN;
  if (origin == End) method = FILE_END;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  if (!SetFilePointerEx(handle, distance, nullptr, method)) {
    throwWin32Exception("SetFilePointer API failed in %s method.", "zelvor::FileStreamReader::seekImpl");
  }
}

std::int64_t FileStreamReader::getCursorImpl() {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  LARGE_INTEGER position;
  position.QuadPart = 0;
  if (!SetFilePointerEx(handle, zero, &position, FILE_CURRENT)) {
    throwWin32Exception("SetFilePointer API failed in %s method.", "zelvor::FileStreamReader::getCursorImpl");
  }
  return position.QuadPart;
}

std::int64_t FileStreamReader::getLengthImpl() {
  LARGE_INTEGER size;
  size.QuadPart = 0;
  if (!GetFileSizeEx(handle, &size)) {
    throwWin32Exception("GetFileSizeEx API failed in %s method.", "zelvor::FileStreamReader::getLengthImpl");
  }
  return size.QuadPart;
}

}  // namespace zelvor
