// Thread: exit codes of normal, empty and throwing bodies, cooperative stop
// through the notifier, restart, destruction in every state, and a failed
// thread creation.
#include "runtime/thread.h"
#include "platform/handle_table.h"
#include "platform/win32.h"
#include "runtime/event.h"
#include "runtime/exception.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using zelvor::Event;
using zelvor::InterruptedException;
using zelvor::Thread;
using zelvor::ThreadNotifier;

// The exit code the operating system keeps for the thread, read through its
// handle before join closes it.
DWORD exitCodeBeforeJoin(Thread& thread) {
  EXPECT_EQ(WaitForSingleObject(thread.getHandle(), INFINITE), WAIT_OBJECT_0);
  DWORD code = 12345;
  EXPECT_EQ(GetExitCodeThread(thread.getHandle(), &code), TRUE);
  return code;
}

TEST(Thread, ExitCodes) {
  struct Case {
    const char* what;
    Thread::Body body;
    DWORD expected;
  };
  Case const cases[] = {
      {"normal return", [](ThreadNotifier&) {}, 0},
      {"empty body", Thread::Body{}, 0xFFFFFFFF},
      {"standard exception", [](ThreadNotifier&) { throw std::runtime_error("body failed"); }, 0xFFFFFFFF},
      {"interruption", [](ThreadNotifier& n) { n.event.set(), n.sleep(INFINITE); }, 0xFFFFFFFF},
  };
  for (Case const& c : cases) {
    Thread thread;
    thread.start(c.body);
    ASSERT_NE(thread.getHandle(), nullptr) << c.what;
    EXPECT_EQ(exitCodeBeforeJoin(thread), c.expected) << c.what;
    thread.join();
    EXPECT_EQ(thread.getHandle(), nullptr);
  }
}

TEST(Thread, BodyRunsOnItsOwnThread) {
  std::thread::id bodyThread;
  Thread thread;
  thread.start([&](ThreadNotifier&) { bodyThread = std::this_thread::get_id(); });
  thread.join();
  EXPECT_NE(bodyThread, std::thread::id{});
  EXPECT_NE(bodyThread, std::this_thread::get_id());
}

TEST(Thread, DestroyingStopsABodyThatWaitsOrSleeps) {
  struct Case {
    const char* what;
    const char* message;
    std::function<void(ThreadNotifier&, Event&)> block;
  };
  Case const cases[] = {
      {"sleep", "Thread interupted in zelvor::ThreadNotifier::sleep method.",
       [](ThreadNotifier& n, Event&) { n.sleep(600000); }},
      {"wait", "Thread interupted in zelvor::ThreadNotifier::wait method.",
       [](ThreadNotifier& n, Event& never) { n.wait(never); }},
      {"sleep loop", "Thread interupted in zelvor::ThreadNotifier::sleep method.",
       [](ThreadNotifier& n, Event&) {
         for (;;) n.sleep(1);
       }},
  };
  for (Case const& c : cases) {
    Event never;
    Event running;
    std::string caught;
    auto const start = Clock::now();
    {
      Thread thread;
      thread.start([&](ThreadNotifier& notifier) {
        running.set();
        try {
          c.block(notifier, never);
        } catch (const InterruptedException& e) {
          caught = e.what();
        }
      });
      running.wait(INFINITE);
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << c.what;
    EXPECT_EQ(caught, c.message) << c.what;
  }
}

TEST(Thread, InterruptAndJoinEndABodyThatLetsTheInterruptionEscape) {
  Thread thread;
  Event running;
  thread.start([&](ThreadNotifier& n) {
    running.set();
    n.sleep(600000);
  });
  running.wait(INFINITE);
  thread.interrupt();
  EXPECT_EQ(exitCodeBeforeJoin(thread), 0xFFFFFFFF);
  thread.join();
}

TEST(Thread, NeverStartedThreadNeitherWaitsNorJoins) {
  Thread thread;
  EXPECT_EQ(thread.getHandle(), nullptr);
  thread.join();
  thread.join();
  EXPECT_EQ(thread.getHandle(), nullptr);
}

TEST(Thread, StillRunningUntilItsBodyReturns) {
  Thread thread;
  Event release;
  thread.start([&](ThreadNotifier&) { release.wait(INFINITE); });
  DWORD code = 0;
  EXPECT_EQ(GetExitCodeThread(thread.getHandle(), &code), TRUE);
  EXPECT_EQ(code, STILL_ACTIVE);
  release.set();
  EXPECT_EQ(exitCodeBeforeJoin(thread), 0u);
  thread.join();
}

TEST(Thread, InterruptionStaysUntilTheNextStart) {
  Thread thread;
  std::atomic<int> interruptedSeen{-1};
  std::atomic<bool> laterSleepThrew{false};
  thread.start([&](ThreadNotifier& n) {
    try {
      n.sleep(600000);
    } catch (const InterruptedException&) {
      interruptedSeen = n.isInterrupted();
      try {
        n.sleep(0);
      } catch (const InterruptedException&) {
        laterSleepThrew = true;
      }
    }
  });
  thread.interrupt();
  thread.join();
  EXPECT_EQ(interruptedSeen, 1);
  EXPECT_TRUE(laterSleepThrew);

  // The second run starts with the request cleared.
  std::atomic<int> seenAtStart{-1};
  thread.start([&](ThreadNotifier& n) { seenAtStart = n.isInterrupted(); });
  EXPECT_EQ(exitCodeBeforeJoin(thread), 0u);
  thread.join();
  EXPECT_EQ(seenAtStart, 0);
}

TEST(Thread, StartAgainAfterJoinRunsTheNewBody) {
  Thread thread;
  std::atomic<int> runs{0};
  thread.start([&](ThreadNotifier&) { runs += 1; });
  thread.join();
  thread.start([&](ThreadNotifier&) { runs += 10; });
  thread.join();
  EXPECT_EQ(runs, 11);
}

// Starting a running thread stops it first instead of replacing the body
// under its feet and losing its handle.
TEST(Thread, StartWhileRunningStopsTheRunningBodyFirst) {
  Thread thread;
  Event running;
  std::atomic<bool> firstInterrupted{false};
  std::atomic<bool> secondRan{false};
  thread.start([&](ThreadNotifier& n) {
    running.set();
    try {
      n.sleep(600000);
    } catch (const InterruptedException&) {
      firstInterrupted = true;
    }
  });
  running.wait(INFINITE);
  thread.start([&](ThreadNotifier& n) { secondRan = !n.isInterrupted(); });
  EXPECT_TRUE(firstInterrupted);
  thread.join();
  EXPECT_TRUE(secondRan);
}

TEST(Thread, FailedCreationLeavesNoHandle) {
  Thread thread;
  zelvor::platform::setHandleLimit(0);
  std::atomic<bool> ran{false};
  thread.start([&](ThreadNotifier&) { ran = true; });
  zelvor::platform::setHandleLimit(zelvor::platform::defaultHandleLimit());
  EXPECT_EQ(thread.getHandle(), nullptr);
  thread.join();
  EXPECT_EQ(thread.getHandle(), nullptr);
  EXPECT_FALSE(ran);
}

TEST(Thread, ManyThreadsStoppedTogether) {
  std::vector<std::unique_ptr<Thread>> threads;
  std::atomic<int> stopped{0};
  for (int i = 0; i < 7; ++i) {
    threads.push_back(std::make_unique<Thread>());
    threads.back()->start([&](ThreadNotifier& n) {
      Event never;
      try {
        n.wait(never);
      } catch (const InterruptedException&) {
        ++stopped;
      }
    });
  }
  for (auto& thread : threads) thread->interrupt();
  for (auto& thread : threads) thread->join();
  EXPECT_EQ(stopped, 7);
}

}  // namespace
