#include "components/shell_version.h"

namespace tol {

namespace {

// Reads the digits at `pos` as a number of at most 65535; false when there
// are none or the number is larger.
bool ReadNumber(std::u16string_view text, std::size_t& pos, uint32_t& value) {
  std::size_t start = pos;
  value = 0;
  while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
    value = value * 10 + (text[pos] - u'0');
    if (value > 0xFFFF) return false;
    ++pos;
  }
  return pos > start;
}

}  // namespace

uint32_t ShellVersionFromFileVersion(std::u16string_view file_version) {
  std::size_t pos = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
  if (!ReadNumber(file_version, pos, major)) return 0;
  if (pos >= file_version.size() || file_version[pos] != u'.') return 0;
  ++pos;
  if (!ReadNumber(file_version, pos, minor)) return 0;
  return ShellVersion(major, minor);
}

}  // namespace tol
