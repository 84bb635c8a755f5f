// What the status endpoint reads from a request itself: the Host check and
// the numbers of a query, on arbitrary bytes, against their plain readings.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "serve/request_rules.h"

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts =
      SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 3);
  const std::string& host = parts[0];
  for (int32_t port : {1024, 8080, 65535}) {
    const std::string suffix = ":" + std::to_string(port);
    const bool expected = host == "127.0.0.1" + suffix || Lower(host) == "localhost" + suffix;
    FUZZ_CHECK(tol::HostAllowed(host, port) == expected);
  }

  const std::string& number = parts[1];
  const std::optional<int32_t> hours = tol::ParseBoundedInt(number, 1, 168);
  if (AllDigits(number) && number.size() <= 9) {
    const long value = std::stol(number);
    FUZZ_CHECK(hours.has_value() == (value >= 1 && value <= 168));
    if (hours) FUZZ_CHECK(*hours == value);
  } else if (!AllDigits(number)) {
    FUZZ_CHECK(!hours);
  } else if (hours) {
    FUZZ_CHECK(*hours >= 1 && *hours <= 168);
  }

  const std::optional<double> scale = tol::ParseScale(parts[2]);
  if (scale) FUZZ_CHECK(*scale >= 0.25 && *scale <= 8);
  return 0;
}
