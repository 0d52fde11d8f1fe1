// The four exception classes through which zelvor reports every failure, and
// the formatter that builds their messages ("... in %s method." filled with
// the failing operation's full name).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>

namespace zelvor {

// Message text shared by an exception and its copies.
using MessageText = std::shared_ptr<char[]>;

// printf-style formatting through a 2048-byte scratch buffer; a longer result
// is cut to 2047 characters. Returns exactly the text and its NUL.
[[gnu::format(printf, 1, 2)]] MessageText formatMessage(const char* format, ...);

class Exception : public std::runtime_error {
 public:
  explicit Exception(MessageText message);
  ~Exception() override;

  const char* what() const noexcept override;

 private:
  MessageText message;
};

// A thread was told to stop while it slept or waited.
class InterruptedException : public Exception {
 public:
  using Exception::Exception;
};

// Input that cannot be used: undecodable data, an impossible seek.
class IoException : public Exception {
 public:
  using Exception::Exception;
};

// An operating-system call failed; errorCode is the thread's last error.
class Win32Exception : public Exception {
 public:
  Win32Exception(std::uint32_t errorCode, MessageText message);

  std::uint32_t errorCode;
};

// Formats the message, reads the last error after formatting, and throws.
[[noreturn]] void throwWin32Exception(const char* format, const char* method);

}  // namespace zelvor
