// A sprite's two back references, to the SpriteManager that holds it and to
// the SpriteDrawer that tracks dirty areas. Both are weak, so sprites never
// keep their owners alive; once an owner is gone the report is dropped.
// Used on the thread that holds the Screen's frame lock.
#pragma once

#include "pixels/rect.h"

#include <memory>

namespace zelvor {

class SpriteDrawer;
class SpriteManager;

// Adds bounds (unclipped) to the drawer's dirty bands, if the drawer exists.
void reportDirty(const std::weak_ptr<SpriteDrawer>& drawer, const Rect& bounds);

// Marks the manager's drawing order stale, if the manager exists.
void reportOrderChanged(const std::weak_ptr<SpriteManager>& manager);

}  // namespace zelvor
