// Kernel services that are not about waiting: the handle table's rejection of
// stale and foreign handles, last-error codes and their errno translation,
// the processor count, and the millisecond clock.
#include "platform/kernel_services.h"
#include "platform/handle_table.h"
#include "platform/posix_error.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

using zelvor::platform::win32ErrorFromErrno;

HANDLE newEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(LastError, IsKeptPerThread) {
  SetLastError(1234);
  DWORD seenByOther = 0;
  std::thread other([&] {
    seenByOther = GetLastError();
    SetLastError(99);
  });
  other.join();
  EXPECT_EQ(seenByOther, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), 1234u);
}

TEST(LastError, ErrnoTranslation) {
  struct Case {
    int error;
    DWORD code;
  };
  Case const cases[] = {
      {0, ERROR_SUCCESS},
      {ENOENT, ERROR_FILE_NOT_FOUND},
      {ENOTDIR, ERROR_PATH_NOT_FOUND},
      {EACCES, ERROR_ACCESS_DENIED},
      {EPERM, ERROR_ACCESS_DENIED},
      {EISDIR, ERROR_ACCESS_DENIED},
      {EBADF, ERROR_INVALID_HANDLE},
      {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
      {EINVAL, ERROR_INVALID_PARAMETER},
      {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
      {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
      {EIO, ERROR_IO_DEVICE},
      {EPIPE, ERROR_BROKEN_PIPE},
      {EBUSY, ERROR_SHARING_VIOLATION},
  };
  for (Case const& c : cases) EXPECT_EQ(win32ErrorFromErrno(c.error), c.code) << "errno " << c.error;

  // A failure must never read as success, whatever the value.
  for (int error : {EHOSTDOWN, EPROTO, 4095, -3}) EXPECT_NE(win32ErrorFromErrno(error), ERROR_SUCCESS) << error;

  zelvor::platform::setLastErrorFromErrno(ENOENT);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(HandleTable, ClosingTwiceFailsWithInvalidHandle) {
  HANDLE const event = newEvent();
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(CloseHandle(event), TRUE);
  SetLastError(0);
  EXPECT_EQ(CloseHandle(event), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(HandleTable, ValuesItNeverMadeAreRejected) {
  HANDLE const live = newEvent();
  auto const liveValue = reinterpret_cast<std::uintptr_t>(live);
  HANDLE const foreign[] = {
      nullptr,
      INVALID_HANDLE_VALUE,
      reinterpret_cast<HANDLE>(std::uintptr_t{1}),
      reinterpret_cast<HANDLE>(std::uintptr_t{0xFFFFF}),
      reinterpret_cast<HANDLE>(liveValue + (std::uintptr_t{1} << 40)),  // right slot, wrong generation
      const_cast<std::uintptr_t*>(&liveValue),
  };
  for (HANDLE handle : foreign) {
    SetLastError(0);
    EXPECT_EQ(SetEvent(handle), FALSE) << handle;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << handle;
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED) << handle;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << handle;
    EXPECT_EQ(CloseHandle(handle), FALSE) << handle;
  }
  EXPECT_EQ(CloseHandle(live), TRUE);
}

TEST(HandleTable, StaleHandleDoesNotReachTheObjectThatReusesItsSlot) {
  std::vector<HANDLE> stale;
  for (int i = 0; i < 8; ++i) {
    stale.push_back(newEvent());
    CloseHandle(stale.back());
  }
  HANDLE const fresh = newEvent();
  for (HANDLE old : stale) {
    ASSERT_NE(old, fresh);
    EXPECT_EQ(SetEvent(old), FALSE);
    EXPECT_EQ(CloseHandle(old), FALSE);
  }
  EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_TIMEOUT) << "a stale SetEvent reached the new event";
  EXPECT_EQ(CloseHandle(fresh), TRUE);
}

TEST(HandleTable, WrongKindOfObjectIsAnInvalidHandle) {
  HANDLE const event = newEvent();
  DWORD code = 0;
  SetLastError(0);
  EXPECT_EQ(GetExitCodeThread(event, &code), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(event);
}

TEST(HandleTable, LookupKeepsTheObjectAliveAfterClose) {
  struct Probe : zelvor::platform::KernelObject {
    explicit Probe(bool& destroyed) : destroyed(destroyed) {}
    ~Probe() override { destroyed = true; }
    bool& destroyed;
  };
  bool destroyed = false;
  HANDLE const handle = zelvor::platform::insertHandle(std::make_shared<Probe>(destroyed));
  ASSERT_NE(handle, nullptr);
  auto held = zelvor::platform::lookupHandleAs<Probe>(handle);
  ASSERT_TRUE(held);
  EXPECT_TRUE(zelvor::platform::removeHandle(handle));
  EXPECT_FALSE(destroyed);
  EXPECT_FALSE(zelvor::platform::lookupHandle(handle));
  held.reset();
  EXPECT_TRUE(destroyed);
}

TEST(HandleTable, FullTableFailsCreationWithoutCrashing) {
  HANDLE const before = newEvent();
  zelvor::platform::setHandleLimit(0);
  SetLastError(0);
  EXPECT_EQ(newEvent(), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  // Existing handles keep working.
  EXPECT_EQ(SetEvent(before), TRUE);
  zelvor::platform::setHandleLimit(zelvor::platform::defaultHandleLimit());
  HANDLE const after = newEvent();
  EXPECT_NE(after, nullptr);
  CloseHandle(after);
  CloseHandle(before);
}

TEST(HandleTable, ConcurrentCreateUseAndClose) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 2000; ++i) {
        HANDLE const event = CreateEventW(nullptr, FALSE, TRUE, nullptr);
        ASSERT_NE(event, nullptr);
        ASSERT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
        ASSERT_EQ(CloseHandle(event), TRUE);
        ASSERT_EQ(CloseHandle(event), FALSE);
      }
    });
  }
  for (auto& thread : threads) thread.join();
}

TEST(SystemInfo, CountsTheProcessorsThisProcessMayUse) {
  cpu_set_t allowed;
  ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  EXPECT_EQ(info.dwNumberOfProcessors, static_cast<DWORD>(CPU_COUNT(&allowed)));
  EXPECT_GE(info.dwNumberOfProcessors, 1u);
  EXPECT_EQ(info.dwPageSize, static_cast<DWORD>(sysconf(_SC_PAGESIZE)));
  EXPECT_NE(info.dwActiveProcessorMask, 0u);

  // Pinned to one processor, a thread is told of exactly one.
  int firstCpu = 0;
  while (!CPU_ISSET(firstCpu, &allowed)) ++firstCpu;
  DWORD pinnedCount = 0;
  std::thread pinned([&] {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(firstCpu, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    SYSTEM_INFO pinnedInfo{};
    GetSystemInfo(&pinnedInfo);
    pinnedCount = pinnedInfo.dwNumberOfProcessors;
  });
  pinned.join();
  EXPECT_EQ(pinnedCount, 1u);
}

TEST(Clock, FollowsTheMonotonicClockInMilliseconds) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  auto const expected = static_cast<DWORD>(std::uint64_t(now.tv_sec) * 1000 + std::uint64_t(now.tv_nsec) / 1000000);
  // Unsigned differences stay right across the wrap at 2^32.
  EXPECT_LT(timeGetTime() - expected, 1000u);

  DWORD const before = timeGetTime();
  Sleep(20);
  DWORD const elapsed = timeGetTime() - before;
  EXPECT_GE(elapsed, 20u);
  EXPECT_LT(elapsed, 5000u);
}

TEST(Clock, TimerPeriod) {
  EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
  EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
  EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
  EXPECT_EQ(timeEndPeriod(0), TIMERR_NOCANDO);
}

}  // namespace
