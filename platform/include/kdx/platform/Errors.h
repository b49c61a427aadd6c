#pragma once
// The class library's exception model: every failure is an exception carrying an English
// message in cp1250 bytes. One small hierarchy under `Exception`; each layer derives its own
// classes (EMemTableError, EMapiError, ...) from the ones here.

#include <stdexcept>
#include <string>

namespace kdx {

// Root of all of the program's exceptions. `what()` is the message as the general error box
// shows it (before the full stop rule is applied).
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// Errors of the dataset framework (field access, states). EMemTableError derives from it.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// Stream errors of the table file routines: "Cannot create file %s", "Cannot open file %s",
// "Stream write error", "Stream read error".
class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// A failed operating-system call; `ErrorCode` is errno on POSIX, GetLastError() on Windows.
class EOSError : public Exception {
 public:
  EOSError(const std::string& message, unsigned long code) : Exception(message), ErrorCode(code) {}
  unsigned long ErrorCode;
};

// Formats a message pattern with one "%s" or "%d" (the class library's Format for the handful of
// patterns the program uses). Each argument replaces the next placeholder, in order.
std::string FormatMessage(const std::string& pattern, const std::string& arg);
std::string FormatMessage(const std::string& pattern, long long arg);
// Two placeholders filled in one pass: a "%" inside `first` (a path may hold one) is text, never a
// placeholder for `second`.
std::string FormatMessage(const std::string& pattern, const std::string& first,
                          const std::string& second);

}  // namespace kdx
