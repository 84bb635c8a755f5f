#include <windows.h>

#include <string>

#include "monitor/single_instance.h"

namespace tol {

SingleInstanceLock::SingleInstanceLock(std::string_view name) : handle_(0) {
  const std::wstring wide(name.begin(), name.end());  // the name is ASCII
  // An existing mutex of the name: another copy runs.
  if (HANDLE existing = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, wide.c_str())) {
    CloseHandle(existing);
    acquired_ = false;
    return;
  }
  HANDLE created = CreateMutexW(nullptr, FALSE, wide.c_str());
  if (!created) {
    // Mostly ERROR_ACCESS_DENIED: a mutex of the name exists that we may not
    // open (another copy under other rights); otherwise the rule can't apply.
    acquired_ = GetLastError() != ERROR_ACCESS_DENIED;
    return;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    // Another copy created it between our two calls.
    CloseHandle(created);
    acquired_ = false;
    return;
  }
  handle_ = reinterpret_cast<intptr_t>(created);
  acquired_ = true;
}

SingleInstanceLock::~SingleInstanceLock() {
  if (handle_ != 0) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace tol
