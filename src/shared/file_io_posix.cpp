// POSIX side of file_io.h: paths go to the system as the bytes they hold.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>
#include <system_error>

#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/file_io.h"
#include "shared/system_file_posix.h"

namespace tol {

namespace {

using system_file::Fd;
using system_file::SystemPath;
using system_file::ThrowPosixError;

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// True when a process has the id `pid` (one that this process may not
// signal counts too).
bool ProcessRunning(std::uint32_t pid) {
  if (pid == 0 || pid > static_cast<std::uint32_t>(INT_MAX)) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Removes the temporary files left over in `folder` (system form, ending in
// "/", or empty for the working directory). Nothing here may fail the write.
void RemoveStaleTempFiles(const std::string& folder) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    if (!TempFileOwner(entry->d_name)) continue;
    struct stat st;
    // Only files, and a link is never followed.
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode)) {
      continue;
    }
    if (IsStaleTempFile(entry->d_name, std::chrono::seconds(now - st.st_mtime), ProcessRunning)) {
      ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
  }
  ::closedir(dir);
}

}  // namespace

std::optional<std::string> ReadFileBytes(const FilePath& path, std::size_t max_bytes) {
  std::string system_path;
  if (!SystemPath(path, &system_path)) return std::nullopt;
  // O_NONBLOCK keeps a FIFO at the path from blocking the open; only regular
  // files are read.
  Fd fd(::open(system_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return std::nullopt;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  if (static_cast<unsigned long long>(st.st_size) > max_bytes) return std::nullopt;
  std::string bytes;
  char buffer[16384];
  while (true) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (got == 0) break;
    // The file may grow while it is read.
    if (bytes.size() + static_cast<std::size_t>(got) > max_bytes) return std::nullopt;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}

bool FileExists(const FilePath& path) {
  std::string system_path;
  if (!SystemPath(path, &system_path)) return false;
  struct stat st;
  return ::stat(system_path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void WriteFileAtomic(const FilePath& path, std::string_view bytes, WriteDurability durability) {
  const bool flush = durability == WriteDurability::kFlushed;
  std::string target;
  if (!SystemPath(path, &target)) ThrowPosixError(ENOENT);
  // The temporary name depends only on the folder, not on the target's name,
  // so a target name near the length limit still gets a temporary file.
  const std::size_t slash = target.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  if (FirstWriteIntoFolder(folder)) RemoveStaleTempFiles(folder);
  static std::atomic<std::uint32_t> counter{0};
  std::string temp;
  int fd_value = -1;
  for (int attempt = 0; attempt < 100 && fd_value < 0; ++attempt) {
    temp = folder + TempFileName(static_cast<std::uint32_t>(::getpid()), counter++);
    // 0666 lets the umask decide the new file's rights, as for any new file.
    fd_value = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_value < 0 && errno != EEXIST) ThrowPosixError(errno);
  }
  if (fd_value < 0) ThrowPosixError(EEXIST);
  Fd fd(fd_value);
  int error = 0;
  struct stat st;
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    ::fchmod(fd.get(), st.st_mode & 07777);  // a replaced file keeps its rights
  }
  // rename() replaces a file whoever holds it open, so unlike on Windows
  // there is nothing to wait for.
  if (!WriteAll(fd.get(), bytes) || (flush && ::fsync(fd.get()) != 0) || !fd.Close() ||
      ::rename(temp.c_str(), target.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    fd.Close();
    ::unlink(temp.c_str());
    ThrowPosixError(error);
  }
  // Make the rename itself durable; a folder that can't be synced changes
  // nothing about the result.
  if (!flush) return;
  Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace tol
