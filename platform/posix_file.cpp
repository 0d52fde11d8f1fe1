// Files of the kernel services on POSIX descriptors: read-only opening of an
// existing file, reading, moving the file pointer and the size. Each open
// file is a handle-table entry that owns its descriptor, so CloseHandle (or
// any failure after open) closes it.
//
// Any thread may use a file handle. A per-file mutex keeps each call whole:
// a pointer move computes its target and then sets it, and no read on the
// same handle may slip in between.
#include "platform/handle_table.h"
#include "platform/posix_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>

namespace zelvor::platform {

namespace {

static_assert(sizeof(off_t) == sizeof(std::int64_t), "file positions must be 64-bit");

// Linux moves at most this much in one read call; larger requests loop.
constexpr std::size_t largestRead = 0x7ffff000;

// Owns one descriptor; closes it on destruction.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd(fd) {}
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd; }
  // Gives the descriptor up without closing it.
  int release() { return std::exchange(fd, -1); }

 private:
  int fd;
};

class PosixFile final : public KernelObject {
 public:
  explicit PosixFile(int fd) : descriptor(fd) {}

  int fd() const { return descriptor.get(); }
  std::mutex mutex;

 private:
  FileDescriptor descriptor;
};

bool isFolder(const char* path) {
  struct stat status;
  return ::stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

// Linux says ENOENT both for a missing file and for a missing folder on the
// way to it; Windows tells the two apart, and so do we, by the parent folder.
DWORD missingFileError(const char* name) {
  std::string path;
  try {
    path = name;
  } catch (const std::bad_alloc&) {
    return ERROR_FILE_NOT_FOUND;
  }
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::size_t const slash = path.rfind('/');
  if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;  // the working folder exists
  path.resize(slash == 0 ? 1 : slash);
  return isFolder(path.c_str()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

HANDLE failOpen(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

}  // namespace zelvor::platform

using zelvor::platform::PosixFile;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD /*shareMode*/, LPSECURITY_ATTRIBUTES /*attributes*/,
                   DWORD disposition, DWORD /*flags*/, HANDLE /*templateFile*/) {
  using namespace zelvor::platform;
  // Only what zelvor asks for exists here: reading a file that is there.
  // Anything else is refused rather than quietly opened read-only.
  if (name == nullptr || disposition != OPEN_EXISTING || (access & ~GENERIC_READ) != 0) {
    return failOpen(ERROR_INVALID_PARAMETER);
  }
  // O_NONBLOCK only for the open itself: a FIFO without a writer would
  // otherwise block the open forever.
  int fd;
  do {
    fd = ::open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    int const error = errno;
    return failOpen(error == ENOENT ? missingFileError(name) : win32ErrorFromErrno(error));
  }
  FileDescriptor descriptor(fd);
  struct stat status;
  if (::fstat(fd, &status) != 0) return failOpen(win32ErrorFromErrno(errno));
  // Linux opens folders for reading; Windows refuses them as files.
  if (S_ISDIR(status.st_mode)) return failOpen(ERROR_ACCESS_DENIED);
  int const statusFlags = ::fcntl(fd, F_GETFL);
  if (statusFlags < 0 || ::fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK) != 0) {
    return failOpen(win32ErrorFromErrno(errno));
  }

  std::shared_ptr<PosixFile> file;
  try {
    file = std::make_shared<PosixFile>(fd);
  } catch (const std::bad_alloc&) {
    return failOpen(ERROR_NOT_ENOUGH_MEMORY);
  }
  descriptor.release();  // now owned by the file object
  // On failure the table has dropped the object, which closed the descriptor.
  HANDLE const handle = insertHandle(std::move(file));
  return handle != nullptr ? handle : INVALID_HANDLE_VALUE;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  using namespace zelvor::platform;
  if (bytesRead != nullptr) *bytesRead = 0;
  auto const file = lookupHandleAs<PosixFile>(handle);
  if (!file) return FALSE;
  if (bytesRead == nullptr || overlapped != nullptr || (buffer == nullptr && bytesToRead != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard const lock(file->mutex);
  auto* const bytes = static_cast<char*>(buffer);
  DWORD total = 0;
  // A regular file gives everything up to its end in one call; the loop is
  // for the largest requests and for signals.
  while (total < bytesToRead) {
    std::size_t const wanted = std::min<std::size_t>(bytesToRead - total, largestRead);
    ssize_t const got = ::read(file->fd(), bytes + total, wanted);
    if (got < 0) {
      if (errno == EINTR) continue;
      int const error = errno;
      *bytesRead = total;
      setLastErrorFromErrno(error);
      return FALSE;
    }
    if (got == 0) break;  // the end of the file, or beyond it
    total += static_cast<DWORD>(got);
  }
  *bytesRead = total;
  return TRUE;
}

BOOL SetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, PLARGE_INTEGER newPosition, DWORD method) {
  using namespace zelvor::platform;
  auto const file = lookupHandleAs<PosixFile>(handle);
  if (!file) return FALSE;
  if (method != FILE_BEGIN && method != FILE_CURRENT && method != FILE_END) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard const lock(file->mutex);
  std::int64_t base = 0;
  if (method == FILE_CURRENT) {
    base = ::lseek(file->fd(), 0, SEEK_CUR);
    if (base < 0) {
      setLastErrorFromErrno(errno);
      return FALSE;
    }
  } else if (method == FILE_END) {
    struct stat status;
    if (::fstat(file->fd(), &status) != 0) {
      setLastErrorFromErrno(errno);
      return FALSE;
    }
    base = status.st_size;
  }
  // base is never negative, so only a positive distance can overflow.
  std::int64_t const offset = distance.QuadPart;
  if (offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::int64_t const target = base + offset;
  // Checked here, before anything moves, so a refused move leaves the
  // pointer where it was, as Windows does.
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return FALSE;
  }
  off_t const position = ::lseek(file->fd(), target, SEEK_SET);
  if (position < 0) {
    setLastErrorFromErrno(errno);
    return FALSE;
  }
  if (newPosition != nullptr) newPosition->QuadPart = position;
  return TRUE;
}

BOOL GetFileSizeEx(HANDLE handle, PLARGE_INTEGER size) {
  using namespace zelvor::platform;
  auto const file = lookupHandleAs<PosixFile>(handle);
  if (!file) return FALSE;
  if (size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat status;
  if (::fstat(file->fd(), &status) != 0) {
    setLastErrorFromErrno(errno);
    return FALSE;
  }
  size->QuadPart = status.st_size;
  return TRUE;
}
