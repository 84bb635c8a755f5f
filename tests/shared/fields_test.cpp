#include "shared/fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tol {
namespace {

TEST(ExtractFieldTest, PicksTheNthFieldOrFallsBack) {
  struct Case {
    const char* line;
    int n;
    const char* expected;
  } cases[] = {
      {"GameServer01,Good,2,2,500", 1, "GameServer01"},
      {"GameServer01,Good,2,2,500", 5, "500"},
      {" a , b ", 2, " b "},  // nothing trimmed
      {"a,,c", 2, ""},
      {"a,b,", 3, ""},
      // Beyond the last field: the next-to-last field.
      {"a,b,c", 4, "b"},
      {"a,b,c", 5, "b"},
      {"a,b", 3, "a"},
      {"a,", 3, "a"},
      {",", 7, ""},
      // No comma: the line is field 1 and nothing else.
      {"abc", 1, "abc"},
      {"abc", 2, ""},
      {"", 1, ""},
      {"", 3, ""},
      {"a,b", 0, ""},
      {"a,b", -1, ""},
      {"a,b", 2147483647, "a"},
      // "表" ends in 0x5C, which is no comma anyway; bytes pass unchanged.
      {"\x95\x5C,\x83\x5C", 2, "\x83\x5C"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractField(c.line, c.n), c.expected) << '"' << c.line << "\" n=" << c.n;
  }
}

TEST(SplitLinesTest, SplitsAtEveryKindOfBreak) {
  using Lines = std::vector<std::string>;
  struct Case {
    std::string text;
    Lines expected;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
      {"\n", {""}},
      {"\r\n\r\n", {"", ""}},
      {"a\n\n", {"a", ""}},
      {"a\r\r\n", {"a", ""}},
      {"a\n\rb", {"a", "", "b"}},  // LF then CR is two breaks
      {std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitLines(c.text), c.expected) << "text of " << c.text.size() << " bytes";
  }
}

TEST(FlattenLinesTest, EachBreakBecomesOneBlank) {
  EXPECT_EQ(FlattenLines("a\r\nb\rc\nd"), "a b c d");
  EXPECT_EQ(FlattenLines("\r\n\r\n"), "  ");
  EXPECT_EQ(FlattenLines("\n\r"), "  ");
  EXPECT_EQ(FlattenLines("\x95\x5C"), "\x95\x5C");
}

}  // namespace
}  // namespace tol
