#pragma once
// Helpers of the fuzz harnesses.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
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

// The input of the INI harnesses: a document, a key to write with its
// section and value, and another key whose value the write must not change.
struct IniEditInput {
  std::string doc, section, key, value, other_section, other_key;

  static IniEditInput From(const uint8_t* data, std::size_t size) {
    std::vector<std::string> p =
        SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 6);
    return {std::move(p[0]), std::move(p[1]), std::move(p[2]),
            std::move(p[3]), std::move(p[4]), std::move(p[5])};
  }
};
