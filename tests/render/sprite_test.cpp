// Sprites: what FillRectSprite and ImageSprite store and describe, which
// changes the public operations report to the drawer, and what happens once
// the drawer or the manager is gone.
#include "sprites/fill_rect_sprite.h"
#include "sprites/image_sprite.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace zelvor {
namespace {

using testing::SpriteWorld;

// A fill sprite that logs every report it makes and forwards it, so a test
// sees both how often a change reports and what reached the drawer.
class SpyFillSprite : public FillRectSprite {
 public:
  using FillRectSprite::FillRectSprite;

  void invalidate() override {
    reports.push_back(getDrawRecord().rect);
    FillRectSprite::invalidate();
  }
  void markOrderChanged() override {
    ++orderReports;
    FillRectSprite::markOrderChanged();
  }

  std::vector<Rect> reports;
  int orderReports = 0;
};

constexpr Colour red{Rgb, {255, 0, 0, 0}};

TEST(FillRectSpriteTest, StartsHiddenNormalOpaqueAndDescribesItselfByteForByte) {
  Colour const unknown{7, {1, 2, 3, 4}};
  FillRectSprite const sprite({}, {}, 12, {50, 50, 160, 160}, -4, unknown);
  EXPECT_EQ(sprite.getId(), 12);
  EXPECT_EQ(sprite.getPriority(), -4);
  EXPECT_FALSE(sprite.isVisible());
  EXPECT_EQ(sprite.getBlendMode(), Normal);
  EXPECT_EQ(sprite.getOpacity(), 255);

  DrawRecord const record = sprite.getDrawRecord();
  EXPECT_EQ(record.kind, DrawKind::FillRect);
  EXPECT_EQ(record.blendMode, Normal);
  EXPECT_EQ(record.opacity, 255);
  EXPECT_EQ(record.rect, (Rect{50, 50, 160, 160}));
  EXPECT_EQ(std::memcmp(&record.colour, &unknown, sizeof unknown), 0);
  EXPECT_EQ(record.image, nullptr);
}

TEST(FillRectSpriteTest, MovingShiftsAllFourEdgesAndKeepsTheShape) {
  struct Case {
    Rect rect;
    std::int32_t x, y;
    Rect moved;
  };
  Case const cases[] = {
      {{50, 50, 160, 160}, 0, 10, {0, 10, 110, 120}},
      {{30, 5, 10, 15}, -40, 100, {-40, 100, -60, 110}},  // stored inverted, stays inverted
      {{7, 7, 7, 9}, 100, -3, {100, -3, 100, -1}},        // no width
  };
  for (const Case& c : cases) {
    FillRectSprite sprite({}, {}, 1, c.rect, 0, red);
    sprite.setPositionImpl(c.x, c.y);
    EXPECT_EQ(sprite.getDrawRecord().rect, c.moved);
    EXPECT_EQ(sprite.getX(), c.x);
    EXPECT_EQ(sprite.getY(), c.y);
  }
}

TEST(ImageSpriteTest, BoundsFollowThePositionAndThePictureSize) {
  auto picture = std::make_shared<Image>(32, 16, Bgra32);
  ImageSprite sprite({}, {}, 3, 75, 75, 9, picture);
  EXPECT_EQ(sprite.getDrawRecord().rect, (Rect{75, 75, 107, 91}));
  sprite.setPositionImpl(-10, 500);
  EXPECT_EQ(sprite.getDrawRecord().rect, (Rect{-10, 500, 22, 516}));

  ImageSprite const empty({}, {}, 4, 5, 6, 0, std::make_shared<Image>(0, 3, Gray8));
  EXPECT_EQ(empty.getDrawRecord().rect, (Rect{5, 6, 5, 9}));
}

TEST(ImageSpriteTest, RecordPointsAtTheSharedPictureFromItsOrigin) {
  auto picture = std::make_shared<Image>(4, 4, Bgr24);
  auto first =
      std::make_shared<ImageSprite>(std::weak_ptr<SpriteManager>{}, std::weak_ptr<SpriteDrawer>{}, 1, 0, 0, 0, picture);
  ImageSprite const second({}, {}, 2, 9, 9, 0, picture);

  DrawRecord const record = first->getDrawRecord();
  EXPECT_EQ(record.kind, DrawKind::Image);
  EXPECT_EQ(record.blendMode, Normal);
  EXPECT_EQ(record.opacity, 255);
  EXPECT_EQ(record.origin.x, 0);
  EXPECT_EQ(record.origin.y, 0);
  EXPECT_EQ(record.image, picture.get());
  EXPECT_EQ(second.getDrawRecord().image, picture.get());
  EXPECT_EQ(first->getImage(), picture);
  EXPECT_FALSE(first->isVisible());

  first.reset();
  EXPECT_EQ(picture.use_count(), 2);  // the test's and the second sprite's
  EXPECT_EQ(second.getImage()->getWidth(), 4);
}

// What the public operations report. Each case starts a spy sprite at
// (10, 20, 30, 40) in a given state, runs one operation and lists the bounds
// reported, in order.
struct ReportCase {
  std::string name;
  bool visible;
  std::uint8_t opacity;
  std::function<void(ISprite&)> operation;
  std::vector<Rect> reports;
  int orderReports = 0;
};

class PublicOperationTest : public ::testing::TestWithParam<ReportCase> {};

TEST_P(PublicOperationTest, ReportsExactlyTheAreasWhosePixelsMayChange) {
  const ReportCase& c = GetParam();
  SpriteWorld world(100, 100, 10);
  SpyFillSprite sprite(world.manager, world.drawer, 1, {10, 20, 30, 40}, 7, red);
  sprite.setOpacityImpl(c.opacity);
  if (c.visible) sprite.showImpl();

  c.operation(sprite);

  EXPECT_EQ(sprite.reports, c.reports);
  EXPECT_EQ(sprite.orderReports, c.orderReports);
  EXPECT_EQ(world.manager->hasOrderChanged(), c.orderReports > 0);
  EXPECT_EQ(world.drawer->isDirty(), !c.reports.empty());
}

Rect const here{10, 20, 30, 40};
Rect const there{50, 5, 70, 25};
auto const moveThere = [](ISprite& s) { s.setPosition(50, 5); };

INSTANTIATE_TEST_SUITE_P(
    Sprites, PublicOperationTest,
    ::testing::Values(ReportCase{"MoveToSamePlace", true, 255, [](ISprite& s) { s.setPosition(10, 20); }, {}},
                      ReportCase{"MoveShown", true, 255, moveThere, {here, there}},
                      ReportCase{"MoveHidden", false, 255, moveThere, {}},
                      ReportCase{"MoveTransparent", true, 0, moveThere, {}},
                      ReportCase{"ShowHidden", false, 255, [](ISprite& s) { s.show(); }, {here}},
                      ReportCase{"ShowVisible", true, 255, [](ISprite& s) { s.show(); }, {}},
                      ReportCase{"ShowTransparent", false, 0, [](ISprite& s) { s.show(); }, {}},
                      ReportCase{"HideShown", true, 255, [](ISprite& s) { s.hide(); }, {here}},
                      ReportCase{"HideHidden", false, 255, [](ISprite& s) { s.hide(); }, {}},
                      ReportCase{"HideTransparent", true, 0, [](ISprite& s) { s.hide(); }, {}},
                      ReportCase{"FadeOut", true, 255, [](ISprite& s) { s.setOpacity(0); }, {here}},
                      ReportCase{"FadeIn", true, 0, [](ISprite& s) { s.setOpacity(200); }, {here}},
                      ReportCase{"FadeHidden", false, 255, [](ISprite& s) { s.setOpacity(0); }, {}},
                      ReportCase{"SameOpacity", true, 90, [](ISprite& s) { s.setOpacity(90); }, {}},
                      ReportCase{"ModeShown", true, 255, [](ISprite& s) { s.setBlendMode(Add); }, {here}},
                      ReportCase{"SameMode", true, 255, [](ISprite& s) { s.setBlendMode(Normal); }, {}},
                      ReportCase{"ModeTransparent", true, 0, [](ISprite& s) { s.setBlendMode(Add); }, {}},
                      ReportCase{"ModeHidden", false, 255, [](ISprite& s) { s.setBlendMode(Multiply); }, {}},
                      ReportCase{"PriorityShown", true, 255, [](ISprite& s) { s.setPriority(3); }, {here}, 1},
                      ReportCase{"PriorityHidden", false, 255, [](ISprite& s) { s.setPriority(3); }, {}, 1},
                      ReportCase{"PriorityTransparent", true, 0, [](ISprite& s) { s.setPriority(3); }, {}, 1},
                      ReportCase{"SamePriority", true, 255, [](ISprite& s) { s.setPriority(7); }, {}, 0}),
    [](const auto& info) { return info.param.name; });

TEST(PublicOperationTest, OperationsStoreWhetherOrNotTheyReport) {
  SpriteWorld world(100, 100, 10);
  FillRectSprite sprite(world.manager, world.drawer, 1, {10, 20, 30, 40}, 7, red);
  sprite.setPosition(-5, 60);
  sprite.setOpacity(0);
  sprite.setBlendMode(Subtract);
  sprite.setPriority(-2);
  sprite.show();
  EXPECT_EQ(sprite.getDrawRecord().rect, (Rect{-5, 60, 15, 80}));
  EXPECT_EQ(sprite.getOpacity(), 0);
  EXPECT_EQ(sprite.getBlendMode(), Subtract);
  EXPECT_EQ(sprite.getPriority(), -2);
  EXPECT_TRUE(sprite.isVisible());
  sprite.hide();
  EXPECT_FALSE(sprite.isVisible());
}

TEST(PublicOperationTest, AMovedPictureDirtiesItsOldAndNewBandsOnly) {
  SpriteWorld world(100, 100, 10);
  ImageSprite sprite(world.manager, world.drawer, 1, 5, 5, 0, std::make_shared<Image>(8, 4, Bgra32));
  sprite.showImpl();
  sprite.setPosition(90, 47);  // old (5, 5, 13, 9), new (90, 47, 98, 51)

  std::vector<Rect> expected(10, Rect{0, 0, 0, 0});
  expected[0] = {5, 5, 13, 9};
  expected[4] = {90, 47, 98, 50};
  expected[5] = {90, 50, 98, 51};
  EXPECT_EQ(world.bandRects(), expected);
}

TEST(PublicOperationTest, ASpriteMovedOffTheScreenReportsButMarksNoBand) {
  SpriteWorld world(100, 100, 10);
  SpyFillSprite sprite(world.manager, world.drawer, 1, {-50, -50, -40, -40}, 0, red);
  sprite.showImpl();
  sprite.setPosition(300, 20);
  EXPECT_EQ(sprite.reports, (std::vector<Rect>{{-50, -50, -40, -40}, {300, 20, 310, 30}}));
  EXPECT_FALSE(world.drawer->isDirty());
  EXPECT_EQ(world.bandRects(), std::vector<Rect>(10, Rect{0, 0, 0, 0}));
}

TEST(SpriteLinksTest, ReportsToOwnersThatAreGoneAreDropped) {
  auto world = std::make_unique<SpriteWorld>(100, 100, 10);
  std::weak_ptr<SpriteManager> const manager = world->manager;
  std::weak_ptr<SpriteDrawer> const drawer = world->drawer;
  FillRectSprite fill(manager, drawer, 1, {0, 0, 10, 10}, 0, red);
  ImageSprite image(manager, drawer, 2, 0, 0, 0, std::make_shared<Image>(3, 3, Gray8));

  world.reset();
  ASSERT_TRUE(manager.expired());
  ASSERT_TRUE(drawer.expired());
  for (ISprite* sprite : {static_cast<ISprite*>(&fill), static_cast<ISprite*>(&image)}) {
    sprite->invalidate();
    sprite->markOrderChanged();
    sprite->show();
    sprite->setPosition(40, 40);
    sprite->setPriority(9);
    EXPECT_EQ(sprite->getX(), 40);
    EXPECT_EQ(sprite->getPriority(), 9);
  }
}

TEST(SpriteLinksTest, BothKindsReachTheirLiveOwners) {
  SpriteWorld world(100, 100, 10);
  FillRectSprite fill(world.manager, world.drawer, 1, {0, 0, 10, 10}, 0, red);
  ImageSprite image(world.manager, world.drawer, 2, 20, 30, 0, std::make_shared<Image>(3, 3, Gray8));
  fill.markOrderChanged();
  EXPECT_TRUE(world.manager->hasOrderChanged());
  world.manager->sortIfNeeded();
  image.markOrderChanged();
  EXPECT_TRUE(world.manager->hasOrderChanged());

  fill.invalidate();
  image.invalidate();
  EXPECT_EQ(world.drawer->getBandRect(0), (Rect{0, 0, 10, 10}));
  EXPECT_EQ(world.drawer->getBandRect(3), (Rect{20, 30, 23, 33}));
}

}  // namespace
}  // namespace zelvor
