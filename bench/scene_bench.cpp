// The demonstration scene rendered through the real Screen, render thread and
// workers on the null window, against the same frame composed on one thread
// straight into an 800 × 600 image. Figures:
//   ScreenFullRedraw/workers:N    ms per frame when every frame redraws the
//                                 whole window (invalidateAll each frame)
//   ScreenOrdinaryFrame/workers:N ms per frame when the 900 flakes move as
//                                 the scene moves them
//   SingleThreadFullFrame         ms per full frame, one thread, no bands
//   Pause                         the render loop's 1 ms sleep as it lasts here
// The Screen figures are the time from the end of one frame's callbacks to
// the start of the next frame's, less the measured pause: the drawing and
// presenting of that frame. Their fps counter is the free-running frame rate,
// pause and callbacks included.
#include "bench/scene_worker_count.h"
#include "image/image.h"
#include "pixels/blend.h"
#include "platform/null_window.h"
#include "platform/win32.h"
#include "render/sprite_manager.h"
#include "runtime/thread_notifier.h"
#include "screen/screen.h"
#include "sprites/fill_rect_sprite.h"
#include "sprites/image_sprite.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace zelvor::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int32_t screenWidth = 800;
constexpr std::int32_t screenHeight = 600;

// The C run-time's generator as the scene draws from it: state starting at 1.
class DemoRand {
 public:
  int next() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 32767u);
  }

 private:
  std::uint32_t state = 1;
};

struct Flake {
  std::shared_ptr<ImageSprite> sprite;
  std::int32_t dx;
  std::int32_t speed;
  std::int32_t baseOpacity;
};

// Stand-ins for the scene's three pictures, of the sizes and formats the demo
// ships: a 64 × 64 RGBA picture, a 16 × 16 grey+alpha flake, an 8 × 8 RGBA one.
std::shared_ptr<Image> makePicture(PixelFormat format, std::int32_t size) {
  auto image = std::make_shared<Image>(size, size, format);
  std::uint8_t* pixels = image->lockPixels();
  std::int32_t const bytes = bytesPerPixel(format);
  for (std::int32_t y = 0; y < size; ++y) {
    for (std::int32_t x = 0; x < size; ++x) {
      std::int32_t const dx = 2 * x - size + 1, dy = 2 * y - size + 1;
      std::int32_t const fade = std::max(0, 255 - 255 * (dx * dx + dy * dy) / (size * size));
      std::uint8_t* p = pixels + (y * size + x) * bytes;
      for (std::int32_t c = 0; c < bytes; ++c) p[c] = static_cast<std::uint8_t>(x * 7 + y * 3 + c * 50);
      p[bytes - 1] = static_cast<std::uint8_t>(fade);  // alpha last in both formats
    }
  }
  image->unlockPixels();
  return image;
}

// The sprites of the demonstration scene, created and shown as it creates
// them; returns the flakes, which the ordinary frames move.
std::vector<Flake> buildDemoScene(Screen& screen) {
  std::int32_t const w = screen.getWidth(), h = screen.getHeight();
  screen.createFillRectSprite(0, {0, 0, w, h}, 0, {Rgb, {255, 255, 255, 0}})->show();
  screen.createFillRectSprite(10, {50, 50, 160, 160}, 2, {Rgb, {255, 0, 0, 0}})->show();
  auto const picture = makePicture(Bgra32, 64);
  for (std::int32_t k = 0; k < 50; ++k) {
    std::int32_t const id = 11 + k, p = 75 + 5 * k;
    auto sprite = screen.createImageSprite(id, p, p, id - 8, picture);
    sprite->setOpacity(128);
    sprite->show();
  }
  screen.createFillRectSprite(50, {100, 100, 200, 200}, 100, {Rgba, {0, 255, 0, 60}})->show();
  auto const snow = makePicture(GrayAlpha16, 16), snow2 = makePicture(Bgra32, 8);
  constexpr std::int32_t opacities[] = {32, 64, 128, 192};
  DemoRand rand;
  std::vector<Flake> flakes;
  flakes.reserve(900);
  for (std::int32_t id = 100; id <= 999; ++id) {
    std::int32_t const x = rand.next() % w, y = rand.next() % h;
    std::int32_t kind = rand.next() % 5;
    if (kind == 0) kind = 1;
    Flake flake{screen.createImageSprite(id, x, y, 500, kind == 1 ? snow2 : snow), 0, kind, opacities[id % 4]};
    flake.sprite->setBlendMode(Add);
    flake.sprite->setOpacity(static_cast<std::uint8_t>(flake.baseOpacity));
    flake.sprite->show();
    flakes.push_back(std::move(flake));
  }
  return flakes;
}

// One frame of a flake's fall, drift and flicker, as the scene moves it.
void moveFlake(Flake& flake, DemoRand& rand, std::int32_t w, std::int32_t h) {
  int const r = rand.next();
  std::int32_t x = flake.sprite->getX(), y = flake.sprite->getY(), a = flake.sprite->getOpacity();
  if (r % 2 != 0) {
    flake.dx = std::min(flake.speed, flake.dx + 1);
    a = std::min(255, a + r % 3);
  } else {
    flake.dx = std::max(-flake.speed, flake.dx - 1);
    a = std::max(0, a - r % 3);
  }
  x += flake.dx;
  if (x > w + 10) x = -10;
  y += flake.speed;
  if (y > h) {
    y = -10;
    a = flake.baseOpacity;
  }
  flake.sprite->setPosition(x, y);
  flake.sprite->setOpacity(static_cast<std::uint8_t>(a));
}

std::uint32_t processorCount() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors;
}

// How long the render loop's 1 ms pause lasts on this machine.
double measurePauseSeconds() {
  static double const seconds = [] {
    ThreadNotifier notifier;
    constexpr int count = 200;
    auto const start = Clock::now();
    for (int i = 0; i < count; ++i) notifier.sleep(1);
    return std::chrono::duration<double>(Clock::now() - start).count() / count;
  }();
  return seconds;
}

// Timestamps taken by the frame callback on the render thread; the
// benchmark's thread waits for each new frame.
class FrameTimes {
 public:
  // At the start of a callback: the time since the previous callback ended
  // (pause + drawing) and since it started (the whole cycle).
  void frameStarted(Clock::time_point now) {
    std::lock_guard lock(mutex);
    if (frames > 0) {
      gap = now - lastEnd;
      interval = now - lastStart;
    }
    lastStart = now;
  }
  void frameEnded(Clock::time_point now) {
    {
      std::lock_guard lock(mutex);
      lastEnd = now;
      ++frames;
    }
    changed.notify_all();
  }
  // Waits for the next frame; returns its gap and interval in seconds.
  std::pair<double, double> next() {
    std::unique_lock lock(mutex);
    long const seen = frames;
    changed.wait(lock, [&] { return frames > seen; });
    return {std::chrono::duration<double>(gap).count(), std::chrono::duration<double>(interval).count()};
  }

 private:
  std::mutex mutex;
  std::condition_variable changed;
  long frames = 0;
  Clock::time_point lastStart, lastEnd;
  Clock::duration gap{}, interval{};
};

enum class FrameKind { FullRedraw, Ordinary };

void runScreen(benchmark::State& state, FrameKind kind) {
  double const pause = measurePauseSeconds();
  setRenderWorkerCount(static_cast<std::uint32_t>(state.range(0)));
  HWND const window = null_window::createSurface(screenWidth, screenHeight);
  HDC const dc = GetDC(window);
  {
    Screen screen(dc, screenWidth, screenHeight);
    std::vector<Flake> flakes = buildDemoScene(screen);
    DemoRand motion;
    FrameTimes times;
    screen.addFrameCallback([&](Screen& s) {
      times.frameStarted(Clock::now());
      if (kind == FrameKind::FullRedraw) {
        s.invalidateAll();
      } else {
        for (Flake& flake : flakes) moveFlake(flake, motion, s.getWidth(), s.getHeight());
      }
      times.frameEnded(Clock::now());
      return false;
    });
    screen.start();
    for (int warmUp = 0; warmUp < 5; ++warmUp) times.next();
    double intervals = 0;
    for (auto _ : state) {
      auto const [gap, interval] = times.next();
      state.SetIterationTime(std::max(gap - pause, 0.0));
      intervals += interval;
    }
    screen.stop();
    double const meanInterval = intervals / static_cast<double>(state.iterations());
    state.counters["fps"] = 1.0 / meanInterval;
    state.counters["cycle_ms"] = meanInterval * 1e3;
    state.counters["pause_ms"] = pause * 1e3;
  }
  ReleaseDC(window, dc);
  DestroyWindow(window);
}

void ScreenFullRedraw(benchmark::State& state) { runScreen(state, FrameKind::FullRedraw); }
void ScreenOrdinaryFrame(benchmark::State& state) { runScreen(state, FrameKind::Ordinary); }

void SingleThreadFullFrame(benchmark::State& state) {
  Screen screen(nullptr, screenWidth, screenHeight);
  buildDemoScene(screen);
  auto const manager = screen.getSpriteManager();
  manager->sortIfNeeded();
  std::vector<DrawRecord> records;
  for (const SpriteEntry& entry : manager->getEntries()) {
    if (entry.sprite->isVisible()) records.push_back(entry.sprite->getDrawRecord());
  }
  Image frame(screenWidth, screenHeight, Bgrx32);
  for (auto _ : state) {
    for (const DrawRecord& record : records) {
      if (record.kind == DrawKind::FillRect) {
        fillRect(record.colour, nullptr, frame, record.blendMode, record.rect, record.opacity);
      } else {
        drawImage(record.origin, nullptr, *record.image, frame, record.blendMode, record.rect, record.opacity);
      }
    }
    benchmark::DoNotOptimize(frame.lockPixels());
    benchmark::ClobberMemory();
  }
}

void Pause(benchmark::State& state) {
  ThreadNotifier notifier;
  for (auto _ : state) notifier.sleep(1);
}

void workerCounts(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgName("workers")->Arg(1);
  if (processorCount() > 1) benchmark->Arg(processorCount());
}

BENCHMARK(ScreenFullRedraw)->Apply(workerCounts)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(ScreenOrdinaryFrame)->Apply(workerCounts)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(300);
BENCHMARK(SingleThreadFullFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(Pause)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace
}  // namespace zelvor::bench

BENCHMARK_MAIN();
