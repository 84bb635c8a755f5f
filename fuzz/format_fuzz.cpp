// The input is split at NUL bytes: the first part is the template, up to
// eight more are the arguments. A part "i<decimal>" is an integer argument
// (0 when the number doesn't fit 32 bits), any other part a text.

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "shared/errors.h"
#include "shared/format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t cut = std::min(input.find('\0'), input.size());
  std::string_view tmpl = input.substr(0, cut);
  input.remove_prefix(cut);

  std::vector<tol::FormatArg> args;
  std::size_t longest_text = 0;
  while (!input.empty() && args.size() < 8) {
    input.remove_prefix(1);  // the NUL before this part
    cut = std::min(input.find('\0'), input.size());
    std::string_view part = input.substr(0, cut);
    input.remove_prefix(cut);
    if (!part.empty() && part[0] == 'i') {
      int32_t value = 0;
      std::from_chars(part.data() + 1, part.data() + part.size(), value);
      args.emplace_back(value);
    } else {
      args.emplace_back(std::string(part));
      longest_text = std::max(longest_text, part.size());
    }
  }

  try {
    std::string out = tol::FormatTemplate(tmpl, args);
    auto placeholders = static_cast<std::size_t>(std::count(tmpl.begin(), tmpl.end(), '%'));
    std::size_t bound =
        tmpl.size() +
        placeholders * (static_cast<std::size_t>(tol::kMaxFormatPiece) + longest_text);
    if (out.size() > bound) std::abort();
  } catch (const tol::EConvertError&) {
  }
  return 0;
}
