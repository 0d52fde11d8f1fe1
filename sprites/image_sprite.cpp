// ImageSprite: storage and self-description; see image_sprite.h.
#include "sprites/image_sprite.h"

#include "sprites/sprite_links.h"

#include <utility>

namespace zelvor {

ImageSprite::ImageSprite(std::weak_ptr<SpriteManager> manager, std::weak_ptr<SpriteDrawer> drawer, std::int32_t id,
                         std::int32_t x, std::int32_t y, std::int32_t priority, std::shared_ptr<IImage> image)
    : manager(std::move(manager)),
      drawer(std::move(drawer)),
      id(id),
      x(x),
      y(y),
      priority(priority),
      image(std::move(image)) {}

void ImageSprite::setPositionImpl(std::int32_t newX, std::int32_t newY) {
  x = newX;
  y = newY;
}

Rect ImageSprite::bounds() const { return {x, y, x + image->getWidth(), y + image->getHeight()}; }

DrawRecord ImageSprite::getDrawRecord() const {
  DrawRecord record{};
  record.kind = DrawKind::Image;
  record.blendMode = blendMode;
  record.opacity = opacity;
  record.rect = bounds();
  record.origin = {0, 0};
  record.image = image.get();
  return record;
}

void ImageSprite::invalidate() { reportDirty(drawer, bounds()); }

void ImageSprite::markOrderChanged() { reportOrderChanged(manager); }

}  // namespace zelvor
