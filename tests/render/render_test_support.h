// Small helpers shared by the render tests: readable printing of rectangles
// and a manager and drawer pair wired as a Screen wires them.
#pragma once

#include "pixels/rect.h"
#include "render/sprite_drawer.h"
#include "render/sprite_manager.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

namespace zelvor {

inline void PrintTo(const Rect& r, std::ostream* out) {
  *out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

}  // namespace zelvor

namespace zelvor::testing {

// A manager and a drawer over a screen of the given size, with the band
// height a Screen of that width would ask for.
struct SpriteWorld {
  std::shared_ptr<SpriteManager> manager = std::make_shared<SpriteManager>();
  std::shared_ptr<SpriteDrawer> drawer;

  SpriteWorld(std::int32_t width, std::int32_t height, std::uint32_t bandRowsLimit)
      : drawer(std::make_shared<SpriteDrawer>(width, height, bandRowsLimit, manager)) {}

  // Every band's dirty rectangle, in band order.
  std::vector<Rect> bandRects() const {
    std::vector<Rect> rects;
    for (std::int32_t b = 0; b < drawer->getBandCount(); ++b) rects.push_back(drawer->getBandRect(b));
    return rects;
  }
};

}  // namespace zelvor::testing
