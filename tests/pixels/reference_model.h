// A plain model of the pixel arithmetic and of the two drawing operations,
// written from the rules themselves and sharing no code with pixels/: one
// pixel at a time, ints, divisions instead of shifts, and a per-pixel "is
// this pixel drawn" test in place of rectangle clipping. The kernels are
// checked against it. Test thread only.
#pragma once

#include "pixels/blend.h"

#include <cstdint>
#include <vector>

namespace model {

// 0..255 → weight where 255 is full strength 256.
int scale(int x);

// B(d, c) of a mode, 0..255.
int channelRule(int mode, int d, int c);

// (b × W + d × (256 − W)) / 256, truncating.
int mix(int b, int d, int w);

struct ColourInfo {
  int blue, green, red, fourth;  // the pixel value's bytes
  bool hasAlpha;
  int alpha;  // 255 without alpha
};
ColourInfo describe(const zelvor::Colour& colour);

struct SourcePixel {
  int blue, green, red;
  bool hasAlpha;
  int alpha;
  int fourth;  // the fourth stored byte, for the one copy that keeps it
};
SourcePixel convert(int format, const std::uint8_t* bytes);
int bytesPerPixel(int format);

// A plain picture of a destination: 4 bytes per pixel, pitch bytes per row.
struct Frame {
  int width;
  int height;
  int pitch;
  std::vector<std::uint8_t> bytes;
  // Per pixel: must the fourth byte match? (True where the pixel is not
  // drawn, and where the drawing defines it.)
  std::vector<bool> fourthSignificant;
};

// A plain picture of a source.
struct SourceFrame {
  int width;
  int height;
  int pitch;
  int format;
  std::vector<std::uint8_t> bytes;
};

void fill(Frame& frame, const zelvor::Colour& colour, const zelvor::ClipWindow* clip, int mode,
          const zelvor::Rect& rect, int opacity);

void draw(Frame& frame, zelvor::SourceOrigin origin, const zelvor::ClipWindow* clip, const SourceFrame& source,
          int mode, const zelvor::Rect& rect, int opacity);

}  // namespace model
