// The X11 window backend: creates, shows, titles and destroys windows on the
// user-interface connection, turns its events into window messages, and
// answers the cursor calls on the presentation connection (see
// x11_connection.h for who uses which connection).
//
// The window manager draws the frame, so an X window here is exactly the
// client area; its size hints fix it (minimum = maximum), and the Motif hints
// ask the manager for no resize and no maximise.
#include "platform/window_system.h"
#include "platform/x11_connection.h"
#include "platform/x11_window_state.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <map>
#include <memory>
#include <thread>

namespace zelvor::platform {
namespace {

struct XFreeDeleter {
  void operator()(void* data) const { XFree(data); }
};

// X window ids of our windows, for event translation. Only the
// user-interface thread creates, destroys and looks up windows here.
std::map<::Window, std::weak_ptr<Window>> windowsById;

void setFixedSize(X11Connections& x11, ::Window id, int width, int height) {
  std::unique_ptr<XSizeHints, XFreeDeleter> hints(XAllocSizeHints());
  if (!hints) return;
  hints->flags = PMinSize | PMaxSize;
  hints->min_width = hints->max_width = width;
  hints->min_height = hints->max_height = height;
  XSetWMNormalHints(x11.ui, id, hints.get());

  // _MOTIF_WM_HINTS: functions = move, minimise, close (no resize, no maximise).
  constexpr long motifFunctions = 1L << 0;
  constexpr long move = 1L << 2;
  constexpr long minimise = 1L << 3;
  constexpr long close = 1L << 5;
  const long motif[5] = {motifFunctions, move | minimise | close, 0, 0, 0};
  XChangeProperty(x11.ui, id, x11.motifWmHints, x11.motifWmHints, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(motif), 5);
}

// A whole client area, so a frame of bands can be in flight before a worker
// waits for the server; within bounds for tiny and huge windows.
std::size_t sharedSegmentBytes(int width, int height) {
  constexpr std::size_t least = std::size_t{256} << 10;
  constexpr std::size_t most = std::size_t{16} << 20;
  const std::size_t area =
      static_cast<std::size_t>(std::max(width, 1)) * static_cast<std::size_t>(std::max(height, 1)) * 4;
  return std::clamp(area, least, most);
}

bool create(Window& window, std::string& error) {
  auto connections = openX11(error);
  if (!connections) return false;
  X11Connections& x11 = *connections;
  auto none = std::thread::id{};
  x11.uiThread.compare_exchange_strong(none, std::this_thread::get_id());

  const auto width = static_cast<unsigned>(std::max(window.width, 1));
  const auto height = static_cast<unsigned>(std::max(window.height, 1));
  XSetWindowAttributes attributes{};
  // The server fills exposed parts with the class brush's colour until the
  // program's own pixels arrive.
  attributes.background_pixel =
      window.whiteBackground ? WhitePixel(x11.ui, x11.screen) : BlackPixel(x11.ui, x11.screen);
  attributes.event_mask = ExposureMask | StructureNotifyMask;
  const ::Window id = XCreateWindow(x11.ui, x11.root, window.x, window.y, width, height, 0, x11.depth, InputOutput,
                                    x11.visual, CWBackPixel | CWEventMask, &attributes);
  if (id == 0) {
    error = "XCreateWindow failed";
    return false;
  }
  setFixedSize(x11, id, static_cast<int>(width), static_cast<int>(height));
  XSetWMProtocols(x11.ui, id, &x11.wmDeleteWindow, 1);
  XClassHint classHint{const_cast<char*>("zelvor"), const_cast<char*>("Zelvor")};
  XSetClassHint(x11.ui, id, &classHint);
  // The presentation connection may only name the window once the server
  // has created it.
  XSync(x11.ui, False);

  auto state = std::make_shared<X11WindowState>();
  state->id = id;
  {
    const std::lock_guard lock(x11.presentMutex);
    state->gc = XCreateGC(x11.present, id, 0, nullptr);
    if (x11.dibLayout && x11SharedMemoryWanted()) {
      state->shm = X11SharedImages::attach(x11, id, sharedSegmentBytes(window.width, window.height));
    }
    XFlush(x11.present);
  }
  state->connections = std::move(connections);
  windowsById[id] = window.weak_from_this();
  window.x11 = std::move(state);
  return true;
}

void destroy(Window& window) {
  if (!window.x11 || window.x11->id == 0) return;
  X11WindowState& state = *window.x11;
  X11Connections& x11 = *state.connections;
  {
    const std::lock_guard lock(x11.presentMutex);
    // Waits for the server to finish with the segment before it goes.
    state.shm.reset();
    XFreeGC(x11.present, state.gc);
    // Whatever the workers sent reaches the server before the window goes.
    XSync(x11.present, False);
  }
  windowsById.erase(state.id);
  XDestroyWindow(x11.ui, state.id);
  XSync(x11.ui, False);
  state.gc = nullptr;
  state.id = 0;
  // The last window's departure closes the connections.
  state.connections.reset();
}

void show(Window& window, bool visible) {
  if (!window.x11 || window.x11->id == 0) return;
  X11Connections& x11 = *window.x11->connections;
  if (visible) {
    XMapWindow(x11.ui, window.x11->id);
  } else {
    XUnmapWindow(x11.ui, window.x11->id);
  }
  XFlush(x11.ui);
}

void setTitle(Window& window, const std::string& utf8) {
  if (!window.x11 || window.x11->id == 0) return;
  X11Connections& x11 = *window.x11->connections;
  const auto* const text = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto length = static_cast<int>(utf8.size());
  for (const Atom property : {x11.netWmName, x11.netWmIconName, static_cast<Atom>(XA_WM_NAME)}) {
    XChangeProperty(x11.ui, window.x11->id, property, x11.utf8String, 8, PropModeReplace, text, length);
  }
  XFlush(x11.ui);
}

int copyDib(Window& window, const DibCopy& copy, const RECT&, const void* bits) {
  if (!window.x11) return 0;
  return x11CopyDib(*window.x11, copy, bits);
}

bool cursorPos(POINT& point) {
  std::string error;
  const auto connections = openX11(error);
  if (!connections) return false;
  X11Connections& x11 = *connections;
  const std::lock_guard lock(x11.presentMutex);
  ::Window root = 0;
  ::Window child = 0;
  int rootX = 0;
  int rootY = 0;
  int windowX = 0;
  int windowY = 0;
  unsigned mask = 0;
  if (!XQueryPointer(x11.present, x11.root, &root, &child, &rootX, &rootY, &windowX, &windowY, &mask)) return false;
  point = POINT{rootX, rootY};
  return true;
}

bool screenToClient(Window& window, POINT& point) {
  if (!window.x11 || window.x11->id == 0) return false;
  X11Connections& x11 = *window.x11->connections;
  const std::lock_guard lock(x11.presentMutex);
  int x = 0;
  int y = 0;
  ::Window child = 0;
  if (!XTranslateCoordinates(x11.present, x11.root, window.x11->id, point.x, point.y, &x, &y, &child)) return false;
  point = POINT{x, y};
  return true;
}

// The user-interface connection's events are read only by the thread that
// creates windows on it.
std::shared_ptr<X11Connections> ownConnections() {
  auto connections = openedX11();
  if (connections && connections->uiThread.load() != std::this_thread::get_id()) connections.reset();
  return connections;
}

int eventDescriptor() {
  const auto connections = ownConnections();
  return connections ? ConnectionNumber(connections->ui) : -1;
}

void translate(X11Connections& x11, const XEvent& event) {
  const auto found = windowsById.find(event.xany.window);
  if (found == windowsById.end()) return;
  const auto window = found->second.lock();
  if (!window) return;
  if (event.type == Expose) {
    const XExposeEvent& expose = event.xexpose;
    const RECT area{expose.x, expose.y, expose.x + expose.width, expose.y + expose.height};
    invalidateWindow(*window, &area);
  } else if (event.type == ClientMessage && event.xclient.message_type == x11.wmProtocols &&
             event.xclient.format == 32 && static_cast<Atom>(event.xclient.data.l[0]) == x11.wmDeleteWindow) {
    postWindowMessage(*window, WM_CLOSE, 0, 0);
  }
}

void pumpEvents() {
  const auto connections = ownConnections();
  if (!connections) return;
  // XPending also flushes what this thread queued, before the loop sleeps.
  while (XPending(connections->ui) > 0) {
    XEvent event;
    XNextEvent(connections->ui, &event);
    translate(*connections, event);
  }
}

}  // namespace

std::string windowTransport(HWND handle) {
  const auto window = findWindow(handle);
  if (!window) return {};
  const std::lock_guard lock(window->drawMutex);
  if (!window->x11 || window->x11->id == 0) return {};
  return window->x11->shm ? "MIT-SHM" : "XPutImage";
}

namespace {

constexpr WindowBackend backend{
    "x11", create, destroy, show, setTitle, copyDib, cursorPos, screenToClient, eventDescriptor, pumpEvents,
};

}  // namespace

const WindowBackend& x11Backend() { return backend; }

}  // namespace zelvor::platform
