// ISprite: the interface through which the scene changes sprites, the
// SpriteManager orders them and the SpriteDrawer collects what to draw.
//
// The virtual *Impl operations only store; the public operations built on
// them add the one piece of common logic, reporting the screen area a change
// affects to the drawer so that the next frame redraws it. A sprite has no
// lock: it is used on one thread at a time, either before the Screen's render
// thread starts or under the Screen's frame lock (frame callbacks, sprite
// creation). Render workers never call a sprite; they read DrawRecords.
#pragma once

#include "pixels/colour.h"
#include "sprites/draw_record.h"

#include <cstdint>

namespace zelvor {

class ISprite {
 public:
  virtual ~ISprite() = default;

  virtual std::int32_t getId() const = 0;
  virtual void setPositionImpl(std::int32_t x, std::int32_t y) = 0;
  virtual std::int32_t getX() const = 0;
  virtual std::int32_t getY() const = 0;
  virtual void setPriorityImpl(std::int32_t priority) = 0;
  virtual std::int32_t getPriority() const = 0;
  virtual DrawRecord getDrawRecord() const = 0;
  virtual void showImpl() = 0;
  virtual void hideImpl() = 0;
  virtual bool isVisible() const = 0;
  virtual void setBlendModeImpl(BlendMode mode) = 0;
  virtual BlendMode getBlendMode() const = 0;
  virtual void setOpacityImpl(std::uint8_t opacity) = 0;
  virtual std::uint8_t getOpacity() const = 0;
  // Reports the current, unclipped bounds to the drawer, if it still exists.
  virtual void invalidate() = 0;
  // Asks the manager, if it still exists, to sort again before the next frame.
  virtual void markOrderChanged() = 0;

  // Moves the top-left corner; a shown sprite reports its old and new bounds.
  void setPosition(std::int32_t x, std::int32_t y);
  void show();
  void hide();
  void setOpacity(std::uint8_t opacity);
  void setBlendMode(BlendMode mode);
  // Re-sorts the drawing order at the next drawn frame and, for a shown
  // sprite, redraws its area so that the new stacking appears.
  void setPriority(std::int32_t priority);

 protected:
  ISprite() = default;
  ISprite(const ISprite&) = default;
  ISprite& operator=(const ISprite&) = default;

 private:
  // Visible with non-zero opacity: only then does it change any pixel.
  bool isShown() const { return isVisible() && getOpacity() != 0; }
};

}  // namespace zelvor
