// The title timer's callback (user-interface thread) and the title text.
#include "app/title_timer.h"

#include "app/scene.h"
#include "app/scene_holder.h"

#include <cstdio>

namespace {

inline constexpr const char* titleText = "Zelvor";

}  // namespace

std::wstring formatTitle(double fps) {
  // Formatted narrow: a wide %s means a wide string on Windows but a narrow
  // one on glibc, while narrow formatting means the same everywhere. The text
  // is ASCII, so widening is a plain copy.
  char narrow[128];
  int const length = std::snprintf(narrow, sizeof narrow, "%s - %.2f (fps)", titleText, fps);
  std::wstring title;
  for (int i = 0; i < length && i < static_cast<int>(sizeof narrow) - 1; ++i)
    title.push_back(static_cast<wchar_t>(static_cast<unsigned char>(narrow[i])));
  return title;
}

void CALLBACK titleTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD) {
  if (message != WM_TIMER || timerId != titleTimerId) return;
  std::shared_ptr<Scene> const scene = sceneHolder();
  if (!scene) return;
  SetWindowTextW(window, formatTitle(scene->getFps()).c_str());
}
