// Events and the wait calls: reset modes, the lowest-position rule of
// wait-any, time-outs, parameter and handle errors, and that a signal wakes
// only the threads that wait for the signalled object.
#include "platform/kernel_services.h"
#include "platform/posix_waitable.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Owns one event handle for the length of a test.
class TestEvent {
 public:
  explicit TestEvent(bool manualReset = true, bool initialState = false)
      : handle(CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr)) {}
  ~TestEvent() { CloseHandle(handle); }
  TestEvent(const TestEvent&) = delete;
  TestEvent& operator=(const TestEvent&) = delete;
  HANDLE get() const { return handle; }

 private:
  HANDLE handle;
};

TEST(KernelEvents, ResetModesAndInitialState) {
  struct Case {
    bool manualReset;
    bool initialState;
    bool setBefore;
    DWORD first, second;  // two tests of the state in a row
  };
  Case const cases[] = {
      {true, false, false, WAIT_TIMEOUT, WAIT_TIMEOUT},  {true, true, false, WAIT_OBJECT_0, WAIT_OBJECT_0},
      {true, false, true, WAIT_OBJECT_0, WAIT_OBJECT_0}, {false, false, false, WAIT_TIMEOUT, WAIT_TIMEOUT},
      {false, true, false, WAIT_OBJECT_0, WAIT_TIMEOUT},  // consumed by the wait that returns it
      {false, false, true, WAIT_OBJECT_0, WAIT_TIMEOUT},
  };
  for (Case const& c : cases) {
    SCOPED_TRACE(testing::Message() << "manual " << c.manualReset << " initial " << c.initialState << " set "
                                    << c.setBefore);
    TestEvent const event(c.manualReset, c.initialState);
    ASSERT_NE(event.get(), nullptr);
    if (c.setBefore) {
      EXPECT_EQ(SetEvent(event.get()), TRUE);
    }
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), c.first);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), c.second);
    EXPECT_EQ(ResetEvent(event.get()), TRUE);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
  }
}

TEST(KernelEvents, NamedEventsAreRefused) {
  SetLastError(0);
  EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, L"zelvor"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

TEST(WaitAny, ReturnsTheLowestSignalledPosition) {
  struct Case {
    std::vector<int> signalled;
    DWORD expected;
  };
  Case const cases[] = {
      {{0}, WAIT_OBJECT_0},    {{3}, WAIT_OBJECT_0 + 3},    {{1, 2}, WAIT_OBJECT_0 + 1},
      {{3, 0}, WAIT_OBJECT_0}, {{2, 3}, WAIT_OBJECT_0 + 2}, {{0, 1, 2, 3}, WAIT_OBJECT_0},
  };
  for (Case const& c : cases) {
    std::array<TestEvent, 4> events;
    std::array<HANDLE, 4> handles{};
    for (std::size_t i = 0; i < events.size(); ++i) handles[i] = events[i].get();
    for (int index : c.signalled) SetEvent(handles[index]);
    EXPECT_EQ(WaitForMultipleObjects(4, handles.data(), FALSE, 0), c.expected);
    EXPECT_EQ(WaitForMultipleObjects(4, handles.data(), FALSE, INFINITE), c.expected);
  }
}

TEST(WaitAny, ConsumesOnlyTheAutoResetEventItReturns) {
  TestEvent const first(false, true);
  TestEvent const second(false, true);
  HANDLE const handles[] = {first.get(), second.get()};
  EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_TIMEOUT);
}

TEST(WaitAny, TheSameHandleTwiceIsTakenOnce) {
  TestEvent const event(false, false);
  HANDLE const handles[] = {event.get(), event.get()};
  std::thread setter([&] { SetEvent(event.get()); });
  EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, INFINITE), WAIT_OBJECT_0);
  setter.join();
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

TEST(WaitAny, SixtyFourObjects) {
  std::array<TestEvent, MAXIMUM_WAIT_OBJECTS> events;
  std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> handles{};
  for (std::size_t i = 0; i < events.size(); ++i) handles[i] = events[i].get();
  std::thread setter([&] { SetEvent(handles.back()); });
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), FALSE, INFINITE),
            WAIT_OBJECT_0 + MAXIMUM_WAIT_OBJECTS - 1);
  setter.join();
}

TEST(WaitErrors, BadParametersAndHandles) {
  TestEvent const a, b;
  HANDLE closed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  CloseHandle(closed);
  std::array<HANDLE, MAXIMUM_WAIT_OBJECTS + 1> many{};
  many.fill(a.get());
  HANDLE const pair[] = {a.get(), b.get()};
  HANDLE const withClosed[] = {a.get(), closed};

  struct Case {
    const char* what;
    DWORD count;
    const HANDLE* handles;
    BOOL waitAll;
    DWORD error;
  };
  Case const cases[] = {
      {"no objects", 0, pair, FALSE, ERROR_INVALID_PARAMETER},
      {"too many objects", MAXIMUM_WAIT_OBJECTS + 1, many.data(), FALSE, ERROR_INVALID_PARAMETER},
      {"null array", 2, nullptr, FALSE, ERROR_INVALID_PARAMETER},
      {"wait for all", 2, pair, TRUE, ERROR_INVALID_PARAMETER},
      {"a closed handle", 2, withClosed, FALSE, ERROR_INVALID_HANDLE},
  };
  for (Case const& c : cases) {
    SetLastError(0);
    EXPECT_EQ(WaitForMultipleObjects(c.count, c.handles, c.waitAll, INFINITE), WAIT_FAILED) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }

  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(closed, INFINITE), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetEvent(closed), FALSE);
  EXPECT_EQ(ResetEvent(closed), FALSE);
}

TEST(WaitTimeouts, ReturnNotBeforeTheTime) {
  TestEvent const event;
  HANDLE const handles[] = {event.get(), event.get()};
  for (DWORD milliseconds : {1u, 15u}) {
    auto const start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event.get(), milliseconds), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, milliseconds), WAIT_TIMEOUT);
    auto const elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 2 * std::chrono::milliseconds(milliseconds));
    EXPECT_LT(elapsed, std::chrono::seconds(5));
  }
}

TEST(WaitTimeouts, SignalEndsATimedWaitEarly) {
  TestEvent const event;
  std::thread setter([&] { SetEvent(event.get()); });
  auto const start = Clock::now();
  EXPECT_EQ(WaitForSingleObject(event.get(), 60000), WAIT_OBJECT_0);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  setter.join();
}

TEST(WaitTimeouts, TimedOutWaiterDoesNotConsumeALaterSignal) {
  TestEvent const event(false, false);
  EXPECT_EQ(WaitForSingleObject(event.get(), 5), WAIT_TIMEOUT);
  SetEvent(event.get());
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
}

// Waiters on their own events, each recording when it has returned.
class WaiterGroup {
 public:
  explicit WaiterGroup(std::size_t count) : events(count), returned(count) {
    for (std::size_t i = 0; i < count; ++i) {
      threads.emplace_back([this, i] {
        results[i] = WaitForSingleObject(events[i].get(), INFINITE);
        returned[i] = true;
      });
    }
  }
  ~WaiterGroup() {
    for (auto& event : events) SetEvent(event.get());
    for (auto& thread : threads) {
      if (thread.joinable()) thread.join();
    }
  }

  std::vector<TestEvent> events;
  std::vector<std::atomic<bool>> returned;
  std::array<DWORD, 64> results{};
  std::vector<std::thread> threads;
};

TEST(WakeUps, SettingOneEventWakesOnlyItsWaiter) {
  constexpr std::size_t waiters = 12;
  WaiterGroup group(waiters);
  // Let the waiters fall asleep. One that is late takes the fast path and
  // wakes no time at all, which only lowers the count checked below.
  Sleep(50);
  std::uint64_t const before = zelvor::platform::waiterWakeups();
  for (std::size_t i = 0; i < waiters; ++i) {
    SetEvent(group.events[i].get());
    group.threads[i].join();
    EXPECT_EQ(group.results[i], WAIT_OBJECT_0);
    for (std::size_t later = i + 1; later < waiters; ++later) EXPECT_FALSE(group.returned[later]) << later;
  }
  std::uint64_t const wakeups = zelvor::platform::waiterWakeups() - before;
  EXPECT_LE(wakeups, waiters) << "a signal woke threads that wait for other objects";
}

TEST(WakeUps, ManualResetReleasesEveryWaiter) {
  TestEvent const event;
  std::atomic<int> released{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      if (WaitForSingleObject(event.get(), INFINITE) == WAIT_OBJECT_0) ++released;
    });
  }
  SetEvent(event.get());
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(released, 4);
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
}

TEST(WakeUps, AutoResetReleasesOneWaiterPerSignal) {
  TestEvent const event(false, false);
  TestEvent const done(false, false);
  std::atomic<int> released{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&] {
      ASSERT_EQ(WaitForSingleObject(event.get(), INFINITE), WAIT_OBJECT_0);
      ++released;
      SetEvent(done.get());
    });
  }
  for (int signal = 1; signal <= 3; ++signal) {
    SetEvent(event.get());
    ASSERT_EQ(WaitForSingleObject(done.get(), INFINITE), WAIT_OBJECT_0);
    // Give a wrongly released second waiter the chance to show itself.
    Sleep(10);
    EXPECT_EQ(released, signal);
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

TEST(WakeUps, WaitAnyReportsTheObjectThatWasSignalled) {
  for (int target = 0; target < 3; ++target) {
    std::array<TestEvent, 3> events;
    HANDLE const handles[] = {events[0].get(), events[1].get(), events[2].get()};
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] { result = WaitForMultipleObjects(3, handles, FALSE, INFINITE); });
    Sleep(5);
    SetEvent(handles[target]);
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0 + DWORD(target));
  }
}

// Many threads hand an auto-reset token around: each signal must be taken by
// exactly one waiter, and no signal may be lost between a look and a sleep.
TEST(WakeUps, NoSignalIsLostOrTakenTwice) {
  constexpr int rounds = 2000;
  TestEvent const token(false, false);
  TestEvent const stop;
  std::atomic<int> taken{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      HANDLE const handles[] = {stop.get(), token.get()};
      while (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        if (++taken < rounds) SetEvent(token.get());
      }
    });
  }
  SetEvent(token.get());
  auto const deadline = Clock::now() + std::chrono::seconds(30);
  while (taken < rounds && Clock::now() < deadline) Sleep(1);
  SetEvent(stop.get());
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(taken, rounds);
}

}  // namespace
