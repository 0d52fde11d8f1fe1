// FillRectSprite: a rectangle of the screen covered with one colour, blended
// with the sprite's mode and opacity (the demo's background and squares).
// Threads as for every sprite: one at a time, under the Screen's frame lock.
#pragma once

#include "pixels/colour.h"
#include "pixels/rect.h"
#include "sprites/sprite.h"

#include <cstdint>
#include <memory>

namespace zelvor {

class SpriteDrawer;
class SpriteManager;

class FillRectSprite : public ISprite {
 public:
  // Hidden, Normal, opaque. The rect is kept as given (not normalised) and
  // keeps its size; the colour is kept byte for byte.
  FillRectSprite(std::weak_ptr<SpriteManager> manager, std::weak_ptr<SpriteDrawer> drawer, std::int32_t id,
                 const Rect& rect, std::int32_t priority, const Colour& colour);

  std::int32_t getId() const override { return id; }
  void setPositionImpl(std::int32_t x, std::int32_t y) override;
  std::int32_t getX() const override { return rect.left; }
  std::int32_t getY() const override { return rect.top; }
  void setPriorityImpl(std::int32_t value) override { priority = value; }
  std::int32_t getPriority() const override { return priority; }
  DrawRecord getDrawRecord() const override;
  void showImpl() override { visible = true; }
  void hideImpl() override { visible = false; }
  bool isVisible() const override { return visible; }
  void setBlendModeImpl(BlendMode mode) override { blendMode = mode; }
  BlendMode getBlendMode() const override { return blendMode; }
  void setOpacityImpl(std::uint8_t value) override { opacity = value; }
  std::uint8_t getOpacity() const override { return opacity; }
  void invalidate() override;
  void markOrderChanged() override;

 private:
  // Declared so that destruction releases the drawer, then the manager.
  std::weak_ptr<SpriteManager> manager;
  std::weak_ptr<SpriteDrawer> drawer;
  std::int32_t id;
  Rect rect;
  std::int32_t priority;
  Colour colour;
  bool visible = false;
  BlendMode blendMode = Normal;
  std::uint8_t opacity = 255;
};

}  // namespace zelvor
