#include "assistant/output_folder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "assistant/texts.h"

namespace tol {
namespace {

TEST(OutputFolderTest, EditTextEndsWithOneSeparator) {
  struct Case {
    const char* exact;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\Games\\kovun", "C:\\Games\\kovun\\"},
      {"C:\\Games\\kovun\\", "C:\\Games\\kovun\\"},  // a folder part keeps its own
      {"D:\\", "D:\\"},                              // a drive root
      {"C:\\PROGRA~1\\KOVUN~1", "C:\\PROGRA~1\\KOVUN~1\\"},
      // "表" is 0x95 0x5C: its second byte is no separator.
      {"C:\\\x95\x5C", "C:\\\x95\x5C\\"},
      {"C:\\\x95\x5C\\", "C:\\\x95\x5C\\"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FolderEditText(c.exact), c.expected) << c.exact;
  }
}

// The default of the output folder: the program's folder when a code page
// 932 text names it; else the working directory, with a log line saying so;
// else none, with a log line asking for a folder.
TEST(OutputFolderTest, DefaultFallsBackToAFolderTheTextsCanName) {
  using Text = std::optional<std::string>;
  std::string working_line = kOutFolderIsWorkingFolderText.bytes();
  working_line.replace(working_line.find("%1"), 2, "C:\\Users\\ZO~1\\");
  struct Case {
    const char* name;
    Text program;
    Text working;
    std::string path;
    std::string log_line;
  };
  const Case cases[] = {
      {"program folder", "C:\\Games\\kovun\\", "C:\\Other", "C:\\Games\\kovun\\", ""},
      {"program folder by its short name", "C:\\GAMES~1\\", std::nullopt, "C:\\GAMES~1\\", ""},
      {"unnamed program folder, named working folder", std::nullopt, "C:\\Users\\ZO~1",
       "C:\\Users\\ZO~1\\", working_line},
      {"neither named", std::nullopt, std::nullopt, "", kOutFolderUnnamedText.bytes()},
      {"empty texts name nothing", "", "", "", kOutFolderUnnamedText.bytes()},
  };
  for (const Case& c : cases) {
    const OutputFolderDefault got = DefaultOutputFolder(c.program, c.working);
    EXPECT_EQ(got.path, c.path) << c.name;
    EXPECT_EQ(got.log_line, c.log_line) << c.name;
  }
}

}  // namespace
}  // namespace tol
