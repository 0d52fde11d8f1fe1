// The reference model: see reference_model.h. Every rule is spelt out the way
// it is stated, with no tricks, so that a disagreement points at the kernels.
#include "reference_model.h"

#include <algorithm>

namespace model {

int scale(int x) { return x == 255 ? 256 : x; }

int channelRule(int mode, int d, int c) {
  switch (mode) {
    case 0: return c;
    case 1: return std::min(255, d + c);
    case 2: return std::max(0, d - c);
    case 3: return d * scale(c) / 256;
    case 4: return (255 - d) * scale(255 - c) / 256;
  }
  return -1;
}

int mix(int b, int d, int w) { return (b * w + d * (256 - w)) / 256; }

ColourInfo describe(const zelvor::Colour& colour) {
  auto const* b = colour.bytes;
  switch (colour.type) {
    case 0: return {b[0], b[0], b[0], 0, false, 255};
    case 1: return {b[2], b[1], b[0], 0, false, 255};
    case 2: return {b[0], b[0], b[0], b[1], b[1] != 255, b[1]};
    case 3: return {b[2], b[1], b[0], b[3], b[3] != 255, b[3]};
  }
  return {0, 0, 0, 0, false, 255};
}

SourcePixel convert(int format, const std::uint8_t* p) {
  switch (format) {
    case 0: return {p[0], p[0], p[0], false, 255, -1};
    case 1: return {p[0], p[1], p[2], false, 255, -1};
    case 2: return {p[0], p[0], p[0], true, p[1], -1};
    case 3: return {p[0], p[1], p[2], true, p[3], -1};
    case 4: return {p[0], p[1], p[2], false, 255, p[3]};
  }
  return {0, 0, 0, false, 255, -1};
}

int bytesPerPixel(int format) {
  switch (format) {
    case 1: return 3;
    case 2: return 2;
    case 3:
    case 4: return 4;
  }
  return 1;
}

namespace {

bool inside(int x, int y, const zelvor::Rect& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

zelvor::Rect moved(const zelvor::Rect& r, const zelvor::ClipWindow* clip) {
  if (!clip) return r;
  return {r.left + clip->offsetX, r.top + clip->offsetY, r.right + clip->offsetX, r.bottom + clip->offsetY};
}

int weightOf(int opacity, bool hasAlpha, int alpha) {
  if (!hasAlpha) return scale(opacity);
  if (opacity == 255) return scale(alpha);
  return opacity * alpha / 256;
}

// Blends blue, green and red of the pixel at p; the fourth byte is left to
// the caller.
void blendPixel(std::uint8_t* p, int mode, int blue, int green, int red, int w) {
  int const colour[3] = {blue, green, red};
  for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(mix(channelRule(mode, p[k], colour[k]), p[k], w));
}

}  // namespace

void fill(Frame& frame, const zelvor::Colour& colour, const zelvor::ClipWindow* clip, int mode,
          const zelvor::Rect& rect, int opacity) {
  ColourInfo const c = describe(colour);
  if (opacity == 0 || mode < 0 || mode > 4 || (c.hasAlpha && c.alpha == 0)) return;
  zelvor::Rect const r = moved(rect, clip);
  int const w = weightOf(opacity, c.hasAlpha, c.alpha);
  bool const storesWhole = mode == 0 && opacity == 255 && !c.hasAlpha;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      if (!inside(x, y, r) || (clip && !inside(x, y, clip->rect))) continue;
      std::uint8_t* p = &frame.bytes[y * frame.pitch + x * 4];
      blendPixel(p, mode, c.blue, c.green, c.red, w);
      if (storesWhole) p[3] = static_cast<std::uint8_t>(c.fourth);
      frame.fourthSignificant[y * frame.width + x] = storesWhole;
    }
  }
}

void draw(Frame& frame, zelvor::SourceOrigin origin, const zelvor::ClipWindow* clip, const SourceFrame& source,
          int mode, const zelvor::Rect& rect, int opacity) {
  if (opacity == 0 || mode < 0 || mode > 4 || source.format < 0 || source.format > 4) return;
  zelvor::Rect const r = moved(rect, clip);
  int const size = bytesPerPixel(source.format);
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      if (!inside(x, y, r) || (clip && !inside(x, y, clip->rect))) continue;
      int const sx = x - r.left + origin.x;
      int const sy = y - r.top + origin.y;
      if (sx < 0 || sy < 0 || sx >= source.width || sy >= source.height) continue;
      SourcePixel const s = convert(source.format, &source.bytes[sy * source.pitch + sx * size]);
      std::uint8_t* p = &frame.bytes[y * frame.pitch + x * 4];
      blendPixel(p, mode, s.blue, s.green, s.red, weightOf(opacity, s.hasAlpha, s.alpha));
      bool const copiesWhole = mode == 0 && opacity == 255 && source.format == 4;
      if (copiesWhole) p[3] = static_cast<std::uint8_t>(s.fourth);
      frame.fourthSignificant[y * frame.width + x] = copiesWhole;
    }
  }
}

}  // namespace model
