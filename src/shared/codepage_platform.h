#pragma once
// The table lookups under the code-page layer, one implementation per
// platform (codepage_posix.cpp, codepage_win32.cpp). codepage.cpp cuts the
// text into runs these accept and handles everything outside them, so the
// platforms only have to agree on their tables.

#include <string>
#include <string_view>

namespace tol::codepage_platform {

// Appends the UTF-16 form of `cp932` to `out` and returns true. `cp932` is
// not empty and holds only whole characters: bytes 0x00-0x7F and 0xA1-0xDF,
// and lead bytes each followed by a byte in 0x40-0x7E or 0x80-0xFC. Returns
// false, leaving `out` as it was, when some such pair has no character.
bool DecodeRun(std::string_view cp932, std::u16string& out);

// Appends the code page 932 form of `utf16` to `out`; each character without
// an exact form becomes "?". `utf16` is not empty and holds no surrogates.
void EncodeRun(std::u16string_view utf16, std::string& out);

}  // namespace tol::codepage_platform
