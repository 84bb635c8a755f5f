#pragma once
// Growing log files: lines appended at the end and handed to the system at
// once, a size limit with one older generation kept beside the file, and the
// repair of a last line that a crash cut short.
//
// Paths are FilePaths, as in file_io.h.

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "shared/file_path.h"

namespace tol {

// The bytes at the end of `text` that belong to an unfinished line: those
// after its last LF (all of it when it holds none).
std::size_t TornTailLength(std::string_view text);

// Cuts an unfinished last line off the file at `path`, so that whatever a
// reader takes from it is whole lines. A missing file is left missing.
// Raises EFCreateError when the file can't be read or cut.
void DropTornLastLine(const FilePath& path);

// Appends `lines` (whole lines, each ending in LF) to the file at `path`,
// creating it; `header` goes first into a file that is new or empty. The
// bytes are handed to the system before the call returns (no buffering in the
// process), so a crash of the program loses nothing written.
//
// A file that would grow beyond `rotate_at` bytes is first renamed to
// `path` + ".1" (replacing an older one) and a new one started with the
// header. Copies of a program that share the file rotate it once between
// them: the rename happens under a lock on the file, after checking that the
// path still names the file that grew too large. Raises EFCreateError with
// the system's reason text when the lines can't be written. A rename that
// fails (a reader holds the file on Windows) doesn't stop the log: the lines
// go to the file as it is, and the failure (EFCreateError) is returned.
[[nodiscard]] std::exception_ptr AppendLines(const FilePath& path, std::string_view header,
                                             std::string_view lines, std::uint64_t rotate_at);

// Reads the last `max_bytes` bytes of the file at `path` (all of it when it is
// smaller), in order, handing them to `chunk` a piece of at most
// kTailChunkBytes at a time, so that memory stays bounded however large the
// file is, each with its offset in the file. Returns the offset where reading began, or nullopt
// when there is no such file or it can't be read (a failure while reading ends the pieces early).
// Readers and writers may hold the file meanwhile.
inline constexpr std::size_t kTailChunkBytes = 1u << 20;
std::optional<std::uint64_t> ReadTail(
    const FilePath& path, std::uint64_t max_bytes,
    const std::function<void(std::uint64_t offset, std::string_view bytes)>& chunk);

}  // namespace tol
