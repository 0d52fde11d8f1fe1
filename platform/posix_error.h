// Translation of POSIX errno values into the Windows error codes that
// GetLastError reports. Private to platform/.
//
// The mapping is per value only: Linux reports a missing folder inside a path
// as ENOENT, where Windows would say ERROR_PATH_NOT_FOUND, so a caller that
// can tell the two apart (the file services) chooses the code itself.
#pragma once

#include "platform/kernel_services.h"

namespace zelvor::platform {

// The Windows code for an errno value: 0 for 0, and never 0 for a failure
// (values without a closer match give ERROR_GEN_FAILURE).
DWORD win32ErrorFromErrno(int error);

// SetLastError(win32ErrorFromErrno(error)).
void setLastErrorFromErrno(int error);

}  // namespace zelvor::platform
