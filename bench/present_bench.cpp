// Cost of presenting a full frame to the X server: 60 bands of 800 x 10
// pixels, each copied by one StretchDIBits call with the Screen's arguments,
// once through MIT-SHM and once with ZELVOR_X11_NO_SHM=1 forcing XPutImage
// through the socket. Time per iteration is milliseconds per frame in the
// steady state: a writer that gets ahead of the server waits for it (the
// shared ring or the socket fills), so the figure includes the server's
// share. Starts its own Xvfb (800 x 600, 24 bits) when one is installed, else
// uses $DISPLAY; with neither it says so and measures nothing. Runs on the
// main thread, which also owns the window.
#include "platform/win32.h"
#include "platform/window_system.h"
#include "tests/support/virtual_display.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int frameWidth = 800;
constexpr int frameHeight = 600;
constexpr int bandRows = 10;
constexpr int bandsPerFrame = frameHeight / bandRows;

constexpr wchar_t className[] = L"Zelvor present bench";

void presentFrames(benchmark::State& state, bool forceSocket) {
  if (forceSocket) {
    setenv("ZELVOR_X11_NO_SHM", "1", 1);
  } else {
    unsetenv("ZELVOR_X11_NO_SHM");
  }
  const HWND window = CreateWindowExW(0, className, L"Zelvor present bench", 0, 0, 0, frameWidth, frameHeight, nullptr,
                                      nullptr, nullptr, nullptr);
  unsetenv("ZELVOR_X11_NO_SHM");
  if (window == nullptr) {
    state.SkipWithError(("no window: " + zelvor::platform::lastWindowSystemError()).c_str());
    return;
  }
  ShowWindow(window, SW_SHOW);
  const std::string transport = zelvor::platform::windowTransport(window);
  if (transport != (forceSocket ? "XPutImage" : "MIT-SHM")) {
    DestroyWindow(window);
    state.SkipWithError(("the window copies through " + transport).c_str());
    return;
  }
  state.SetLabel(transport);
  const HDC dc = GetDC(window);

  // One worker's band image: bottom-up declared, rows stored top first.
  std::vector<std::uint32_t> band(static_cast<std::size_t>(frameWidth) * bandRows);
  std::uint32_t seed = 1;
  for (auto& pixel : band) pixel = seed = seed * 1664525u + 1013904223u;
  BITMAPINFO info{};
  info.bmiHeader =
      BITMAPINFOHEADER{40, frameWidth, bandRows, 1, 32, BI_RGB, static_cast<DWORD>(band.size() * 4), 0, 0, 0, 0};
  for (auto _ : state) {
    for (int index = 0; index < bandsPerFrame; ++index) {
      const int top = index * bandRows;
      const int bottom = top + bandRows;
      benchmark::DoNotOptimize(StretchDIBits(dc, 0, top, frameWidth, bandRows, 0, bottom - top + 1, frameWidth,
                                             top - bottom, band.data(), &info, DIB_RGB_COLORS, SRCCOPY));
    }
  }
  state.counters["bands/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * bandsPerFrame, benchmark::Counter::kIsRate);
  ReleaseDC(window, dc);
  DestroyWindow(window);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::unique_ptr<zelvor::testing::VirtualDisplay> own =
      std::make_unique<zelvor::testing::VirtualDisplay>("800x600x24");
  if (!own->name().empty()) {
    setenv("DISPLAY", own->name().c_str(), 1);
  } else if (std::getenv("DISPLAY") == nullptr || *std::getenv("DISPLAY") == '\0') {
    std::puts("zelvor_present_bench: skipped, no Xvfb to start and no $DISPLAY");
    return 0;
  }
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = className;
  RegisterClassW(&windowClass);

  for (const bool forceSocket : {false, true}) {
    benchmark::RegisterBenchmark(forceSocket ? "FullFrameOf60Bands/XPutImage" : "FullFrameOf60Bands/MIT-SHM",
                                 presentFrames, forceSocket)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
