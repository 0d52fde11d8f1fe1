// The demonstration window's message handling, on the user-interface thread.
// The render thread never sees the scene holder: it reaches the scene only
// through the frame callback, which the scene's destructor stops first.
#include "app/window_proc.h"

#include "app/scene.h"
#include "app/scene_holder.h"
#include "app/scene_sprites.h"
#include "app/title_timer.h"

#include <exception>
#include <string>
#include <utility>

namespace {

LRESULT createScene(HWND window) {
  creationFailure().clear();
  try {
    sceneHolder() = std::make_shared<Scene>(window);
  } catch (const PictureLoadError& failure) {
    creationFailure() = failure.what();
    return -1;
  } catch (const std::exception& failure) {
    creationFailure() = std::string("cannot build the scene: ") + failure.what();
    return -1;
  } catch (...) {
    creationFailure() = "cannot build the scene: unknown failure";
    return -1;
  }
  SetTimer(window, titleTimerId, titleTimerPeriod, &titleTimerProc);
  return 0;
}

void destroyScene() {
  // Empty the holder first, so that nothing finds a scene being destroyed.
  std::shared_ptr<Scene> scene = std::exchange(sceneHolder(), nullptr);
  scene.reset();
  PostQuitMessage(0);
}

}  // namespace

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: return createScene(window);
    case WM_DESTROY: destroyScene(); return 0;
    case WM_PAINT: {
      std::shared_ptr<Scene> const scene = sceneHolder();
      if (!scene) return DefWindowProcW(window, message, wParam, lParam);
      PAINTSTRUCT paint{};
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      scene->paint();
      return 0;
    }
    case WM_ERASEBKGND: return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}
