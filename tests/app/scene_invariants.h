// What must hold in every frame the demonstration shows, whatever the
// snowflakes do: they are added to the picture, and adding to white leaves
// white. Used on the null window's pixels and on screenshots of the real
// window. Plain functions; no threads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace app_test {

// A client area's pixels, 0x??RRGGBB (the top byte is ignored), top row first.
struct ClientPixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFFu; }
};

// Checks, with the cursor picture (64 × 64) centred on (cursorX, cursorY):
// every pixel outside the two squares, the fifty pictures of the row and the
// cursor picture is white, and every pixel of the red square that neither a
// picture nor the green square covers has red 255. Returns a description of
// the first few offending pixels; empty when all hold.
std::vector<std::string> checkSceneInvariants(const ClientPixels& client, int cursorX, int cursorY);

// Checks that the picture under the cursor is there and centred on it: near
// the cursor and away from everything else, every non-white pixel lies in
// the 64 × 64 square centred on the cursor, and non-white pixels reach to
// within a few pixels of each side of it (a flake added on top may whiten a
// picture's faint rim, never colour white). Empty when it holds.
std::vector<std::string> checkCursorPicture(const ClientPixels& client, int cursorX, int cursorY);

}  // namespace app_test
