#pragma once
// Conversions between code page 932 (Shift-JIS) bytes, the text form used
// inside both programs, and the encodings of the edges: UTF-16 for the
// Windows W functions and UTF-8 for terminals and JSON.
//
// One interface, two implementations chosen by the build: codepage_posix.cpp
// (iconv) and codepage_win32.cpp (MultiByteToWideChar / WideCharToMultiByte
// with code page 932, whatever the system's ANSI code page is).
//
// Bytes that don't form a character of the source encoding never fail a
// conversion: each such byte (or unpaired surrogate) becomes U+FFFD on the
// way to Unicode and "?" on the way to code page 932, as does a character
// that code page 932 can't hold.

#include <string>
#include <string_view>

namespace tol {

std::u16string Cp932ToUtf16(std::string_view cp932);
std::string Utf16ToCp932(std::u16string_view utf16);

std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);

}  // namespace tol
