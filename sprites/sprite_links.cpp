// Forwarding of sprite reports through weak references; see sprite_links.h.
#include "sprites/sprite_links.h"

#include "render/sprite_drawer.h"
#include "render/sprite_manager.h"

namespace zelvor {

void reportDirty(const std::weak_ptr<SpriteDrawer>& drawer, const Rect& bounds) {
  // The strong reference lives only for the call, so the drawer still dies
  // with its Screen.
  if (auto const strong = drawer.lock()) strong->invalidate(bounds);
}

void reportOrderChanged(const std::weak_ptr<SpriteManager>& manager) {
  if (auto const strong = manager.lock(); strong && !strong->hasOrderChanged()) strong->setOrderChanged();
}

}  // namespace zelvor
