// The spin before sleeping in waits without time limit: a signal that comes
// while a waiter spins ends the wait without a sleep, one that comes after
// the spin still wakes it, the lowest-position and auto-reset rules hold as
// they do for sleeping waiters, and no hand-off is lost whatever the spin
// time. Timed waits never spin. Also runs under ThreadSanitizer.
#include "platform/kernel_services.h"
#include "platform/posix_waitable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using zelvor::platform::setWaitSpinTime;
using zelvor::platform::waitSpinTime;

class TestEvent {
 public:
  explicit TestEvent(bool manualReset = true)
      : handle(CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr)) {}
  ~TestEvent() { CloseHandle(handle); }
  TestEvent(const TestEvent&) = delete;
  TestEvent& operator=(const TestEvent&) = delete;
  HANDLE get() const { return handle; }

 private:
  HANDLE handle;
};

// Each test chooses the spin time; the process's default comes back after.
class WaitSpinTest : public testing::Test {
 protected:
  void TearDown() override { setWaitSpinTime(saved); }

  std::chrono::nanoseconds const saved = waitSpinTime();
};

TEST_F(WaitSpinTest, ASignalDuringTheSpinEndsTheWaitWithoutASleep) {
  // Long enough that the signal, sent once the waiter is spinning, surely
  // comes within it, even on a loaded machine.
  setWaitSpinTime(5s);
  TestEvent const event;
  std::atomic<bool> waiting{false};
  std::uint64_t const spinEndsBefore = zelvor::platform::waitsEndedBySpin();
  std::uint64_t const wakeupsBefore = zelvor::platform::waiterWakeups();
  std::thread waiter([&] {
    waiting = true;
    EXPECT_EQ(WaitForSingleObject(event.get(), INFINITE), WAIT_OBJECT_0);
  });
  while (!waiting) std::this_thread::yield();
  std::this_thread::sleep_for(5ms);
  SetEvent(event.get());
  waiter.join();
  EXPECT_EQ(zelvor::platform::waitsEndedBySpin() - spinEndsBefore, 1u);
  EXPECT_EQ(zelvor::platform::waiterWakeups(), wakeupsBefore);
}

TEST_F(WaitSpinTest, ASignalAfterTheSpinStillWakesTheSleeper) {
  for (auto spin : {std::chrono::nanoseconds(0), std::chrono::nanoseconds(1000)}) {
    SCOPED_TRACE(testing::Message() << "spin " << spin.count() << " ns");
    setWaitSpinTime(spin);
    TestEvent const event;
    std::atomic<bool> returned{false};
    std::uint64_t const wakeupsBefore = zelvor::platform::waiterWakeups();
    std::thread waiter([&] {
      EXPECT_EQ(WaitForSingleObject(event.get(), INFINITE), WAIT_OBJECT_0);
      returned = true;
    });
    std::this_thread::sleep_for(30ms);  // far beyond the spin
    EXPECT_FALSE(returned);
    SetEvent(event.get());
    waiter.join();
    EXPECT_GE(zelvor::platform::waiterWakeups() - wakeupsBefore, 1u) << "the waiter never slept";
  }
}

TEST_F(WaitSpinTest, ASpinningWaitAnyReportsThePositionSignalledAndTheLowestOfTwo) {
  setWaitSpinTime(5s);
  for (DWORD position : {0u, 1u}) {
    TestEvent const interrupt, start;
    HANDLE const handles[] = {interrupt.get(), start.get()};
    std::atomic<bool> waiting{false};
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] {
      waiting = true;
      result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    });
    while (!waiting) std::this_thread::yield();
    std::this_thread::sleep_for(2ms);
    SetEvent(handles[position]);
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0 + position);

    // Both signalled when the wait looks: the interrupt, at position 0.
    SetEvent(interrupt.get());
    SetEvent(start.get());
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, INFINITE), WAIT_OBJECT_0);
  }
}

TEST_F(WaitSpinTest, AnAutoResetSignalReleasesOneSpinningWaiter) {
  setWaitSpinTime(5s);
  TestEvent const event(false);
  std::atomic<int> released{0};
  std::atomic<int> waiting{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      ++waiting;
      if (WaitForSingleObject(event.get(), INFINITE) == WAIT_OBJECT_0) ++released;
    });
  }
  while (waiting < 2) std::this_thread::yield();
  SetEvent(event.get());
  auto const deadline = Clock::now() + 10s;
  while (released < 1 && Clock::now() < deadline) std::this_thread::yield();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(released, 1);
  SetEvent(event.get());
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(released, 2);
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

TEST_F(WaitSpinTest, TimedWaitsDoNotSpin) {
  setWaitSpinTime(30s);
  TestEvent const event;
  auto const start = Clock::now();
  EXPECT_EQ(WaitForSingleObject(event.get(), 5), WAIT_TIMEOUT);
  EXPECT_LT(Clock::now() - start, 10s);
}

// The render loop's hand-off, many times over: one thread sets a start event
// and waits for a done event, the other waits for start (beside an interrupt
// event), resets it and sets done. A lost wake-up hangs the exchange; the
// guard fails the test instead.
TEST_F(WaitSpinTest, NoHandOffIsLostWhateverTheSpin) {
  for (auto spin : {0ns, 200ns, 4000ns, 100000ns}) {
    SCOPED_TRACE(testing::Message() << "spin " << spin.count() << " ns");
    setWaitSpinTime(spin);
    TestEvent const interrupt, start, done;
    constexpr int rounds = 1500;
    std::atomic<int> handled{0};
    std::thread worker([&] {
      HANDLE const handles[] = {interrupt.get(), start.get()};
      for (;;) {
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
        ResetEvent(start.get());
        ++handled;
        SetEvent(done.get());
      }
    });
    bool lost = false;
    for (int round = 0; round < rounds && !lost; ++round) {
      SetEvent(start.get());
      lost = WaitForSingleObject(done.get(), 10000) != WAIT_OBJECT_0;
      ResetEvent(done.get());
    }
    SetEvent(interrupt.get());
    worker.join();
    EXPECT_FALSE(lost);
    EXPECT_EQ(handled, rounds);
  }
}

}  // namespace
