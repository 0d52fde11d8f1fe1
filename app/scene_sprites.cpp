// Building the scene's sprites (user-interface thread, before the render
// thread starts) and moving the cursor sprite (render thread, frameLock held).
#include "app/scene_sprites.h"

#include "app/crt_rand.h"
#include "image/load_image.h"
#include "pixels/colour.h"
#include "pixels/rect.h"
#include "render/sprite_manager.h"
#include "runtime/exception.h"
#include "sprites/fill_rect_sprite.h"
#include "sprites/image_sprite.h"

#include <exception>
#include <memory>
#include <string>

namespace {

using zelvor::Colour;
using zelvor::IImage;
using zelvor::Rect;

std::shared_ptr<IImage> loadPicture(const char* fileName) {
  try {
    return zelvor::loadImage(fileName);
  } catch (const zelvor::Win32Exception& failure) {
    throw PictureLoadError(fileName,
                           std::string(failure.what()) + " (error " + std::to_string(failure.errorCode) + ")");
  } catch (const std::exception& failure) {
    throw PictureLoadError(fileName, failure.what());
  }
}

// A non-negative remainder of a crtRand draw (which is never negative).
std::int32_t drawBelow(std::int32_t bound) { return crtRand() % bound; }

void addPictureRow(zelvor::Screen& screen) {
  std::shared_ptr<IImage> const picture = loadPicture(rowPictureFile);
  for (std::int32_t k = 0; k < rowLength; ++k) {
    std::int32_t const id = firstRowId + k;
    std::int32_t const position = 75 + 5 * k;
    // Priorities 3 to 52: each picture lies over the one before it.
    auto const sprite = screen.createImageSprite(id, position, position, id - 8, picture);
    sprite->setOpacity(128);
    sprite->show();
  }
}

std::vector<Flake> addFlakes(zelvor::Screen& screen) {
  std::shared_ptr<IImage> const snow = loadPicture(flakePictureFile);
  std::shared_ptr<IImage> const snow2 = loadPicture(smallFlakePictureFile);
  std::int32_t const width = screen.getWidth();
  std::int32_t const height = screen.getHeight();

  std::vector<Flake> flakes;
  flakes.reserve(flakeCount);
  for (std::int32_t id = firstFlakeId; id < firstFlakeId + flakeCount; ++id) {
    // Three draws per flake, in this order: the sequence fixes the scene.
    std::int32_t const x = drawBelow(width);
    std::int32_t const y = drawBelow(height);
    std::int32_t kind = drawBelow(5);
    if (kind == 0) kind = 1;  // the small flake is twice as common

    auto sprite = screen.createImageSprite(id, x, y, flakePriority, kind == 1 ? snow2 : snow);
    Flake flake{id, 0, kind, flakeOpacities[id % 4], std::move(sprite)};
    flake.sprite->setBlendMode(zelvor::Add);
    flake.sprite->setOpacity(static_cast<std::uint8_t>(flake.baseOpacity));
    flake.sprite->show();
    flakes.push_back(std::move(flake));
  }
  return flakes;
}

}  // namespace

std::vector<Flake> buildSceneSprites(zelvor::Screen& screen) {
  std::int32_t const width = screen.getWidth();
  std::int32_t const height = screen.getHeight();

  Colour const white{zelvor::Rgb, {255, 255, 255, 0}};
  screen.createFillRectSprite(backgroundId, Rect{0, 0, width, height}, 0, white)->show();

  Colour const red{zelvor::Rgb, {255, 0, 0, 0}};
  screen.createFillRectSprite(redSquareId, Rect{50, 50, 160, 160}, 2, red)->show();

  addPictureRow(screen);

  // Shares id 50 with the 40th picture of the row; lookups by id are not
  // needed for either.
  Colour const translucentGreen{zelvor::Rgba, {0, 255, 0, 60}};
  screen.createFillRectSprite(greenSquareId, Rect{100, 100, 200, 200}, 100, translucentGreen)->show();

  return addFlakes(screen);
}

void followCursor(zelvor::Screen& screen, HWND window) {
  std::shared_ptr<zelvor::SpriteManager> const manager = screen.getSpriteManager();
  auto const sprite = std::dynamic_pointer_cast<zelvor::ImageSprite>(manager->find(cursorSpriteId));
  if (!sprite) return;

  POINT cursor{0, 0};
  GetCursorPos(&cursor);
  ScreenToClient(window, &cursor);
  std::shared_ptr<IImage> const picture = sprite->getImage();
  // Unsigned halves round down, so odd sizes put the extra pixel right and below.
  auto const halfWidth = static_cast<std::int32_t>(static_cast<std::uint32_t>(picture->getWidth()) / 2);
  auto const halfHeight = static_cast<std::int32_t>(static_cast<std::uint32_t>(picture->getHeight()) / 2);
  sprite->setPosition(cursor.x - halfWidth, cursor.y - halfHeight);
}
