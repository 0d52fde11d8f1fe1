// FillRectSprite: storage and self-description; see fill_rect_sprite.h.
#include "sprites/fill_rect_sprite.h"

#include "sprites/sprite_links.h"

#include <utility>

namespace zelvor {

FillRectSprite::FillRectSprite(std::weak_ptr<SpriteManager> manager, std::weak_ptr<SpriteDrawer> drawer,
                               std::int32_t id, const Rect& rect, std::int32_t priority, const Colour& colour)
    : manager(std::move(manager)), drawer(std::move(drawer)), id(id), rect(rect), priority(priority), colour(colour) {}

void FillRectSprite::setPositionImpl(std::int32_t x, std::int32_t y) {
  // Shifting all four edges keeps the size, even of a rect stored inverted.
  std::int32_t const dx = x - rect.left;
  std::int32_t const dy = y - rect.top;
  rect = {x, y, rect.right + dx, rect.bottom + dy};
}

DrawRecord FillRectSprite::getDrawRecord() const {
  DrawRecord record{};
  record.kind = DrawKind::FillRect;
  record.blendMode = blendMode;
  record.opacity = opacity;
  record.rect = rect;
  record.colour = colour;
  record.image = nullptr;
  return record;
}

void FillRectSprite::invalidate() { reportDirty(drawer, rect); }

void FillRectSprite::markOrderChanged() { reportOrderChanged(manager); }

}  // namespace zelvor
