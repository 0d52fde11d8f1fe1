// zelvor-make-pictures: draws the demonstration's three pictures and writes
// them into the folder named on the command line:
//   "load.gra"   64 × 64 RGBA, a ring with soft edges around a translucent core
//   "snow.png"   16 × 16 grey + alpha, a soft round flake
//   "snow2.png"  8 × 8, 2-bit palette with a tRNS chunk, a small star flake
// Everything is computed from the pixel coordinates alone, so every run
// writes the same bytes. Single-threaded.
#include "tools/png_writer.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>

namespace zelvor::tools {
namespace {

std::uint8_t toByte(double value) { return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 255.0))); }

// Distance of the centre of pixel (x, y) from the centre of a size × size
// picture; symmetric in both axes, so the picture is centred exactly.
double distanceFromCentre(std::uint32_t x, std::uint32_t y, std::uint32_t size) {
  double const centre = size / 2.0;
  return std::hypot(x + 0.5 - centre, y + 0.5 - centre);
}

// Ramps from 0 at edge0 to 1 at edge1 with a smooth start and end.
double smoothStep(double edge0, double edge1, double value) {
  double const t = std::clamp((value - edge0) / (edge1 - edge0), 0.0, 1.0);
  return t * t * (3.0 - 2.0 * t);
}

PngPicture drawRing() {
  constexpr std::uint32_t size = 64;
  PngPicture picture{size, size, PNG_COLOR_TYPE_RGB_ALPHA, 8, {}, {}};
  for (std::uint32_t y = 0; y < size; ++y) {
    std::vector<std::uint8_t> row;
    for (std::uint32_t x = 0; x < size; ++x) {
      double const r = distanceFromCentre(x, y, size);
      // Deep blue in the core turning to orange on the rim.
      double const t = std::clamp(r / 30.0, 0.0, 1.0);
      double const outerFade = 1.0 - smoothStep(25.0, 31.0, r);
      double const ring = 0.45 + 0.55 * smoothStep(8.0, 16.0, r);
      row.push_back(toByte(40 + 215 * t));              // red
      row.push_back(toByte(60 + 80 * t));               // green
      row.push_back(toByte(200 - 170 * t));             // blue
      row.push_back(toByte(255.0 * ring * outerFade));  // alpha
    }
    picture.rows.push_back(std::move(row));
  }
  return picture;
}

PngPicture drawSoftFlake() {
  constexpr std::uint32_t size = 16;
  PngPicture picture{size, size, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {}, {}};
  for (std::uint32_t y = 0; y < size; ++y) {
    std::vector<std::uint8_t> row;
    for (std::uint32_t x = 0; x < size; ++x) {
      double const fall = 1.0 - std::clamp(distanceFromCentre(x, y, size) / 8.0, 0.0, 1.0);
      row.push_back(toByte(200 + 55 * fall));    // grey
      row.push_back(toByte(255 * fall * fall));  // alpha
    }
    picture.rows.push_back(std::move(row));
  }
  return picture;
}

PngPicture drawStarFlake() {
  constexpr std::uint32_t size = 8;
  // 0 transparent, 1 faint, 2 half, 3 solid; four indices fit in a byte.
  constexpr const char* shape[size] = {
      "00010000",  //
      "01020100",  //
      "00232000",  //
      "12333210",  //
      "00232000",  //
      "01020100",  //
      "00010000",  //
      "00000000",  //
  };
  PngPicture picture{size, size, PNG_COLOR_TYPE_PALETTE, 2, {}, {}};
  picture.palette = {{0, 0, 0, 0}, {180, 200, 255, 96}, {210, 225, 255, 170}, {240, 245, 255, 255}};
  for (const char* line : shape) {
    std::vector<std::uint8_t> row(size / 4, 0);
    for (std::uint32_t x = 0; x < size; ++x) {
      auto const index = static_cast<std::uint8_t>(line[x] - '0');
      // The leftmost pixel takes the highest two bits.
      row[x / 4] |= static_cast<std::uint8_t>(index << (6 - 2 * (x % 4)));
    }
    picture.rows.push_back(std::move(row));
  }
  return picture;
}

}  // namespace
}  // namespace zelvor::tools

int main(int argc, char** argv) {
  using namespace zelvor::tools;
  if (argc != 2) {
    std::fprintf(stderr, "usage: zelvor-make-pictures FOLDER\n");
    return 2;
  }
  std::string const folder = std::string(argv[1]) + "/";
  try {
    writePng(folder + "load.gra", drawRing());
    writePng(folder + "snow.png", drawSoftFlake());
    writePng(folder + "snow2.png", drawStarFlake());
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "zelvor-make-pictures: %s\n", failure.what());
    return 1;
  }
  return 0;
}
