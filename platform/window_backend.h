// What the shared window code (window.cpp) and the backends (null_window.cpp,
// x11_*.cpp) know of each other. Private to platform/.
//
// A window is a shared `Window` record that the window table, device contexts
// and the owning thread's message queue refer to; each backend keeps its own
// state behind the backend-named member and fills in one `WindowBackend`
// table. Threads: a window's messages, paints and timers belong to the thread
// that created it; `drawMutex` lets any thread copy pixels while that thread
// destroys the window.
#pragma once

#include "platform/gdi_blit.h"
#include "platform/window_services.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace zelvor::platform {

class MessageQueue;
struct NullWindowState;
struct X11WindowState;
struct WindowBackend;

enum class WindowLife { Alive, Destroying, Gone };

struct Window : std::enable_shared_from_this<Window> {
  HWND handle = nullptr;
  const WindowBackend* backend = nullptr;
  WNDPROC procedure = nullptr;
  std::shared_ptr<MessageQueue> queue;  // of the creating thread
  int x = 0;
  int y = 0;
  int width = 0;  // client size; windows of this layer never change size
  int height = 0;
  bool whiteBackground = true;

  // Held while pixels are copied to the window and while its backend
  // resources go, so a copy never meets a half-destroyed window.
  std::mutex drawMutex;
  std::atomic<WindowLife> life{WindowLife::Alive};

  // Guards what follows (taken after a message queue's mutex, never before
  // it): touched by the owning thread and by InvalidateRect,
  // GetWindowTextW from any thread.
  std::mutex stateMutex;
  std::wstring title;
  bool visible = false;
  bool updatePending = false;
  bool erasePending = false;  // BeginPaint sends WM_ERASEBKGND first
  RECT updateRect{};          // union of the invalid parts, meaningful while updatePending

  std::shared_ptr<NullWindowState> null;
  std::shared_ptr<X11WindowState> x11;
};

// Filled in once by each backend. Unless noted, a function runs on the thread
// that owns the window.
struct WindowBackend {
  const char* name;
  // Creates the backend side of a window whose fields are set (the X11
  // backend connects to the display here, on first use); false with a reason
  // in `error`.
  bool (*create)(Window& window, std::string& error);
  // Frees the backend side; called once, with drawMutex held.
  void (*destroy)(Window& window);
  void (*show)(Window& window, bool visible);
  void (*setTitle)(Window& window, const std::string& utf8);
  // Any thread, drawMutex held, window not gone: makes the planned copy of
  // the call whose destination rectangle was `destination`. Returns rows
  // copied.
  int (*copyDib)(Window& window, const DibCopy& copy, const RECT& destination, const void* bits);
  // Any thread.
  bool (*cursorPos)(POINT& point);
  bool (*screenToClient)(Window& window, POINT& point);
  // The descriptor the message loop polls besides its wake pipe, or -1.
  int (*eventDescriptor)();
  // Turns the backend's pending events into window messages and paints.
  void (*pumpEvents)();
};

const WindowBackend& nullBackend();
const WindowBackend& x11Backend();

// The backend of windows that CreateWindowExW makes and of GetCursorPos: X11
// unless a test chose the null backend. Any thread.
const WindowBackend& selectedBackend();
void selectBackend(const WindowBackend& backend);

struct WindowClass {
  WNDPROC procedure = nullptr;
  bool whiteBackground = true;
};
// The registered class of that name (compared exactly), if any.
bool findWindowClass(LPCWSTR name, WindowClass& windowClass);

// What backends call back into the shared code with.
std::shared_ptr<Window> findWindow(HWND handle);
void invalidateWindow(Window& window, const RECT* rect);
bool postWindowMessage(Window& window, UINT message, WPARAM wParam, LPARAM lParam);
void setLastWindowSystemError(std::string text);

// Enters a window whose fields and backend side are ready into the window
// table and its thread's queue; returns its new handle.
HWND registerWindow(const std::shared_ptr<Window>& window);

std::string toUtf8(const std::wstring& text);

}  // namespace zelvor::platform
