// DrawRecord: what one sprite contributes to one frame, collected by the
// SpriteDrawer on the render thread under the Screen's frame lock and then
// read, unchanged, by every render worker while it draws its bands.
#pragma once

#include "image/image.h"
#include "pixels/blend.h"
#include "pixels/colour.h"
#include "pixels/rect.h"

#include <cstdint>

namespace zelvor {

// Which drawing operation a record feeds; any other value draws nothing.
enum class DrawKind : std::int32_t {
  FillRect = 0,  // fillRect with the record's colour
  Image = 1,     // drawImage of the record's picture from its origin
};

struct DrawRecord {
  DrawKind kind;
  BlendMode blendMode;
  std::uint8_t opacity;
  Rect rect;  // in screen coordinates, unclipped
  // Eight bytes whose meaning the kind gives: the fill colour, or the source
  // pixel of the picture that belongs at the rectangle's top-left corner
  // (always (0, 0) for sprites). Each kind writes and reads only its member.
  union {
    Colour colour;
    SourceOrigin origin;
  };
  // Not owned: valid while the sprite that made the record holds its
  // picture, which the frame lock guarantees for the frame that uses it.
  const IImage* image;
};
static_assert(sizeof(Colour) == sizeof(SourceOrigin));

}  // namespace zelvor
