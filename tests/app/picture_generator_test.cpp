// The picture generator: the same bytes on every run, pictures in the
// layouts and shapes the scene expects, and failures that say what failed.
#include "app_test_support.h"
#include "child_process.h"
#include "image/load_image.h"
#include "image/pixel_lock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

app_test::ProgramResult generate(const std::vector<std::string>& arguments) {
  std::vector<std::string> command{ZELVOR_PICTURE_GENERATOR};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return app_test::runProgram(command, {}, 30s);
}

// Alpha of pixel (x, y) of a decoded picture with an alpha channel.
std::uint8_t alphaAt(const zelvor::IImage& image, int x, int y) {
  zelvor::ConstPixelLock const lock(&image);
  int const size = zelvor::bytesPerPixel(image.getFormat());
  return lock.get()[y * image.getPitch() + x * size + size - 1];
}

TEST(PictureGenerator, WritesTheSameBytesAsTheBuildDid) {
  app_test::ScratchFolder const folder;
  app_test::ProgramResult const result = generate({folder.path().string()});
  ASSERT_EQ(result.status, 0) << result.errors;
  for (const char* name : {"load.gra", "snow.png", "snow2.png"}) {
    std::string const fresh = app_test::readFile(folder.path() / name);
    EXPECT_FALSE(fresh.empty()) << name;
    EXPECT_EQ(fresh, app_test::readFile(app_test::picturesFolder() / name)) << name;
  }
}

TEST(PictureGenerator, PicturesHaveTheirLayoutsAndSoftEdges) {
  app_test::WorkingDirectory const inPictures(app_test::picturesFolder());
  struct Expected {
    const char* name;
    int size;
    zelvor::PixelFormat format;
    int opaqueX, opaqueY;  // a pixel inside the shape
  };
  for (Expected const& picture :
       {Expected{"load.gra", 64, zelvor::Bgra32, 32, 12}, Expected{"snow.png", 16, zelvor::GrayAlpha16, 8, 8},
        Expected{"snow2.png", 8, zelvor::Bgra32, 3, 3}}) {
    SCOPED_TRACE(picture.name);
    std::shared_ptr<zelvor::IImage> const image = zelvor::loadImage(picture.name);
    EXPECT_EQ(image->getWidth(), picture.size);
    EXPECT_EQ(image->getHeight(), picture.size);
    EXPECT_EQ(image->getFormat(), picture.format);
    // Round shapes: corners fully transparent, the shape itself strong.
    EXPECT_EQ(alphaAt(*image, 0, 0), 0);
    EXPECT_EQ(alphaAt(*image, picture.size - 1, picture.size - 1), 0);
    EXPECT_GT(alphaAt(*image, picture.opaqueX, picture.opaqueY), 200);
  }
  // The ring's core shows through, partly transparent.
  std::shared_ptr<zelvor::IImage> const ring = zelvor::loadImage("load.gra");
  EXPECT_GT(alphaAt(*ring, 32, 32), 0);
  EXPECT_LT(alphaAt(*ring, 32, 32), 160);
}

TEST(PictureGenerator, ReportsWhatFailed) {
  app_test::ProgramResult const usage = generate({});
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.errors, "usage: zelvor-make-pictures FOLDER\n");

  app_test::ScratchFolder const folder;
  std::string const missing = (folder.path() / "missing").string();
  app_test::ProgramResult const unwritable = generate({missing});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_EQ(unwritable.errors,
            "zelvor-make-pictures: cannot create \"" + missing + "/load.gra\": No such file or directory\n");
}

}  // namespace
