// Opening, describing and closing the X11 backend's connections (see
// x11_connection.h). Opening is serialised by one mutex; the connections
// close when their last holder lets go.
#include "platform/x11_connection.h"

#include <X11/Xutil.h>

#include <atomic>

namespace zelvor::platform {
namespace {

// Xlib's default error handler ends the process. A copy that reaches a window
// the user-interface thread has just destroyed is harmless, so errors are
// counted and otherwise ignored, except on the display an X11ErrorTrap
// watches.
std::atomic<unsigned long> ignoredErrors{0};
std::atomic<Display*> trappedDisplay{nullptr};
std::atomic<unsigned long> trappedErrors{0};
std::mutex trapMutex;  // held for a trap's lifetime

int ignoreError(Display* display, XErrorEvent*) {
  if (display != nullptr && display == trappedDisplay.load()) {
    trappedErrors.fetch_add(1);
  } else {
    ignoredErrors.fetch_add(1, std::memory_order_relaxed);
  }
  return 0;
}

std::mutex openMutex;
std::weak_ptr<X11Connections> current;  // under openMutex

bool hasDibLayout(Display* display, Visual* visual, int depth) {
  if (visual->c_class != TrueColor || depth != 24 || visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 ||
      visual->blue_mask != 0xFF) {
    return false;
  }
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
  bool thirtyTwoBits = false;
  for (int i = 0; i < count; ++i) {
    if (formats[i].depth == depth) thirtyTwoBits = formats[i].bits_per_pixel == 32;
  }
  if (formats != nullptr) XFree(formats);
  return thirtyTwoBits;
}

}  // namespace

X11Connections::~X11Connections() {
  {
    const std::lock_guard lock(presentMutex);
    closing_ = true;
  }
  flushWanted_.notify_one();
  if (flusher_.joinable()) flusher_.join();
  // Closing a display writes what is still queued on it.
  if (present != nullptr) XCloseDisplay(present);
  if (ui != nullptr) XCloseDisplay(ui);
}

void X11Connections::flushSoon() {
  if (unflushed_) return;
  unflushed_ = true;
  if (!flusher_.joinable()) flusher_ = std::thread([this] { flushLoop(); });
  flushWanted_.notify_one();
}

void X11Connections::flushLoop() {
  std::unique_lock lock(presentMutex);
  for (;;) {
    flushWanted_.wait(lock, [this] { return unflushed_ || closing_; });
    if (closing_) return;
    // The lock is free meanwhile, so the rest of the frame's bands join
    // this write.
    flushWanted_.wait_for(lock, flushDelay, [this] { return closing_; });
    XFlush(present);
    unflushed_ = false;
  }
}

std::shared_ptr<X11Connections> openX11(std::string& error) {
  const std::lock_guard lock(openMutex);
  if (auto live = current.lock()) return live;

  static std::once_flag threadsInitialised;
  std::call_once(threadsInitialised, [] {
    XInitThreads();
    XSetErrorHandler(ignoreError);
  });

  auto opening = std::make_shared<X11Connections>();
  opening->ui = XOpenDisplay(nullptr);
  if (opening->ui != nullptr) opening->present = XOpenDisplay(nullptr);
  if (opening->present == nullptr) {
    const char* const name = XDisplayName(nullptr);
    error = std::string("cannot open X display \"") + (name != nullptr ? name : "") + "\"";
    return nullptr;
  }

  Display* const display = opening->ui;
  opening->screen = DefaultScreen(display);
  opening->root = RootWindow(display, opening->screen);
  opening->visual = DefaultVisual(display, opening->screen);
  opening->depth = DefaultDepth(display, opening->screen);
  opening->dibLayout = hasDibLayout(display, opening->visual, opening->depth);
  opening->wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
  opening->wmDeleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  opening->netWmName = XInternAtom(display, "_NET_WM_NAME", False);
  opening->netWmIconName = XInternAtom(display, "_NET_WM_ICON_NAME", False);
  opening->utf8String = XInternAtom(display, "UTF8_STRING", False);
  opening->motifWmHints = XInternAtom(display, "_MOTIF_WM_HINTS", False);

  current = opening;
  return opening;
}

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display), exclusive_(trapMutex) {
  XSync(display_, False);
  trappedErrors.store(0);
  trappedDisplay.store(display_);
}

X11ErrorTrap::~X11ErrorTrap() {
  // Errors still in flight would then be ignored rather than charged to
  // the next trap.
  XSync(display_, False);
  trappedDisplay.store(nullptr);
}

bool X11ErrorTrap::caughtError() {
  XSync(display_, False);
  return trappedErrors.load() != 0;
}

std::shared_ptr<X11Connections> openedX11() {
  const std::lock_guard lock(openMutex);
  return current.lock();
}

}  // namespace zelvor::platform
