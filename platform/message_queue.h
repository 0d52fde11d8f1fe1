// The message queue of one thread: posted messages, the quit request, the
// windows whose paints it reports and the timers it fires. Private to
// platform/.
//
// Each thread gets its queue on first use and the windows it creates keep a
// reference to it, so PostMessageW from another thread always finds a live
// queue. Posting wakes the owner through a pipe that the wait polls together
// with the window system's descriptor and the next timer deadline: a post
// that races the wait is never lost, and the wait never spins.
#pragma once

#include "platform/window_backend.h"

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace zelvor::platform {

// A pipe descriptor pair, closed on destruction.
class WakePipe {
 public:
  WakePipe();
  ~WakePipe();
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;

  int readEnd() const { return fds_[0]; }
  void signal() const;  // any thread; never blocks
  void drain() const;

 private:
  int fds_[2] = {-1, -1};
};

class MessageQueue {
 public:
  using Clock = std::chrono::steady_clock;

  // The calling thread's queue.
  static std::shared_ptr<MessageQueue> current();

  // Any thread.
  void post(const MSG& message);
  void postQuit(int exitCode);
  void wake() const { wake_.signal(); }

  // Owner thread.
  void adopt(const std::shared_ptr<Window>& window);
  void forget(HWND window);  // drops the window, its posted messages and timers
  UINT_PTR setTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC callback);
  bool killTimer(HWND window, UINT_PTR id);
  // Blocks until a message passes the filter; false for WM_QUIT.
  bool get(MSG& message, HWND filter, UINT filterMin, UINT filterMax);

 private:
  struct Timer {
    HWND window;
    UINT_PTR id;
    Clock::duration period;
    Clock::time_point due;
    TIMERPROC callback;
  };

  // Under mutex_: the next message that passes the filter, in the order
  // Windows gives them (posted, quit, paint, timer); else the time to wait.
  bool takeNext(MSG& message, bool& quit, HWND filter, UINT filterMin, UINT filterMax, int& waitMilliseconds);

  std::mutex mutex_;
  std::deque<MSG> posted_;
  bool quitPending_ = false;
  int quitCode_ = 0;
  std::vector<std::weak_ptr<Window>> windows_;
  std::vector<Timer> timers_;
  UINT_PTR nextThreadTimerId_ = 1;
  WakePipe wake_;
};

DWORD messageTime();

}  // namespace zelvor::platform
