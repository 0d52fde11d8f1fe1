// The loop every kernel runs: rows top first, and within a row a narrow head
// up to the first 16-byte-aligned destination pixel, a body of 8-pixel groups
// (two aligned 16-byte blocks each) and a narrow tail. Which step a pixel
// takes depends only on its destination address; rows of 7 pixels or fewer,
// and destinations whose pixels are not even 4-byte aligned, go narrow whole.
// Runs on the calling thread over memory the caller has locked.
#pragma once

#include "image/image.h"
#include "pixels/rect.h"

#include <cstddef>
#include <cstdint>

namespace zelvor::pixels {

inline constexpr std::int32_t groupPixels = 8;

// Clips area to the destination's pixels; false when none of them is left. A
// destination without pixels is checked first: intersectRect would take its
// empty bounds as no restriction at all.
inline bool clipToDestination(const IImage& destination, Rect& area) {
  Rect const bounds{0, 0, destination.getWidth(), destination.getHeight()};
  if (isEmpty(bounds)) return false;
  area = intersectRect(bounds, area);
  return area.right > area.left && area.bottom > area.top;
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
    std::int32_t head = width;
    std::int32_t groups = 0;
    if constexpr (Row::wide) {
      auto const address = reinterpret_cast<std::uintptr_t>(d);
      if (width >= groupPixels && address % 4 == 0) {
        head = static_cast<std::int32_t>((16 - address % 16) % 16 / 4);
        groups = (width - head) / groupPixels;
      }
    }
    for (std::int32_t x = 0; x < head; ++x, d += 4, s += step) row.pixel(d, s);
    if constexpr (Row::wide) {
      for (std::int32_t g = 0; g < groups; ++g, d += 4 * groupPixels, s += step * groupPixels) row.group(d, s);
    }
    for (std::int32_t x = head + groups * groupPixels; x < width; ++x, d += 4, s += step) row.pixel(d, s);
  }
}

}  // namespace zelvor::pixels
