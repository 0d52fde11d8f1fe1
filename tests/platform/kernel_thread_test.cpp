// Threads started through _beginthreadex (their handles, exit codes and
// early-closed handles), Sleep, and recursive critical sections.
#include "platform/handle_table.h"
#include "platform/kernel_services.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

HANDLE startThread(unsigned(__stdcall* routine)(void*), void* argument, unsigned* id = nullptr) {
  return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, routine, argument, 0, id));
}

unsigned __stdcall returnArgument(void* argument) {
  return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(argument));
}

TEST(BeginThread, HandleSignalsAtTheEndAndKeepsTheExitCode) {
  for (unsigned code : {0u, 42u, 0xFFFFFFFFu}) {
    unsigned id = 0;
    HANDLE const thread = startThread(returnArgument, reinterpret_cast<void*>(std::uintptr_t{code}), &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    // Ended threads stay signalled.
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    EXPECT_EQ(GetExitCodeThread(thread, &exitCode), TRUE);
    EXPECT_EQ(exitCode, code);
    EXPECT_EQ(CloseHandle(thread), TRUE);
    EXPECT_EQ(GetExitCodeThread(thread, &exitCode), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
}

unsigned __stdcall waitForEvent(void* event) {
  return WaitForSingleObject(static_cast<HANDLE>(event), INFINITE) == WAIT_OBJECT_0 ? 7 : 8;
}

TEST(BeginThread, StillActiveWhileRunning) {
  HANDLE const release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE const thread = startThread(waitForEvent, release);
  ASSERT_NE(thread, nullptr);
  DWORD exitCode = 0;
  EXPECT_EQ(GetExitCodeThread(thread, &exitCode), TRUE);
  EXPECT_EQ(exitCode, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(thread, 10), WAIT_TIMEOUT);

  // Waiting for the thread and for another object at once.
  HANDLE const never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE const both[] = {never, thread};
  SetEvent(release);
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(GetExitCodeThread(thread, &exitCode), TRUE);
  EXPECT_EQ(exitCode, 7u);
  CloseHandle(thread);
  CloseHandle(never);
  CloseHandle(release);
}

struct Handoff {
  HANDLE release;
  HANDLE finished;
};

unsigned __stdcall waitThenReport(void* raw) {
  auto* const handoff = static_cast<Handoff*>(raw);
  WaitForSingleObject(handoff->release, INFINITE);
  SetEvent(handoff->finished);
  return 0;
}

// The thread outlives its handle; it must still run to its end, and its
// resources go with it (the sanitizer builds check that nothing leaks).
TEST(BeginThread, HandleClosedBeforeTheThreadEnds) {
  Handoff handoff{CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  HANDLE const thread = startThread(waitThenReport, &handoff);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(CloseHandle(thread), TRUE);
  SetEvent(handoff.release);
  EXPECT_EQ(WaitForSingleObject(handoff.finished, INFINITE), WAIT_OBJECT_0);
  CloseHandle(handoff.release);
  CloseHandle(handoff.finished);
}

TEST(BeginThread, ManyShortThreads) {
  std::vector<HANDLE> threads;
  for (std::uintptr_t i = 0; i < 64; ++i) threads.push_back(startThread(returnArgument, reinterpret_cast<void*>(i)));
  for (std::size_t i = 0; i < threads.size(); ++i) {
    ASSERT_NE(threads[i], nullptr);
    ASSERT_EQ(WaitForSingleObject(threads[i], INFINITE), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeThread(threads[i], &exitCode);
    EXPECT_EQ(exitCode, i);
    CloseHandle(threads[i]);
  }
}

TEST(BeginThread, FailuresReturnNullWithTheLastError) {
  SetLastError(0);
  EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  zelvor::platform::setHandleLimit(0);
  SetLastError(0);
  EXPECT_EQ(startThread(returnArgument, nullptr), nullptr);
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
  zelvor::platform::setHandleLimit(zelvor::platform::defaultHandleLimit());

  HANDLE const event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD exitCode = 0;
  EXPECT_EQ(GetExitCodeThread(event, &exitCode), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(event);
}

TEST(BeginThread, RequestedStackSizeIsHonouredOrRoundedUp) {
  for (unsigned stack : {1u, 65536u, 1u << 20}) {
    auto const thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, stack, returnArgument, nullptr, 0, nullptr));
    ASSERT_NE(thread, nullptr) << stack;
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CloseHandle(thread);
  }
}

TEST(SleepCall, SleepsAtLeastTheTime) {
  for (DWORD milliseconds : {0u, 1u, 12u}) {
    auto const start = Clock::now();
    Sleep(milliseconds);
    auto const elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(milliseconds));
    EXPECT_LT(elapsed, std::chrono::seconds(5));
  }
}

class CriticalSectionTest : public testing::Test {
 protected:
  CriticalSectionTest() { InitializeCriticalSection(&section); }
  ~CriticalSectionTest() override { DeleteCriticalSection(&section); }
  CRITICAL_SECTION section;
};

TEST_F(CriticalSectionTest, HolderMayEnterAgainAndOthersWaitForTheLastLeave) {
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);
  std::atomic<bool> entered{false};
  std::thread other([&] {
    EnterCriticalSection(&section);
    entered = true;
    LeaveCriticalSection(&section);
  });
  Sleep(20);
  EXPECT_FALSE(entered);
  LeaveCriticalSection(&section);
  Sleep(20);
  EXPECT_FALSE(entered) << "one leave released a lock entered twice";
  LeaveCriticalSection(&section);
  other.join();
  EXPECT_TRUE(entered);
}

TEST_F(CriticalSectionTest, MutualExclusion) {
  long counter = 0;  // deliberately not atomic: the lock is all that guards it
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&section);
        ++counter;
        LeaveCriticalSection(&section);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 80000);
}

}  // namespace
