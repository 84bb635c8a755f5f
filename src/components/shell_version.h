#pragma once
// The desktop shell's version, which decides between the extended
// notification-area record (longer tip, shell 5.0 or later) and the short
// one. Windows asks the shell library first (DllGetVersion); when that fails
// it reads the "FileVersion" text of shell32.dll, which this parses.

#include <cstdint>
#include <string_view>

namespace tol {

// major * 65536 + minor.
inline constexpr uint32_t ShellVersion(uint32_t major, uint32_t minor) {
  return major * 65536 + minor;
}

inline constexpr uint32_t kExtendedRecordShellVersion = ShellVersion(5, 0);

// The version from a file-version text such as "6.00.2900.5512" or
// "10.0.19041.1": the numbers before and after the first "."; anything else
// that follows is ignored. A text that doesn't start that way, or a number
// above 65535, gives 0.
uint32_t ShellVersionFromFileVersion(std::u16string_view file_version);

}  // namespace tol
