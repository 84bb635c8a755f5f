#pragma once
// The single-copy rule's lock: a system-wide lock object found by name
// ("Kovun" for the monitor) that exists exactly as long as the copy that took
// it runs, and that a copy which crashes can't leave behind.
//
// Windows: a named mutex, created not owned; the handle is held for the
// object's life and the system removes the mutex with its last handle.
// POSIX: an exclusive flock on a file named for the lock in the user's
// runtime folder ($XDG_RUNTIME_DIR, else /tmp with the user id in the name);
// the system drops the lock when the holding process ends, however it ends.

#include <cstdint>
#include <string_view>

namespace tol {

// The lock name of the monitor.
inline constexpr std::string_view kSingleInstanceName = "Kovun";

class SingleInstanceLock {
 public:
  // Tries to take the lock `name` (ASCII letters, digits, "-", "_", ".").
  explicit SingleInstanceLock(std::string_view name);
  // Releases the lock when it was taken.
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // False when another holder (in this or another process) has the lock.
  // When the lock object can't be made at all (no folder to put it in, no
  // rights), the rule can't be applied: the copy counts as the first one, so
  // that a broken lock never keeps the monitor from running.
  bool acquired() const { return acquired_; }

 private:
  intptr_t handle_;  // POSIX: file descriptor or -1; Windows: HANDLE or 0
  bool acquired_ = false;
};

}  // namespace tol
