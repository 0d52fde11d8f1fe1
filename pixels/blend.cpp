// fillRect and drawImage: clip the rectangle, settle whether anything is to be
// drawn, reduce the colour or source to its case and run that case's kernel.
// Called by the render workers, several at a time; each call only reads its
// arguments and writes its own destination, so there is no shared state.
#include "pixels/blend.h"

#include "pixels/kernel_tables.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace zelvor {
namespace {

// Offsets are added with saturation: a result beyond the 32-bit range lies
// beyond every destination and clip, and saturating keeps it there instead of
// wrapping it back into view.
std::int32_t offsetCoordinate(std::int32_t value, std::int32_t offset) {
  std::int64_t const moved = std::int64_t{value} + offset;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(moved, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

Rect inDestination(const Rect& rect, const ClipWindow* clip) {
  if (!clip) return rect;
  return {offsetCoordinate(rect.left, clip->offsetX), offsetCoordinate(rect.top, clip->offsetY),
          offsetCoordinate(rect.right, clip->offsetX), offsetCoordinate(rect.bottom, clip->offsetY)};
}

// Stricter than isEmpty: a rectangle with left > right or top > bottom covers
// no pixel either, and is dropped here rather than carried into the kernels.
bool hasArea(const Rect& r) { return r.left < r.right && r.top < r.bottom; }

// The part of r inside the clip, or false when nothing is left. An empty clip
// rectangle lets nothing through: intersectRect alone would not restrict r.
bool clipTo(const ClipWindow* clip, Rect& r) {
  if (!clip) return true;
  if (!hasArea(clip->rect)) return false;
  r = intersectRect(r, clip->rect);
  return hasArea(r);
}

bool isBlendMode(BlendMode mode) { return static_cast<std::uint32_t>(mode) < std::uint32_t{blendModeCount}; }

}  // namespace

namespace pixels {

void fillRectWith(const KernelTable& kernels, const Colour& colour, const ClipWindow* clip, IImage& destination,
                  BlendMode mode, const Rect& rect, std::uint8_t opacity) {
  Rect r = inDestination(rect, clip);
  if (!hasArea(r) || !clipTo(clip, r)) return;
  std::uint32_t const value = toPixel(colour);
  std::uint8_t const alpha = alphaOf(colour);
  bool const hasAlpha = (colour.type == GreyAlpha || colour.type == Rgba) && alpha != 255;
  if (hasAlpha && alpha == 0) return;
  if (opacity == 0 || !isBlendMode(mode)) return;
  bool const partial = opacity != 255;
  kernels.fill[mode][partial][hasAlpha](destination, r, FillColour{value, alpha, scale256(opacity)});
}

void drawImageWith(const KernelTable& kernels, SourceOrigin origin, const ClipWindow* clip, const IImage& source,
                   IImage& destination, BlendMode mode, const Rect& rect, std::uint8_t opacity) {
  Rect const drawn = inDestination(rect, clip);
  if (!hasArea(drawn)) return;
  Rect shown = drawn;
  if (!clipTo(clip, shown)) return;

  // The source side is worked out in 64 bits: origin − left may leave the
  // 32-bit range even when every rectangle involved is within it.
  std::int64_t const dx = std::int64_t{origin.x} - drawn.left;
  std::int64_t const dy = std::int64_t{origin.y} - drawn.top;
  std::int64_t const height = source.getHeight();
  std::int64_t const width = source.getWidth();
  if (width <= 0 || height <= 0) return;
  std::int64_t const left = shown.left + dx;
  std::int64_t const top = shown.top + dy;
  std::int64_t const right = shown.right + dx;
  std::int64_t const bottom = shown.bottom + dy;
  if (left > width || right < 0 || top > height || bottom < 0) return;
  std::int64_t const sourceLeft = std::max<std::int64_t>(left, 0);
  std::int64_t const sourceTop = std::max<std::int64_t>(top, 0);
  // Inside shown, so back within the 32-bit range.
  Rect const area{static_cast<std::int32_t>(sourceLeft - dx), static_cast<std::int32_t>(sourceTop - dy),
                  static_cast<std::int32_t>(std::min(right, width) - dx),
                  static_cast<std::int32_t>(std::min(bottom, height) - dy)};
  if (!hasArea(area)) return;

  if (opacity == 0 || !isBlendMode(mode)) return;
  bool const partial = opacity != 255;
  PixelFormat const format = source.getFormat();
  if (static_cast<std::uint32_t>(format) >= std::uint32_t{pixels::pixelFormatCount}) return;
  kernels.image[mode][partial][format](destination, area, source,
                                       {static_cast<std::int32_t>(sourceLeft), static_cast<std::int32_t>(sourceTop)},
                                       scale256(opacity));
}

}  // namespace pixels

void fillRect(const Colour& colour, const ClipWindow* clip, IImage& destination, BlendMode mode, const Rect& rect,
              std::uint8_t opacity) {
  pixels::fillRectWith(pixels::activeKernelTable(), colour, clip, destination, mode, rect, opacity);
}

void drawImage(SourceOrigin origin, const ClipWindow* clip, const IImage& source, IImage& destination, BlendMode mode,
               const Rect& rect, std::uint8_t opacity) {
  pixels::drawImageWith(pixels::activeKernelTable(), origin, clip, source, destination, mode, rect, opacity);
}

}  // namespace zelvor
