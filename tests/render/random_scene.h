// Seeded random sprite scenes for the render tests: an opaque background at
// the lowest priority, then fills and pictures of every colour type, pixel
// format and blend mode (a few invalid ones too), all opacities, overlapping
// and partly off the screen, every priority distinct so that the drawing
// order is fully defined. Changes go through the public sprite operations
// only, exactly as a scene would make them.
//
// A scene is used by one thread at a time: the test's thread while the render
// thread is stopped, the render thread inside frame callbacks.
#pragma once

#include "image/image.h"
#include "pixels/colour.h"
#include "pixels/rect.h"
#include "sprites/sprite.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <vector>

namespace zelvor::testing {

class RandomScene {
 public:
  using MakeFill = std::function<std::shared_ptr<ISprite>(std::int32_t id, const Rect& rect, std::int32_t priority,
                                                          const Colour& colour)>;
  using MakeImage = std::function<std::shared_ptr<ISprite>(std::int32_t id, std::int32_t x, std::int32_t y,
                                                           std::int32_t priority, std::shared_ptr<IImage> image)>;

  RandomScene(std::uint32_t seed, std::int32_t width, std::int32_t height);

  // The background and count random sprites, each shown or not at random.
  void build(int count, const MakeFill& makeFill, const MakeImage& makeImage);

  // One random change of one sprite other than the background.
  void change();

  // What the visible sprites draw, in drawing order.
  std::vector<DrawRecord> visibleRecords() const;

  std::mt19937& generator() { return random; }

 private:
  std::int32_t uniform(std::int32_t low, std::int32_t high);  // inclusive
  std::int32_t freshPriority();
  Colour randomColour();
  BlendMode randomMode();
  Rect randomRect();
  void showAtRandom(ISprite& sprite);

  std::mt19937 random;
  std::int32_t width;
  std::int32_t height;
  std::vector<std::shared_ptr<IImage>> pictures;
  std::vector<std::shared_ptr<ISprite>> sprites;  // [0] is the background
  std::set<std::int32_t> usedPriorities;
};

}  // namespace zelvor::testing
