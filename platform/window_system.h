// What the window layer can tell about the window system beyond the Windows
// calls' results. POSIX only; any thread.
#pragma once

#include "platform/window_services.h"

#include <string>

namespace zelvor::platform {

// Why the last window-system connection or window creation failed, for
// instance `cannot open X display ":99"`; empty when nothing failed.
std::string lastWindowSystemError();

// How copies to the window reach the window system: "MIT-SHM" (rows written
// into memory shared with the X server), "XPutImage" (rows sent through the
// socket, also when ZELVOR_X11_NO_SHM=1 forces it), or "" when the window is
// not a live X11 window. For tests and benchmarks; any thread.
std::string windowTransport(HWND window);

}  // namespace zelvor::platform
