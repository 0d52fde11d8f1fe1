// Colours, blend modes and the per-channel arithmetic every drawn pixel goes
// through: result = (B(d, c) × W + d × (256 − W)) >> 8, truncating, with a
// weight W from 0 to 256. Values and pure functions: any thread.
#pragma once

#include <cstdint>

namespace zelvor {

enum ColourType : std::int32_t {
  Grey = 0,       // byte 0 level
  Rgb = 1,        // bytes 0..2 red, green, blue
  GreyAlpha = 2,  // byte 0 level, byte 1 alpha
  Rgba = 3,       // bytes 0..3 red, green, blue, alpha
};

// Eight bytes: a type, then four bytes whose meaning the type gives. Stored
// red first; pixel values hold blue in their lowest byte.
struct Colour {
  std::int32_t type;
  std::uint8_t bytes[4];
};
static_assert(sizeof(Colour) == 8);

enum BlendMode : std::int32_t {
  Normal = 0,           // c
  Add = 1,              // min(255, d + c)
  Subtract = 2,         // max(0, d − c)
  Multiply = 3,         // (d × scale256(c)) >> 8
  InverseMultiply = 4,  // ((255 − d) × scale256(255 − c)) >> 8
};

inline constexpr std::int32_t blendModeCount = 5;

// A byte as a weight in which full strength is exactly 256: x for 0..254,
// 256 for 255.
constexpr std::uint32_t scale256(std::uint32_t x) { return (x * 65794u) >> 16; }

// The colour as a pixel value 0xAARRGGBB (0 for an unknown type).
constexpr std::uint32_t toPixel(const Colour& colour) {
  auto const* b = colour.bytes;
  switch (colour.type) {
    case Grey: return b[0] * 0x10101u;
    case Rgb: return std::uint32_t{b[0]} << 16 | std::uint32_t{b[1]} << 8 | b[2];
    case GreyAlpha: return std::uint32_t{b[1]} << 24 | b[0] * 0x10101u;
    case Rgba: return std::uint32_t{b[3]} << 24 | std::uint32_t{b[0]} << 16 | std::uint32_t{b[1]} << 8 | b[2];
    default: return 0;
  }
}

// The colour's alpha: 255 for types without one.
constexpr std::uint8_t alphaOf(const Colour& colour) {
  switch (colour.type) {
    case GreyAlpha: return colour.bytes[1];
    case Rgba: return colour.bytes[3];
    default: return 255;
  }
}

// W of a pixel, 0..256, from the opacity byte (1..255) and, when the colour or
// source pixel has alpha, that alpha. With alpha at partial opacity the
// product (op × A) >> 8 is at most 253 and needs no further scaling.
constexpr std::uint32_t weight(std::uint8_t opacity, bool hasAlpha, std::uint8_t alpha) {
  if (!hasAlpha) return scale256(opacity);
  if (opacity == 255) return scale256(alpha);
  return (scale256(opacity) * alpha) >> 8;
}

// B(d, c) of a mode, 0..255; 0 for a mode outside the five (never drawn).
constexpr std::uint32_t blendChannel(std::int32_t mode, std::uint32_t d, std::uint32_t c) {
  switch (mode) {
    case Normal: return c;
    case Add: return d + c > 255 ? 255 : d + c;
    case Subtract: return d > c ? d - c : 0;
    case Multiply: return (d * scale256(c)) >> 8;
    case InverseMultiply: return ((255 - d) * scale256(255 - c)) >> 8;
    default: return 0;
  }
}

}  // namespace zelvor
