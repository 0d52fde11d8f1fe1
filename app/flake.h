// One snowflake of the demonstration scene and its motion for one frame.
//
// Flakes are created on the user-interface thread before the render thread
// starts, then moved only by the scene's per-frame update on the render
// thread, under the Screen's frameLock.
#pragma once

#include "sprites/image_sprite.h"

#include <cstdint>
#include <memory>

struct Flake {
  std::int32_t id;
  // Horizontal velocity, always within [-speed, speed].
  std::int32_t dx;
  // Vertical velocity, 1 to 4; also the bound of dx.
  std::int32_t speed;
  // The opacity given at creation, restored when the flake re-enters at the top.
  std::int32_t baseOpacity;
  // The same sprite that the SpriteManager holds.
  std::shared_ptr<zelvor::ImageSprite> sprite;
};

// Where a flake that leaves the screen re-enters.
inline constexpr std::int32_t flakeWrapPosition = -10;

// Moves the flake by one frame, deciding drift and flicker by one crtRand
// draw of the calling thread.
void moveFlake(Flake& flake, std::int32_t width, std::int32_t height);

// moveFlake with the draw given: an odd draw raises dx and brightens the
// flake by draw % 3, an even one lowers dx and dims it by draw % 3.
void moveFlakeWithDraw(Flake& flake, int draw, std::int32_t width, std::int32_t height);
