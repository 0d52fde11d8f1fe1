// The demonstration scene rendered through the real Screen, its render thread
// and workers, against pixman composing the same frame in this process.
// Figures, each the median of its frames:
//   ScreenFullRedraw/workers:N/window:W  every frame redraws the whole screen
//       (invalidateAll in the callback); W = 0: no window, composition only
//       (presentBand's copy finds no device context), W = 1: the null
//       window, whose copy into its 800 × 600 surface is counted
//   ScreenOrdinaryFrame/workers:N        the 900 flakes move as the scene
//       moves them, on the null window
//   ScreenIdle                           nothing changes: the render process's
//       processor time per cycle, to show that waiting burns nothing
//   ZelvorWholeFrame    zelvor's drawing operations on one thread, one call
//                       per sprite into the whole frame, no bands
//   PixmanWholeFrame    pixman, one thread, one call per sprite into the frame
//   PixmanBanded        pixman, 60 bands of 10 rows, sprites culled per band
//   Pause               the render loop's 1 ms sleep as it lasts here
// A Screen frame is timed on the render thread from choosing the drawer to
// endFrame (snapshot, waking the workers, drawing, presenting, all done
// events): wake-ups included. fps is the free-running frame rate, pause and
// callbacks included. A summary with the ratios the goals name follows the
// table. The cost of presenting to an X server is measured by
// zelvor_present_bench.
#include "app/flake.h"
#include "bench/pixman_scene.h"
#include "bench/scene_worker_count.h"
#include "image/image.h"
#include "pixels/blend.h"
#include "platform/null_window.h"
#include "platform/posix_waitable.h"
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
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
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
    Flake flake{id, 0, kind, opacities[id % 4], screen.createImageSprite(id, x, y, 500, kind == 1 ? snow2 : snow)};
    flake.sprite->setBlendMode(Add);
    flake.sprite->setOpacity(static_cast<std::uint8_t>(flake.baseOpacity));
    flake.sprite->show();
    flakes.push_back(std::move(flake));
  }
  return flakes;
}

std::uint32_t processorCount() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors;
}

double milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  auto const middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// The median of every figure measured in this run, by name, for the summary.
std::map<std::string, double>& figures() {
  static std::map<std::string, double> table;
  return table;
}

// The processor time of the whole process (all its threads).
Clock::duration processTime() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// What the frame callback sees on the render thread, handed to the
// benchmark's thread one frame at a time.
struct FrameSample {
  double drawMs;   // the last drawn frame, as the render thread timed it
  double cycleMs;  // from the previous callback's start to this one's
};

class FrameTimes {
 public:
  void record(Clock::time_point now, Clock::duration drawTime) {
    {
      std::lock_guard lock(mutex);
      if (frames > 0) latest = {milliseconds(drawTime), milliseconds(now - lastStart)};
      lastStart = now;
      ++frames;
    }
    changed.notify_all();
  }
  // Waits for the next frame.
  FrameSample next() {
    std::unique_lock lock(mutex);
    long const seen = frames;
    changed.wait(lock, [&] { return frames > seen; });
    return latest;
  }

 private:
  std::mutex mutex;
  std::condition_variable changed;
  long frames = 0;
  Clock::time_point lastStart;
  FrameSample latest{};
};

enum class FrameKind { FullRedraw, Ordinary, Idle };

// A window for the Screen, or none: without a device context presentBand's
// copy fails at once, which leaves composition alone.
class BenchSurface {
 public:
  explicit BenchSurface(bool withWindow)
      : window(withWindow ? null_window::createSurface(screenWidth, screenHeight) : nullptr),
        dc(window ? GetDC(window) : nullptr) {}
  ~BenchSurface() {
    if (!window) return;
    ReleaseDC(window, dc);
    DestroyWindow(window);
  }
  BenchSurface(const BenchSurface&) = delete;
  BenchSurface& operator=(const BenchSurface&) = delete;

  HWND const window;
  HDC const dc;
};

void runScreen(benchmark::State& state, FrameKind kind, bool withWindow, const std::string& name) {
  setRenderWorkerCount(static_cast<std::uint32_t>(state.range(0)));
  BenchSurface const surface(withWindow);
  std::vector<double> draws, cycles;
  Clock::duration busy{};
  {
    Screen screen(surface.dc, screenWidth, screenHeight);
    std::vector<Flake> flakes = buildDemoScene(screen);
    DemoRand motion;
    FrameTimes times;
    screen.addFrameCallback([&](Screen& s) {
      times.record(Clock::now(), s.getLastDrawTime());
      if (kind == FrameKind::FullRedraw) {
        s.invalidateAll();
      } else if (kind == FrameKind::Ordinary) {
        for (Flake& flake : flakes) moveFlakeWithDraw(flake, motion.next(), s.getWidth(), s.getHeight());
      }
      return false;
    });
    screen.start();
    for (int warmUp = 0; warmUp < 5; ++warmUp) times.next();
    auto const busyBefore = processTime();
    for (auto _ : state) {
      FrameSample const sample = times.next();
      state.SetIterationTime(sample.drawMs / 1e3);
      draws.push_back(sample.drawMs);
      cycles.push_back(sample.cycleMs);
    }
    busy = processTime() - busyBefore;
    screen.stop();
  }
  double cycleSum = 0;
  for (double c : cycles) cycleSum += c;
  double const meanCycle = cycleSum / static_cast<double>(cycles.size());
  state.counters["median_ms"] = median(draws);
  state.counters["cycle_ms"] = meanCycle;
  state.counters["fps"] = 1e3 / meanCycle;
  state.counters["cpu_per_cycle_ms"] = milliseconds(busy) / static_cast<double>(cycles.size());
  std::string const key = name + "/" + std::to_string(state.range(0));
  figures()[key] = median(draws);
  figures()[key + "/cycle"] = meanCycle;
  figures()[key + "/cpu"] = milliseconds(busy) / static_cast<double>(cycles.size());
}

// Runs with the kernel waits' spin before sleeping turned off, then restores it.
class NoWaitSpin {
 public:
  NoWaitSpin() { platform::setWaitSpinTime(std::chrono::nanoseconds::zero()); }
  ~NoWaitSpin() { platform::setWaitSpinTime(saved); }
  NoWaitSpin(const NoWaitSpin&) = delete;
  NoWaitSpin& operator=(const NoWaitSpin&) = delete;

 private:
  std::chrono::nanoseconds const saved = platform::waitSpinTime();
};

void ScreenFullRedraw(benchmark::State& state) {
  bool const withWindow = state.range(1) != 0;
  std::string name = withWindow ? "full/window" : "full";
  if (state.range(2) == 0) {
    NoWaitSpin const noSpin;
    runScreen(state, FrameKind::FullRedraw, withWindow, name + "/nospin");
  } else {
    runScreen(state, FrameKind::FullRedraw, withWindow, name);
  }
}
void ScreenOrdinaryFrame(benchmark::State& state) { runScreen(state, FrameKind::Ordinary, true, "ordinary"); }
void ScreenIdle(benchmark::State& state) { runScreen(state, FrameKind::Idle, true, "idle"); }

// The records of the demonstration scene, as beginFrame collects them.
struct SceneRecords {
  Screen screen{nullptr, screenWidth, screenHeight};
  std::vector<DrawRecord> records;

  SceneRecords() {
    buildDemoScene(screen);
    auto const manager = screen.getSpriteManager();
    manager->sortIfNeeded();
    for (const SpriteEntry& entry : manager->getEntries()) {
      if (entry.sprite->isVisible()) records.push_back(entry.sprite->getDrawRecord());
    }
  }
};

// Times each iteration itself, so that the summary can take the median.
template <class Compose>
void timeFrames(benchmark::State& state, const std::string& name, Compose&& compose) {
  std::vector<double> times;
  for (auto _ : state) {
    auto const start = Clock::now();
    compose();
    benchmark::ClobberMemory();
    double const ms = milliseconds(Clock::now() - start);
    state.SetIterationTime(ms / 1e3);
    times.push_back(ms);
  }
  state.counters["median_ms"] = median(times);
  figures()[name] = median(times);
}

void ZelvorWholeFrame(benchmark::State& state) {
  SceneRecords scene;
  Image frame(screenWidth, screenHeight, Bgrx32);
  timeFrames(state, "zelvor-whole", [&] {
    for (const DrawRecord& record : scene.records) {
      if (record.kind == DrawKind::FillRect) {
        fillRect(record.colour, nullptr, frame, record.blendMode, record.rect, record.opacity);
      } else {
        drawImage(record.origin, nullptr, *record.image, frame, record.blendMode, record.rect, record.opacity);
      }
    }
  });
}

void runPixman(benchmark::State& state, bool banded) {
  SceneRecords scene;
  auto const frame = makePixmanFrame(scene.records, screenWidth, screenHeight);
  if (!frame) {
    state.SkipWithError("built without libpixman-1-dev");
    for (auto _ : state) {
    }
    return;
  }
  if (banded) {
    timeFrames(state, "pixman-banded", [&] { frame->composeBands(10); });
  } else {
    timeFrames(state, "pixman-whole", [&] { frame->composeWholeFrame(); });
  }
}

void PixmanWholeFrame(benchmark::State& state) { runPixman(state, false); }
void PixmanBanded(benchmark::State& state) { runPixman(state, true); }

void Pause(benchmark::State& state) {
  ThreadNotifier notifier;
  std::vector<double> times;
  for (auto _ : state) {
    auto const start = Clock::now();
    notifier.sleep(1);
    times.push_back(milliseconds(Clock::now() - start));
    state.SetIterationTime(times.back() / 1e3);
  }
  state.counters["median_ms"] = median(times);
  figures()["pause"] = median(times);
}

std::uint32_t manyWorkers() { return std::max(processorCount(), 2u); }

void fullRedrawCases(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({"workers", "window", "spin"});
  for (std::int64_t window : {0, 1}) {
    benchmark->Args({1, window, 1});
    benchmark->Args({manyWorkers(), window, 1});
  }
  benchmark->Args({1, 0, 0});
  benchmark->Args({manyWorkers(), 0, 0});
}

void workerCounts(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgName("workers")->Arg(1)->Arg(manyWorkers());
}

BENCHMARK(ScreenFullRedraw)->Apply(fullRedrawCases)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(300);
BENCHMARK(ScreenOrdinaryFrame)->Apply(workerCounts)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(300);
BENCHMARK(ScreenIdle)->Arg(manyWorkers())->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(ZelvorWholeFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(PixmanWholeFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(PixmanBanded)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(Pause)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(300);

// The figures side by side, with the ratios the goals are stated in; only
// what this run measured.
void printSummary() {
  const auto& f = figures();
  auto const has = [&](const std::string& key) { return f.count(key) != 0; };
  auto const row = [&](const char* label, const std::string& key) {
    if (has(key)) std::printf("  %-52s %8.3f ms\n", label, f.at(key));
  };
  auto const ratio = [&](const char* label, const std::string& over, const std::string& under, const char* goal) {
    if (has(over) && has(under) && f.at(under) > 0) {
      std::printf("  %-52s %8.2f    %s\n", label, f.at(over) / f.at(under), goal);
    }
  };
  std::string const many = std::to_string(manyWorkers());
  std::printf("\nSummary (medians of this run; %u processors)\n", processorCount());
  row("zelvor full redraw, 1 worker, no window", "full/1");
  row(("zelvor full redraw, " + many + " workers, no window").c_str(), "full/" + many);
  row("zelvor full redraw, 1 worker, null window", "full/window/1");
  row(("zelvor full redraw, " + many + " workers, null window").c_str(), "full/window/" + many);
  row("zelvor ordinary frame, 1 worker", "ordinary/1");
  row(("zelvor ordinary frame, " + many + " workers").c_str(), "ordinary/" + many);
  row(("zelvor ordinary cycle (mean, pause included), " + many + " workers").c_str(), "ordinary/" + many + "/cycle");
  row(("zelvor idle cycle: processor time, " + many + " workers").c_str(), "idle/" + many + "/cpu");
  row("zelvor drawing operations, one thread, whole frame", "zelvor-whole");
  row("pixman, one thread, whole frame", "pixman-whole");
  row("pixman, one thread, 60 bands culled", "pixman-banded");
  row("1 ms pause as it lasts here", "pause");
  ratio("pixman whole frame / zelvor full redraw 1 worker", "pixman-whole", "full/1", "(goal >= 2)");
  ratio("pixman banded / zelvor full redraw 1 worker", "pixman-banded", "full/1", "");
  ratio(("zelvor full redraw 1 worker / " + many + " workers").c_str(), "full/1", "full/" + many, "(goal >= 1.8)");
  ratio(("  the same on the null window, 1 / " + many).c_str(), "full/window/1", "full/window/" + many, "");
  ratio(("  the same without the spin before sleeping, 1 / " + many).c_str(), "full/nospin/1", "full/nospin/" + many,
        "");
  row("zelvor full redraw, 1 worker, no window, no spin", "full/nospin/1");
  row(("zelvor full redraw, " + many + " workers, no window, no spin").c_str(), "full/nospin/" + many);
  ratio(("zelvor ordinary frame 1 worker / " + many + " workers").c_str(), "ordinary/1", "ordinary/" + many, "");
  if (has("ordinary/" + many + "/cycle")) {
    std::printf("  %-52s %8.0f    (goal >= 600)\n", "free-running fps, ordinary frames, null window",
                1e3 / f.at("ordinary/" + many + "/cycle"));
  }
}

}  // namespace
}  // namespace zelvor::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  zelvor::bench::printSummary();
  return 0;
}
