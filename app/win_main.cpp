// The program's entry: raises the timer resolution, opens the demonstration
// window and runs its message loop on the user-interface thread. Both
// demonstration programs are built from this file; they differ only in the
// render worker library they link.
#include "app/scene_holder.h"
#include "app/window_proc.h"
#include "platform/win32.h"

#ifndef _WIN32
#include "platform/window_system.h"
#endif

#include <cstdio>
#include <string>

namespace {

// A 1 ms system timer resolution for as long as the program runs, restored
// on every way out of WinMain.
class TimerResolution {
 public:
  TimerResolution() { timeBeginPeriod(1); }
  ~TimerResolution() { timeEndPeriod(1); }
  TimerResolution(const TimerResolution&) = delete;
  TimerResolution& operator=(const TimerResolution&) = delete;
};

constexpr DWORD windowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

void reportFailure(const std::string& what) { std::fprintf(stderr, "zelvor: %s\n", what.c_str()); }

// Why the window could not be created: the scene's failure if WM_CREATE had
// one, else what the window system said (the X display that cannot be
// opened), else the last-error code.
std::string creationFailureReason() {
  if (!creationFailure().empty()) return creationFailure();
#ifndef _WIN32
  std::string const systemReason = zelvor::platform::lastWindowSystemError();
  if (!systemReason.empty()) return systemReason;
#endif
  return "cannot create the window (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  TimerResolution const resolution;

  WNDCLASSW windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = &windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = windowClassName;
  if (RegisterClassW(&windowClass) == 0) {
    reportFailure("cannot register the window class (error " + std::to_string(GetLastError()) + ")");
    return 1;
  }

  RECT outer{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&outer, windowStyle, FALSE, 0);
  HWND const window =
      CreateWindowExW(0, windowClassName, windowTitle, windowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                      outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, instance, nullptr);
  if (!window) {
    reportFailure(creationFailureReason());
    return 1;
  }
  ShowWindow(window, showCommand);
  UpdateWindow(window);

  MSG message{};
  // Only WM_QUIT (0) ends the loop; an error (-1) is handled like a message.
  while (GetMessageW(&message, nullptr, 0, 0) != 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
