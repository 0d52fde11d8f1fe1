// The checks of scene_invariants.h.
#include "scene_invariants.h"

#include <algorithm>
#include <cstdio>

namespace app_test {
namespace {

constexpr int pictureSize = 64;
constexpr std::uint32_t white = 0xFFFFFFu;
constexpr std::size_t reportLimit = 5;

struct Box {
  int left, top, right, bottom;  // right and bottom exclusive

  bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

Box cursorBox(int cursorX, int cursorY) {
  // The scene places the picture at the cursor minus half its size.
  return Box{cursorX - pictureSize / 2, cursorY - pictureSize / 2, cursorX + pictureSize / 2,
             cursorY + pictureSize / 2};
}

bool underAPicture(int x, int y, const Box& cursor) {
  if (cursor.contains(x, y)) return true;
  for (int k = 0; k < 50; ++k) {
    int const p = 75 + 5 * k;
    if (Box{p, p, p + pictureSize, p + pictureSize}.contains(x, y)) return true;
  }
  return false;
}

std::string describe(const char* rule, int x, int y, std::uint32_t pixel) {
  char text[160];
  std::snprintf(text, sizeof text, "%s: pixel (%d, %d) is 0x%06X", rule, x, y, static_cast<unsigned>(pixel));
  return text;
}

}  // namespace

std::vector<std::string> checkSceneInvariants(const ClientPixels& client, int cursorX, int cursorY) {
  Box const red{50, 50, 160, 160};
  Box const green{100, 100, 200, 200};
  Box const cursor = cursorBox(cursorX, cursorY);
  std::vector<std::string> failures;
  for (int y = 0; y < client.height && failures.size() < reportLimit; ++y) {
    for (int x = 0; x < client.width && failures.size() < reportLimit; ++x) {
      std::uint32_t const pixel = client.at(x, y);
      if (underAPicture(x, y, cursor) || green.contains(x, y)) continue;
      if (red.contains(x, y)) {
        if ((pixel >> 16) != 0xFF) failures.push_back(describe("red square without full red", x, y, pixel));
      } else if (pixel != white) {
        failures.push_back(describe("background not white", x, y, pixel));
      }
    }
  }
  return failures;
}

std::vector<std::string> checkCursorPicture(const ClientPixels& client, int cursorX, int cursorY) {
  Box const expected = cursorBox(cursorX, cursorY);
  // Look a margin beyond the picture's square for strays.
  constexpr int margin = 24;
  Box found{expected.right, expected.bottom, expected.left, expected.top};
  std::vector<std::string> failures;
  int coloured = 0;
  for (int y = std::max(0, expected.top - margin); y < std::min(client.height, expected.bottom + margin); ++y) {
    for (int x = std::max(0, expected.left - margin); x < std::min(client.width, expected.right + margin); ++x) {
      std::uint32_t const pixel = client.at(x, y);
      if (pixel == white) continue;
      if (!expected.contains(x, y)) {
        if (failures.size() < reportLimit)
          failures.push_back(describe("colour outside the cursor picture", x, y, pixel));
        continue;
      }
      ++coloured;
      found = Box{std::min(found.left, x), std::min(found.top, y), std::max(found.right, x + 1),
                  std::max(found.bottom, y + 1)};
    }
  }
  // The generated picture is a disc about 60 pixels across; allow flakes to
  // whiten a few pixels of its rim on any side.
  constexpr int rimSlack = 6;
  if (coloured < 1000 || found.left > expected.left + rimSlack || found.top > expected.top + rimSlack ||
      found.right < expected.right - rimSlack || found.bottom < expected.bottom - rimSlack) {
    char text[200];
    std::snprintf(text, sizeof text, "picture under the cursor (%d, %d): %d coloured pixels within (%d, %d, %d, %d)",
                  cursorX, cursorY, coloured, found.left, found.top, found.right, found.bottom);
    failures.push_back(text);
  }
  return failures;
}

}  // namespace app_test
