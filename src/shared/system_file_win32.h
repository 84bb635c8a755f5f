#pragma once
// What the Windows file code (file_io_win32.cpp, append_file_win32.cpp)
// shares: an owned handle, the system's reason text and the failure that
// carries it, and a path in the form the W functions take. Included by
// Windows sources only.

#include <windows.h>

#include <string>

#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/file_path.h"

namespace tol::system_file {

// Owns one file handle.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Close(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    if (!valid()) return true;
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return ::CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

inline const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The system's reason text for `error`, in code page 932, without the line
// break that FormatMessageW puts at its end.
inline std::string ReasonText(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (length != 0 && buffer != nullptr) {
    text.assign(reinterpret_cast<const char16_t*>(buffer), length);
  }
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) {
    text.pop_back();
  }
  if (text.empty()) return "Windows error " + std::to_string(error);
  return Utf16ToCp932(text);
}

[[noreturn]] inline void ThrowWindowsError(DWORD error) { throw EFCreateError(ReasonText(error)); }

// The path as the system takes it; false for one it can't take (empty, or
// with a NUL that would cut it short).
inline bool SystemPath(const FilePath& path, std::u16string* out) {
  if (path.empty() || path.system().find(u'\0') != std::u16string::npos) return false;
  *out = path.system();
  return true;
}

}  // namespace tol::system_file
