#include "components/tray_tip.h"

#include "shared/text.h"

namespace tol {

std::string TrayTipText(std::string_view text, bool extended_record) {
  if (extended_record) return std::string(CutToBytes(text, kExtendedTipBytes));
  // CR and LF never occur as the second byte of a double-byte character, so
  // a plain byte scan finds exactly the line breaks.
  std::string joined;
  joined.reserve(kShortTipBytes + 1);
  for (std::size_t i = 0; i < text.size() && joined.size() <= kShortTipBytes; ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      joined += ' ';
      ++i;
    } else {
      joined += text[i];
    }
  }
  return std::string(CutToBytes(joined, kShortTipBytes));
}

}  // namespace tol
