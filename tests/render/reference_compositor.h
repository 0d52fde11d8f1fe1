// The render tests' plain model of a finished frame: every draw record
// composed over a whole frame, pixel by pixel, by the blend arithmetic
// written out afresh (weight, channel rule, weighted blend). It shares no
// code with the pixel kernels, the clip windows or the bands, so a band
// renderer that agrees with it agrees with the arithmetic itself.
#pragma once

#include "image/image.h"
#include "sprites/draw_record.h"

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace zelvor::testing {

// 0x00RRGGBB pixels, top row first, as the null window keeps its surface.
struct Frame {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint32_t> pixels;

  Frame(std::int32_t width, std::int32_t height, std::uint32_t fill)
      : width(width), height(height), pixels(std::size_t(width) * std::size_t(height), fill) {}
};

// Draws the records, first to last, onto the frame (clipped to it).
void composeReference(Frame& frame, const std::vector<DrawRecord>& records);

// Where actual (0x??RRGGBB) first differs from expected in red, green or blue,
// with the number of differing pixels; empty when they agree.
std::string firstDifference(const Frame& expected, const std::vector<std::uint32_t>& actual);

// A byte biased towards the values where blend arithmetic has its edges.
std::uint8_t randomByte(std::mt19937& random);

// A picture of random bytes (alpha biased towards 0 and 255 as well).
std::shared_ptr<Image> makeRandomImage(PixelFormat format, std::int32_t width, std::int32_t height,
                                       std::mt19937& random);

}  // namespace zelvor::testing
