// The window services every backend shares: the window and device-context
// tables, creation and destruction, painting state, titles, StretchDIBits and
// the cursor calls, and the choice of backend.
//
// Window and device-context handles are opaque numbers that are never reused
// and never dereferenced: a call names a window only through the tables, so a
// destroyed or made-up handle fails (result 0 or null) instead of reaching
// freed memory. Creation, destruction, painting and titles run on the owning
// thread; StretchDIBits, GetCursorPos and ScreenToClient on any thread.
#include "platform/message_queue.h"
#include "platform/window_backend.h"
#include "platform/window_system.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace zelvor::platform {
namespace {

template <class Handle>
Handle makeHandle() {
  // Distinct, never zero, never reused while the process lives.
  static std::atomic<std::uintptr_t> next{0x1000};
  return reinterpret_cast<Handle>(next.fetch_add(0x10));
}

struct WindowTable {
  std::mutex mutex;
  std::map<HWND, std::shared_ptr<Window>> windows;
  std::map<HDC, std::shared_ptr<Window>> deviceContexts;
};

WindowTable& table() {
  static WindowTable instance;
  return instance;
}

std::atomic<const WindowBackend*> chosenBackend{nullptr};

struct SystemError {
  std::mutex mutex;
  std::string text;
};

SystemError& systemError() {
  static SystemError instance;
  return instance;
}

std::shared_ptr<Window> findDeviceContext(HDC dc) {
  auto& windows = table();
  const std::lock_guard lock(windows.mutex);
  const auto found = windows.deviceContexts.find(dc);
  return found == windows.deviceContexts.end() ? nullptr : found->second;
}

HDC makeDeviceContext(const std::shared_ptr<Window>& window) {
  const HDC dc = makeHandle<HDC>();
  auto& windows = table();
  const std::lock_guard lock(windows.mutex);
  windows.deviceContexts.emplace(dc, window);
  return dc;
}

bool dropDeviceContext(HDC dc) {
  auto& windows = table();
  const std::lock_guard lock(windows.mutex);
  return windows.deviceContexts.erase(dc) > 0;
}

std::shared_ptr<Window> findLiveWindow(HWND handle) {
  auto window = findWindow(handle);
  if (window && window->life.load() == WindowLife::Gone) window.reset();
  if (!window) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return window;
}

RECT clientRect(const Window& window) { return RECT{0, 0, window.width, window.height}; }

// Appends one code point as UTF-8; wchar_t holds UTF-32 here, but UTF-16
// surrogate pairs written by Windows-minded code are joined too.
void appendUtf8(std::string& out, char32_t code) {
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string toUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto code = static_cast<char32_t>(static_cast<std::uint32_t>(text[i]));
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size()) {
      const auto low = static_cast<char32_t>(static_cast<std::uint32_t>(text[i + 1]));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    appendUtf8(out, code);
  }
  return out;
}

const WindowBackend& selectedBackend() {
  const WindowBackend* backend = chosenBackend.load();
  return backend != nullptr ? *backend : x11Backend();
}

void selectBackend(const WindowBackend& backend) { chosenBackend.store(&backend); }

std::shared_ptr<Window> findWindow(HWND handle) {
  if (handle == nullptr) return nullptr;
  auto& windows = table();
  const std::lock_guard lock(windows.mutex);
  const auto found = windows.windows.find(handle);
  return found == windows.windows.end() ? nullptr : found->second;
}

void invalidateWindow(Window& window, const RECT* rect) {
  RECT area = rect != nullptr ? *rect : clientRect(window);
  area.left = std::max<LONG>(area.left, 0);
  area.top = std::max<LONG>(area.top, 0);
  area.right = std::min<LONG>(area.right, window.width);
  area.bottom = std::min<LONG>(area.bottom, window.height);
  if (area.left >= area.right || area.top >= area.bottom) return;
  {
    const std::lock_guard lock(window.stateMutex);
    if (window.updatePending) {
      RECT& update = window.updateRect;
      update = RECT{std::min(update.left, area.left), std::min(update.top, area.top),
                    std::max(update.right, area.right), std::max(update.bottom, area.bottom)};
    } else {
      window.updateRect = area;
      window.updatePending = true;
    }
  }
  window.queue->wake();
}

bool postWindowMessage(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window.life.load() == WindowLife::Gone) return false;
  window.queue->post(MSG{window.handle, message, wParam, lParam, messageTime(), {}});
  return true;
}

void setLastWindowSystemError(std::string text) {
  auto& error = systemError();
  const std::lock_guard lock(error.mutex);
  error.text = std::move(text);
}

std::string lastWindowSystemError() {
  auto& error = systemError();
  const std::lock_guard lock(error.mutex);
  return error.text;
}

// Shared by CreateWindowExW and the null backend's bare surfaces: registers a
// window whose backend side has been created.
HWND registerWindow(const std::shared_ptr<Window>& window) {
  window->handle = makeHandle<HWND>();
  {
    auto& windows = table();
    const std::lock_guard lock(windows.mutex);
    windows.windows.emplace(window->handle, window);
  }
  window->queue->adopt(window);
  return window->handle;
}

}  // namespace zelvor::platform

using zelvor::platform::findLiveWindow;
using zelvor::platform::Window;
using zelvor::platform::WindowLife;

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter) {
  zelvor::platform::WindowClass windowClass;
  if (!zelvor::platform::findWindowClass(className, windowClass)) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  const auto& backend = zelvor::platform::selectedBackend();
  std::string error;

  auto window = std::make_shared<Window>();
  window->backend = &backend;
  window->procedure = windowClass.procedure;
  window->whiteBackground = windowClass.whiteBackground;
  window->queue = zelvor::platform::MessageQueue::current();
  window->x = x == CW_USEDEFAULT ? 0 : x;
  window->y = y == CW_USEDEFAULT ? 0 : y;
  // A window without a default size gets Windows' usual start size.
  window->width = width == CW_USEDEFAULT ? 640 : std::max(width, 0);
  window->height = height == CW_USEDEFAULT ? 480 : std::max(height, 0);
  if (windowName != nullptr) window->title = windowName;
  if (!backend.create(*window, error)) {
    zelvor::platform::setLastWindowSystemError(error);
    SetLastError(ERROR_IO_DEVICE);
    return nullptr;
  }
  const HWND handle = zelvor::platform::registerWindow(window);
  backend.setTitle(*window, zelvor::platform::toUtf8(window->title));

  CREATESTRUCTW creation{parameter,  instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
                         windowName, className, exStyle};
  LRESULT created = 0;
  try {
    created = window->procedure(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&creation));
  } catch (...) {
    DestroyWindow(handle);
    throw;
  }
  if (created == -1) {
    DestroyWindow(handle);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return handle;
}

BOOL DestroyWindow(HWND handle) {
  const auto window = zelvor::platform::findWindow(handle);
  auto expected = WindowLife::Alive;
  if (!window || !window->life.compare_exchange_strong(expected, WindowLife::Destroying)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  window->backend->show(*window, false);
  // The window still works during WM_DESTROY: its owner stops whatever draws
  // into it there, so copies must go on succeeding until it returns.
  window->procedure(handle, WM_DESTROY, 0, 0);
  {
    const std::lock_guard lock(window->drawMutex);
    window->backend->destroy(*window);
    window->life.store(WindowLife::Gone);
  }
  {
    auto& windows = zelvor::platform::table();
    const std::lock_guard lock(windows.mutex);
    windows.windows.erase(handle);
  }
  window->queue->forget(handle);
  return TRUE;
}

BOOL ShowWindow(HWND handle, int command) {
  const auto window = findLiveWindow(handle);
  if (!window) return FALSE;
  const bool visible = command != SW_HIDE;
  bool wasVisible = false;
  {
    const std::lock_guard lock(window->stateMutex);
    wasVisible = window->visible;
    window->visible = visible;
  }
  if (visible && !wasVisible) {
    // A window that appears is wholly invalid, background included.
    zelvor::platform::invalidateWindow(*window, nullptr);
    const std::lock_guard lock(window->stateMutex);
    window->erasePending = window->updatePending;
  }
  window->backend->show(*window, visible);
  return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND handle) {
  const auto window = findLiveWindow(handle);
  if (!window) return FALSE;
  bool pending = false;
  {
    const std::lock_guard lock(window->stateMutex);
    pending = window->updatePending;
  }
  if (pending) window->procedure(handle, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
  const auto window = findLiveWindow(handle);
  if (!window) return FALSE;
  zelvor::platform::invalidateWindow(*window, rect);
  if (erase) {
    const std::lock_guard lock(window->stateMutex);
    window->erasePending = window->updatePending;
  }
  return TRUE;
}

HDC BeginPaint(HWND handle, LPPAINTSTRUCT paint) {
  const auto window = findLiveWindow(handle);
  if (!window || paint == nullptr) return nullptr;
  *paint = PAINTSTRUCT{};
  bool erase = false;
  {
    const std::lock_guard lock(window->stateMutex);
    if (window->updatePending) paint->rcPaint = window->updateRect;
    erase = window->erasePending;
    window->updatePending = false;
    window->erasePending = false;
  }
  paint->hdc = zelvor::platform::makeDeviceContext(window);
  // fErase tells the painter whether the background still needs erasing.
  if (erase) paint->fErase = window->procedure(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint->hdc), 0) == 0;
  return paint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
  if (paint == nullptr) return FALSE;
  zelvor::platform::dropDeviceContext(paint->hdc);
  return TRUE;
}

BOOL GetClientRect(HWND handle, LPRECT rect) {
  const auto window = findLiveWindow(handle);
  if (!window || rect == nullptr) return FALSE;
  *rect = zelvor::platform::clientRect(*window);
  return TRUE;
}

BOOL SetWindowTextW(HWND handle, LPCWSTR text) {
  const auto window = findLiveWindow(handle);
  if (!window) return FALSE;
  std::wstring title = text != nullptr ? text : L"";
  const std::string utf8 = zelvor::platform::toUtf8(title);
  {
    const std::lock_guard lock(window->stateMutex);
    window->title = std::move(title);
  }
  window->backend->setTitle(*window, utf8);
  return TRUE;
}

int GetWindowTextW(HWND handle, LPWSTR text, int capacity) {
  const auto window = findLiveWindow(handle);
  if (!window || text == nullptr || capacity <= 0) return 0;
  const std::lock_guard lock(window->stateMutex);
  const auto count = std::min<std::size_t>(window->title.size(), static_cast<std::size_t>(capacity - 1));
  std::copy_n(window->title.begin(), count, text);
  text[count] = L'\0';
  return static_cast<int>(count);
}

HDC GetDC(HWND handle) {
  const auto window = findLiveWindow(handle);
  if (!window) return nullptr;
  return zelvor::platform::makeDeviceContext(window);
}

int ReleaseDC(HWND handle, HDC dc) {
  const auto window = zelvor::platform::findDeviceContext(dc);
  if (!window || window->handle != handle) return 0;
  zelvor::platform::dropDeviceContext(dc);
  // The context is gone either way; a window destroyed before its context
  // was released reports the late release as a failure.
  return window->life.load() == WindowLife::Gone ? 0 : 1;
}

BOOL GetCursorPos(LPPOINT point) {
  if (point == nullptr) return FALSE;
  return zelvor::platform::selectedBackend().cursorPos(*point) ? TRUE : FALSE;
}

BOOL ScreenToClient(HWND handle, LPPOINT point) {
  const auto window = findLiveWindow(handle);
  if (!window || point == nullptr) return FALSE;
  const std::lock_guard lock(window->drawMutex);
  if (window->life.load() == WindowLife::Gone) return FALSE;
  return window->backend->screenToClient(*window, *point) ? TRUE : FALSE;
}

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
  const auto window = zelvor::platform::findDeviceContext(dc);
  if (!window || bits == nullptr) return 0;
  const std::lock_guard lock(window->drawMutex);
  if (window->life.load() == WindowLife::Gone) return 0;
  const auto copy = zelvor::platform::planDibCopy(window->width, window->height, xDest, yDest, destWidth, destHeight,
                                                  xSrc, ySrc, srcWidth, srcHeight, info, usage, rop);
  if (!copy) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const auto clamp = [](std::int64_t value) {
    return static_cast<LONG>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
  };
  const RECT destination{xDest, yDest, clamp(std::int64_t{xDest} + destWidth), clamp(std::int64_t{yDest} + destHeight)};
  return window->backend->copyDib(*window, *copy, destination, bits);
}
