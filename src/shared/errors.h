#pragma once
// Failures of both programs, raised as exceptions and caught by kind.
//
// Messages are code page 932 bytes like every other text inside the programs.
// ClassName() names the kind in reports (the monitor's error log, the
// assistant's error box).

#include <stdexcept>
#include <string>

namespace tol {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  virtual const char* ClassName() const { return "Exception"; }
};

// The peer can't be reached: name not resolved, connection refused or reset,
// a time-out.
class ESocketError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "ESocketError"; }
};

// An HTTP answer outside 2xx (redirects included). The message is the status
// line's text, for example "HTTP/1.1 404 Not Found".
class EHttpStatusError : public Exception {
 public:
  EHttpStatusError(int status, const std::string& status_line)
      : Exception(status_line), status_(status) {}
  int status() const { return status_; }
  const char* ClassName() const override { return "EHttpStatusError"; }

 private:
  int status_;
};

// A text that isn't a number, or a template that doesn't fit its arguments.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EConvertError"; }
};

// A file that can't be created or written.
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EFCreateError"; }
};

// Anything else, for example a connection closed before the announced body
// was complete, or a body larger than the cap.
class EOtherError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EOtherError"; }
};

}  // namespace tol
