// POSIX side of append_file.h: paths go to the system as their bytes.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "shared/append_file.h"
#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/system_file_posix.h"

namespace tol {
namespace {

using system_file::Fd;
using system_file::ThrowPosixError;

// The path as the system takes it; ENOENT for one it can't take.
std::string SystemPath(const FilePath& path) {
  std::string system_path;
  if (!system_file::SystemPath(path, &system_path)) ThrowPosixError(ENOENT);
  return system_path;
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      ThrowPosixError(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

// The end of the file is read in chunks of this size: a torn line is one
// line, and a line of the programs' logs is far shorter.
constexpr off_t kChunkBytes = 64 * 1024;

}  // namespace

void DropTornLastLine(const FilePath& path) {
  const std::string system_path = SystemPath(path);
  Fd fd(::open(system_path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    if (errno == ENOENT) return;
    ThrowPosixError(errno);
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) ThrowPosixError(errno);
  if (!S_ISREG(st.st_mode) || st.st_size == 0) return;
  // Backwards from the end, a chunk at a time, to the last line break.
  off_t keep = 0;
  std::string chunk;
  for (off_t end = st.st_size; end > 0;) {
    const off_t start = end > kChunkBytes ? end - kChunkBytes : 0;
    chunk.resize(static_cast<std::size_t>(end - start));
    std::size_t got = 0;
    while (got < chunk.size()) {
      const ssize_t n = ::pread(fd.get(), chunk.data() + got, chunk.size() - got,
                                start + static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ThrowPosixError(errno);
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    chunk.resize(got);
    const std::size_t torn = TornTailLength(chunk);
    if (torn < chunk.size()) {
      keep = start + static_cast<off_t>(chunk.size() - torn);
      break;
    }
    end = start;
  }
  if (keep < st.st_size && ::ftruncate(fd.get(), keep) != 0) ThrowPosixError(errno);
}

std::exception_ptr AppendLines(const FilePath& path, std::string_view header,
                               std::string_view lines, std::uint64_t rotate_at) {
  const std::string system_path = SystemPath(path);
  auto open_log = [&] {
    const int fd = ::open(system_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) ThrowPosixError(errno);
    return fd;
  };
  auto size_of = [](int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) ThrowPosixError(errno);
    return static_cast<std::uint64_t>(st.st_size);
  };
  Fd fd(open_log());
  std::uint64_t size = size_of(fd.get());
  std::exception_ptr rotation_failure;
  if (size > 0 && size + lines.size() > rotate_at) {
    // Another copy of the program may rotate the same file: the one that
    // holds the lock renames, and the other, once it has the lock, finds a
    // new file at the path (or a small one) and appends to that instead of
    // renaming it over the generation just kept.
    while (::flock(fd.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat held;
    struct stat named;
    const bool same = ::fstat(fd.get(), &held) == 0 && ::stat(system_path.c_str(), &named) == 0 &&
                      held.st_ino == named.st_ino && held.st_dev == named.st_dev;
    if (same && static_cast<std::uint64_t>(named.st_size) + lines.size() > rotate_at) {
      const std::string older = system_path + ".1";
      if (::rename(system_path.c_str(), older.c_str()) != 0) {
        // The log goes on in the file it has; the caller hears why once.
        rotation_failure = std::make_exception_ptr(
            EFCreateError(Utf8ToCp932(std::system_category().message(errno))));
      } else {
        fd.Reset(open_log());
      }
    } else if (!same) {
      fd.Reset(open_log());
    }
    size = size_of(fd.get());
  }
  // One write for header and lines: a reader never sees the header alone.
  if (size == 0) {
    WriteAll(fd.get(), std::string(header) + std::string(lines));
  } else {
    WriteAll(fd.get(), lines);
  }
  return rotation_failure;
}

std::optional<std::uint64_t> ReadTail(
    const FilePath& path, std::uint64_t max_bytes,
    const std::function<void(std::uint64_t offset, std::string_view bytes)>& chunk) {
  std::string system_path;
  if (!system_file::SystemPath(path, &system_path)) return std::nullopt;
  Fd fd(::open(system_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return std::nullopt;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t start = size > max_bytes ? size - max_bytes : 0;
  std::string buffer(kTailChunkBytes, '\0');
  // Up to the size seen at the start: lines appended meanwhile are the next
  // poll's, not this reading's.
  for (std::uint64_t at = start; at < size;) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(size - at, buffer.size()));
    const ssize_t n = ::pread(fd.get(), buffer.data(), want, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    chunk(at, std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    at += static_cast<std::uint64_t>(n);
  }
  return start;
}

}  // namespace tol
