// Windows side of file_path.h: a path is UTF-16, as the W functions take it.

#include <windows.h>

#include "shared/codepage.h"
#include "shared/file_path.h"

namespace tol {

namespace {

// The text of `path` when FromText gives `path` back from it.
std::optional<std::string> RoundTrip(const std::u16string& path) {
  std::string text = Utf16ToCp932(path);
  if (Cp932ToUtf16(text) != path) return std::nullopt;
  return text;
}

}  // namespace

PathString SystemFormOf(std::string_view cp932) { return Cp932ToUtf16(cp932); }

std::string TextOf(const PathString& system) { return Utf16ToCp932(system); }

std::optional<std::string> FilePath::ExactText() const {
  if (std::optional<std::string> text = RoundTrip(system_)) return text;
  if (system_.empty() || system_.find(u'\0') != std::u16string::npos) return std::nullopt;
  // The short form of a name is made for old programs that can't take the
  // long one, and usually keeps to ASCII. Volumes may be set to make none;
  // the system then gives the long form back.
  const auto* long_path = reinterpret_cast<const wchar_t*>(system_.c_str());
  const DWORD length = ::GetShortPathNameW(long_path, nullptr, 0);
  if (length == 0) return std::nullopt;
  std::u16string short_path(length, u'\0');
  const DWORD written =
      ::GetShortPathNameW(long_path, reinterpret_cast<wchar_t*>(short_path.data()), length);
  if (written == 0 || written >= length) return std::nullopt;
  short_path.resize(written);
  return RoundTrip(short_path);
}

}  // namespace tol
