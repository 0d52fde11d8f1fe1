// Fixtures of the frame-cycle tests: a null window with its device context,
// a counter of frame callbacks the test's thread can wait for, and a count
// of the process's threads. Counters are shared between the render thread
// (which ticks them in callbacks) and the test's thread (which waits).
#pragma once

#include "pixels/rect.h"
#include "platform/null_window.h"
#include "platform/win32.h"
#include "render/sprite_drawer.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

namespace zelvor::testing {

// A null window of the given client size and its device context.
class NullSurface {
 public:
  NullSurface(int width, int height) : window(null_window::createSurface(width, height)), dc(GetDC(window)) {}
  ~NullSurface() {
    ReleaseDC(window, dc);
    DestroyWindow(window);
  }
  NullSurface(const NullSurface&) = delete;
  NullSurface& operator=(const NullSurface&) = delete;

  std::vector<std::uint32_t> pixels() const { return null_window::pixels(window); }

  // The rectangles copied since the last call, sorted (workers present in
  // whatever order timing gives).
  std::vector<Rect> takeBlits() const {
    std::vector<Rect> blits;
    for (const RECT& r : null_window::takeBlits(window)) blits.push_back({r.left, r.top, r.right, r.bottom});
    std::sort(blits.begin(), blits.end(), [](const Rect& a, const Rect& b) {
      return std::tie(a.top, a.left, a.bottom, a.right) < std::tie(b.top, b.left, b.bottom, b.right);
    });
    return blits;
  }

  HWND const window;
  HDC const dc;
};

// The rectangles the next frame must present: every non-empty band
// rectangle of a dirty drawer, in band order; none when it is clean.
inline std::vector<Rect> bandsToPresent(const SpriteDrawer& drawer) {
  std::vector<Rect> bands;
  if (!drawer.isDirty()) return bands;
  for (std::int32_t b = 0; b < drawer.getBandCount(); ++b) {
    if (!isEmpty(drawer.getBandRect(b))) bands.push_back(drawer.getBandRect(b));
  }
  return bands;
}

class FrameCounter {
 public:
  void tick() {
    {
      std::lock_guard lock(mutex);
      ++frames;
    }
    changed.notify_all();
  }
  int count() const {
    std::lock_guard lock(mutex);
    return frames;
  }
  // False when the count is not reached within the time (a hung cycle fails
  // the test instead of hanging it).
  bool waitFor(int count, std::chrono::seconds limit = std::chrono::seconds(30)) const {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, limit, [&] { return frames >= count; });
  }

 private:
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  int frames = 0;
};

// Threads of this process as the kernel lists them.
inline int threadCount() {
  auto const tasks = std::filesystem::directory_iterator("/proc/self/task");
  return static_cast<int>(std::distance(std::filesystem::begin(tasks), std::filesystem::end(tasks)));
}

// Waits until the thread with the given id has left /proc/self/task: a
// thread that pthread_join has returned for may still be listed for a moment.
inline bool waitUntilThreadGone(pid_t thread, std::chrono::seconds limit = std::chrono::seconds(10)) {
  auto const path = std::filesystem::path("/proc/self/task") / std::to_string(thread);
  auto const deadline = std::chrono::steady_clock::now() + limit;
  while (std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Waits until the process has the given number of threads: a joined thread
// may still be listed for a moment while the kernel reaps it.
inline bool waitForThreadCount(int expected, std::chrono::seconds limit = std::chrono::seconds(10)) {
  auto const deadline = std::chrono::steady_clock::now() + limit;
  while (threadCount() != expected) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace zelvor::testing
