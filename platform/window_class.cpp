// Window classes, the stock objects and the frame arithmetic of the window
// services. Classes are registered and looked up under one lock, so any
// thread may call these.
#include "platform/window_backend.h"

#include <map>
#include <mutex>
#include <string>

namespace zelvor::platform {
namespace {

struct ClassRegistry {
  std::mutex mutex;
  std::map<std::wstring, WindowClass> classes;
  ATOM nextAtom = 0xC000;  // where Windows starts its class atoms
};

ClassRegistry& registry() {
  static ClassRegistry instance;
  return instance;
}

// The one stock object the program asks for. Its address is its identity;
// nothing ever reads through it.
struct StockObjects {
  char whiteBrush = 0;
  char arrowCursor = 0;
};
StockObjects stockObjects;

}  // namespace

bool findWindowClass(LPCWSTR name, WindowClass& windowClass) {
  if (name == nullptr) return false;
  auto& classes = registry();
  const std::lock_guard lock(classes.mutex);
  const auto found = classes.classes.find(name);
  if (found == classes.classes.end()) return false;
  windowClass = found->second;
  return true;
}

}  // namespace zelvor::platform

using zelvor::platform::registry;

ATOM RegisterClassW(const WNDCLASSW* windowClass) {
  if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr || windowClass->lpszClassName == nullptr ||
      windowClass->lpszClassName[0] == L'\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto& classes = registry();
  const std::lock_guard lock(classes.mutex);
  zelvor::platform::WindowClass entry;
  entry.procedure = windowClass->lpfnWndProc;
  entry.whiteBackground = windowClass->hbrBackground == GetStockObject(WHITE_BRUSH);
  if (!classes.classes.emplace(windowClass->lpszClassName, entry).second) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  return classes.nextAtom++;
}

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name) {
  if (name != IDC_ARROW) return nullptr;
  return reinterpret_cast<HCURSOR>(&zelvor::platform::stockObjects.arrowCursor);
}

HGDIOBJ GetStockObject(int object) {
  if (object != WHITE_BRUSH) return nullptr;
  return reinterpret_cast<HGDIOBJ>(&zelvor::platform::stockObjects.whiteBrush);
}

BOOL AdjustWindowRectEx(LPRECT rect, DWORD, BOOL, DWORD) {
  // The window manager draws the frame outside our window, so the window we
  // create is the client area: the outer rectangle equals the inner one.
  return rect != nullptr ? TRUE : FALSE;
}
