// The X11 side of one window. Private to the x11_* files.
//
// `id` is created and destroyed on the user-interface connection; `gc` lives
// on the presentation connection and is used only under its mutex. Both stay
// valid while the shared window record is not gone: the shared code holds the
// record's drawMutex around copies and around destroy().
#pragma once

#include "platform/gdi_blit.h"
#include "platform/window_backend.h"
#include "platform/x11_connection.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zelvor::platform {

struct X11WindowState {
  std::shared_ptr<X11Connections> connections;  // kept open while the window exists
  ::Window id = 0;
  GC gc = nullptr;
  std::vector<std::uint32_t> rows;  // copy buffer for rows that must be reordered or converted
};

// Puts the planned rows of a 32-bit DIB on the window, through the
// presentation connection. The one place where pixels leave for the server,
// so that a faster transport (shared memory) replaces just this function.
// Called with the window's drawMutex held; takes the presentation mutex.
int x11CopyDib(X11WindowState& window, const DibCopy& copy, const void* bits);

}  // namespace zelvor::platform
