#pragma once
// Conversions between code page 932 (Shift-JIS) bytes, the text form used
// inside both programs, and the encodings of the edges: UTF-16 for the
// Windows W functions and UTF-8 for terminals and JSON.
//
// One interface, two implementations of the table lookups chosen by the
// build: codepage_posix.cpp (iconv) and codepage_win32.cpp
// (MultiByteToWideChar / WideCharToMultiByte with code page 932, whatever the
// system's ANSI code page is). The rules around them live in codepage.cpp, so
// both builds give the same result for every input.
//
// Bytes that don't form a character of the source encoding never fail a
// conversion: each such byte (or unpaired surrogate) becomes U+FFFD on the
// way to Unicode and "?" on the way to code page 932, as does a character
// that code page 932 can't hold. A character counts as held only when it
// comes back unchanged from its code page 932 bytes: no "best fit" (U+00A5
// is "?", not "\"). Single bytes 0x80, 0xA0 and 0xFD-0xFF are not characters.

#include <string>
#include <string_view>

namespace tol {

std::u16string Cp932ToUtf16(std::string_view cp932);
std::string Utf16ToCp932(std::u16string_view utf16);

std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);

}  // namespace tol
