// Message queues, the message loop calls and timers. The owning thread reads
// its queue; any thread may post to it (see message_queue.h).
#include "platform/message_queue.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <stdexcept>

namespace zelvor::platform {

WakePipe::WakePipe() {
  if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) throw std::runtime_error("cannot create the message queue's wake pipe");
}

WakePipe::~WakePipe() {
  close(fds_[0]);
  close(fds_[1]);
}

void WakePipe::signal() const {
  const char byte = 1;
  // A full pipe already holds a wake-up, so a failed write loses nothing.
  [[maybe_unused]] const auto written = write(fds_[1], &byte, 1);
}

void WakePipe::drain() const {
  char buffer[64];
  while (read(fds_[0], buffer, sizeof buffer) > 0) {
  }
}

DWORD messageTime() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::shared_ptr<MessageQueue> MessageQueue::current() {
  thread_local const std::shared_ptr<MessageQueue> queue = std::make_shared<MessageQueue>();
  return queue;
}

void MessageQueue::post(const MSG& message) {
  {
    const std::lock_guard lock(mutex_);
    posted_.push_back(message);
  }
  wake_.signal();
}

void MessageQueue::postQuit(int exitCode) {
  {
    const std::lock_guard lock(mutex_);
    quitPending_ = true;
    quitCode_ = exitCode;
  }
  wake_.signal();
}

void MessageQueue::adopt(const std::shared_ptr<Window>& window) {
  const std::lock_guard lock(mutex_);
  std::erase_if(windows_, [](const std::weak_ptr<Window>& entry) { return entry.expired(); });
  windows_.push_back(window);
}

void MessageQueue::forget(HWND window) {
  const std::lock_guard lock(mutex_);
  std::erase_if(windows_, [window](const std::weak_ptr<Window>& entry) {
    const auto live = entry.lock();
    return !live || live->handle == window;
  });
  std::erase_if(posted_, [window](const MSG& message) { return message.hwnd == window; });
  std::erase_if(timers_, [window](const Timer& timer) { return timer.window == window; });
}

UINT_PTR MessageQueue::setTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC callback) {
  // Windows raises periods below 10 ms to 10 ms; so do we, which also keeps a
  // 0 ms timer from turning the message loop into a spin.
  const auto period = std::chrono::milliseconds(std::max<UINT>(milliseconds, 10));
  const std::lock_guard lock(mutex_);
  if (window == nullptr) id = nextThreadTimerId_++;
  const auto due = Clock::now() + period;
  const auto existing = std::find_if(timers_.begin(), timers_.end(),
                                     [&](const Timer& timer) { return timer.window == window && timer.id == id; });
  if (existing != timers_.end()) {
    *existing = Timer{window, id, period, due, callback};
  } else {
    timers_.push_back(Timer{window, id, period, due, callback});
  }
  wake_.signal();  // the wait may have to end sooner now
  // Windows' result is non-zero on success; a window timer answers with its id.
  return id != 0 ? id : 1;
}

bool MessageQueue::killTimer(HWND window, UINT_PTR id) {
  const std::lock_guard lock(mutex_);
  return std::erase_if(timers_, [&](const Timer& timer) { return timer.window == window && timer.id == id; }) > 0;
}

namespace {

bool passes(HWND windowFilter, UINT filterMin, UINT filterMax, HWND window, UINT message) {
  if (windowFilter != nullptr && window != windowFilter) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return message >= filterMin && message <= filterMax;
}

}  // namespace

bool MessageQueue::takeNext(MSG& message, bool& quit, HWND filter, UINT filterMin, UINT filterMax,
                            int& waitMilliseconds) {
  message = MSG{};
  message.time = messageTime();
  quit = false;

  const auto posted = std::find_if(posted_.begin(), posted_.end(), [&](const MSG& candidate) {
    return passes(filter, filterMin, filterMax, candidate.hwnd, candidate.message);
  });
  if (posted != posted_.end()) {
    message = *posted;
    posted_.erase(posted);
    return true;
  }

  // WM_QUIT passes every filter: a loop that filters must still be able to end.
  if (quitPending_) {
    quitPending_ = false;
    quit = true;
    message.message = WM_QUIT;
    message.wParam = static_cast<WPARAM>(quitCode_);
    return true;
  }

  for (const auto& entry : windows_) {
    const auto window = entry.lock();
    if (!window || window->life.load() != WindowLife::Alive) continue;
    if (!passes(filter, filterMin, filterMax, window->handle, WM_PAINT)) continue;
    const std::lock_guard state(window->stateMutex);
    if (window->updatePending) {
      message.hwnd = window->handle;
      message.message = WM_PAINT;
      return true;
    }
  }

  const auto now = Clock::now();
  Timer* next = nullptr;
  for (auto& timer : timers_) {
    if (!passes(filter, filterMin, filterMax, timer.window, WM_TIMER)) continue;
    if (next == nullptr || timer.due < next->due) next = &timer;
  }
  if (next == nullptr) {
    waitMilliseconds = -1;
    return false;
  }
  if (next->due <= now) {
    // Like Windows, a timer that fell behind fires once and is rescheduled
    // from now, so a busy loop never sees a burst of stale WM_TIMERs.
    next->due = now + next->period;
    message.hwnd = next->window;
    message.message = WM_TIMER;
    message.wParam = next->id;
    message.lParam = reinterpret_cast<LPARAM>(next->callback);
    return true;
  }
  // Round up so the wait never ends just before the deadline and spins.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next->due - now).count();
  waitMilliseconds = static_cast<int>(std::min<std::int64_t>(wait, INT_MAX));
  return false;
}

bool MessageQueue::get(MSG& message, HWND filter, UINT filterMin, UINT filterMax) {
  for (;;) {
    const WindowBackend& backend = selectedBackend();
    backend.pumpEvents();
    int waitMilliseconds = -1;
    {
      const std::lock_guard lock(mutex_);
      bool quit = false;
      if (takeNext(message, quit, filter, filterMin, filterMax, waitMilliseconds)) return !quit;
    }
    pollfd fds[2] = {{wake_.readEnd(), POLLIN, 0}, {backend.eventDescriptor(), POLLIN, 0}};
    const nfds_t count = fds[1].fd >= 0 ? 2 : 1;
    if (poll(fds, count, waitMilliseconds) < 0 && errno != EINTR) {
      throw std::runtime_error("poll failed in the message loop");
    }
    wake_.drain();
  }
}

}  // namespace zelvor::platform

using zelvor::platform::MessageQueue;

BOOL GetMessageW(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
  if (message == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  return MessageQueue::current()->get(*message, window, filterMin, filterMax) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*) {
  return FALSE;  // no keyboard messages, so nothing to translate
}

LRESULT DispatchMessageW(const MSG* message) {
  if (message == nullptr) return 0;
  if (message->message == WM_TIMER && message->lParam != 0) {
    const auto callback = reinterpret_cast<TIMERPROC>(message->lParam);
    callback(message->hwnd, WM_TIMER, message->wParam, message->time);
    return 0;
  }
  const auto window = zelvor::platform::findWindow(message->hwnd);
  if (!window) return 0;
  return window->procedure(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      if (BeginPaint(window, &paint) != nullptr) EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND: return 1;  // the window system already shows the class background there
    default: return 0;
  }
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == nullptr) {
    MessageQueue::current()->post(MSG{nullptr, message, wParam, lParam, zelvor::platform::messageTime(), {}});
    return TRUE;
  }
  const auto target = zelvor::platform::findWindow(window);
  if (!target) return FALSE;
  return zelvor::platform::postWindowMessage(*target, message, wParam, lParam) ? TRUE : FALSE;
}

void PostQuitMessage(int exitCode) { MessageQueue::current()->postQuit(exitCode); }

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC callback) {
  if (window == nullptr) return MessageQueue::current()->setTimer(nullptr, id, milliseconds, callback);
  const auto target = zelvor::platform::findWindow(window);
  if (!target) return 0;
  return target->queue->setTimer(window, id, milliseconds, callback);
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  if (window == nullptr) return MessageQueue::current()->killTimer(nullptr, id) ? TRUE : FALSE;
  const auto target = zelvor::platform::findWindow(window);
  if (!target) return FALSE;
  return target->queue->killTimer(window, id) ? TRUE : FALSE;
}
