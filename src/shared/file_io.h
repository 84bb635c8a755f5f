#pragma once
// Whole-file reads and replacing writes.
//
// Paths are FilePath values (file_path.h): on Windows they reach CreateFileW,
// MoveFileExW and FindFirstFileExW as UTF-16, whatever code page 932 can
// spell; on POSIX they are the bytes the system takes. A path that is empty
// or holds a NUL names no file.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "shared/file_path.h"

namespace tol {

// Largest file ReadFileBytes takes in. The programs' files are a few
// kilobytes; the cap keeps a wrong path from pulling a huge file into memory.
inline constexpr std::size_t kMaxFileBytes = 64u << 20;

// The whole content of the regular file at `path`, or nothing when there is
// no such file, it can't be read, or it is larger than `max_bytes`.
std::optional<std::string> ReadFileBytes(const FilePath& path,
                                         std::size_t max_bytes = kMaxFileBytes);

// True when `path` names an existing file (a folder doesn't count).
bool FileExists(const FilePath& path);

// Replaces the file at `path` with `bytes`, or creates it: the bytes go to a
// temporary file in the same folder, are flushed to disk, and the temporary
// file is renamed over the target, so that a reader sees either the old or
// the new content, never part of it. On failure the temporary file is
// removed and EFCreateError is thrown; its message is the system's reason
// text in code page 932 (for example for a missing folder).
//
// On Windows a file that another program holds open for a moment (an
// antivirus or indexer looking at the new file, a reader that doesn't share
// deletion) can't be replaced until it lets go: the rename is retried with
// short waits for about a second before the write fails.
//
// The first write of a process into a folder also removes the temporary
// files left behind there by writes that never ended (see IsStaleTempFile);
// leftovers come from earlier runs, so once per folder is enough.
//
// kNotFlushed skips the flushes to disk: still old or new content for every
// reader, but after a power cut the file may hold either (or, on some file
// systems, neither). For records whose loss only costs repeated work.
enum class WriteDurability { kFlushed, kNotFlushed };
void WriteFileAtomic(const FilePath& path, std::string_view bytes,
                     WriteDurability durability = WriteDurability::kFlushed);

// Temporary files of WriteFileAtomic: "~tol-" + the writing process's id +
// "-" + a number + ".tmp", in decimal digits.
std::string TempFileName(std::uint32_t process_id, std::uint32_t number);

// The process id in a name of that pattern; nullopt for any other name.
std::optional<std::uint32_t> TempFileOwner(std::string_view name);

// A temporary file is left over from a write that never ended (its program
// stopped in the middle) when both hold:
// - it was last written at least kStaleTempAge ago: a write keeps its
//   temporary file only for the moments of one call, so none takes minutes.
//   This guards a file in a folder that other computers share, whose owner
//   may be a process of another computer, its id meaningless here;
// - no running process has the id in its name (`running` tells): a running
//   owner, such as another thread or another copy of the programs, may be
//   writing it right now, and an unrelated process that has the id since
//   keeps the file only until it ends.
// Any other name, however alike, is never ours to remove.
inline constexpr std::chrono::seconds kStaleTempAge{600};
bool IsStaleTempFile(std::string_view name, std::chrono::seconds age,
                     const std::function<bool(std::uint32_t)>& running);

// True the first time this process asks for `folder` (the folder's name in
// any fixed form): whether WriteFileAtomic still has to look for leftovers.
bool FirstWriteIntoFolder(std::string_view folder);

}  // namespace tol
