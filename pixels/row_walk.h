// The loop every kernel runs: rows top first, and within a row vector steps
// from the first pixel, then a narrow tail. A wide row offers steps of 4
// pixels (one 16-byte block) up to its widest step (8 for SSE2, 16 for
// AVX2); the body repeats the widest, each narrower step then runs at most
// once on what is left, and the last 0 to 3 pixels go pixel by pixel. Which
// step a pixel takes depends only on the row's width, never on the picture:
// every step computes every pixel by the same rule.
//
// Vector loads and stores of the destination are unaligned. The split does
// not wait for an aligned address: on the small sprites that dominate a
// frame (8 to 16 pixels wide at any column), a head of narrow pixels up to
// the next 16-byte boundary cost more than any unaligned access saves, and
// left an 8-pixel sprite at 3 of 4 columns with no vector step at all.
// Runs on the calling thread over memory the caller has locked.
#pragma once

#include "image/image.h"
#include "pixels/rect.h"

#include <cstddef>
#include <cstdint>

namespace zelvor::pixels {
namespace {  // per table file, as in blend_modes.h

// The narrowest vector step: one 16-byte block.
inline constexpr std::int32_t blockPixels = 4;

// Clips area to the destination's pixels; false when none of them is left.
// Plain comparisons rather than intersectRect: the rectangle is never empty
// here, and this header must not pull shared inline functions into the
// vector files (see blend_modes.h).
inline bool clipToDestination(const IImage& destination, Rect& area) {
  std::int32_t const width = destination.getWidth();
  std::int32_t const height = destination.getHeight();
  if (width <= 0 || height <= 0) return false;
  area.left = area.left < 0 ? 0 : area.left;
  area.top = area.top < 0 ? 0 : area.top;
  area.right = area.right > width ? width : area.right;
  area.bottom = area.bottom > height ? height : area.bottom;
  return area.right > area.left && area.bottom > area.top;
}

// One step of the given width, then the pointers move past it.
template <std::int32_t pixels, class Row>
inline void takeStep(const Row& row, std::uint8_t*& d, const std::uint8_t*& s) {
  row.template step<pixels>(d, s);
  d += 4 * pixels;
  s += Row::sourceBytes * pixels;
}

// What is left after the body: each step narrower than the widest at most
// once, widest first.
template <std::int32_t pixels, class Row>
inline void takeRemainder(const Row& row, std::uint8_t*& d, const std::uint8_t*& s, std::int32_t& left) {
  if constexpr (pixels >= blockPixels) {
    if (left >= pixels) {
      takeStep<pixels>(row, d, s);
      left -= pixels;
    }
    takeRemainder<pixels / 2>(row, d, s, left);
  }
}

// destination and source point at the first pixel of the first row; source
// is null for fills, whose rows read no memory (Row::sourceBytes is 0).
template <class Row>
void walkRows(std::uint8_t* destination, std::ptrdiff_t destinationPitch, const std::uint8_t* source,
              std::ptrdiff_t sourcePitch, std::int32_t width, std::int32_t height, const Row& row) {
  constexpr std::ptrdiff_t step = Row::sourceBytes;
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* d = destination + y * destinationPitch;
    const std::uint8_t* s = source + y * sourcePitch;
    std::int32_t left = width;
    if constexpr (Row::wide) {
      constexpr std::int32_t widest = Row::widestStep;
      for (; left >= widest; left -= widest) takeStep<widest>(row, d, s);
      takeRemainder<widest / 2>(row, d, s, left);
    }
    for (; left > 0; --left, d += 4, s += step) row.pixel(d, s);
  }
}

}  // namespace
}  // namespace zelvor::pixels
