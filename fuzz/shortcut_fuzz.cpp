// ShortCutFromText on arbitrary bytes: the result is 0 or modifier bits plus
// a key code from 8 to 255, and its text form reads back as the same value.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shared/shortcut.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const tol::TShortCut short_cut = tol::ShortCutFromText(text);
  if (short_cut == 0) return 0;
  const int code = short_cut & tol::kShortCutKeyMask;
  if (code < 8 || code > 255) std::abort();
  const std::string again = tol::ShortCutToText(short_cut);
  if (!again.empty() && tol::ShortCutFromText(again) != short_cut) std::abort();
  return 0;
}
