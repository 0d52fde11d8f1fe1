// The two drawing operations: fill a rectangle with a colour, or draw a
// picture into a rectangle, under a blend mode and an opacity, through an
// optional clip window. Each settles its case once and runs one kernel;
// whatever cannot be drawn is skipped without a change and without a report.
// Called by the render workers, several at a time: a call only reads its
// colour, clip and source and writes its own destination.
#pragma once

#include "image/image.h"
#include "pixels/colour.h"
#include "pixels/rect.h"

#include <cstdint>

namespace zelvor {

// The source pixel that belongs at the drawing rectangle's top-left corner.
struct SourceOrigin {
  std::int32_t x;
  std::int32_t y;
};

// The destination is a 4-byte-per-pixel image (a Bgrx32 band image). The clip
// may be null (no offset, no clip but the destination's edges); a clip whose
// rectangle is empty lets nothing through, and a rectangle with left > right
// or top > bottom draws nothing either.
void fillRect(const Colour& colour, const ClipWindow* clip, IImage& destination, BlendMode mode, const Rect& rect,
              std::uint8_t opacity);

void drawImage(SourceOrigin origin, const ClipWindow* clip, const IImage& source, IImage& destination, BlendMode mode,
               const Rect& rect, std::uint8_t opacity);

}  // namespace zelvor
