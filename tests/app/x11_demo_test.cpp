// Both demonstration programs end to end on a real X server (Xvfb): each
// starts from the pictures' folder, shows a frame rate, draws the scene, puts
// a picture under the pointer, and ends with exit code 0 within a second of
// the window manager's close request; a start that lacks a picture or a
// display ends at once with one clear line and a failure exit code.
#include "app_test_support.h"
#include "child_process.h"
#include "image/load_image.h"
#include "image/pixel_lock.h"
#include "scene_invariants.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using namespace std::chrono_literals;
using app_test::ChildProcess;
using app_test::ProgramResult;

// Generous: the sanitizer builds start and draw many times slower.
constexpr auto patience = 60s;

class ProbedDisplay {
 public:
  // Runs the probe on this display; 20 s covers its own 10 s wait.
  ProgramResult probe(const std::vector<std::string>& command) const {
    std::vector<std::string> arguments{ZELVOR_PROBE, "--display", display.name()};
    arguments.insert(arguments.end(), command.begin(), command.end());
    return app_test::runProgram(arguments, {}, 20s);
  }

  // The rate shown in the title, or a negative value while there is none.
  double titleRate(std::string& title) const {
    ProgramResult const result = probe({"title"});
    title = result.output.substr(0, result.output.find('\n'));
    double rate = -1;
    if (result.status != 0 || std::sscanf(title.c_str(), "Zelvor - %lf (fps)", &rate) != 1) return -1;
    return rate;
  }

  // The client area as 0x00RRGGBB pixels, read back through our own loader.
  app_test::ClientPixels screenshot(const std::filesystem::path& file) const {
    ProgramResult const result = probe({"screenshot", file.string()});
    if (result.status != 0) return {};
    std::shared_ptr<zelvor::IImage> const image = zelvor::loadImage(file.c_str());
    app_test::ClientPixels client{image->getWidth(), image->getHeight(), {}};
    zelvor::ConstPixelLock const lock(image.get());
    int const step = zelvor::bytesPerPixel(image->getFormat());
    for (int y = 0; y < client.height; ++y) {
      const std::uint8_t* pixel = lock.get() + static_cast<std::ptrdiff_t>(y) * image->getPitch();
      for (int x = 0; x < client.width; ++x, pixel += step)
        client.pixels.push_back(std::uint32_t{pixel[2]} << 16 | std::uint32_t{pixel[1]} << 8 | pixel[0]);
    }
    return client;
  }

  app_test::VirtualDisplay display;
};

// Polls until the check finds nothing wrong or patience runs out; returns
// the last findings.
template <typename Check>
std::vector<std::string> untilClean(Check check) {
  auto const deadline = std::chrono::steady_clock::now() + patience;
  std::vector<std::string> findings;
  do {
    findings = check();
    if (findings.empty()) break;
    std::this_thread::sleep_for(50ms);
  } while (std::chrono::steady_clock::now() < deadline);
  return findings;
}

class DemoProgram : public ::testing::TestWithParam<const char*> {
 protected:
  ProbedDisplay x;
  app_test::ScratchFolder scratch;
};

TEST_P(DemoProgram, DrawsFollowsThePointerAndClosesCleanly) {
  app_test::ChildOptions options;
  options.workingDirectory = app_test::picturesFolder();
  options.environment = {"DISPLAY=" + x.display.name()};
  options.errorFile = scratch.path() / "errors";
  ChildProcess demo({GetParam()}, options);

  std::string title;
  auto const started = std::chrono::steady_clock::now();
  while (x.titleRate(title) <= 0 && std::chrono::steady_clock::now() - started < patience)
    std::this_thread::sleep_for(100ms);
  ASSERT_GT(x.titleRate(title), 0) << "title \"" << title << "\", errors: " << app_test::readFile(options.errorFile);

  // The client area is exactly 800 × 600.
  ProgramResult const geometry = x.probe({"geometry"});
  int width = 0;
  int height = 0;
  ASSERT_EQ(std::sscanf(geometry.output.c_str(), "%d %d", &width, &height), 2) << geometry.output;
  EXPECT_EQ(width, 800);
  EXPECT_EQ(height, 600);

  // Wherever the pointer is, the scene holds its invariants, and the picture
  // follows it.
  for (auto const& [pointerX, pointerY] : {std::pair{600, 450}, std::pair{700, 120}}) {
    ASSERT_EQ(x.probe({"pointer", std::to_string(pointerX), std::to_string(pointerY)}).status, 0);
    std::filesystem::path const shot = scratch.path() / "window.png";
    std::vector<std::string> const findings = untilClean([&] {
      app_test::ClientPixels const client = x.screenshot(shot);
      if (client.width != 800 || client.height != 600) return std::vector<std::string>{"no 800 × 600 screenshot"};
      std::vector<std::string> failures = app_test::checkSceneInvariants(client, pointerX, pointerY);
      std::vector<std::string> const cursor = app_test::checkCursorPicture(client, pointerX, pointerY);
      failures.insert(failures.end(), cursor.begin(), cursor.end());
      return failures;
    });
    EXPECT_TRUE(findings.empty()) << "pointer at (" << pointerX << ", " << pointerY
                                  << "): " << testing::PrintToString(findings);
  }

  // Let the title settle on a steady rate, and report it.
  std::this_thread::sleep_for(2500ms);
  EXPECT_GT(x.titleRate(title), 0);
  std::printf("%s under Xvfb: %s\n", std::filesystem::path(GetParam()).filename().c_str(), title.c_str());
  RecordProperty("title", title);

  ASSERT_EQ(x.probe({"close"}).status, 0);
  std::optional<int> const status = demo.waitForExit(1s);
  ASSERT_TRUE(status.has_value()) << "still running a second after the close request";
  EXPECT_EQ(*status, 0) << app_test::readFile(options.errorFile);
}

TEST_P(DemoProgram, MissingPictureEndsWithTheReason) {
  app_test::ChildOptions options;
  options.workingDirectory = scratch.path();
  options.environment = {"DISPLAY=" + x.display.name()};
  options.errorFile = scratch.path() / "errors";
  ChildProcess demo({GetParam()}, options);
  std::optional<int> const status = demo.waitForExit(patience);
  ASSERT_TRUE(status.has_value());
  EXPECT_NE(*status, 0);
  EXPECT_EQ(app_test::readFile(options.errorFile),
            "zelvor: cannot load picture \"load.gra\": CreateFileA API failed in "
            "zelvor::FileStreamReader::FileStreamReader method. (error 2)\n");
}

TEST_P(DemoProgram, MissingDisplayEndsWithTheReason) {
  // A display number nobody serves: the one after ours is free unless
  // another Xvfb took it meanwhile, so look for a free one.
  int number = std::stoi(x.display.name().substr(1)) + 100;
  while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number))) ++number;
  std::string const absent = ":" + std::to_string(number);
  app_test::ChildOptions options;
  options.workingDirectory = app_test::picturesFolder();
  options.environment = {"DISPLAY=" + absent};
  options.errorFile = scratch.path() / "errors";
  ChildProcess demo({GetParam()}, options);
  std::optional<int> const status = demo.waitForExit(patience);
  ASSERT_TRUE(status.has_value());
  EXPECT_NE(*status, 0);
  std::string const errors = app_test::readFile(options.errorFile);
  EXPECT_EQ(errors.rfind("zelvor: ", 0), 0u) << errors;
  EXPECT_NE(errors.find("\"" + absent + "\""), std::string::npos) << errors;
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
}

INSTANTIATE_TEST_SUITE_P(Programs, DemoProgram, ::testing::Values(ZELVOR_DEMO, ZELVOR_DEMO_REV1),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param).ends_with("rev1") ? "OneWorker" : "WorkerPerProcessor";
                         });

}  // namespace
