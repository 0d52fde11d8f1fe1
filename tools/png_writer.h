// Writes one PNG file with libpng's write API. Used by the picture generator
// on its one thread; nothing here is shared.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelvor::tools {

struct PaletteEntry {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
  std::uint8_t alpha;
};

// A picture as libpng takes it: rows top first, each row already packed for
// the colour type and bit depth (several palette indices share a byte below
// 8 bits).
struct PngPicture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int colourType = 0;  // PNG_COLOR_TYPE_*
  int bitDepth = 8;
  std::vector<std::vector<std::uint8_t>> rows;
  // Palette pictures only; a tRNS chunk is written when any alpha is not 255.
  std::vector<PaletteEntry> palette;
};

// Throws std::runtime_error naming the file when it cannot be written. The
// output holds only the chunks libpng needs (no time stamp), so the same
// picture always gives the same bytes.
void writePng(const std::string& fileName, const PngPicture& picture);

}  // namespace zelvor::tools
