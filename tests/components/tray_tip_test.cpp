#include "components/tray_tip.h"

#include <gtest/gtest.h>

#include <string>

namespace tol {
namespace {

TEST(TrayTipTest, CutsAndJoins) {
  const std::string hyo = "\x95\x5C";  // a double-byte character ending in "\"
  const std::string a = "a";
  struct Case {
    const char* name;
    std::string text;
    bool extended;
    std::string expected;
  };
  const Case cases[] = {
      {"empty", "", false, ""},
      {"cut at 127", std::string(200, 'x'), true, std::string(127, 'x')},
      {"character across 127 dropped whole", std::string(126, 'a') + hyo, true,
       std::string(126, 'a')},
      {"character ending at 127 kept", std::string(125, 'a') + hyo + a, true,
       std::string(125, 'a') + hyo},
      {"extended keeps line breaks", "Kovun\r\nWorld", true, "Kovun\r\nWorld"},
      {"short joins each CR LF, not lone CR or LF", "a\r\n\r\nb\nc\r", false, "a  b\nc\r"},
      {"short character across 63 dropped whole", std::string(62, 'a') + hyo, false,
       std::string(62, 'a')},
      {"short cut counts the joined text", "ab\r\n" + std::string(70, 'x'), false,
       "ab " + std::string(60, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TrayTipText(c.text, c.extended), c.expected);
  }
}

}  // namespace
}  // namespace tol
