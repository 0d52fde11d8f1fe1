// Screen: construction, sprite factories, render-thread control and band
// presentation; see screen.h for the threads and locks involved.
#include "screen/screen.h"

#include "image/pixel_lock.h"
#include "render/render_loop.h"
#include "render/sprite_drawer.h"
#include "render/sprite_manager.h"
#include "sprites/fill_rect_sprite.h"
#include "sprites/image_sprite.h"

#include <utility>

namespace zelvor {

std::uint32_t requestedBandRows(std::int32_t width) {
  if (width <= 0) return 0;
  // 32768 / (width × 4) rounds down exactly as 8192 / width does, and cannot
  // overflow for any width.
  return 8192u / static_cast<std::uint32_t>(width);
}

Screen::Screen(HDC dc, std::int32_t width, std::int32_t height) : dc(dc), width(width), height(height) {
  auto manager = std::make_shared<SpriteManager>();
  auto drawer = std::make_shared<SpriteDrawer>(width, height, requestedBandRows(width), manager);
  spriteManager = std::move(manager);
  spriteDrawer = std::move(drawer);
}

Screen::~Screen() { stop(); }

std::shared_ptr<ImageSprite> Screen::createImageSprite(std::int32_t id, std::int32_t x, std::int32_t y,
                                                       std::int32_t priority, std::shared_ptr<IImage> image) {
  CriticalSectionLock lock(frameLock);
  auto sprite = std::make_shared<ImageSprite>(spriteManager, spriteDrawer, id, x, y, priority, std::move(image));
  spriteManager->add(sprite);
  return sprite;
}

std::shared_ptr<FillRectSprite> Screen::createFillRectSprite(std::int32_t id, const Rect& rect, std::int32_t priority,
                                                             const Colour& colour) {
  CriticalSectionLock lock(frameLock);
  auto sprite = std::make_shared<FillRectSprite>(spriteManager, spriteDrawer, id, rect, priority, colour);
  spriteManager->add(sprite);
  return sprite;
}

void Screen::addFrameCallback(FrameCallback callback) { frameCallbacks.push_back(std::move(callback)); }

void Screen::start() {
  stop();
  // The Screen outlives its render thread: stop (also run by the destructor)
  // joins it before any member goes.
  renderThread.start([this](ThreadNotifier& notifier) { renderLoop(*this, notifier); });
}

void Screen::stop() {
  if (!renderThread.getHandle()) return;
  renderThread.interrupt();
  renderThread.join();
}

void Screen::invalidateAll() {
  CriticalSectionLock lock(frameLock);
  spriteDrawer->invalidate({0, 0, spriteDrawer->getWidth(), spriteDrawer->getHeight()});
}

void Screen::setCurrentDrawer(std::shared_ptr<SpriteDrawer> drawer) {
  // No bandLock: every worker waits for its start event, and setting that
  // event publishes these writes to it.
  currentDrawer = std::move(drawer);
  nextBand = 0;
}

std::int32_t Screen::claimNextBand() {
  CriticalSectionLock lock(bandLock);
  return nextBand++;
}

void Screen::presentBand(IImage& bandImage, const Rect& rect, std::int32_t bandTop) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = bandImage.getWidth();
  // Positive: a bottom-up bitmap, which the negative source height below
  // mirrors back so that band row r lands on client row bandTop + r.
  info.bmiHeader.biHeight = bandImage.getHeight();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(bandImage.getPitch()) * static_cast<DWORD>(bandImage.getHeight());
  PixelLock pixels(&bandImage);
  int const columns = rect.right - rect.left;
  // The band image is as wide as the screen, so source x is destination x.
  StretchDIBits(dc, rect.left, rect.top, columns, rect.bottom - rect.top, rect.left, rect.bottom - bandTop + 1, columns,
                rect.top - rect.bottom, pixels.get(), &info, DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace zelvor
