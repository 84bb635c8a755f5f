#include "shared/shortcut.h"

namespace tol {

// A terminal has no keyboard layout to ask: keys outside the fixed names have
// no name, so only those can be written in the settings.
std::string PlatformKeyName(int /*code*/) { return {}; }

}  // namespace tol
