// The device context of a window's client area, released when its owner
// lets it go. Used by the Scene on the user-interface thread; the render
// workers draw through the handle while the Scene lives.
#pragma once

#include "platform/win32.h"
#include "runtime/exception.h"

class WindowDc {
 public:
  explicit WindowDc(HWND window) : window(window), dc(GetDC(window)) {
    if (!dc) zelvor::throwWin32Exception("GetDC API failed in %s method.", "WindowDc::WindowDc");
  }
  ~WindowDc() { release(); }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;

  HDC get() const { return dc; }

  // Releases the context now; later calls and the destructor do nothing.
  void release() {
    if (dc) ReleaseDC(window, dc);
    dc = nullptr;
  }

 private:
  HWND window;
  HDC dc;
};
