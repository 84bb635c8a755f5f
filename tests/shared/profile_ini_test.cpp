#include "shared/profile_ini.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tol {
namespace {

// "表" and "ソ" have 0x5C ("\") as second byte.
const std::string kHyo = "\x95\x5C";
const std::string kSo = "\x83\x5C";

TEST(ProfileIniTest, ReadsLikeTheProfileFunctions) {
  const ProfileIni ini = ProfileIni::Parse(
      "Orphan=before any section\r\n"
      "[ Window ]\r\n"
      "  Left = 12  \r\n"
      "; Top=99\r\n"
      "Empty=\n"
      "Bare\r"
      "Quoted=\"  in quotes  \"\r\n"
      "Single='x'\r\n"
      "Mismatched=\"x'\r\n"
      "Lone=\"\r\n"
      "Inner=a \"b\" c\r\n"
      "Eq=a=b\r\n"
      "Left=second\r\n"
      "[window]\r\n"
      "Later=only in the second window section\r\n"
      "[\x95\x5C]extra\r\n"    // 表
      "\x83\x5C=\x95\x5C\r\n"  // ソ=表
      "[Color]\r\n"
      "Good=$00CFFFCF\r\n"
      "Bad=12x\r\n"
      "Two=2");
  struct Case {
    const char *section, *key, *expected;
  } cases[] = {
      {"Window", "Left", "12"},
      {"WINDOW", "left", "12"},
      {"  Window ", " Left\t", "12"},
      {"Window", "Top", "default"},
      {"Window", "Empty", ""},
      {"Window", "Bare", ""},
      {"Window", "Quoted", "  in quotes  "},
      {"Window", "Single", "x"},
      {"Window", "Mismatched", "\"x'"},
      {"Window", "Lone", "\""},
      {"Window", "Inner", "a \"b\" c"},
      {"Window", "Eq", "a=b"},
      {"Window", "Later", "default"},
      {"Window", "Orphan", "default"},
      {"", "Orphan", "default"},
      {"Missing", "Left", "default"},
      {(kHyo).c_str(), (kSo).c_str(), (kHyo).c_str()},
      {"Color", "Two", "2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini.ReadString(c.section, c.key, "default"), c.expected)
        << "[" << c.section << "] " << c.key;
  }

  EXPECT_EQ(ini.ReadInteger("Color", "Good", 0), 13631439);
  EXPECT_EQ(ini.ReadInteger("Color", "Bad", 7), 7);
  EXPECT_EQ(ini.ReadInteger("Color", "Missing", 7), 7);
  EXPECT_EQ(ini.ReadInteger("Window", "Empty", 7), 7);
  EXPECT_TRUE(ini.ReadBool("Color", "Two", false));
  EXPECT_TRUE(ini.ReadBool("Color", "Bad", true));
  EXPECT_FALSE(ini.ReadBool("Window", "Empty", false));
}

TEST(ProfileIniTest, CutsLongValuesWithoutSplittingACharacter) {
  const std::string a2046(2046, 'a');
  struct Case {
    std::string value, expected;
  } cases[] = {
      {std::string(2047, 'b'), std::string(2047, 'b')},
      {std::string(3000, 'b'), std::string(2047, 'b')},
      {a2046 + kHyo, a2046},
      {std::string(2045, 'a') + kHyo + "z", std::string(2045, 'a') + kHyo},
      // The quotes go first, then the cut.
      {"\"" + std::string(2047, 'q') + "\"", std::string(2047, 'q')},
  };
  for (const auto& c : cases) {
    const ProfileIni ini = ProfileIni::Parse("[S]\r\nk=" + c.value + "\r\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), c.expected) << c.value.size() << " bytes";
  }
  EXPECT_EQ(ProfileIni().ReadString("S", "k", a2046 + kHyo), a2046);
}

TEST(ProfileIniTest, ReadSectionListsKeysInFileOrder) {
  const ProfileIni ini = ProfileIni::Parse("[GameServer01]\r\nmap1=" + kHyo +
                                           "\r\nmap2=\r\nbare\r\n; note\r\n\r\nmap1='again'\r\n"
                                           "[GameServer02]\r\nother=x\r\n");
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(ini.ReadSection("gameserver01"),
            (Pairs{{"map1", kHyo}, {"map2", ""}, {"bare", ""}, {"map1", "again"}}));
  EXPECT_EQ(ini.ReadSection("GameServer03"), Pairs{});
  EXPECT_EQ(ProfileIni().ReadSection("GameServer01"), Pairs{});
}

TEST(ProfileIniTest, WritesOnlyWhatChanges) {
  struct Case {
    const char* name;
    std::string before;
    std::string section, key, value;
    std::string after;
  } cases[] = {
      {"new file", "", "Window", "Left", "5", "[Window]\r\nLeft=5\r\n"},
      {"replace in place, other bytes and line breaks kept",
       "; top\n[Window]\n  left = 1 \n; c\r\nTop=2\n", "window", "LEFT", "5",
       "; top\n[Window]\nLEFT=5\n; c\r\nTop=2\n"},
      {"new key after the last key, before the blank line", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "A",
       "z", "3", "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n"},
      {"new key before a trailing comment", "[A]\r\nx=1\r\n; note\r\n", "A", "y", "2",
       "[A]\r\nx=1\r\ny=2\r\n; note\r\n"},
      {"new key in an empty section", "[A]\r\n\r\n[B]\r\n", "A", "k", "v",
       "[A]\r\nk=v\r\n\r\n[B]\r\n"},
      {"new key after a last line without break", "[A]\r\nx=1", "A", "y", "2",
       "[A]\r\nx=1\r\ny=2\r\n"},
      {"new section after a last line without break", "[A]\r\nx=1", "B", "k", "v",
       "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
      {"header without break", "[A]", "A", "k", "v", "[A]\r\nk=v\r\n"},
      {"first of two sections", "[A]\r\n[B]\r\n[a]\r\n", "A", "k", "v",
       "[A]\r\nk=v\r\n[B]\r\n[a]\r\n"},
      {"key without value gets one", "[A]\r\nflag\r\n", "A", "flag", "1", "[A]\r\nflag=1\r\n"},
      {"names trimmed", "", " A ", " k ", " v ", "[A]\r\nk= v \r\n"},
      {"failure report: line breaks become blanks", "[Error]\r\n", "Error", "2005/02/07 21:05:00",
       "EOtherError in kovun.exe.\r\nbroken.\r\n",
       "[Error]\r\n2005/02/07 21:05:00=EOtherError in kovun.exe. broken. \r\n"},
      {"line breaks in names", "", "Er\nror", "a\rb", "x\n\ny", "[Er ror]\r\na b=x  y\r\n"},
      {"double-byte text kept byte for byte", "[" + kHyo + "]\r\n" + kSo + "=1\r\n", kHyo, kSo,
       kHyo + kSo, "[" + kHyo + "]\r\n" + kSo + "=" + kHyo + kSo + "\r\n"},
  };
  for (const auto& c : cases) {
    ProfileIni ini = ProfileIni::Parse(c.before);
    ini.WriteString(c.section, c.key, c.value);
    EXPECT_EQ(ini.Serialize(), c.after) << c.name;
  }
}

TEST(ProfileIniTest, WrittenValuesReadBack) {
  ProfileIni ini = ProfileIni::Parse("[Option]\r\nOverAverage=$61A8\r\nPopupBreak=5\r\n");
  ini.WriteInteger("Option", "OverAverage", ini.ReadInteger("Option", "OverAverage", 0));
  ini.WriteInteger("Option", "ReloadTime", -5);
  ini.WriteBool("Option", "TaskTray", true);
  ini.WriteBool("Option", "SetWindowPos", false);
  EXPECT_EQ(ini.Serialize(),
            "[Option]\r\nOverAverage=25000\r\nPopupBreak=5\r\nReloadTime=-5\r\nTaskTray=1\r\n"
            "SetWindowPos=0\r\n");
  const ProfileIni again = ProfileIni::Parse(ini.Serialize());
  EXPECT_EQ(again.ReadInteger("Option", "ReloadTime", 0), -5);
  EXPECT_TRUE(again.ReadBool("Option", "TaskTray", false));
}

TEST(ProfileIniTest, ParseKeepsEveryByte) {
  const std::string texts[] = {
      "",
      "\r\n",
      "no break",
      "[A]\nx=1\r\r\n\n;c\r",
      std::string("[A]\0\r\nk=\0v\r\n", 12),
      "\xFF\xFE[\x95\x5C]\r\n\x83\x5C=\x95\x5C",
  };
  for (const auto& text : texts) {
    EXPECT_EQ(ProfileIni::Parse(text).Serialize(), text);
  }
}

}  // namespace
}  // namespace tol
