#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "monitor/single_instance.h"

namespace tol {
namespace {

// The lock file's path. $XDG_RUNTIME_DIR is private to the user; in /tmp,
// which every user shares, the user id keeps copies of different users apart.
std::string LockPath(std::string_view name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') return std::string(runtime) + "/" + std::string(name) + ".lock";
  return "/tmp/" + std::string(name) + "-" + std::to_string(getuid()) + ".lock";
}

}  // namespace

SingleInstanceLock::SingleInstanceLock(std::string_view name) : handle_(-1) {
  const std::string path = LockPath(name);
  // O_NOFOLLOW: a symbolic link planted under the name in a shared folder
  // must not make us create or lock some other file.
  int fd;
  do {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    acquired_ = true;  // no lock object can be made: the rule can't apply
    return;
  }
  // The lock belongs to this open file description: a second open of the
  // same file, in this process or another, is refused while it is held, and
  // the system drops it when the descriptor closes or the process ends. The
  // file itself stays; it is only a name to lock.
  int rc;
  do {
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) {
    handle_ = fd;
    acquired_ = true;
    return;
  }
  const bool held_elsewhere = errno == EWOULDBLOCK;
  close(fd);
  acquired_ = !held_elsewhere;
}

SingleInstanceLock::~SingleInstanceLock() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

}  // namespace tol
