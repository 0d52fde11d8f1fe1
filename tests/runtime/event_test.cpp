// Event and ThreadNotifier on their own: manual-reset state, timed and
// unlimited waits, the lowest-position rule of waitAny (the interrupt wins
// over the start event), and the notifier's sleep and wait.
#include "runtime/event.h"
#include "platform/win32.h"
#include "runtime/exception.h"
#include "runtime/thread_notifier.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using zelvor::Event;
using zelvor::InterruptedException;
using zelvor::ThreadNotifier;
using zelvor::Win32Exception;

TEST(Event, ManualResetState) {
  Event event;
  EXPECT_FALSE(event.wait(0));
  event.set();
  EXPECT_TRUE(event.wait(0));
  EXPECT_TRUE(event.wait(0)) << "a manual-reset event stays signalled";
  EXPECT_TRUE(event.wait(INFINITE));
  event.reset();
  EXPECT_FALSE(event.wait(0));
}

TEST(Event, TimedWaitReturnsFalseNotBeforeTheTime) {
  Event event;
  auto const start = Clock::now();
  EXPECT_FALSE(event.wait(15));
  auto const elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(15));
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST(Event, UnlimitedWaitEndsWhenAnotherThreadSets) {
  Event event;
  std::thread setter([&] { event.set(); });
  EXPECT_TRUE(event.wait(INFINITE));
  setter.join();
}

TEST(EventWaitAny, LowestSignalledPosition) {
  struct Case {
    std::vector<int> signalled;
    std::int32_t expected;
  };
  Case const cases[] = {{{0}, 0}, {{2}, 2}, {{1, 2}, 1}, {{2, 0}, 0}, {{0, 1, 2}, 0}};
  for (Case const& c : cases) {
    std::vector<std::shared_ptr<Event>> events;
    for (int i = 0; i < 3; ++i) events.push_back(std::make_shared<Event>());
    for (int index : c.signalled) events[index]->set();
    EXPECT_EQ(Event::waitAny(events.begin(), events.end()), c.expected);
    // Manual reset: nothing was consumed.
    for (int index : c.signalled) EXPECT_TRUE(events[index]->wait(0));
  }
}

TEST(EventWaitAny, InterruptWinsOverStart) {
  Event interrupt, start;
  interrupt.set();
  start.set();
  std::array<Event*, 2> const events{&interrupt, &start};
  EXPECT_EQ(Event::waitAny(events.begin(), events.end()), 0);
}

TEST(EventWaitAny, BlocksUntilOneIsSet) {
  std::array<Event, 3> storage;
  std::array<Event*, 3> const events{&storage[0], &storage[1], &storage[2]};
  std::thread setter([&] { storage[2].set(); });
  EXPECT_EQ(Event::waitAny(events.begin(), events.end()), 2);
  setter.join();
}

TEST(EventWaitAny, RangesTheSystemCannotWaitForFail) {
  std::vector<std::unique_ptr<Event>> events;
  for (DWORD i = 0; i <= MAXIMUM_WAIT_OBJECTS; ++i) events.push_back(std::make_unique<Event>());
  events.back()->set();
  // 64 events are fine; the 65th is not silently dropped: the wait fails.
  events[MAXIMUM_WAIT_OBJECTS - 1]->set();
  EXPECT_EQ(Event::waitAny(events.begin(), events.end() - 1), std::int32_t(MAXIMUM_WAIT_OBJECTS - 1));
  try {
    Event::waitAny(events.begin(), events.end());
    ADD_FAILURE() << "65 events were accepted";
  } catch (const Win32Exception& e) {
    EXPECT_EQ(e.errorCode, ERROR_INVALID_PARAMETER);
    EXPECT_STREQ(e.what(), "WaitForSingleObject API failed in zelvor::Event::wait method.");
  }
  EXPECT_THROW(Event::waitAny(events.begin(), events.begin()), Win32Exception);
}

TEST(ThreadNotifier, SleepReturnsAfterTheTimeWhenNotInterrupted) {
  ThreadNotifier notifier;
  EXPECT_FALSE(notifier.isInterrupted());
  auto const start = Clock::now();
  notifier.sleep(1);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1));
  notifier.sleep(0);
}

TEST(ThreadNotifier, InterruptedSleepAndWaitThrowAtOnceAndKeepThrowing) {
  ThreadNotifier notifier;
  Event other;
  notifier.event.set();
  for (int round = 0; round < 2; ++round) {
    auto const start = Clock::now();
    EXPECT_THROW(notifier.sleep(60000), InterruptedException);
    EXPECT_THROW(notifier.wait(other), InterruptedException);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(notifier.isInterrupted());
  }
  EXPECT_FALSE(other.wait(0)) << "the notifier changed the other event";
}

TEST(ThreadNotifier, WaitReturnsTrueForASignalledEventAndLeavesItSignalled) {
  ThreadNotifier notifier;
  Event start;
  start.set();
  EXPECT_TRUE(notifier.wait(start));
  EXPECT_TRUE(start.wait(0));
  EXPECT_FALSE(notifier.isInterrupted());
}

TEST(ThreadNotifier, InterruptWinsWhenBothAreSignalled) {
  ThreadNotifier notifier;
  Event start;
  start.set();
  notifier.event.set();
  EXPECT_THROW(notifier.wait(start), InterruptedException);
  EXPECT_TRUE(start.wait(0)) << "the start event must be left as it was";
}

TEST(ThreadNotifier, WaitEndsWhenAnotherThreadInterrupts) {
  ThreadNotifier notifier;
  Event never;
  std::thread owner([&] { notifier.event.set(); });
  EXPECT_THROW(notifier.wait(never), InterruptedException);
  owner.join();
}

}  // namespace
