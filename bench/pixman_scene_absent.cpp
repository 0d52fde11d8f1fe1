// Built where libpixman-1-dev is not installed: no pixman figures.
#include "bench/pixman_scene.h"

namespace zelvor::bench {

std::unique_ptr<PixmanFrame> makePixmanFrame(std::span<const DrawRecord>, std::int32_t, std::int32_t) {
  return nullptr;
}

}  // namespace zelvor::bench
