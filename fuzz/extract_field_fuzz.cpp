// The first byte picks the field number (-2 to 253), the rest is the line.
// Also feeds the whole input to SplitLines and FlattenLines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "shared/fields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  std::size_t line_bytes = 0;
  for (const std::string& line : tol::SplitLines(input)) {
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    line_bytes += line.size();
  }
  FUZZ_CHECK(line_bytes <= input.size());
  const std::string flat = tol::FlattenLines(input);
  FUZZ_CHECK(flat.find_first_of("\r\n") == std::string::npos && flat.size() <= input.size());

  if (input.empty()) return 0;
  const int n = static_cast<int>(static_cast<uint8_t>(input[0])) - 2;
  const std::string_view line = input.substr(1);
  std::size_t fields = 1;
  for (char c : line) fields += c == ',';

  const std::string field = tol::ExtractField(line, n);
  FUZZ_CHECK(field.find(',') == std::string::npos);
  FUZZ_CHECK(line.find(field) != std::string_view::npos);
  if (n <= 0) {
    FUZZ_CHECK(field.empty());
  } else if (static_cast<std::size_t>(n) > fields) {
    FUZZ_CHECK(field == (fields == 1 ? std::string() : tol::ExtractField(line, fields - 1)));
  }
  if (fields <= 64) {
    // The fields put back together with commas give the line.
    std::string joined;
    for (std::size_t i = 1; i <= fields; ++i) {
      if (i > 1) joined += ',';
      joined += tol::ExtractField(line, static_cast<int>(i));
    }
    FUZZ_CHECK(joined == line);
  }
  return 0;
}
