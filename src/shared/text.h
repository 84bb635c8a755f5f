#pragma once
// Byte-level rules for code page 932 (Shift-JIS) text held in std::string.
//
// A lead byte (0x81-0x9F, 0xE0-0xFC) starts a two-byte character; its second
// byte may fall in the ASCII letter range, so every case-insensitive rule
// here folds only single-byte ASCII letters and steps over double-byte
// characters whole.

#include <cstddef>
#include <string>
#include <string_view>

namespace tol {

bool IsLeadByte(unsigned char c);

// Upper-cases the single-byte ASCII letters; double-byte characters unchanged.
std::string UpperCase(std::string_view text);

// True when the texts are equal apart from the letter case of single-byte
// ASCII letters.
bool SameText(std::string_view a, std::string_view b);

// The longest prefix of `text` that is at most `max_bytes` long and doesn't
// end between the two bytes of a double-byte character.
std::string_view CutToBytes(std::string_view text, std::size_t max_bytes);

// Removes blanks and control characters (bytes up to and including 0x20)
// from both ends, or from the end only.
std::string_view Trim(std::string_view text);
std::string_view TrimRight(std::string_view text);

// The folder part of a path, up to and including its last "/" or "\"; a "\"
// that is the second byte of a double-byte character is no separator. Empty
// when the path has no folder part.
std::string_view FolderOf(std::string_view path);

}  // namespace tol
