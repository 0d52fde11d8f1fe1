// The demonstration frame composed by pixman in the benchmark's own process,
// as the yardstick for zelvor's band renderer. Built only where Debian's
// libpixman-1-dev is installed; elsewhere makePixmanFrame returns nothing and
// the pixman figures are left out. Used on the benchmark's thread only.
#pragma once

#include "sprites/draw_record.h"

#include <cstdint>
#include <memory>
#include <span>

namespace zelvor::bench {

class PixmanFrame {
 public:
  virtual ~PixmanFrame() = default;
  // One pixman call per record, straight into an 800 × 600 frame.
  virtual void composeWholeFrame() = 0;
  // The frame cut into bands of bandRows rows, each composed into one
  // band-sized image from only the records that reach it.
  virtual void composeBands(std::int32_t bandRows) = 0;
};

// Converts every picture the records show to premultiplied alpha once, here.
// Records that pixman cannot express as OVER, ADD or SRC are skipped (the
// demonstration scene has none). Empty when pixman is not built in.
std::unique_ptr<PixmanFrame> makePixmanFrame(std::span<const DrawRecord> records, std::int32_t width,
                                             std::int32_t height);

}  // namespace zelvor::bench
