#pragma once
// The tooltip text of a notification-area entry, in code page 932 bytes.
//
// The extended record (shell 5.0 or later) holds 127 bytes of tip plus the
// terminator and shows line breaks; the short record holds 63 and shows one
// line, so there each CR LF pair becomes one space first. Either way the tip
// is cut without splitting a double-byte character; it is converted to
// UTF-16 only when the record is filled.

#include <cstddef>
#include <string>
#include <string_view>

namespace tol {

inline constexpr std::size_t kExtendedTipBytes = 127;
inline constexpr std::size_t kShortTipBytes = 63;

std::string TrayTipText(std::string_view text, bool extended_record);

}  // namespace tol
