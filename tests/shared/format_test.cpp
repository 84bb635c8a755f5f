#include "shared/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "shared/errors.h"

namespace tol {
namespace {

// "表" (0x95 0x5C) and "ソ" (0x83 0x5C): two-byte characters.
const std::string kHyo = "\x95\x5C";
const std::string kSo = "\x83\x5C";

struct Case {
  const char* name;
  std::string tmpl;
  std::vector<FormatArg> args;
  std::optional<std::string> expected;  // nothing: a conversion failure
};

void RunCases(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    if (c.expected) {
      try {
        EXPECT_EQ(FormatTemplate(c.tmpl, c.args), *c.expected) << c.name;
      } catch (const EConvertError& e) {
        ADD_FAILURE() << c.name << ": unexpected failure " << e.what();
      }
    } else {
      EXPECT_THROW(FormatTemplate(c.tmpl, c.args), EConvertError) << c.name;
    }
  }
}

const std::vector<FormatArg> kStatusLine = {1, "GameServer03", "GS03", "Good", 2, 2, 1450};
const std::vector<FormatArg> kUpdate = {"Update", "2005/2/7 21:05:00"};
constexpr std::nullopt_t kFails = std::nullopt;

TEST(FormatTemplateTest, ExportTemplates) {
  RunCases({
      {"default Format1", "%1:s,%3:s,%4:d,%5:d,%6:d", kStatusLine, "GameServer03,Good,2,2,1450"},
      {"label and time", "%2:s=%6:d", kStatusLine, "GS03=1450"},
      {"unindexed run", "%d:%s", kStatusLine, "1:GameServer03"},
      {"key as integer", "%1:d", kStatusLine, kFails},
      {"line number as text", "%0:s", kStatusLine, kFails},
      {"Format2 line", "%0:s=%1:s", kUpdate, "Update=2005/2/7 21:05:00"},
      {"empty Format2", "", kUpdate, ""},
      {"Format2 with d", "%0:s=%1:d", kUpdate, kFails},
      {"plain text", "no placeholders " + kHyo, {}, "no placeholders " + kHyo},
      {"percent", "100%% %s%%", {"a"}, "100% a%"},
  });
}

TEST(FormatTemplateTest, WidthPrecisionAndTypes) {
  RunCases({
      {"width", "%5d|", {42}, "   42|"},
      {"left", "%-5d|", {42}, "42   |"},
      {"width never cuts", "%2d", {12345}, "12345"},
      {"text width", "%5s|%-5s|", {"ab", "cd"}, "   ab|cd   |"},
      {"zero-padded digits", "%.5d", {42}, "00042"},
      {"sign not counted", "%.5d", {-42}, "-00042"},
      {"width and precision", "%8.5d|%-8.5d|", {-42, -42}, "  -00042|-00042  |"},
      {"precision 0 of 0", "%.0d", {0}, "0"},
      {"hex precision", "%.4x", {255}, "00FF"},
      {"unsigned precision", "%.3u", {7}, "007"},
      {"text precision", "%.3s", {"abcdef"}, "abc"},
      {"bare dot", "[%.s]", {"abc"}, "[]"},
      {"unsigned -1", "%u", {-1}, "4294967295"},
      {"hex -1", "%x", {-1}, "FFFFFFFF"},
      {"hex is upper-case", "%x", {48879}, "BEEF"},
      {"smallest integer", "%d|%x", {INT32_MIN, INT32_MIN}, "-2147483648|80000000"},
      {"type letter case", "%D%U%X%S", {1, 2, 10, "s"}, "12As"},
      {"leading zeros", "%000000000000000000000000005d", {1}, "    1"},
      {"largest width", "%65536d", {1}, std::string(65535, ' ') + "1"},
      {"precision on two-byte text", "%.3s", {kHyo + kSo}, kHyo},
      {"precision inside a character", "[%.1s]", {kHyo}, "[]"},
      {"padding after a cut", "%-4.3s|", {kHyo + kSo}, kHyo + "  |"},
  });
}

TEST(FormatTemplateTest, IndexAndStar) {
  RunCases({
      {"star width", "%*d", {5, 42}, "   42"},
      {"negative star width", "%*d|", {-5, 42}, "42   |"},
      {"star precision", "%.*d", {4, 7}, "0007"},
      {"negative star precision", "%.*d", {-1, 7}, "7"},
      {"star width and precision", "%*.*s|", {6, 2, "abcdef"}, "    ab|"},
      {"star index", "%*:s", {2, "a", "b"}, "b"},
      {"star after index", "%1:*d", {"x", 3, 7}, "  7"},
      {"unindexed after indexed", "%1:s %s %0:s %s", {"a", "b", "c"}, "b c a b"},
      {"index then left", "%1:-3s|", {"a", "b"}, "b  |"},
      {"star on a text", "%*d", {"x", 1}, kFails},
      {"negative star index", "%*:d", {-1, 1}, kFails},
      {"star past the end", "%*d", {5}, kFails},
  });
}

TEST(FormatTemplateTest, CutShortPlaceholdersEndTheOutput) {
  RunCases({
      {"lone percent", "abc%", {}, "abc"},
      {"index only", "abc%1:", {"a", "b"}, "abc"},
      {"index past the end, cut short", "abc%7:", {"a"}, "abc"},
      {"width and dot", "%5.", {1}, ""},
      {"dash", "x%-", {1}, "x"},
      {"star width", "x%*", {3}, "x"},
      {"star precision", "ab%.*", {2}, "ab"},
      {"after a placeholder", "%s%3", {"a"}, "a"},
  });
}

TEST(FormatTemplateTest, ConversionFailures) {
  RunCases({
      {"f", "%f", {1}, kFails},
      {"e", "%e", {1}, kFails},
      {"g", "%g", {1}, kFails},
      {"n", "%n", {1}, kFails},
      {"m", "%m", {1}, kFails},
      {"p", "%p", {"a"}, kFails},
      {"blank as type", "%5 d", {1}, kFails},
      {"dash after width", "%5-d", {1}, kFails},
      {"second index", "%1:2:d", {1, 2}, kFails},
      {"index past the end", "%3:s", {"a", "b", "c"}, kFails},
      {"unindexed past the end", "%s%s", {"a"}, kFails},
      {"no arguments", "%d", {}, kFails},
      {"width too big", "%99999999d", {1}, kFails},
      {"width one past the limit", "%65537d", {1}, kFails},
      {"precision too big", "%.99999999d", {1}, kFails},
      {"star width too big", "%*d", {1000000000, 1}, kFails},
      {"star width smallest integer", "%*d", {INT32_MIN, 1}, kFails},
      {"star precision too big", "%.*s", {1000000000, "a"}, kFails},
      {"index with many digits", "%99999999999999999999999:d", {1}, kFails},
  });
}

}  // namespace
}  // namespace tol
