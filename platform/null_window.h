// The null window backend: windows that live in memory, for tests.
//
// A null window has a client-area surface of 32-bit pixels (0x00RRGGBB, top
// row first), starts white, and receives what StretchDIBits copies to it. Its
// messages, timers and paints behave as on X11, without a display.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <vector>

namespace zelvor::null_window {

// Makes every later window created by CreateWindowExW a null window. Call it
// before the first window is created in the process.
void select();

// A bare null window of the given client size, outside any window class and
// message traffic (its procedure is DefWindowProcW); DestroyWindow destroys
// it. Works whichever backend is selected.
HWND createSurface(int width, int height);

// The client area's pixels, 0x00RRGGBB, width × height values, top row first;
// empty for a window that is not (or no longer) there. Safe while another
// thread copies to the window.
std::vector<std::uint32_t> pixels(HWND window);

// Destination rectangles of the StretchDIBits copies made to the window since
// the last call, in the order they were made.
std::vector<RECT> takeBlits(HWND window);

// Where the cursor is, in screen coordinates (GetCursorPos reads it back).
void setCursorPos(int x, int y);

// Where the window's client origin lies on the null screen (ScreenToClient).
void setClientOrigin(HWND window, int x, int y);

// What a window manager's close button does: sends WM_CLOSE to the window.
void requestClose(HWND window);

}  // namespace zelvor::null_window
