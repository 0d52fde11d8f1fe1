// The per-thread last-error code and the errno translation. The code lives in
// thread-local storage, so every thread reads and writes only its own.
#include "platform/posix_error.h"

#include <cerrno>

namespace zelvor::platform {

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// Codes that only this translation needs.
constexpr DWORD errorNotSameDevice = 17;
constexpr DWORD errorGenFailure = 31;
constexpr DWORD errorDevNotExist = 55;
constexpr DWORD errorFileExists = 80;
constexpr DWORD errorDiskFull = 112;
constexpr DWORD errorSeekOnDevice = 132;
constexpr DWORD errorDirNotEmpty = 145;
constexpr DWORD errorFileTooLarge = 223;
constexpr DWORD errorArithmeticOverflow = 534;
constexpr DWORD errorOperationAborted = 995;
constexpr DWORD errorDiskQuotaExceeded = 1295;
constexpr DWORD errorTimeout = 1460;
constexpr DWORD errorCantResolveFilename = 1921;

}  // namespace

DWORD win32ErrorFromErrno(int error) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    // Windows refuses to open a folder as a file with "access denied".
    case EISDIR:
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM:
    case EAGAIN: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EIO: return ERROR_IO_DEVICE;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    case ELOOP: return errorCantResolveFilename;
    case EXDEV: return errorNotSameDevice;
    case ENXIO:
    case ENODEV: return errorDevNotExist;
    case EEXIST: return errorFileExists;
    case ENOSPC: return errorDiskFull;
    case ESPIPE: return errorSeekOnDevice;
    case ENOTEMPTY: return errorDirNotEmpty;
    case EFBIG: return errorFileTooLarge;
    case EOVERFLOW: return errorArithmeticOverflow;
    case EINTR: return errorOperationAborted;
    case EDQUOT: return errorDiskQuotaExceeded;
    case ETIMEDOUT: return errorTimeout;
    default: return errorGenFailure;
  }
}

void setLastErrorFromErrno(int error) { SetLastError(win32ErrorFromErrno(error)); }

}  // namespace zelvor::platform

DWORD GetLastError() { return zelvor::platform::lastError; }

void SetLastError(DWORD code) { zelvor::platform::lastError = code; }
