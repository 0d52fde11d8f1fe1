// SpriteManager: owns every sprite of a Screen and keeps them in drawing
// order, ascending priority (higher priorities are drawn later, on top).
//
// The order is re-sorted lazily: add and a sprite's markOrderChanged set
// orderChanged, and the SpriteDrawer's beginFrame sorts before walking the
// entries. No lock of its own: every call happens under the Screen's frame
// lock, or before the render thread starts. Render workers never touch it.
#pragma once

#include "sprites/sprite.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zelvor {

struct SpriteEntry {
  std::int32_t id;  // the sprite's id when it was added; never updated
  std::shared_ptr<ISprite> sprite;
};

class SpriteManager {
 public:
  SpriteManager() = default;
  virtual ~SpriteManager() = default;
  SpriteManager(const SpriteManager&) = delete;
  SpriteManager& operator=(const SpriteManager&) = delete;

  // Appends the sprite; the order is sorted again before the next frame.
  void add(std::shared_ptr<ISprite> sprite);

  // The first entry with that id in the current order, or empty.
  std::shared_ptr<ISprite> find(std::int32_t id) const;

  // Sorts by priority when the order is stale. Unstable: equal priorities
  // end in no particular order.
  void sortIfNeeded();

  bool hasOrderChanged() const { return orderChanged; }
  void setOrderChanged() { orderChanged = true; }

  // After sortIfNeeded, in ascending priority.
  const std::vector<SpriteEntry>& getEntries() const { return entries; }

 private:
  bool orderChanged = false;
  std::vector<SpriteEntry> entries;
};

}  // namespace zelvor
