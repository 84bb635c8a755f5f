#include "components/shell_version.h"

#include <gtest/gtest.h>

namespace tol {
namespace {

TEST(ShellVersionTest, FromFileVersion) {
  struct Case {
    std::u16string_view text;
    uint32_t expected;
  };
  const Case cases[] = {
      {u"6.00.2900.5512 (xpsp.080413-2105)", ShellVersion(6, 0)},
      {u"5.50.4134.600", ShellVersion(5, 50)},
      {u"10.0.19041.1", ShellVersion(10, 0)},
      {u"5.1", ShellVersion(5, 1)},
      {u"", 0},
      {u"5.", 0},
      {u" 6.0", 0},
      {u"70000.1", 0},
      {u"6.99999999999", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(ShellVersionFromFileVersion(c.text), c.expected);
  }
  EXPECT_LT(ShellVersion(4, 72), kExtendedRecordShellVersion);
  EXPECT_GE(ShellVersion(5, 0), kExtendedRecordShellVersion);
}

}  // namespace
}  // namespace tol
