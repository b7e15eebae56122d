// The one exception type for conditions an operation cannot handle.
//
// Every fatal condition carries its message text and the source location where
// it was raised. The module boundary turns it into PanicException(message) after
// writing a report to standard error; worker threads hand it back to the
// calling thread unchanged.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace veltrane {

// Where a fatal error was raised. (std::source_location is not available with
// every compiler this builds with; the builtins it rests on are.)
struct SourceLocation {
  const char* file;
  unsigned line;
  static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                          unsigned line = __builtin_LINE()) noexcept {
    return {file, line};
  }
};

class FatalError : public std::exception {
 public:
  explicit FatalError(std::string message,
                      SourceLocation where = SourceLocation::current())
      : message_(std::move(message)), file_(where.file), line_(where.line) {}

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }
  const char* file() const noexcept { return file_; }
  unsigned line() const noexcept { return line_; }

 private:
  std::string message_;
  const char* file_;
  unsigned line_;
};

// Raise a FatalError at the caller's location.
[[noreturn]] inline void fatal(std::string message,
                               SourceLocation where = SourceLocation::current()) {
  throw FatalError(std::move(message), where);
}

// Messages shared by several units.
inline constexpr const char* kUnwrapNone = "called `Option::unwrap()` on a `None` value";

// "source slice length (L) does not match destination slice length (N)"
inline std::string slice_length_message(std::size_t given, std::size_t wanted) {
  return "source slice length (" + std::to_string(given) +
         ") does not match destination slice length (" + std::to_string(wanted) + ")";
}

// "range end index E out of range for slice of length L"
inline std::string range_end_message(std::size_t end, std::size_t length) {
  return "range end index " + std::to_string(end) + " out of range for slice of length " +
         std::to_string(length);
}

}  // namespace veltrane
