// The pixel-by-pixel step shared by every kernel: read the colour, compute B
// of the mode, weigh it against the destination, store. It is the whole of
// the narrow-only kernels and the tail of the wide ones, so both give
// the same pixels by construction. A row object holds the constants of one
// call and is used by the calling thread only.
#pragma once

#include "pixels/blend_modes.h"
#include "pixels/colour.h"
#include "pixels/pixel_sources.h"

#include <cstdint>

namespace zelvor::pixels {
namespace {  // per table file, as in blend_modes.h

// How a kernel finds the weight W of a pixel; fixed per kernel.
enum class WeightRule {
  Opaque,        // W = 256: the pixel becomes B itself
  Uniform,       // one W for the whole call (fills; sources without alpha at partial opacity)
  Alpha,         // W = scale256(A) of each source pixel: A, or 256 for A = 255
  OpacityAlpha,  // W = (opacity weight × A) >> 8 of each source pixel, at most 253
};

template <class Mode, class Source, WeightRule rule>
class NarrowRow {
 public:
  static constexpr bool wide = false;
  static constexpr std::int32_t sourceBytes = Source::bytes;

  // weightParameter: W for Uniform, the opacity weight for OpacityAlpha,
  // unused by the other rules.
  NarrowRow(Source source, std::uint32_t weightParameter) : source(source), weightParameter(weightParameter) {}

  void pixel(std::uint8_t* d, const std::uint8_t* s) const {
    std::uint32_t const c = source.read(s);
    std::uint32_t const p = loadPixel(d);
    std::uint32_t const b = blendPixel<Mode>(p, c);
    if constexpr (rule == WeightRule::Opaque) {
      storePixel(d, b);
    } else {
      storePixel(d, mixPixel(b, p, weightOf(c >> 24)));
    }
  }

 protected:
  std::uint32_t weightOf(std::uint32_t alpha) const {
    if constexpr (rule == WeightRule::Uniform) {
      return weightParameter;
    } else if constexpr (rule == WeightRule::Alpha) {
      return scale256(alpha);
    } else {
      return (weightParameter * alpha) >> 8;
    }
  }

  Source source;
  std::uint32_t weightParameter;
};

}  // namespace
}  // namespace zelvor::pixels
