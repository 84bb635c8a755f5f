// The input is a date format template. It is formatted for a few fixed
// date-times, with the home locale and with a locale whose forms name
// themselves; the output must stay within a fixed multiple of the input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shared/date_format.h"

namespace {

const tol::LocaleFormats& SelfNamingLocale() {
  static const tol::LocaleFormats locale = [] {
    tol::LocaleFormats l = tol::HomeLocale();
    l.short_date_format = "ddddd dddddd c t tt yyyy/mm/dd";
    l.long_date_format = "dddddd ddddd c";
    l.short_time_format = "t tt c h:nn";
    l.long_time_format = "tt t c h:nn:ss ampm";
    return l;
  }();
  return locale;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view format(reinterpret_cast<const char*>(data), size);
  const tol::DateTime values[] = {
      tol::DateTime::FromFields({2005, 2, 7, 21, 5, 0, 7}).value(),
      tol::DateTime(),  // midnight, time zero
      tol::DateTime::FromFields({1, 1, 1, 12, 0, 0, 0}).value(),
      tol::DateTime::FromFields({9999, 12, 31, 23, 59, 59, 999}).value(),
      tol::DateTime::FromMilliseconds(INT64_MIN),
  };
  // Home locale: the longest output of one template byte is "c" (19 bytes).
  for (const tol::DateTime value : values) {
    if (tol::FormatDateTime(format, value).size() > 20 * size) abort();
  }
  // Two levels of the self-naming forms: a few hundred bytes per group at most.
  const std::string out = tol::FormatDateTime(format, values[0], SelfNamingLocale());
  if (out.size() > 2000 * size) abort();
  return 0;
}
