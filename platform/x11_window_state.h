// The X11 side of one window. Private to the x11_* files.
//
// `id` is created and destroyed on the user-interface connection; `gc` and
// `shm` live on the presentation connection and are used only under its
// mutex. All stay valid while the shared window record is not gone: the
// shared code holds the record's drawMutex around copies and around
// destroy().
#pragma once

#include "platform/gdi_blit.h"
#include "platform/window_backend.h"
#include "platform/x11_connection.h"
#include "platform/x11_shm.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zelvor::platform {

struct X11WindowState {
  std::shared_ptr<X11Connections> connections;  // kept open while the window exists
  ::Window id = 0;
  GC gc = nullptr;
  // The shared-memory path, when the server offers it and the screen has
  // the DIB layout; else copies go through the socket with XPutImage.
  std::unique_ptr<X11SharedImages> shm;
  std::vector<std::uint32_t> rows;  // copy buffer for rows that must be reordered or converted
};

// True unless ZELVOR_X11_NO_SHM is set to something other than "" or "0",
// which tests and benchmarks use to force copies through the socket. Read
// when a window is created.
bool x11SharedMemoryWanted();

// Puts the planned rows of a 32-bit DIB on the window, through the
// presentation connection: the one place where pixels leave for the server,
// through the shared segment when the window has one, else the socket.
// Called with the window's drawMutex held; takes the presentation mutex.
int x11CopyDib(X11WindowState& window, const DibCopy& copy, const void* bits);

}  // namespace zelvor::platform
