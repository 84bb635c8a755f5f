#include "monitor/texts.h"

namespace tol {

std::string FillText(std::string_view tmpl, std::initializer_list<std::string_view> args) {
  std::string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < tmpl.size(); ++i) {
    // "%" is a single byte that can't be the second byte of a double-byte
    // character, so a byte scan is right.
    if (tmpl[i] == '%' && i + 1 < tmpl.size() && (tmpl[i + 1] == 's' || tmpl[i + 1] == 'p')) {
      if (next != args.end()) out += *next++;
      ++i;
    } else {
      out += tmpl[i];
    }
  }
  return out;
}

}  // namespace tol
