#include <windows.h>

#include <string>

#include "shared/codepage.h"
#include "shared/shortcut.h"

namespace tol {

std::string PlatformKeyName(int code) {
  if (code < 0 || code > 255) return {};
  const UINT scan = MapVirtualKeyW(static_cast<UINT>(code), MAPVK_VK_TO_VSC);
  if (scan == 0) return {};
  // The scan code goes to bits 16-23 of the key data, without the
  // extended-key bit.
  wchar_t buffer[64];
  const int length = GetKeyNameTextW(static_cast<LONG>((scan & 0xFF) << 16), buffer, 64);
  if (length <= 0) return {};
  const std::u16string name(reinterpret_cast<const char16_t*>(buffer),
                            static_cast<std::size_t>(length));
  std::string cp932 = Utf16ToCp932(name);
  // A name code page 932 can't hold would carry "?" and match a text that
  // never named this key.
  if (Cp932ToUtf16(cp932) != name) return {};
  return cp932;
}

}  // namespace tol
