// The frame cycle of a Screen's render thread and the loop of its render
// workers.
//
// The render thread owns the workers, their start and done events and their
// band images for as long as renderLoop runs. It holds the Screen's frameLock
// for a whole frame; while it waits for the workers it changes nothing they
// read (the current drawer, its band rectangles and records, the band
// counter), and the start events publish what it wrote before. Workers take
// only bandLock (one read and increment) and presentLock (one copy to the
// window), never both and never while drawing.
#include "render/render_loop.h"

#include "image/image.h"
#include "image/memory_helper.h"
#include "render/sprite_drawer.h"
#include "render/worker_count.h"
#include "runtime/event.h"
#include "runtime/exception.h"
#include "runtime/thread.h"
#include "screen/screen.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <exception>
#include <memory>
#include <vector>

namespace zelvor {

namespace {

struct WorkerSlot {
  std::shared_ptr<Thread> thread;
  std::shared_ptr<Event> startEvent;  // set by the render thread, reset by the worker
  std::shared_ptr<Event> doneEvent;   // set by the worker, reset by the render thread
};

// What a worker's body holds. The Screen outlives its render thread, and so
// its workers; the band image belongs to this worker alone.
struct WorkerState {
  Screen* screen;
  std::shared_ptr<Event> startEvent;
  std::shared_ptr<Event> doneEvent;
  std::shared_ptr<IImage> bandImage;
};

// Claims bands until none is left, drawing and presenting each dirty one.
void drawClaimedBands(Screen& screen, IImage& bandImage) {
  // No reference is taken: the render thread holds the drawer until every
  // worker has set its done event.
  const SpriteDrawer& drawer = *screen.getCurrentDrawer();
  std::int32_t const bandCount = drawer.getBandCount();
  std::uint32_t const bandRows = drawer.getBandRows();
  for (;;) {
    std::int32_t const index = screen.claimNextBand();
    if (index >= bandCount) return;
    Rect const dirtyRect = drawer.getBandRect(index);
    if (isEmpty(dirtyRect)) continue;
    drawer.drawBand(index, bandImage);
    CriticalSectionLock present(screen.getPresentLock());
    screen.presentBand(bandImage, dirtyRect, static_cast<std::int32_t>(static_cast<std::uint32_t>(index) * bandRows));
  }
}

// Ends only by InterruptedException, which the thread's entry routine takes.
void workerLoop(const WorkerState& state, ThreadNotifier& notifier) {
  for (;;) {
    notifier.wait(*state.startEvent);
    state.startEvent->reset();
    try {
      drawClaimedBands(*state.screen, *state.bandImage);
    } catch (const std::exception&) {
      // A failing band ends this worker's share of the frame; the others
      // claim the bands it had not reached.
    }
    // Set on every path, so the render thread never waits in vain.
    state.doneEvent->set();
  }
}

Thread::Body makeWorkerBody(Screen& screen, const WorkerSlot& slot) {
  std::shared_ptr<SpriteDrawer> const drawer = screen.getSpriteDrawer();
  std::int32_t const width = std::max(drawer->getWidth(), 0);
  std::uint32_t const bandRows = drawer->getBandRows();
  std::size_t const pitch = std::size_t(width) * 4;
  auto buffer = MemoryHelper::allocateBuffer(pitch * bandRows);
  auto bandImage = std::make_shared<Image>(width, static_cast<std::int32_t>(bandRows), static_cast<std::int32_t>(pitch),
                                           std::move(buffer));
  WorkerState state{&screen, slot.startEvent, slot.doneEvent, std::move(bandImage)};
  return [state = std::move(state)](ThreadNotifier& notifier) { workerLoop(state, notifier); };
}

// On a failure halfway, the slots built so far go with the vector, and each
// Thread's destructor interrupts and joins its worker.
std::vector<WorkerSlot> startWorkers(Screen& screen) {
  // A system that reports no processor still gets one worker; with none, no
  // frame would ever be drawn.
  std::uint32_t const count = std::max(renderWorkerCount(), 1u);
  std::vector<WorkerSlot> workers;
  workers.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    WorkerSlot& slot = workers.emplace_back(
        WorkerSlot{std::make_shared<Thread>(), std::make_shared<Event>(), std::make_shared<Event>()});
    slot.thread->start(makeWorkerBody(screen, slot));
    // A thread that could not be created would never set its done event, and
    // the first frame would wait for it for ever: go on without it.
    if (!slot.thread->getHandle()) workers.pop_back();
  }
  return workers;
}

// Interrupts every worker before joining any, so that they wind down together.
void stopWorkers(const std::vector<WorkerSlot>& workers) {
  for (const WorkerSlot& worker : workers) worker.thread->interrupt();
  for (const WorkerSlot& worker : workers) worker.thread->join();
}

// Wakes the workers and waits for each, in list order. If a start or a wait
// fails halfway, the destructor still waits for every worker that was woken,
// so that endFrame never clears the records while a worker reads them.
class WorkerHandOff {
 public:
  explicit WorkerHandOff(const std::vector<WorkerSlot>& workers) : workers(workers) {}
  ~WorkerHandOff() {
    for (; waited < started; ++waited) {
      try {
        workers[waited].doneEvent->wait(INFINITE);
        workers[waited].doneEvent->reset();
      } catch (const std::exception&) {
        // Already unwinding from the first failure, which the frame reports.
      }
    }
  }
  WorkerHandOff(const WorkerHandOff&) = delete;
  WorkerHandOff& operator=(const WorkerHandOff&) = delete;

  void run() {
    for (; started < workers.size(); ++started) workers[started].startEvent->set();
    while (waited < started) {
      const WorkerSlot& worker = workers[waited];
      worker.doneEvent->wait(INFINITE);
      ++waited;
      worker.doneEvent->reset();
    }
  }

 private:
  const std::vector<WorkerSlot>& workers;
  std::size_t started = 0;
  std::size_t waited = 0;
};

// Runs endFrame on every exit once beginFrame has completed.
class FrameEnd {
 public:
  explicit FrameEnd(SpriteDrawer& drawer) : drawer(drawer) {}
  ~FrameEnd() { drawer.endFrame(); }
  FrameEnd(const FrameEnd&) = delete;
  FrameEnd& operator=(const FrameEnd&) = delete;

 private:
  SpriteDrawer& drawer;
};

void drawDirtyBands(Screen& screen, const std::vector<WorkerSlot>& workers) {
  std::shared_ptr<SpriteDrawer> drawer = screen.getSpriteDrawer();
  if (!drawer->isDirty()) return;
  auto const begin = std::chrono::steady_clock::now();
  screen.setCurrentDrawer(drawer);
  {
    drawer->beginFrame();
    FrameEnd const end(*drawer);
    WorkerHandOff handOff(workers);
    handOff.run();
  }
  screen.setLastDrawTime(std::chrono::steady_clock::now() - begin);
}

// Calls every callback once, in registration order, dropping those that
// return true. Kept callbacks move forward over removed ones as the pass
// goes; the destructor closes the gap on every exit, so a callback that
// throws ends the pass but keeps itself and those after it, in order.
class CallbackPass {
 public:
  explicit CallbackPass(std::vector<FrameCallback>& callbacks) : callbacks(callbacks) {}
  ~CallbackPass() {
    if (kept == next) return;
    auto const first = callbacks.begin();
    auto const end = std::move(first + static_cast<std::ptrdiff_t>(next), callbacks.end(),
                               first + static_cast<std::ptrdiff_t>(kept));
    callbacks.erase(end, callbacks.end());
  }
  CallbackPass(const CallbackPass&) = delete;
  CallbackPass& operator=(const CallbackPass&) = delete;

  void run(Screen& screen) {
    for (; next < callbacks.size(); ++next) {
      if (callbacks[next](screen)) continue;
      if (kept != next) callbacks[kept] = std::move(callbacks[next]);
      ++kept;
    }
  }

 private:
  std::vector<FrameCallback>& callbacks;
  std::size_t kept = 0;  // callbacks[0, kept) stay registered
  std::size_t next = 0;  // the next one to call
};

void runFrame(Screen& screen, const std::vector<WorkerSlot>& workers) {
  CriticalSectionLock const frame(screen.getFrameLock());
  drawDirtyBands(screen, workers);
  CallbackPass pass(screen.getFrameCallbacks());
  pass.run(screen);
}

}  // namespace

void renderLoop(Screen& screen, ThreadNotifier& notifier) {
  std::vector<WorkerSlot> workers = startWorkers(screen);
  while (!notifier.isInterrupted()) {
    try {
      runFrame(screen, workers);
    } catch (const std::exception&) {
      // The frame is over (endFrame has run if beginFrame had); go on.
    }
    try {
      notifier.sleep(1);
    } catch (const InterruptedException&) {
      break;
    }
  }
  stopWorkers(workers);
}

}  // namespace zelvor
