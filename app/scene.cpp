// Construction, animation and orderly destruction of the demonstration
// scene; see scene.h for the threads.
#include "app/scene.h"

#include "app/scene_sprites.h"

#include <exception>

Scene::Scene(HWND window) : window(window), dc(window) {
  RECT client{0, 0, 0, 0};
  GetClientRect(window, &client);
  screen = std::make_shared<zelvor::Screen>(dc.get(), client.right - client.left, client.bottom - client.top);
  flakes = buildSceneSprites(*screen);
  // The callback does not own the scene: the destructor stops the render
  // thread, the only caller, before the scene goes.
  screen->addFrameCallback([this](zelvor::Screen& frameScreen) { return update(frameScreen); });
  screen->start();
}

Scene::~Scene() {
  try {
    screen->stop();
    // The last reference: the Screen goes with its manager, drawer and sprites.
    screen.reset();
    dc.release();
  } catch (const std::exception&) {
    // Nothing may leave a destructor; the members release what is left.
  }
}

void Scene::paint() { screen->invalidateAll(); }

bool Scene::update(zelvor::Screen& frameScreen) {
  followCursor(frameScreen, window);
  std::int32_t const width = frameScreen.getWidth();
  std::int32_t const height = frameScreen.getHeight();
  for (Flake& flake : flakes) moveFlake(flake, width, height);
  recordFrame();
  return false;
}
