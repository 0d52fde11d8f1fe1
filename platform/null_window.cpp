// The null window backend: windows whose client area is a block of memory,
// for tests that run without a display. Its messages, paints and timers are
// the shared code's, exactly as on X11; only pixels, titles and the cursor
// live here.
//
// A surface is written by StretchDIBits from any thread (a render worker) and
// read by `pixels` on the test's thread; its own mutex orders the two.
#include "platform/null_window.h"

#include "platform/message_queue.h"
#include "platform/window_backend.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

namespace zelvor::platform {

struct NullWindowState {
  std::mutex mutex;
  // Top row first, as copied: the fourth byte still holds whatever the
  // bitmap had there, and `pixels` drops it, so that a copy is a plain
  // memcpy per row (a render worker makes 60 of them per frame).
  std::vector<std::uint32_t> pixels;
  std::vector<RECT> blits;
  POINT clientOrigin{0, 0};
};

namespace {

constexpr std::uint32_t white = 0x00FFFFFF;

struct NullCursor {
  std::mutex mutex;
  POINT position{0, 0};
};

NullCursor& cursor() {
  static NullCursor instance;
  return instance;
}

bool create(Window& window, std::string&) {
  window.null = std::make_shared<NullWindowState>();
  window.null->pixels.assign(static_cast<std::size_t>(window.width) * static_cast<std::size_t>(window.height), white);
  return true;
}

void destroy(Window&) {
  // The surface stays readable through `pixels` for whoever still holds the
  // record; nothing else is attached to it.
}

void show(Window&, bool) {}

void setTitle(Window&, const std::string&) {}

int copyDib(Window& window, const DibCopy& copy, const RECT& destination, const void* bits) {
  NullWindowState& surface = *window.null;
  const std::lock_guard lock(surface.mutex);
  surface.blits.push_back(destination);
  for (int k = 0; k < copy.rows; ++k) {
    const std::uint32_t* source = copy.sourceRow(bits, k);
    std::uint32_t* target =
        surface.pixels.data() + static_cast<std::size_t>(copy.destY + k) * window.width + copy.destX;
    std::memcpy(target, source, static_cast<std::size_t>(copy.width) * sizeof *target);
  }
  return copy.rows;
}

bool cursorPos(POINT& point) {
  auto& state = cursor();
  const std::lock_guard lock(state.mutex);
  point = state.position;
  return true;
}

bool screenToClient(Window& window, POINT& point) {
  const std::lock_guard lock(window.null->mutex);
  point.x -= window.null->clientOrigin.x;
  point.y -= window.null->clientOrigin.y;
  return true;
}

int eventDescriptor() { return -1; }

void pumpEvents() {}

constexpr WindowBackend backend{
    "null", create, destroy, show, setTitle, copyDib, cursorPos, screenToClient, eventDescriptor, pumpEvents,
};

std::shared_ptr<NullWindowState> surfaceOf(HWND handle) {
  const auto window = findWindow(handle);
  return window ? window->null : nullptr;
}

}  // namespace

const WindowBackend& nullBackend() { return backend; }

}  // namespace zelvor::platform

namespace zelvor::null_window {

void select() { platform::selectBackend(platform::nullBackend()); }

HWND createSurface(int width, int height) {
  auto window = std::make_shared<platform::Window>();
  window->backend = &platform::nullBackend();
  window->procedure = DefWindowProcW;
  window->queue = platform::MessageQueue::current();
  window->width = std::max(width, 0);
  window->height = std::max(height, 0);
  std::string error;
  platform::nullBackend().create(*window, error);
  return platform::registerWindow(window);
}

std::vector<std::uint32_t> pixels(HWND window) {
  const auto surface = platform::surfaceOf(window);
  if (!surface) return {};
  std::vector<std::uint32_t> client;
  {
    const std::lock_guard lock(surface->mutex);
    client = surface->pixels;
  }
  // The fourth byte of a 32-bit DIB pixel has no meaning; a display drops it.
  constexpr std::uint32_t colourChannels = 0x00FFFFFF;
  for (std::uint32_t& pixel : client) pixel &= colourChannels;
  return client;
}

std::vector<RECT> takeBlits(HWND window) {
  const auto surface = platform::surfaceOf(window);
  if (!surface) return {};
  const std::lock_guard lock(surface->mutex);
  return std::exchange(surface->blits, {});
}

void setCursorPos(int x, int y) {
  auto& state = platform::cursor();
  const std::lock_guard lock(state.mutex);
  state.position = POINT{x, y};
}

void setClientOrigin(HWND window, int x, int y) {
  const auto surface = platform::surfaceOf(window);
  if (!surface) return;
  const std::lock_guard lock(surface->mutex);
  surface->clientOrigin = POINT{x, y};
}

void requestClose(HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); }

}  // namespace zelvor::null_window
