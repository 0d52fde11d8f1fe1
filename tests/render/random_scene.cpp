// Seeded random sprite scenes; see random_scene.h.
#include "tests/render/random_scene.h"

#include "tests/render/reference_compositor.h"

#include <algorithm>
#include <limits>

namespace zelvor::testing {

namespace {

struct PictureShape {
  PixelFormat format;
  std::int32_t width;
  std::int32_t height;
};

// Every format, widths around the 8-pixel groups of the wide paths, and a
// picture with no columns (whose bounds are empty).
constexpr PictureShape pictureShapes[] = {
    {Gray8, 1, 1},  {Gray8, 19, 7},   {Bgr24, 5, 3},   {Bgr24, 33, 20}, {GrayAlpha16, 16, 16}, {GrayAlpha16, 9, 30},
    {Bgra32, 8, 8}, {Bgra32, 64, 41}, {Bgrx32, 7, 12}, {Bgrx32, 40, 2}, {Bgra32, 0, 5},
};

}  // namespace

RandomScene::RandomScene(std::uint32_t seed, std::int32_t width, std::int32_t height)
    : random(seed), width(width), height(height) {
  for (const PictureShape& shape : pictureShapes) {
    pictures.push_back(makeRandomImage(shape.format, shape.width, shape.height, random));
  }
}

std::int32_t RandomScene::uniform(std::int32_t low, std::int32_t high) {
  return std::uniform_int_distribution<std::int32_t>(low, high)(random);
}

std::int32_t RandomScene::freshPriority() {
  for (;;) {
    std::int32_t const priority = uniform(-1000, 1000);
    if (usedPriorities.insert(priority).second) return priority;
  }
}

Colour RandomScene::randomColour() {
  constexpr std::int32_t types[] = {Grey, Rgb, GreyAlpha, Rgba, Rgba, 7};
  Colour colour{types[uniform(0, 5)], {}};
  for (auto& byte : colour.bytes) byte = randomByte(random);
  return colour;
}

BlendMode RandomScene::randomMode() {
  std::int32_t const pick = uniform(0, 21);
  // Mostly the five modes; now and then one that must draw nothing.
  if (pick == 20) return static_cast<BlendMode>(5);
  if (pick == 21) return static_cast<BlendMode>(-1);
  return static_cast<BlendMode>(pick % 5);
}

Rect RandomScene::randomRect() {
  std::int32_t const left = uniform(-width / 4, width + 4);
  std::int32_t const top = uniform(-height / 4, height + 4);
  std::int32_t right = left + uniform(0, width / 2 + 1);
  std::int32_t const bottom = top + uniform(0, height / 2 + 1);
  // Now and then a rect stored inverted, which covers nothing.
  if (uniform(0, 30) == 0) right = left - uniform(1, 9);
  return {left, top, right, bottom};
}

void RandomScene::showAtRandom(ISprite& sprite) {
  sprite.setBlendMode(randomMode());
  sprite.setOpacity(randomByte(random));
  if (uniform(0, 6) != 0) sprite.show();
}

void RandomScene::build(int count, const MakeFill& makeFill, const MakeImage& makeImage) {
  std::int32_t const lowest = std::numeric_limits<std::int32_t>::min();
  usedPriorities.insert(lowest);
  Colour const background{Rgb, {randomByte(random), randomByte(random), randomByte(random), 0}};
  sprites.push_back(makeFill(0, {0, 0, width, height}, lowest, background));
  sprites.back()->show();
  for (int i = 1; i <= count; ++i) {
    if (uniform(0, 4) < 2) {
      sprites.push_back(makeFill(i, randomRect(), freshPriority(), randomColour()));
    } else {
      auto picture = pictures[static_cast<std::size_t>(uniform(0, static_cast<std::int32_t>(pictures.size()) - 1))];
      Rect const at = randomRect();
      sprites.push_back(makeImage(i, at.left, at.top, freshPriority(), std::move(picture)));
    }
    showAtRandom(*sprites.back());
  }
}

void RandomScene::change() {
  ISprite& sprite = *sprites[static_cast<std::size_t>(uniform(1, static_cast<std::int32_t>(sprites.size()) - 1))];
  switch (uniform(0, 7)) {
    case 0:
    case 1: {
      Rect const at = randomRect();
      sprite.setPosition(at.left, at.top);
      break;
    }
    case 2: sprite.setPosition(sprite.getX() + uniform(-3, 3), sprite.getY() + uniform(-3, 3)); break;
    case 3: sprite.setOpacity(randomByte(random)); break;
    case 4: sprite.setBlendMode(randomMode()); break;
    case 5: sprite.show(); break;
    case 6: sprite.hide(); break;
    case 7: {
      usedPriorities.erase(sprite.getPriority());
      sprite.setPriority(freshPriority());
      break;
    }
  }
}

std::vector<DrawRecord> RandomScene::visibleRecords() const {
  std::vector<const ISprite*> visible;
  for (const auto& sprite : sprites) {
    if (sprite->isVisible()) visible.push_back(sprite.get());
  }
  std::sort(visible.begin(), visible.end(),
            [](const ISprite* a, const ISprite* b) { return a->getPriority() < b->getPriority(); });
  std::vector<DrawRecord> records;
  for (const ISprite* sprite : visible) records.push_back(sprite->getDrawRecord());
  return records;
}

}  // namespace zelvor::testing
