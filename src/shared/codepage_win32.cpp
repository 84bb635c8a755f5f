// Code page 932 tables through the Windows conversion functions, always with
// code page 932 itself: CP_ACP would follow the system's ANSI code page,
// which need not be Japanese.

#include <windows.h>

#include <string>

#include "shared/codepage_platform.h"

namespace tol::codepage_platform {
namespace {

constexpr UINT kCodePage = 932;

}  // namespace

bool DecodeRun(std::string_view cp932, std::u16string& out) {
  const int length = static_cast<int>(cp932.size());  // codepage.cpp keeps runs short
  const std::size_t old_size = out.size();
  out.resize(old_size + cp932.size());  // never more than one unit per byte
  // MB_ERR_INVALID_CHARS: fail instead of turning a pair without a character
  // into the default character, so the caller can replace just that pair.
  const int written =
      MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, cp932.data(), length,
                          reinterpret_cast<wchar_t*>(out.data() + old_size), length);
  if (written <= 0) {
    out.resize(old_size);
    return false;
  }
  out.resize(old_size + static_cast<std::size_t>(written));
  return true;
}

void EncodeRun(std::u16string_view utf16, std::string& out) {
  const int length = static_cast<int>(utf16.size());
  const std::size_t old_size = out.size();
  out.resize(old_size + utf16.size() * 2);  // never more than two bytes per unit
  // WC_NO_BEST_FIT_CHARS: a character without an exact form becomes "?"
  // instead of a look-alike ("é" as "e") that wouldn't convert back.
  BOOL used_default = FALSE;
  const int written = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS,
                                          reinterpret_cast<const wchar_t*>(utf16.data()), length,
                                          out.data() + old_size, length * 2, "?", &used_default);
  if (written <= 0) {
    // Not expected for a run without surrogates; lose no character silently.
    out.resize(old_size);
    out.append(utf16.size(), '?');
    return;
  }
  out.resize(old_size + static_cast<std::size_t>(written));
}

}  // namespace tol::codepage_platform
