#include "runtime/exception.h"

#include "platform/win32.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace zelvor {

MessageText formatMessage(const char* format, ...) {
  char scratch[2048];
  va_list arguments;
  va_start(arguments, format);
  int const length = std::vsnprintf(scratch, sizeof scratch, format, arguments);
  va_end(arguments);
  // vsnprintf never writes past the buffer and reports the full length; a
  // longer text has been cut at 2047 characters.
  std::size_t const kept = length < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(length), sizeof scratch - 1);
  MessageText text(new char[kept + 1]);
  std::memcpy(text.get(), scratch, kept);
  text[kept] = '\0';
  return text;
}

Exception::Exception(MessageText message)
    : std::runtime_error(message ? message.get() : ""), message(std::move(message)) {}

Exception::~Exception() = default;

const char* Exception::what() const noexcept { return std::runtime_error::what(); }

Win32Exception::Win32Exception(std::uint32_t errorCode, MessageText message)
    : Exception(std::move(message)), errorCode(errorCode) {}

void throwWin32Exception(const char* format, const char* method) {
  MessageText message = formatMessage(format, method);
  std::uint32_t const code = GetLastError();
  throw Win32Exception(code, std::move(message));
}

}  // namespace zelvor
