// The X11 backend's two connections to the X server and what it learnt about
// the screen when it opened them. Private to the x11_* files.
//
// `ui` belongs to the thread that creates windows: it creates, maps, titles
// and destroys them and reads their events. `present` serves every other
// thread — StretchDIBits from the render workers, the cursor calls from the
// render thread, and a helper thread that flushes it (flushSoon) — one call
// at a time under `presentMutex`. Keeping the two
// apart means a worker's copy never waits for the message loop, and no Xlib
// call on one connection races another on the same connection. XInitThreads
// runs before the first XOpenDisplay all the same, as Xlib asks of any
// program that uses it from more than one thread.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zelvor::platform {

// Open while anyone holds it: every X11 window holds it, so the connections
// close with the last window (or with the last cursor query made without
// one), before the process and its X server go away.
struct X11Connections {
  X11Connections() = default;
  ~X11Connections();
  X11Connections(const X11Connections&) = delete;
  X11Connections& operator=(const X11Connections&) = delete;

  Display* ui = nullptr;
  std::atomic<std::thread::id> uiThread{};  // the thread that creates windows on `ui`; set once
  Display* present = nullptr;
  std::mutex presentMutex;

  // Asks for what was queued on `present` to be written to the server
  // within flushDelay, by a helper thread started on first use. Called with
  // presentMutex held, instead of XFlush after each small request: a frame's
  // bands then reach the server in a few writes rather than one each, which
  // spares the server (and our processors) a wake-up per band.
  void flushSoon();
  static constexpr std::chrono::microseconds flushDelay{200};

  int screen = 0;
  ::Window root = 0;
  Visual* visual = nullptr;
  int depth = 0;
  // True when the screen's pixels are 32-bit words 0x??RRGGBB, exactly a
  // 32-bit DIB's: copies then send the caller's rows as they are.
  bool dibLayout = false;

  Atom wmProtocols = 0;
  Atom wmDeleteWindow = 0;
  Atom netWmName = 0;
  Atom netWmIconName = 0;
  Atom utf8String = 0;
  Atom motifWmHints = 0;

 private:
  void flushLoop();

  // Under presentMutex.
  bool unflushed_ = false;
  bool closing_ = false;
  std::condition_variable flushWanted_;
  std::thread flusher_;
};

// The open connections, opened now if none are (any thread). Null, with the
// reason in `error`, when the display cannot be opened; a later call tries
// again.
std::shared_ptr<X11Connections> openX11(std::string& error);

// The connections if they are open, else null. Any thread.
std::shared_ptr<X11Connections> openedX11();

// Catches the X errors of the requests that one thread sends on `display`
// while the trap is set, where Xlib's process-wide handler would otherwise
// count and forget them. Earlier requests are synchronised first, so their
// errors are not charged to the trap. One trap at a time in the process (the
// constructor waits for another to go); the caller holds whatever lock
// guards `display`.
class X11ErrorTrap {
 public:
  explicit X11ErrorTrap(Display* display);
  ~X11ErrorTrap();
  X11ErrorTrap(const X11ErrorTrap&) = delete;
  X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

  // Waits for the server to process what was sent since the trap was set;
  // true when any of it failed.
  bool caughtError();

 private:
  Display* display_;
  std::unique_lock<std::mutex> exclusive_;
};

}  // namespace zelvor::platform
