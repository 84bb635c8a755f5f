// The input is split at NUL bytes: TolMap.ini, the map list, and a third part
// whose length (times four) caps the file, when it is there. The one-pass
// conversion must give the bytes of the line-by-line one, and fail where it
// fails.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "assistant/map_file.h"
#include "assistant/map_list_reference.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts =
      SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 3);
  const std::string &tolmap = parts[0], &body = parts[1];
  const std::size_t max_bytes = parts[2].empty() ? tol::kMaxFileBytes : 4 * parts[2].size();

  const std::optional<std::string> actual =
      tol::MapFileBytes(body, tol::DisplayNames::Parse(tolmap), max_bytes);
  const std::optional<std::string> expected =
      tol::testing::ReferenceMapFileBytes(body, tolmap, max_bytes);
  FUZZ_CHECK(actual == expected);
  return 0;
}
