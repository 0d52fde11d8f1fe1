// Where the kernels' colour comes from, read one pixel at a time: the fill
// colour, or a source pixel of one of the five formats turned into a word
// 0xAARRGGBB (alpha in the top byte for the two formats that have one,
// meaningless there for the others). Also the unaligned pixel loads and stores
// every narrow path uses. Pure functions over caller-owned memory: any thread.
#pragma once

#include "image/image.h"

#include <cstdint>
#include <cstring>

namespace zelvor::pixels {
namespace {  // per table file, as in blend_modes.h

// Pixel rows have no alignment beyond a byte (source pitches are width ×
// bytes per pixel, band buffers come from anywhere), so words go through
// memcpy, which compiles to a plain load or store.
inline std::uint32_t loadPixel(const std::uint8_t* p) {
  std::uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

inline void storePixel(std::uint8_t* p, std::uint32_t value) { std::memcpy(p, &value, sizeof value); }

// A fill's colour: the same word for every pixel; no memory is read.
struct SolidColour {
  static constexpr std::int32_t bytes = 0;
  static constexpr bool hasAlpha = false;
  std::uint32_t value;
  std::uint32_t read(const std::uint8_t*) const { return value; }
};

template <PixelFormat format>
struct FormatSource;

template <>
struct FormatSource<Gray8> {
  static constexpr std::int32_t bytes = 1;
  static constexpr bool hasAlpha = false;
  static std::uint32_t read(const std::uint8_t* s) { return s[0] * 0x010101u; }
};

template <>
struct FormatSource<Bgr24> {
  static constexpr std::int32_t bytes = 3;
  static constexpr bool hasAlpha = false;
  // Three single bytes: a word load at the image's last pixel would leave it.
  static std::uint32_t read(const std::uint8_t* s) {
    return s[0] | std::uint32_t{s[1]} << 8 | std::uint32_t{s[2]} << 16;
  }
};

template <>
struct FormatSource<GrayAlpha16> {
  static constexpr std::int32_t bytes = 2;
  static constexpr bool hasAlpha = true;
  static std::uint32_t read(const std::uint8_t* s) { return s[0] * 0x010101u | std::uint32_t{s[1]} << 24; }
};

template <>
struct FormatSource<Bgra32> {
  static constexpr std::int32_t bytes = 4;
  static constexpr bool hasAlpha = true;
  static std::uint32_t read(const std::uint8_t* s) { return loadPixel(s); }
};

template <>
struct FormatSource<Bgrx32> {
  static constexpr std::int32_t bytes = 4;
  static constexpr bool hasAlpha = false;
  static std::uint32_t read(const std::uint8_t* s) { return loadPixel(s); }
};

}  // namespace
}  // namespace zelvor::pixels
