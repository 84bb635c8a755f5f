#pragma once
// [Serve] of kovun.ini: the local status endpoint. Read at start-up, never
// written back; with the section absent no socket is opened.

#include <cstdint>

#include "shared/file_path.h"

namespace tol {

class ProfileIni;

inline constexpr int32_t kMinServePort = 1024;
inline constexpr int32_t kMaxServePort = 65535;

struct ServeSettings {
  // 0: off. A value outside 1024-65535 counts as absent (off).
  int32_t port = 0;
  bool enabled() const { return port != 0; }
};

ServeSettings ReadServeSettings(const ProfileIni& ini);
// The same from the settings file; a file that can't be read: off.
ServeSettings ReadServeSettingsFile(const FilePath& settings_path);

}  // namespace tol
