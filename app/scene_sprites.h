// The sprites of the demonstration scene: what the scene builds on its Screen
// and how the picture under the cursor follows the mouse.
//
// buildSceneSprites runs on the user-interface thread before the render
// thread starts; followCursor runs on the render thread under frameLock.
#pragma once

#include "app/flake.h"
#include "platform/win32.h"
#include "screen/screen.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

inline constexpr const char* rowPictureFile = "load.gra";
inline constexpr const char* flakePictureFile = "snow.png";
inline constexpr const char* smallFlakePictureFile = "snow2.png";

inline constexpr std::int32_t backgroundId = 0;
inline constexpr std::int32_t redSquareId = 10;
inline constexpr std::int32_t firstRowId = 11;
inline constexpr std::int32_t rowLength = 50;
inline constexpr std::int32_t greenSquareId = 50;
inline constexpr std::int32_t cursorSpriteId = 40;
inline constexpr std::int32_t firstFlakeId = 100;
inline constexpr std::int32_t flakeCount = 900;
inline constexpr std::int32_t flakePriority = 500;
// Indexed by id modulo 4.
inline constexpr std::int32_t flakeOpacities[4] = {32, 64, 128, 192};

// A picture of the scene that could not be loaded; what() names the file and
// gives the loader's own message.
class PictureLoadError : public std::runtime_error {
 public:
  PictureLoadError(const std::string& fileName, const std::string& reason)
      : std::runtime_error("cannot load picture \"" + fileName + "\": " + reason) {}
};

// Creates and shows every sprite of the scene on the screen, in drawing
// order from the bottom: the white background, the red square, the row of
// fifty translucent pictures, the green square and the 900 snowflakes. The
// pictures are read from the working directory. The flakes' positions and
// kinds come from the calling thread's crtRand sequence. Returns the flakes
// in creation order.
std::vector<Flake> buildSceneSprites(zelvor::Screen& screen);

// Centres the picture with id cursorSpriteId on the mouse cursor, given in
// the window's client coordinates; no clamping, so it may leave the screen.
// Does nothing when that sprite is missing or is not a picture.
void followCursor(zelvor::Screen& screen, HWND window);
