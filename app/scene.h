// The demonstration scene: owns the Screen, its sprites and the frame-time
// statistics, and animates the sprites once per frame.
//
// Constructed and destroyed on the user-interface thread (WM_CREATE,
// WM_DESTROY); paint and getFps are called there too. update and
// recordFrame run on the render thread, under the Screen's frameLock.
#pragma once

#include "app/flake.h"
#include "app/frame_stats.h"
#include "app/window_dc.h"
#include "platform/win32.h"
#include "screen/screen.h"

#include <memory>
#include <vector>

class Scene {
 public:
  // Builds every sprite (see buildSceneSprites) and starts the render
  // thread. A picture that cannot be loaded throws PictureLoadError; then
  // everything built so far is released and no thread is left running.
  explicit Scene(HWND window);
  // Stops and joins the render thread before anything else goes.
  ~Scene();
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // The whole client area is redrawn by the next frame.
  void paint();

  // The per-frame callback: moves the cursor sprite and the flakes, records
  // the frame time. Always false, so it stays registered.
  bool update(zelvor::Screen& screen);

  void recordFrame() { stats.recordFrame(); }
  double getFps() { return stats.getFps(); }

  std::shared_ptr<zelvor::Screen> getScreen() const { return screen; }

 private:
  // Destroyed in reverse order: the statistics, then the flakes (releasing
  // the last references to their sprites), then the device context if the
  // destructor did not release it already.
  HWND window;
  WindowDc dc;
  std::shared_ptr<zelvor::Screen> screen;
  std::vector<Flake> flakes;
  FrameStats stats;
};
