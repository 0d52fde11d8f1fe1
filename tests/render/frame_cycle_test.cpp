// The frame cycle: frame callbacks, starting and stopping the render thread
// and its workers, failures inside a frame, and interruption while a frame
// is being drawn. Runs on the null window; also under ThreadSanitizer.
#include "render/sprite_drawer.h"
#include "screen/screen.h"
#include "sprites/fill_rect_sprite.h"
#include "sprites/image_sprite.h"
#include "tests/render/frame_test_support.h"
#include "tests/render/render_test_support.h"
#include "tests/render/test_worker_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <stdexcept>
#include <string>
#include <utility>

namespace zelvor {
namespace {

using namespace std::chrono_literals;
using testing::FrameCounter;
using testing::NullSurface;

constexpr Colour grey{Rgb, {90, 90, 90, 0}};

// Four bands of 10 rows at a width of 800.
constexpr std::int32_t width = 800;
constexpr std::int32_t height = 40;

std::vector<Rect> wholeBands(std::initializer_list<std::int32_t> bands) {
  std::vector<Rect> rects;
  for (std::int32_t b : bands) rects.push_back({0, 10 * b, width, 10 * b + 10});
  return rects;
}

// A picture whose pixels cannot be read: drawing it throws inside a worker.
class UnreadableImage : public IImage {
 public:
  std::int32_t getWidth() const override { return 8; }
  std::int32_t getHeight() const override { return 8; }
  PixelFormat getFormat() const override { return Bgra32; }
  std::int32_t getPitch() const override { return 32; }
  std::uint8_t* lockPixels() override { throw std::runtime_error("unreadable"); }
  const std::uint8_t* lockPixelsConst() const override { throw std::runtime_error("unreadable"); }
  void unlockPixels() override {}
  void unlockPixelsConst() const override {}
};

// A picture whose readers wait until the test lets them go, which holds the
// frame that draws it in progress for as long as the test wants.
class GateImage : public IImage {
 public:
  std::int32_t getWidth() const override { return 8; }
  std::int32_t getHeight() const override { return 8; }
  PixelFormat getFormat() const override { return Gray8; }
  std::int32_t getPitch() const override { return 8; }
  std::uint8_t* lockPixels() override { return pixels; }
  const std::uint8_t* lockPixelsConst() const override {
    std::unique_lock lock(mutex);
    entered = true;
    changed.notify_all();
    changed.wait(lock, [&] { return open; });
    return pixels;
  }
  void unlockPixels() override {}
  void unlockPixelsConst() const override {}

  bool waitUntilEntered() const {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 30s, [&] { return entered; });
  }
  void release() {
    std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  }

 private:
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  mutable bool entered = false;
  bool open = false;
  std::uint8_t pixels[64 + 15] = {};
};

class FrameCycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::setRenderWorkerCount(2);
    // A sanitizer may add a thread of its own when the process first starts
    // one; let that happen before counting. The warm-up thread itself must be
    // gone from the count too, or the baseline would hold a thread that
    // vanishes later.
    pid_t warmUp = 0;
    std::thread([&] { warmUp = gettid(); }).join();
    ASSERT_TRUE(testing::waitUntilThreadGone(warmUp));
    baselineThreads = testing::threadCount();
  }
  void TearDown() override {
    if (screen) screen->stop();
    EXPECT_TRUE(testing::waitForThreadCount(baselineThreads)) << "a render thread or worker outlived its screen";
    testing::setRenderWorkerCount(1);
  }

  void showBackground() { screen->createFillRectSprite(0, {0, 0, width, height}, 0, grey)->show(); }

  NullSurface surface{width, height};
  std::unique_ptr<Screen> screen = std::make_unique<Screen>(surface.dc, width, height);
  FrameCounter frames;
  int baselineThreads = 0;
};

TEST_F(FrameCycleTest, CallbacksRunInOrderAndThoseReturningTrueAreDropped) {
  std::vector<std::string> log;  // written on the render thread, read after stop
  int cCalls = 0;
  screen->addFrameCallback([&](Screen&) {
    log.push_back("A");
    return false;
  });
  screen->addFrameCallback([&](Screen&) {
    log.push_back("B");
    return true;
  });
  screen->addFrameCallback([&](Screen&) {
    log.push_back("C");
    return ++cCalls == 2;
  });
  screen->addFrameCallback([&](Screen&) {
    log.push_back("D|");
    frames.tick();
    return false;
  });
  screen->start();
  ASSERT_TRUE(frames.waitFor(4));
  screen->stop();
  std::string joined;
  for (const auto& entry : log) joined += entry;
  EXPECT_EQ(joined.substr(0, 15), "ABCD|ACD|AD|AD|");
}

TEST_F(FrameCycleTest, ACallbackAddedBeforeStartRunsFromTheFirstFrameWhichDrawsWhatWasMarkedBefore) {
  screen->invalidateAll();
  std::vector<Rect> firstFrame;
  screen->addFrameCallback([&](Screen&) {
    if (frames.count() == 0) firstFrame = surface.takeBlits();
    frames.tick();
    return false;
  });
  screen->start();
  ASSERT_TRUE(frames.waitFor(1));
  screen->stop();
  EXPECT_EQ(firstFrame, wholeBands({0, 1, 2, 3}));
}

TEST_F(FrameCycleTest, AThrowingCallbackEndsOnlyThatPassAndKeepsItsPlace) {
  std::string log;
  bool thrown = false;
  screen->addFrameCallback([&](Screen&) {
    log += "A";
    return false;
  });
  screen->addFrameCallback([&](Screen&) -> bool {
    log += "T";
    if (!std::exchange(thrown, true)) throw std::runtime_error("callback failed");
    return false;
  });
  screen->addFrameCallback([&](Screen&) {
    log += "C|";
    frames.tick();
    return false;
  });
  screen->start();
  ASSERT_TRUE(frames.waitFor(2));
  screen->stop();
  EXPECT_EQ(log.substr(0, 9), "ATATC|ATC");
}

TEST_F(FrameCycleTest, AnEmptyCallbackFailsEveryPassWithoutStoppingTheCycle) {
  std::atomic<int> after{0};
  screen->addFrameCallback([&](Screen&) {
    frames.tick();
    return false;
  });
  screen->addFrameCallback(FrameCallback{});
  screen->addFrameCallback([&](Screen&) {
    ++after;
    return false;
  });
  screen->start();
  ASSERT_TRUE(frames.waitFor(3));
  screen->stop();
  EXPECT_EQ(after.load(), 0);
}

TEST_F(FrameCycleTest, WithNothingDirtyFramesPresentNothingButCallbacksRun) {
  screen->addFrameCallback([&](Screen&) {
    frames.tick();
    return false;
  });
  screen->start();
  ASSERT_TRUE(frames.waitFor(5));
  screen->stop();
  EXPECT_TRUE(surface.takeBlits().empty());
}

TEST_F(FrameCycleTest, StartRunsOneRenderThreadWithTheChosenNumberOfWorkers) {
  testing::setRenderWorkerCount(3);
  screen->stop();  // never started: nothing to do
  EXPECT_EQ(testing::threadCount(), baselineThreads);

  screen->start();
  EXPECT_TRUE(testing::waitForThreadCount(baselineThreads + 1 + 3));
  screen->start();  // the first render thread is stopped and joined first
  EXPECT_TRUE(testing::waitForThreadCount(baselineThreads + 1 + 3));
  screen->stop();
  EXPECT_TRUE(testing::waitForThreadCount(baselineThreads));
}

TEST_F(FrameCycleTest, EveryStartGetsFreshWorkersThatDrawAndEveryStopEndsThem) {
  showBackground();
  std::vector<Rect> presented;  // since the last start; only the render thread writes it while running
  screen->addFrameCallback([&](Screen&) {
    auto const blits = surface.takeBlits();
    presented.insert(presented.end(), blits.begin(), blits.end());
    frames.tick();
    return false;
  });
  for (std::uint32_t workers : {1u, 3u, 2u, 8u}) {
    SCOPED_TRACE(::testing::Message() << workers << " workers");
    testing::setRenderWorkerCount(workers);
    presented.clear();
    screen->invalidateAll();
    int const before = frames.count();
    screen->start();
    ASSERT_TRUE(frames.waitFor(before + 1));
    screen->stop();
    EXPECT_EQ(presented, wholeBands({0, 1, 2, 3}));
    EXPECT_TRUE(testing::waitForThreadCount(baselineThreads));
  }
  auto const pixels = surface.pixels();
  EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0x5A5A5Au), width * height);
}

class FailingBandTest : public FrameCycleTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(FailingBandTest, AFailingBandEndsOnlyThatWorkersShareAndTheFrameCompletes) {
  std::uint32_t const workers = GetParam();
  testing::setRenderWorkerCount(workers);
  showBackground();
  auto broken = screen->createImageSprite(1, 0, 0, 1, std::make_shared<UnreadableImage>());
  broken->show();  // lies in band 0 only

  std::vector<std::vector<Rect>> presented;
  screen->addFrameCallback([&](Screen&) {
    presented.push_back(surface.takeBlits());
    if (presented.size() == 1) broken->hide();
    frames.tick();
    return false;
  });
  screen->start();
  ASSERT_TRUE(frames.waitFor(2));
  screen->stop();

  // Band 0 is claimed first, by a worker that then stops; any other worker
  // draws the bands after it. Either way the frame ends and is forgotten.
  EXPECT_EQ(presented[0], workers == 1 ? std::vector<Rect>{} : wholeBands({1, 2, 3}));
  EXPECT_EQ(presented[1], (std::vector<Rect>{{0, 0, 8, 8}}));
  EXPECT_EQ(surface.pixels()[0], 0x5A5A5Au);
}

INSTANTIATE_TEST_SUITE_P(Workers, FailingBandTest, ::testing::Values(1u, 3u));

// Holds the first frame in progress: one worker waits inside the picture.
class FrameInProgressTest : public FrameCycleTest {
 protected:
  void SetUp() override {
    FrameCycleTest::SetUp();
    showBackground();
    screen->createImageSprite(1, 0, 0, 1, gate)->show();
    screen->addFrameCallback([this](Screen&) {
      auto const blits = surface.takeBlits();
      presented.insert(presented.end(), blits.begin(), blits.end());
      frames.tick();
      return false;
    });
    screen->start();
    ASSERT_TRUE(gate->waitUntilEntered());
  }
  void TearDown() override {
    gate->release();
    FrameCycleTest::TearDown();
  }

  // Runs work on another thread; true when it has not finished after a
  // while, the gate being still closed.
  bool blocksWhileTheFrameIsHeld(std::future<void>& done) {
    return done.wait_for(100ms) == std::future_status::timeout && frames.count() == 0;
  }

  std::shared_ptr<GateImage> gate = std::make_shared<GateImage>();
  std::vector<Rect> presented;  // every frame's, in order; read after the render thread ends
};

TEST_F(FrameInProgressTest, StopTakesEffectOnlyAfterTheFrameAndItsCallbacks) {
  auto stopped = std::async(std::launch::async, [&] { screen->stop(); });
  EXPECT_TRUE(blocksWhileTheFrameIsHeld(stopped));
  gate->release();
  stopped.get();
  EXPECT_GE(frames.count(), 1);
  EXPECT_EQ(presented, wholeBands({0, 1, 2, 3}));
}

TEST_F(FrameInProgressTest, DestroyingTheScreenMidFrameFinishesTheFrameAndEndsEveryThread) {
  auto destroyed = std::async(std::launch::async, [&] { screen.reset(); });
  EXPECT_TRUE(blocksWhileTheFrameIsHeld(destroyed));
  gate->release();
  destroyed.get();
  EXPECT_EQ(presented, wholeBands({0, 1, 2, 3}));
  EXPECT_TRUE(testing::waitForThreadCount(baselineThreads));
}

TEST_F(FrameInProgressTest, CreatingASpriteWaitsForTheFrameInProgress) {
  auto created = std::async(std::launch::async, [&] { screen->createFillRectSprite(2, {0, 0, 1, 1}, 2, grey); });
  EXPECT_TRUE(blocksWhileTheFrameIsHeld(created));
  gate->release();
  created.get();
  EXPECT_GE(frames.count(), 1);
  EXPECT_NE(screen->getSpriteManager()->find(2), nullptr);
}

}  // namespace
}  // namespace zelvor
