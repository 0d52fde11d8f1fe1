// PNG fixtures for the loader tests: a picture given as plain sample values,
// encoded with libpng's write API, and an independent model of what the
// loader must make of it (layout and every byte).
//
// Test-only; used by one thread at a time.
#pragma once

#include "image/image.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelvor::test {

struct PngFixture {
  std::uint32_t width = 1;
  std::uint32_t height = 1;
  int colourType = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
  int bitDepth = 8;
  bool interlaced = false;
  // width × height × channels values, each below 2^bitDepth, channels in PNG
  // order (grey; red, green, blue; index; grey, alpha; red, green, blue,
  // alpha).
  std::vector<std::uint16_t> samples;
  std::vector<std::array<std::uint8_t, 3>> palette;  // red, green, blue
  std::vector<std::uint8_t> paletteAlpha;            // tRNS of a palette picture
  // tRNS of a grey (first value) or RGB picture, in sample units.
  std::optional<std::array<std::uint16_t, 3>> transparentColour;
};

int channelsOf(int colourType);

// The PNG file's bytes. Throws std::runtime_error if libpng refuses.
std::vector<std::uint8_t> encodePng(const PngFixture& fixture);

struct ExpectedPicture {
  PixelFormat format = Gray8;
  std::int32_t pitch = 0;
  std::vector<std::uint8_t> bytes;  // rows tightly packed, top first
};

// What the loader must deliver: 8-bit channels in blue-green-red order,
// low-depth grey scaled to 0..255, 16 bits cut to their high byte, tRNS
// turned into an alpha of 0 (match) or 255.
ExpectedPicture expectedDecode(const PngFixture& fixture);

std::string describe(const PngFixture& fixture);

}  // namespace zelvor::test
