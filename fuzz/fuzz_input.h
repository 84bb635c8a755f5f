#pragma once
// Helpers of the fuzz harnesses.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// Stops the run with the failed condition's text; libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                 \
  do {                                                   \
    if (!(cond)) {                                       \
      std::fprintf(stderr, "check failed: %s\n", #cond); \
      std::abort();                                      \
    }                                                    \
  } while (0)

// The first `count` - 1 NUL-separated parts of `input` and the rest as the
// last one; parts the input doesn't reach are empty.
inline std::vector<std::string> SplitParts(std::string_view input, std::size_t count) {
  std::vector<std::string> parts;
  while (parts.size() + 1 < count) {
    const std::size_t nul = input.find('\0');
    if (nul == std::string_view::npos) break;
    parts.emplace_back(input.substr(0, nul));
    input.remove_prefix(nul + 1);
  }
  parts.emplace_back(input);
  parts.resize(count);
  return parts;
}
