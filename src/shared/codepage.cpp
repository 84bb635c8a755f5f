#include "shared/codepage.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "shared/codepage_platform.h"
#include "shared/text.h"

namespace tol {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Longest run handed to the platform at once: bounds its temporary buffers
// and keeps lengths well inside the int of the Windows functions.
constexpr std::size_t kMaxRun = std::size_t{1} << 16;

// Code points that one platform's table maps to code page 932 bytes which
// don't come back as the same code point, or to bytes that aren't a character
// in the other table. glibc adds one-way mappings (U+00A5 to "\", U+301C to
// 0x8160, ...); Windows gives U+0080 and U+F8F0-U+F8F3 the single bytes 0x80,
// 0xA0 and 0xFD-0xFF. Neither is a character of code page 932 here. Sorted.
constexpr char16_t kNotHeld[] = {
    0x0080, 0x00A2, 0x00A3, 0x00A5, 0x00AC, 0x2014, 0x2016,
    0x203E, 0x2212, 0x301C, 0xF8F0, 0xF8F1, 0xF8F2, 0xF8F3,
};

bool IsSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDFFF; }
bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// True for a unit the platform tables are never asked about.
bool NeedsCare(char16_t u) {
  return u >= 0x80 &&
         (IsSurrogate(u) || std::binary_search(std::begin(kNotHeld), std::end(kNotHeld), u));
}

// Bytes of the code page 932 character that starts at text[i]: 1 or 2, or 0
// when the byte at i begins no character (0x80, 0xA0, 0xFD-0xFF, a lead byte
// at the end or before a byte that can't follow it).
std::size_t CharWidth(std::string_view text, std::size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) return 1;
  if (!IsLeadByte(b) || i + 1 >= text.size()) return 0;
  const auto t = static_cast<unsigned char>(text[i + 1]);
  return ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)) ? 2 : 0;
}

// End of the run of whole characters that starts at i, at most kMaxRun bytes.
std::size_t RunEnd(std::string_view text, std::size_t i) {
  const std::size_t limit = std::min(text.size(), i + kMaxRun);
  while (i < limit) {
    const std::size_t width = CharWidth(text, i);
    if (width == 0 || i + width > limit) break;
    i += width;
  }
  return i;
}

// Length of the well-formed UTF-8 sequence at text[i] and its code point, or
// 0 when the byte at i starts none (overlong forms, surrogates and values
// above U+10FFFF included).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& code) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const unsigned char b = at(0);
  if (b < 0x80) {
    code = b;
    return 1;
  }
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size() || at(1) < low || at(1) > high) return 0;
  char32_t value = b & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if (k > 1 && (at(k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (at(k) & 0x3F);
  }
  code = value;
  return length;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t code;
    const std::size_t length = DecodeUtf8(utf8, i, code);
    if (length == 0) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return out;
}

void AppendUtf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 3);
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t u = utf16[i];
    if (IsHighSurrogate(u) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      AppendUtf8(0x10000 + ((char32_t{u} - 0xD800) << 10) + (utf16[i + 1] - 0xDC00), out);
      ++i;
    } else {
      AppendUtf8(IsSurrogate(u) ? kReplacement : u, out);
    }
  }
  return out;
}

}  // namespace

std::u16string Cp932ToUtf16(std::string_view cp932) {
  std::u16string out;
  out.reserve(cp932.size());
  // Before `slow_until` a run has failed as a whole (a pair without a
  // character): convert it one character at a time to find the bad pairs.
  std::size_t slow_until = 0;
  std::size_t i = 0;
  while (i < cp932.size()) {
    if (i >= slow_until) {
      const std::size_t end = RunEnd(cp932, i);
      if (end > i) {
        if (codepage_platform::DecodeRun(cp932.substr(i, end - i), out)) {
          i = end;
          continue;
        }
        slow_until = end;
      }
    }
    const std::size_t width = CharWidth(cp932, i);
    if (width != 0 && codepage_platform::DecodeRun(cp932.substr(i, width), out)) {
      i += width;
    } else {
      // Only this byte is lost: the next one may start a character.
      out.push_back(kReplacement);
      ++i;
    }
  }
  return out;
}

std::string Utf16ToCp932(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  std::size_t i = 0;
  while (i < utf16.size()) {
    std::size_t end = i;
    const std::size_t limit = std::min(utf16.size(), i + kMaxRun);
    while (end < limit && !NeedsCare(utf16[end])) ++end;
    if (end > i) {
      codepage_platform::EncodeRun(utf16.substr(i, end - i), out);
      i = end;
      continue;
    }
    // A surrogate pair is one character outside code page 932.
    const bool pair =
        IsHighSurrogate(utf16[i]) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1]);
    i += pair ? 2 : 1;
    out.push_back('?');
  }
  return out;
}

std::string Cp932ToUtf8(std::string_view cp932) { return Utf16ToUtf8(Cp932ToUtf16(cp932)); }

std::string Utf8ToCp932(std::string_view utf8) { return Utf16ToCp932(Utf8ToUtf16(utf8)); }

}  // namespace tol
