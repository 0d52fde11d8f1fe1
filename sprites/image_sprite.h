// ImageSprite: a picture drawn with its top-left corner at a position,
// blended with the sprite's mode and opacity (the demo's row of pictures and
// its snowflakes). Its size is always its picture's, read afresh each time;
// many sprites may share one picture, which nobody writes after loading.
// Threads as for every sprite: one at a time, under the Screen's frame lock.
#pragma once

#include "image/image.h"
#include "pixels/rect.h"
#include "sprites/sprite.h"

#include <cstdint>
#include <memory>

namespace zelvor {

class SpriteDrawer;
class SpriteManager;

class ImageSprite : public ISprite {
 public:
  // Hidden, Normal, opaque. The image must not be null.
  ImageSprite(std::weak_ptr<SpriteManager> manager, std::weak_ptr<SpriteDrawer> drawer, std::int32_t id, std::int32_t x,
              std::int32_t y, std::int32_t priority, std::shared_ptr<IImage> image);

  std::shared_ptr<IImage> getImage() const { return image; }

  std::int32_t getId() const override { return id; }
  void setPositionImpl(std::int32_t newX, std::int32_t newY) override;
  std::int32_t getX() const override { return x; }
  std::int32_t getY() const override { return y; }
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
  Rect bounds() const;

  // Declared so that destruction releases the picture, then the drawer, then
  // the manager.
  std::weak_ptr<SpriteManager> manager;
  std::weak_ptr<SpriteDrawer> drawer;
  std::int32_t id;
  std::int32_t x;
  std::int32_t y;
  std::int32_t priority;
  std::shared_ptr<IImage> image;
  bool visible = false;
  BlendMode blendMode = Normal;
  std::uint8_t opacity = 255;
};

}  // namespace zelvor
