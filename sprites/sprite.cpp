// The public operations of ISprite: each stores through its *Impl operation
// and reports to the drawer only when the visible result can change. Runs on
// whichever thread holds the Screen's frame lock (or before the render thread
// starts).
#include "sprites/sprite.h"

namespace zelvor {

void ISprite::setPosition(std::int32_t x, std::int32_t y) {
  if (getX() == x && getY() == y) return;
  bool const shown = isShown();
  if (shown) invalidate();
  setPositionImpl(x, y);
  if (shown) invalidate();
}

void ISprite::show() {
  if (!isVisible() && getOpacity() != 0) invalidate();
  showImpl();
}

void ISprite::hide() {
  if (isShown()) invalidate();
  hideImpl();
}

void ISprite::setOpacity(std::uint8_t opacity) {
  if (getOpacity() == opacity) return;
  // Not isShown(): a visible sprite going from opacity 0 to more appears.
  if (isVisible()) invalidate();
  setOpacityImpl(opacity);
}

void ISprite::setBlendMode(BlendMode mode) {
  if (getBlendMode() == mode) return;
  if (isShown()) invalidate();
  setBlendModeImpl(mode);
}

void ISprite::setPriority(std::int32_t priority) {
  if (getPriority() == priority) return;
  setPriorityImpl(priority);
  markOrderChanged();
  // The bounds do not move, so one report covers both stackings.
  if (isShown()) invalidate();
}

}  // namespace zelvor
