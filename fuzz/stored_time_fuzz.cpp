// The input is a stored time text. A text that reads as a date-time must
// write back to a text that reads as the same date-time.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shared/stored_time.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto value =
      tol::ParseStoredTime(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!value) return 0;
  if (value->TruncatedToSecond() != *value) abort();
  const auto again = tol::ParseStoredTime(tol::StoredTimeText(*value));
  if (!again || *again != *value) abort();
  return 0;
}
