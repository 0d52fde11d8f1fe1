// The scene's sprites as built on a Screen that is not started (so nothing
// moves them), and the cursor sprite following the mouse, on the null window
// backend with the generated pictures.
#include "app/scene_sprites.h"

#include "app_test_support.h"
#include "image/image.h"
#include "platform/null_window.h"
#include "render/sprite_manager.h"
#include "screen/screen.h"
#include "sprites/fill_rect_sprite.h"
#include "sprites/image_sprite.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

namespace {

using zelvor::DrawKind;
using zelvor::DrawRecord;
using zelvor::ISprite;
using zelvor::Rect;

// A null window's device context and a Screen on it, never started.
class ScreenOnSurface {
 public:
  ScreenOnSurface(int width = 800, int height = 600)
      : window(zelvor::null_window::createSurface(width, height)),
        dc(GetDC(window)),
        screen(std::make_shared<zelvor::Screen>(dc, width, height)) {}
  ~ScreenOnSurface() {
    screen.reset();
    ReleaseDC(window, dc);
    DestroyWindow(window);
  }
  ScreenOnSurface(const ScreenOnSurface&) = delete;
  ScreenOnSurface& operator=(const ScreenOnSurface&) = delete;

  HWND window;
  HDC dc;
  std::shared_ptr<zelvor::Screen> screen;
};

// The run-time generator, written out again so the test does not lean on
// the code it checks.
class ReferenceRand {
 public:
  int next() {
    state = state * 214013u + 2531011u;
    return static_cast<int>(state >> 16 & 0x7FFF);
  }

 private:
  std::uint32_t state = 1;
};

class SceneSprites : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { zelvor::null_window::select(); }

  // Built on a thread of its own, whose draws start from the state 1 as the
  // user-interface thread's do in the program.
  void build() {
    app_test::WorkingDirectory const inPictures(app_test::picturesFolder());
    app_test::onFreshThread([&] { flakes = buildSceneSprites(*surface.screen); });
  }

  std::shared_ptr<ISprite> find(std::int32_t id) { return surface.screen->getSpriteManager()->find(id); }

  ScreenOnSurface surface;
  std::vector<Flake> flakes;
};

void expectColour(const DrawRecord& record, std::int32_t type, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                  std::uint8_t a) {
  EXPECT_EQ(record.colour.type, type);
  EXPECT_EQ(record.colour.bytes[0], r);
  EXPECT_EQ(record.colour.bytes[1], g);
  EXPECT_EQ(record.colour.bytes[2], b);
  if (type == zelvor::Rgba) {
    EXPECT_EQ(record.colour.bytes[3], a);
  }
}

TEST_F(SceneSprites, BackgroundAndSquares) {
  build();
  auto const background = find(backgroundId);
  ASSERT_NE(background, nullptr);
  DrawRecord const backgroundRecord = background->getDrawRecord();
  EXPECT_EQ(backgroundRecord.kind, DrawKind::FillRect);
  EXPECT_EQ(backgroundRecord.rect, (Rect{0, 0, 800, 600}));
  EXPECT_EQ(background->getPriority(), 0);
  expectColour(backgroundRecord, zelvor::Rgb, 255, 255, 255, 0);

  auto const red = find(redSquareId);
  ASSERT_NE(red, nullptr);
  EXPECT_EQ(red->getDrawRecord().rect, (Rect{50, 50, 160, 160}));
  EXPECT_EQ(red->getPriority(), 2);
  expectColour(red->getDrawRecord(), zelvor::Rgb, 255, 0, 0, 0);

  // The green square shares id 50 with a picture of the row.
  std::shared_ptr<ISprite> green;
  for (const zelvor::SpriteEntry& entry : surface.screen->getSpriteManager()->getEntries()) {
    if (entry.id == greenSquareId && std::dynamic_pointer_cast<zelvor::FillRectSprite>(entry.sprite)) {
      green = entry.sprite;
    }
  }
  ASSERT_NE(green, nullptr);
  EXPECT_EQ(green->getDrawRecord().rect, (Rect{100, 100, 200, 200}));
  EXPECT_EQ(green->getPriority(), 100);
  expectColour(green->getDrawRecord(), zelvor::Rgba, 0, 255, 0, 60);

  for (auto const& sprite : {background, red, green}) {
    EXPECT_TRUE(sprite->isVisible());
    EXPECT_EQ(sprite->getBlendMode(), zelvor::Normal);
    EXPECT_EQ(sprite->getOpacity(), 255);
  }
}

TEST_F(SceneSprites, DiagonalRowOfTranslucentPictures) {
  build();
  const zelvor::IImage* picture = nullptr;
  for (std::int32_t k = 0; k < rowLength; ++k) {
    std::int32_t const id = firstRowId + k;
    auto const sprite = std::dynamic_pointer_cast<zelvor::ImageSprite>(find(id));
    ASSERT_NE(sprite, nullptr) << "id " << id;
    EXPECT_EQ(sprite->getX(), 75 + 5 * k);
    EXPECT_EQ(sprite->getY(), 75 + 5 * k);
    EXPECT_EQ(sprite->getPriority(), id - 8);
    EXPECT_EQ(sprite->getOpacity(), 128);
    EXPECT_EQ(sprite->getBlendMode(), zelvor::Normal);
    EXPECT_TRUE(sprite->isVisible());
    // One picture, "load.gra", shared by the whole row.
    if (!picture) picture = sprite->getImage().get();
    EXPECT_EQ(sprite->getImage().get(), picture);
  }
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->getWidth(), 64);
  EXPECT_EQ(picture->getHeight(), 64);
  EXPECT_EQ(picture->getFormat(), zelvor::Bgra32);

  // The cursor sprite is the row's 30th picture.
  auto const cursor = std::dynamic_pointer_cast<zelvor::ImageSprite>(find(cursorSpriteId));
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(cursor->getX(), 220);
}

TEST_F(SceneSprites, FlakesFollowTheGeneratorSequence) {
  build();
  ASSERT_EQ(flakes.size(), 900u);

  // The first three flakes, worked out from the run-time sequence 41, 18467,
  // 6334, 26500, 19169, 15724, 11478, 29358, 26962: x = draw % 800,
  // y = draw % 600, kind = draw % 5 with 0 meaning 1.
  struct Expected {
    std::int32_t x, y, kind;
  };
  Expected const firstFlakes[] = {{41, 467, 4}, {100, 569, 4}, {278, 558, 2}};
  for (std::size_t i = 0; i < std::size(firstFlakes); ++i) {
    EXPECT_EQ(flakes[i].sprite->getX(), firstFlakes[i].x) << "flake " << i;
    EXPECT_EQ(flakes[i].sprite->getY(), firstFlakes[i].y) << "flake " << i;
    EXPECT_EQ(flakes[i].speed, firstFlakes[i].kind) << "flake " << i;
  }

  ReferenceRand reference;
  for (std::size_t i = 0; i < flakes.size(); ++i) {
    Flake const& flake = flakes[i];
    std::int32_t const x = reference.next() % 800;
    std::int32_t const y = reference.next() % 600;
    std::int32_t kind = reference.next() % 5;
    if (kind == 0) kind = 1;
    auto const id = static_cast<std::int32_t>(100 + i);
    SCOPED_TRACE("flake id " + std::to_string(id));
    EXPECT_EQ(flake.id, id);
    EXPECT_EQ(flake.sprite->getId(), id);
    EXPECT_EQ(flake.sprite->getX(), x);
    EXPECT_EQ(flake.sprite->getY(), y);
    EXPECT_EQ(flake.speed, kind);
    EXPECT_EQ(flake.dx, 0);
    std::int32_t const opacities[] = {32, 64, 128, 192};
    EXPECT_EQ(flake.baseOpacity, opacities[id % 4]);
    EXPECT_EQ(flake.sprite->getOpacity(), flake.baseOpacity);
    EXPECT_EQ(flake.sprite->getBlendMode(), zelvor::Add);
    EXPECT_EQ(flake.sprite->getPriority(), 500);
    EXPECT_TRUE(flake.sprite->isVisible());
    // The small flake ("snow2.png", 8 × 8) for kind 1, "snow.png" (16 × 16) otherwise.
    EXPECT_EQ(flake.sprite->getImage()->getWidth(), kind == 1 ? 8 : 16);
    // The manager holds the same sprite.
    EXPECT_EQ(find(id), flake.sprite);
    if (testing::Test::HasFailure()) break;
  }
}

TEST_F(SceneSprites, PicturesDecodeToTheirLayouts) {
  build();
  auto const small = std::find_if(flakes.begin(), flakes.end(), [](const Flake& f) { return f.speed == 1; });
  auto const large = std::find_if(flakes.begin(), flakes.end(), [](const Flake& f) { return f.speed != 1; });
  ASSERT_NE(small, flakes.end());
  ASSERT_NE(large, flakes.end());
  // The palette picture's tRNS chunk becomes an alpha channel.
  EXPECT_EQ(small->sprite->getImage()->getFormat(), zelvor::Bgra32);
  EXPECT_EQ(large->sprite->getImage()->getFormat(), zelvor::GrayAlpha16);
}

struct MissingCase {
  const char* name;
  const char* absent;
  const char* corrupt;
  const char* message;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const MissingCase& c, std::ostream* out) { *out << c.name; }

class SceneSpritesFailure : public ::testing::TestWithParam<MissingCase> {
 protected:
  static void SetUpTestSuite() { zelvor::null_window::select(); }
};

TEST_P(SceneSpritesFailure, NamesThePicture) {
  MissingCase const& c = GetParam();
  app_test::ScratchFolder const folder;
  for (const char* name : {rowPictureFile, flakePictureFile, smallFlakePictureFile}) {
    if (std::strcmp(name, c.absent) == 0) continue;
    if (std::strcmp(name, c.corrupt) == 0) {
      std::FILE* file = std::fopen((folder.path() / name).c_str(), "wb");
      ASSERT_NE(file, nullptr);
      std::fputs("not a picture", file);
      std::fclose(file);
      continue;
    }
    std::filesystem::copy_file(app_test::picturesFolder() / name, folder.path() / name);
  }
  ScreenOnSurface surface;
  app_test::WorkingDirectory const inFolder(folder.path());
  try {
    buildSceneSprites(*surface.screen);
    ADD_FAILURE() << "the scene was built without its pictures";
  } catch (const PictureLoadError& failure) {
    EXPECT_STREQ(failure.what(), c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(Pictures, SceneSpritesFailure,
                         ::testing::Values(MissingCase{"MissingRow", rowPictureFile, "",
                                                       "cannot load picture \"load.gra\": CreateFileA API failed in "
                                                       "zelvor::FileStreamReader::FileStreamReader method. (error 2)"},
                                           MissingCase{"MissingFlake", flakePictureFile, "",
                                                       "cannot load picture \"snow.png\": CreateFileA API failed in "
                                                       "zelvor::FileStreamReader::FileStreamReader method. (error 2)"},
                                           MissingCase{"CorruptSmallFlake", "", smallFlakePictureFile,
                                                       "cannot load picture \"snow2.png\": Invalid file format in "
                                                       "zelvor::PngLoader::PngLoader method."}),
                         [](const ::testing::TestParamInfo<MissingCase>& info) { return info.param.name; });

// followCursor on a screen holding one picture with the cursor sprite's id.
struct CursorCase {
  const char* name;
  std::int32_t pictureSize;
  std::int32_t cursorX, cursorY;  // client coordinates
  std::int32_t expectedX, expectedY;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const CursorCase& c, std::ostream* out) { *out << c.name; }

class CursorSprite : public ::testing::TestWithParam<CursorCase> {
 protected:
  static void SetUpTestSuite() { zelvor::null_window::select(); }
};

TEST_P(CursorSprite, IsCentredOnTheCursor) {
  CursorCase const& c = GetParam();
  ScreenOnSurface surface;
  // The client origin away from the screen's, so that the conversion counts.
  zelvor::null_window::setClientOrigin(surface.window, 300, 200);
  zelvor::null_window::setCursorPos(300 + c.cursorX, 200 + c.cursorY);
  auto const picture = std::make_shared<zelvor::Image>(c.pictureSize, c.pictureSize, zelvor::Bgra32);
  auto const sprite = surface.screen->createImageSprite(cursorSpriteId, 220, 220, 32, picture);
  followCursor(*surface.screen, surface.window);
  EXPECT_EQ(sprite->getX(), c.expectedX);
  EXPECT_EQ(sprite->getY(), c.expectedY);
}

INSTANTIATE_TEST_SUITE_P(Positions, CursorSprite,
                         ::testing::Values(CursorCase{"OddSizeAtOrigin", 31, 0, 0, -15, -15},
                                           CursorCase{"EvenSizeInside", 64, 600, 450, 568, 418},
                                           CursorCase{"OutsideTopLeft", 64, -80, -40, -112, -72},
                                           CursorCase{"OutsideBottomRight", 64, 1000, 900, 968, 868}),
                         [](const ::testing::TestParamInfo<CursorCase>& info) { return info.param.name; });

TEST(CursorSpriteMissing, OtherSpritesStayPut) {
  zelvor::null_window::select();
  ScreenOnSurface surface;
  zelvor::null_window::setCursorPos(10, 10);
  // A filled rectangle with the cursor sprite's id is not a picture to move.
  auto const square = surface.screen->createFillRectSprite(cursorSpriteId, Rect{50, 50, 60, 60}, 1,
                                                           zelvor::Colour{zelvor::Rgb, {1, 2, 3, 0}});
  followCursor(*surface.screen, surface.window);
  EXPECT_EQ(square->getX(), 50);
  EXPECT_EQ(square->getY(), 50);

  // No sprite with that id at all: nothing to do, nothing fails.
  ScreenOnSurface empty;
  EXPECT_NO_THROW(followCursor(*empty.screen, empty.window));
}

}  // namespace
