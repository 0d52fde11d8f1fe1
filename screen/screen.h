// Screen: the rendering object the application holds. It owns the sprites
// (through the SpriteManager), the dirty bands (the SpriteDrawer), the frame
// callbacks and the render thread, creates sprites, and copies finished bands
// to the window.
//
// Threads: the owner's thread (normally the window's) constructs and
// destroys it and calls start, stop, addFrameCallback, sprite creation and
// invalidateAll; the render thread runs the frame cycle and the callbacks
// under frameLock; render workers claim bands under bandLock and present them
// under presentLock. frameLock is recursive, so a callback may create sprites.
#pragma once

#include "image/image.h"
#include "pixels/colour.h"
#include "pixels/rect.h"
#include "platform/win32.h"
#include "runtime/critical_section.h"
#include "runtime/thread.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zelvor {

class FillRectSprite;
class ImageSprite;
class Screen;
class SpriteDrawer;
class SpriteManager;

// Called once per frame on the render thread, under frameLock; returning true
// removes it. Calling an empty one throws std::bad_function_call.
using FrameCallback = std::function<bool(Screen&)>;

class Screen {
 public:
  // Starts no thread and draws nothing. The device context stays the
  // caller's: release it only after the Screen is gone.
  Screen(HDC dc, std::int32_t width, std::int32_t height);
  // Stops a running render thread before any member goes.
  virtual ~Screen();
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  // Both wait for a frame in progress (frameLock). The new sprite is
  // registered, hidden: nothing changes on screen until it is shown.
  std::shared_ptr<ImageSprite> createImageSprite(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t priority,
                                                 std::shared_ptr<IImage> image);
  std::shared_ptr<FillRectSprite> createFillRectSprite(std::int32_t id, const Rect& rect, std::int32_t priority,
                                                       const Colour& colour);

  // Only while no render thread runs: the list is read without a lock.
  void addFrameCallback(FrameCallback callback);

  // start stops a running render thread first; stop does nothing when none
  // runs. Neither may be called from the render thread or a callback.
  void start();
  void stop();

  // Marks the whole screen dirty; the next frame redraws every band.
  void invalidateAll();

  std::shared_ptr<SpriteManager> getSpriteManager() const { return spriteManager; }
  std::shared_ptr<SpriteDrawer> getSpriteDrawer() const { return spriteDrawer; }
  std::int32_t getWidth() const { return width; }
  std::int32_t getHeight() const { return height; }
  HDC getDC() const { return dc; }

  // The frame cycle's side of the Screen (render thread and workers).
  CriticalSection& getFrameLock() { return frameLock; }
  std::vector<FrameCallback>& getFrameCallbacks() { return frameCallbacks; }
  // Render thread, under frameLock, while every worker waits for its start.
  void setCurrentDrawer(std::shared_ptr<SpriteDrawer> drawer);
  // Workers: the render thread keeps it alive while they draw.
  SpriteDrawer* getCurrentDrawer() const { return currentDrawer.get(); }
  // Workers: the next band index of the current frame, under bandLock. It
  // runs past the band count by one per worker at the end of a frame.
  std::int32_t claimNextBand();
  CriticalSection& getPresentLock() { return presentLock; }
  // Workers, holding presentLock: copies rect (client coordinates) of a band
  // image whose row 0 is client row bandTop to the window.
  void presentBand(IImage& bandImage, const Rect& rect, std::int32_t bandTop);

  // How long the last frame that drew anything took on the render thread,
  // from choosing the drawer to endFrame: snapshot, waking the workers,
  // drawing and presenting every dirty band. Written by the render thread and
  // read by frame callbacks, both under frameLock; zero before the first.
  std::chrono::steady_clock::duration getLastDrawTime() const { return lastDrawTime; }
  void setLastDrawTime(std::chrono::steady_clock::duration time) { lastDrawTime = time; }

 private:
  HDC dc;
  std::int32_t width;
  std::int32_t height;
  std::shared_ptr<SpriteManager> spriteManager;
  std::shared_ptr<SpriteDrawer> spriteDrawer;
  std::vector<FrameCallback> frameCallbacks;
  Thread renderThread;
  CriticalSection frameLock;
  std::shared_ptr<SpriteDrawer> currentDrawer;
  std::int32_t nextBand = 0;
  CriticalSection bandLock;
  CriticalSection presentLock;
  std::chrono::steady_clock::duration lastDrawTime{};
};

// The band height the Screen asks of its drawer: the rows of 4-byte pixels
// that fit in 32768 bytes (10 at a width of 800); 0 above 8192 pixels, where
// the drawer falls back to single rows.
std::uint32_t requestedBandRows(std::int32_t width);

}  // namespace zelvor
