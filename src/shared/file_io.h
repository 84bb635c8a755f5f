#pragma once
// Whole-file reads and replacing writes.
//
// Paths are code page 932 text like every other text inside the programs;
// each platform converts them at the call into the system (UTF-8 on POSIX,
// UTF-16 for the W functions on Windows), so a path whose double-byte
// characters have 0x5C ("\") as second byte names the right file. A path that
// holds a NUL byte names no file.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tol {

// Largest file ReadFileBytes takes in. The programs' files are a few
// kilobytes; the cap keeps a wrong path from pulling a huge file into memory.
inline constexpr std::size_t kMaxFileBytes = 64u << 20;

// The whole content of the regular file at `path`, or nothing when there is
// no such file, it can't be read, or it is larger than `max_bytes`.
std::optional<std::string> ReadFileBytes(const std::string& path,
                                         std::size_t max_bytes = kMaxFileBytes);

// True when `path` names an existing file (a folder doesn't count).
bool FileExists(const std::string& path);

// Replaces the file at `path` with `bytes`, or creates it: the bytes go to a
// temporary file in the same folder, are flushed to disk, and the temporary
// file is renamed over the target, so that a reader sees either the old or
// the new content, never part of it. On failure the temporary file is
// removed and EFCreateError is thrown; its message is the system's reason
// text in code page 932 (for example for a missing folder).
void WriteFileAtomic(const std::string& path, std::string_view bytes);

}  // namespace tol
