#include "serve/serve_settings.h"

#include "shared/profile_ini.h"

namespace tol {

ServeSettings ReadServeSettings(const ProfileIni& ini) {
  ServeSettings s;
  const int32_t port = ini.ReadInteger("Serve", "Port", 0);
  if (port >= kMinServePort && port <= kMaxServePort) s.port = port;
  return s;
}

ServeSettings ReadServeSettingsFile(const FilePath& settings_path) {
  try {
    return ReadServeSettings(ProfileIni::Load(settings_path));
  } catch (...) {
    // The monitor reads the same file at start-up and reports its failure.
    return {};
  }
}

}  // namespace tol
