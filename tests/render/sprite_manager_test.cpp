// SpriteManager: drawing order by priority, sorted only when marked stale,
// and lookup by id in the current order.
#include "render/sprite_manager.h"
#include "sprites/fill_rect_sprite.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace zelvor {
namespace {

std::shared_ptr<FillRectSprite> makeSprite(std::int32_t id, std::int32_t priority,
                                           const std::weak_ptr<SpriteManager>& manager = {}) {
  return std::make_shared<FillRectSprite>(manager, std::weak_ptr<SpriteDrawer>{}, id, Rect{0, 0, 1, 1}, priority,
                                          Colour{Rgb, {0, 0, 0, 0}});
}

std::vector<std::int32_t> priorities(const SpriteManager& manager) {
  std::vector<std::int32_t> result;
  for (const SpriteEntry& entry : manager.getEntries()) result.push_back(entry.sprite->getPriority());
  return result;
}

TEST(SpriteManagerTest, AddMarksTheOrderStaleAndSortingRestoresAscendingPriority) {
  SpriteManager manager;
  EXPECT_FALSE(manager.hasOrderChanged());
  for (std::int32_t priority : {5, 1, 3}) manager.add(makeSprite(priority * 10, priority));
  EXPECT_TRUE(manager.hasOrderChanged());
  EXPECT_EQ(priorities(manager), (std::vector<std::int32_t>{5, 1, 3}));

  manager.sortIfNeeded();
  EXPECT_FALSE(manager.hasOrderChanged());
  EXPECT_EQ(priorities(manager), (std::vector<std::int32_t>{1, 3, 5}));
  EXPECT_EQ(manager.getEntries()[0].id, 10);
}

TEST(SpriteManagerTest, SortsByPrioritiesReadAtSortTimeAndOnlyWhenStale) {
  SpriteManager manager;
  auto a = makeSprite(1, 1), b = makeSprite(2, 2), c = makeSprite(3, 3);
  for (const auto& s : {a, b, c}) manager.add(s);
  manager.sortIfNeeded();

  // Stored without markOrderChanged: no effect until something else asks.
  a->setPriorityImpl(9);
  manager.sortIfNeeded();
  EXPECT_EQ(priorities(manager), (std::vector<std::int32_t>{9, 2, 3}));

  manager.setOrderChanged();
  manager.sortIfNeeded();
  EXPECT_EQ(priorities(manager), (std::vector<std::int32_t>{2, 3, 9}));
}

TEST(SpriteManagerTest, SortsWholeSignedRangeOfManyEntries) {
  SpriteManager manager;
  // Enough entries for the introspective sort to leave insertion sort.
  for (std::int32_t i = 0; i < 200; ++i) manager.add(makeSprite(i, (i * 7919) % 401 - 200));
  manager.add(makeSprite(-1, std::numeric_limits<std::int32_t>::min()));
  manager.add(makeSprite(-2, std::numeric_limits<std::int32_t>::max()));
  manager.sortIfNeeded();
  auto const sorted = priorities(manager);
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
  EXPECT_EQ(sorted.front(), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(sorted.back(), std::numeric_limits<std::int32_t>::max());
}

TEST(SpriteManagerTest, SetPriorityOfARegisteredSpriteMovesItAtTheNextSort) {
  auto manager = std::make_shared<SpriteManager>();
  auto low = makeSprite(1, 1, manager), high = makeSprite(2, 2, manager);
  manager->add(low);
  manager->add(high);
  manager->sortIfNeeded();
  low->setPriority(5);
  EXPECT_TRUE(manager->hasOrderChanged());
  manager->sortIfNeeded();
  EXPECT_EQ(manager->getEntries()[0].sprite, high);
}

TEST(SpriteManagerTest, FindReturnsTheFirstMatchInTheCurrentOrder) {
  SpriteManager manager;
  auto later = makeSprite(50, 100), earlier = makeSprite(50, 4), other = makeSprite(40, 10);
  for (const auto& s : {later, earlier, other}) manager.add(s);

  EXPECT_EQ(manager.find(50), later);  // insertion order until sorted
  manager.sortIfNeeded();
  EXPECT_EQ(manager.find(50), earlier);
  EXPECT_EQ(manager.find(40), other);
  EXPECT_EQ(manager.find(41), nullptr);
}

TEST(SpriteManagerTest, DestroyingTheManagerReleasesItsSprites) {
  auto manager = std::make_unique<SpriteManager>();
  std::weak_ptr<FillRectSprite> sprite;
  {
    auto strong = makeSprite(1, 0);
    sprite = strong;
    manager->add(std::move(strong));
  }
  EXPECT_FALSE(sprite.expired());
  manager.reset();
  EXPECT_TRUE(sprite.expired());
}

}  // namespace
}  // namespace zelvor
