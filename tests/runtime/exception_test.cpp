// Exceptions: the message formatter's cut at the scratch buffer, message
// texts that outlive the exception they were copied from, the class tree, and
// the exact message and error code of every failure runtime/ raises.
#include "runtime/exception.h"
#include "platform/handle_table.h"
#include "platform/win32.h"
#include "runtime/event.h"
#include "runtime/thread_notifier.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

namespace {

using zelvor::Event;
using zelvor::Exception;
using zelvor::InterruptedException;
using zelvor::IoException;
using zelvor::ThreadNotifier;
using zelvor::Win32Exception;

TEST(FormatMessage, FillsTheMethodName) {
  auto const text =
      zelvor::formatMessage("CreateFileA API failed in %s method.", "zelvor::FileStreamReader::FileStreamReader");
  EXPECT_STREQ(text.get(), "CreateFileA API failed in zelvor::FileStreamReader::FileStreamReader method.");
}

TEST(FormatMessage, LongResultIsCutAt2047Characters) {
  for (std::size_t length : {0u, 1u, 2046u, 2047u, 2048u, 2049u, 10000u}) {
    std::string const argument(length, 'x');
    auto const text = zelvor::formatMessage("%s", argument.c_str());
    std::size_t const expected = std::min<std::size_t>(length, 2047);
    ASSERT_EQ(std::strlen(text.get()), expected) << length;
    EXPECT_EQ(std::string(text.get()), argument.substr(0, expected));
  }
  // The cut also applies when the format itself pushes the text over.
  std::string const method(2040, 'm');
  auto const text = zelvor::formatMessage("Thread interupted in %s method.", method.c_str());
  EXPECT_EQ(std::strlen(text.get()), 2047u);
  EXPECT_EQ(std::string(text.get(), 21), "Thread interupted in ");
}

TEST(Exceptions, CopiesKeepTheirTextAfterTheOriginalIsGone) {
  std::optional<Win32Exception> original(std::in_place, 31u, zelvor::formatMessage("X in %s method.", "zelvor::A::b"));
  Win32Exception const copy = *original;
  Exception const sliced = *original;
  original.reset();
  EXPECT_STREQ(copy.what(), "X in zelvor::A::b method.");
  EXPECT_STREQ(sliced.what(), "X in zelvor::A::b method.");
  EXPECT_EQ(copy.errorCode, 31u);
}

TEST(Exceptions, AllAreCaughtAsTheStandardException) {
  auto const message = [] { return zelvor::formatMessage("M in %s method.", "zelvor::C::m"); };
  std::function<void()> const throwers[] = {
      [&] { throw Exception(message()); },
      [&] { throw InterruptedException(message()); },
      [&] { throw IoException(message()); },
      [&] { throw Win32Exception(5, message()); },
  };
  for (auto const& thrower : throwers) {
    try {
      thrower();
      ADD_FAILURE() << "nothing thrown";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "M in zelvor::C::m method.");
      const std::exception& standard = e;
      EXPECT_STREQ(standard.what(), e.what());
    }
  }
}

TEST(Exceptions, ThrowWin32ExceptionReadsTheLastErrorAfterFormatting) {
  SetLastError(1117);
  try {
    zelvor::throwWin32Exception("ReadFile API failed in %s method.", "zelvor::FileStreamReader::readImpl");
  } catch (const Win32Exception& e) {
    EXPECT_EQ(e.errorCode, 1117u);
    EXPECT_STREQ(e.what(), "ReadFile API failed in zelvor::FileStreamReader::readImpl method.");
  }
}

// Runs an action and returns the Win32Exception it throws.
std::optional<Win32Exception> win32FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Win32Exception& e) {
    // The code is the calling thread's last error when the failure was raised.
    EXPECT_EQ(e.errorCode, GetLastError());
    return e;
  }
  return std::nullopt;
}

TEST(RuntimeFailures, EveryEventFailureHasItsMessageAndErrorCode) {
  struct Case {
    const char* message;
    std::function<void(Event&, Event&)> action;
  };
  Case const cases[] = {
      {"SetEvent API failed in zelvor::Event::set method.", [](Event& e, Event&) { e.set(); }},
      {"ResetEvent API failed in zelvor::Event::reset method.", [](Event& e, Event&) { e.reset(); }},
      {"WaitForSingleObject API failed in zelvor::Event::wait method.", [](Event& e, Event&) { e.wait(0); }},
      {"WaitForSingleObject API failed in zelvor::Event::wait method.", [](Event& e, Event&) { e.wait(INFINITE); }},
      {"WaitForSingleObject API failed in zelvor::Event::wait method.",
       [](Event& e, Event& healthy) {
         std::array<Event*, 2> const events{&healthy, &e};
         Event::waitAny(events.begin(), events.end());
       }},
  };
  for (Case const& c : cases) {
    Event broken;
    Event healthy;
    // Closing the handle under the Event makes every later call on it fail.
    ASSERT_EQ(CloseHandle(broken.getHandle()), TRUE);
    auto const failure = win32FailureOf([&] { c.action(broken, healthy); });
    ASSERT_TRUE(failure) << c.message;
    EXPECT_STREQ(failure->what(), c.message);
    EXPECT_EQ(failure->errorCode, ERROR_INVALID_HANDLE) << c.message;
  }
}

TEST(RuntimeFailures, EventCreation) {
  zelvor::platform::setHandleLimit(0);
  SetLastError(0);
  auto const failure = win32FailureOf([] { Event event; });
  zelvor::platform::setHandleLimit(zelvor::platform::defaultHandleLimit());
  ASSERT_TRUE(failure);
  EXPECT_STREQ(failure->what(), "CreateEvent API failed in zelvor::Event::Event method.");
  EXPECT_EQ(failure->errorCode, ERROR_NOT_ENOUGH_MEMORY);
}

TEST(RuntimeFailures, NotifierWaitFailuresCarryTheEventWaitText) {
  {
    ThreadNotifier notifier;
    CloseHandle(notifier.event.getHandle());
    auto const failure = win32FailureOf([&] { notifier.sleep(1); });
    ASSERT_TRUE(failure);
    EXPECT_STREQ(failure->what(), "WaitForSingleObject API failed in zelvor::Event::wait method.");
  }
  {
    ThreadNotifier notifier;
    Event broken;
    CloseHandle(broken.getHandle());
    auto const failure = win32FailureOf([&] { notifier.wait(broken); });
    ASSERT_TRUE(failure);
    EXPECT_STREQ(failure->what(), "WaitForSingleObject API failed in zelvor::Event::wait method.");
  }
}

TEST(RuntimeFailures, InterruptionTexts) {
  ThreadNotifier notifier;
  Event other;
  notifier.event.set();
  try {
    notifier.sleep(1);
    ADD_FAILURE() << "sleep returned";
  } catch (const InterruptedException& e) {
    EXPECT_STREQ(e.what(), "Thread interupted in zelvor::ThreadNotifier::sleep method.");
  }
  try {
    notifier.wait(other);
    ADD_FAILURE() << "wait returned";
  } catch (const InterruptedException& e) {
    EXPECT_STREQ(e.what(), "Thread interupted in zelvor::ThreadNotifier::wait method.");
  }
}

}  // namespace
