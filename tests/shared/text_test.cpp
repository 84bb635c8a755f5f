#include "shared/text.h"

#include <gtest/gtest.h>

namespace tol {
namespace {

// "表" is 0x95 0x5C and "ソ" is 0x83 0x5C: second bytes in the ASCII range.
const std::string kHyo = "\x95\x5C";
const std::string kSo = "\x83\x5C";
// "ａ" (0x82 0x81) and "Ａ" (0x82 0x60): full-width letters are not folded.
const std::string kWideA = "\x82\x81";
const std::string kWideUpperA = "\x82\x60";

TEST(SameTextTest, FoldsOnlySingleByteLetters) {
  struct Case {
    std::string a, b;
    bool same;
  } cases[] = {
      {"GameServer01", "gameserver01", true},
      {"Map", "MAP", true},
      {"abc", "abd", false},
      {"abc", "ab", false},
      {"", "", true},
      // 0x83 0x61 ("ャ") and 0x83 0x41 ("ア"): the second bytes are 'a' and 'A'.
      {"\x83\x61", "\x83\x41", false},
      {kWideA, kWideUpperA, false},
      {kHyo + "x", kHyo + "X", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameText(c.a, c.b), c.same) << c.a << " vs " << c.b;
  }
}

TEST(UpperCaseTest, LeavesSecondBytesAlone) {
  EXPECT_EQ(UpperCase("abc"), "ABC");
  EXPECT_EQ(UpperCase("\x83\x61z"), "\x83\x61Z");
}

TEST(CutToBytesTest, NeverSplitsADoubleByteCharacter) {
  const std::string text = "a" + kHyo + kSo + "b";  // 6 bytes
  struct Case {
    std::size_t max;
    std::string expected;
  } cases[] = {
      {0, ""},      {1, "a"},        {2, "a"},           {3, "a" + kHyo},
      {4, "a" + kHyo}, {5, "a" + kHyo + kSo}, {6, text}, {100, text},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CutToBytes(text, c.max), c.expected) << "max " << c.max;
  }
}

TEST(TrimTest, RemovesBlanksAndControls) {
  EXPECT_EQ(Trim(" \t key = v \r\n"), "key = v");
  EXPECT_EQ(TrimRight("  x \r"), "  x");
  EXPECT_EQ(Trim("\x01\x1f"), "");
  EXPECT_EQ(Trim(kHyo + " "), kHyo);
}

TEST(FolderOfTest, SecondBytesAreNoSeparators) {
  struct Case {
    std::string path, folder;
  } cases[] = {
      {"/a/b/kovun.ini", "/a/b/"},
      {"kovun.ini", ""},
      {"C:\\x\\kovun.ini", "C:\\x\\"},
      // "表" ends in 0x5C: the folder is the one before it.
      {"C:\\" + kHyo + "kovun.ini", "C:\\"},
      {"d/" + kSo, "d/"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
  }
}

}  // namespace
}  // namespace tol
