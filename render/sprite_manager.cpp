// SpriteManager: registry and lazy sort; see sprite_manager.h.
#include "render/sprite_manager.h"

#include <algorithm>
#include <utility>

namespace zelvor {

void SpriteManager::add(std::shared_ptr<ISprite> sprite) {
  std::int32_t const id = sprite->getId();
  entries.push_back({id, std::move(sprite)});
  orderChanged = true;
}

std::shared_ptr<ISprite> SpriteManager::find(std::int32_t id) const {
  auto const found = std::find_if(entries.begin(), entries.end(), [id](const SpriteEntry& e) { return e.id == id; });
  return found == entries.end() ? nullptr : found->sprite;
}

void SpriteManager::sortIfNeeded() {
  if (!orderChanged) return;
  // Priorities are read at every comparison rather than cached: the sort runs
  // rarely (only after a change of order) and a sprite is the one source of
  // its priority.
  std::sort(entries.begin(), entries.end(), [](const SpriteEntry& a, const SpriteEntry& b) {
    return a.sprite->getPriority() < b.sprite->getPriority();
  });
  orderChanged = false;
}

}  // namespace zelvor
