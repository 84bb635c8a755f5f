#pragma once
// What the POSIX file code (file_io_posix.cpp, append_file_posix.cpp) shares:
// an owned descriptor, the failure that carries the system's reason, and a
// path in the form open(2) takes. Included by POSIX sources only.

#include <unistd.h>

#include <string>
#include <system_error>

#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/file_path.h"

namespace tol::system_file {

// Owns one file descriptor.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int get() const { return fd_; }
  // Closes now; false (with errno set) when the close reports a failure.
  bool Close() {
    if (fd_ < 0) return true;
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }
  // Closes the one it holds and takes `fd`.
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }

 private:
  int fd_;
};

// EFCreateError with the system's reason text for `error`.
[[noreturn]] inline void ThrowPosixError(int error) {
  throw EFCreateError(Utf8ToCp932(std::system_category().message(error)));
}

// The path as the system takes it; false for one it can't take (empty, or
// with a NUL byte that would cut it short).
inline bool SystemPath(const FilePath& path, std::string* out) {
  if (path.empty() || path.system().find('\0') != std::string::npos) return false;
  *out = path.system();
  return true;
}

}  // namespace tol::system_file
