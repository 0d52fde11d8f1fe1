// Snowflake motion: runs on the render thread under frameLock (see flake.h).
#include "app/flake.h"

#include "app/crt_rand.h"

#include <algorithm>

void moveFlake(Flake& flake, std::int32_t width, std::int32_t height) {
  moveFlakeWithDraw(flake, crtRand(), width, height);
}

void moveFlakeWithDraw(Flake& flake, int draw, std::int32_t width, std::int32_t height) {
  zelvor::ISprite& sprite = *flake.sprite;
  std::int32_t x = sprite.getX();
  std::int32_t y = sprite.getY();
  std::int32_t opacity = sprite.getOpacity();

  if (draw % 2 != 0) {
    flake.dx = std::min(flake.speed, flake.dx + 1);
    opacity = std::min(255, opacity + draw % 3);
  } else {
    flake.dx = std::max(-flake.speed, flake.dx - 1);
    opacity = std::max(0, opacity - draw % 3);
  }

  // Only the right edge wraps, so a flake that drifts out to the left keeps
  // drifting for as long as the program runs. The sum is taken modulo 2^32
  // so that even then it never overflows; the wrapped value lies beyond the
  // right edge and brings the flake back.
  x = static_cast<std::int32_t>(static_cast<std::uint32_t>(x) + static_cast<std::uint32_t>(flake.dx));
  if (x > width + 10) x = flakeWrapPosition;

  y += flake.speed;
  if (y > height) {
    y = flakeWrapPosition;
    opacity = flake.baseOpacity;
  }

  sprite.setPosition(x, y);
  sprite.setOpacity(static_cast<std::uint8_t>(opacity));
}
