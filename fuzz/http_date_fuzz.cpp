// The input is an HTTP date. A text that reads as a date-time, written in
// the IMF form, must read back as the same date-time.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shared/date_format.h"
#include "shared/date_time.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto value =
      tol::DateTime::FromHttpDate(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!value) return 0;
  if (value->TruncatedToSecond() != *value) abort();
  // "Mon, 7 Feb 2005 21:05:00 +0000" with "GMT" in place of the offset.
  std::string text = tol::InternetDateText(*value, 0);
  text.replace(text.size() - 5, 5, "GMT");
  const auto again = tol::DateTime::FromHttpDate(text);
  if (!again || *again != *value) abort();
  return 0;
}
