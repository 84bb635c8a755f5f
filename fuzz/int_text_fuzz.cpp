// Reads the input as integer text both ways and checks that the two readings
// and the decimal writing agree.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "shared/int_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<int32_t> strict = tol::StrToIntStrict(text);
  const int32_t leading = tol::LeadingInt(text);
  if (strict) FUZZ_CHECK(*strict == leading);
  // A character that can't belong to a number changes nothing in front of it.
  FUZZ_CHECK(tol::LeadingInt(text + "z") == leading);
  FUZZ_CHECK(!tol::StrToIntStrict(text + "z"));
  // The decimal text of every value reads back.
  const std::string decimal = tol::IntToText(leading);
  FUZZ_CHECK(tol::StrToIntStrict(decimal) == leading);
  FUZZ_CHECK(tol::LeadingInt(decimal) == leading);
  return 0;
}
