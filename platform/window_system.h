// What the window layer can tell about the window system beyond the Windows
// calls' results. POSIX only; any thread.
#pragma once

#include <string>

namespace zelvor::platform {

// Why the last window-system connection or window creation failed, for
// instance `cannot open X display ":99"`; empty when nothing failed.
std::string lastWindowSystemError();

}  // namespace zelvor::platform
