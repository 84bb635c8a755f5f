#include "shared/ini_file.h"

#include <gtest/gtest.h>

#include <string>

namespace tol {
namespace {

// "表" and "ソ" have 0x5C ("\") as second byte.
const std::string kHyo = "\x95\x5C";
const std::string kSo = "\x83\x5C";

const std::string kSample =
    "dropped=before any section\r\n"
    "  [ Map ]  \r\n"
    "\tarea01 = \x95\x5C  \r\n"  // 表
    "; area02=commented\n"
    "area03=\r"
    "just a line\r\n"
    "area04==x=\x01\r\n"
    "\r\n"
    "[Update]\r\n"
    "arvel=2005/02/07 21:05:00\r\n"
    "[MAP]\r\n"
    "area05=continued\r\n"
    "AREA01=duplicate\r\n"
    "[\x83\x5C]\r\n"  // ソ
    "\x83\x5C=\x95\x5C\r\n"
    "[]\r\n"
    "=empty key\r\n"
    "[broken\r\n";

TEST(IniFileTest, ReadsByTheWholeFileRules) {
  const IniFile ini = IniFile::Parse(kSample);
  struct Case {
    std::string section, key, expected;
  } cases[] = {
      {"Map", "area01", kHyo},
      {"map", "AREA01", kHyo},  // the first entry of a key counts
      {"Map", "area02", "default"},
      {"Map", "area03", ""},
      {"Map", "area04", "=x="},
      {"Map", "area05", "continued"},  // a repeated header continues the section
      {"Map", "just a line", "default"},
      {"Map", "dropped", "default"},
      {"Update", "arvel", "2005/02/07 21:05:00"},
      {"Update", "bessa", "default"},
      {"Zoneroll.exe", "Path", "default"},
      {kSo, kSo, kHyo},
      {"", "", "empty key"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini.ReadString(c.section, c.key, "default"), c.expected)
        << "[" << c.section << "] " << c.key;
  }
  EXPECT_TRUE(ini.SectionExists("MAP"));
  EXPECT_TRUE(ini.SectionExists(""));
  EXPECT_FALSE(ini.SectionExists("Mapx"));
}

TEST(IniFileTest, SerializesInBlocks) {
  EXPECT_EQ(IniFile::Parse(kSample).Serialize(), "[Map]\r\narea01=" + kHyo +
                                                     "\r\narea03=\r\njust a line\r\narea04==x=\r\n"
                                                     "area05=continued\r\nAREA01=duplicate\r\n\r\n"
                                                     "[Update]\r\narvel=2005/02/07 21:05:00\r\n\r\n"
                                                     "[" +
                                                     kSo + "]\r\n" + kSo + "=" + kHyo +
                                                     "\r\n\r\n"
                                                     "[]\r\n=empty key\r\n[broken\r\n\r\n");
  EXPECT_EQ(IniFile::Parse("").Serialize(), "");
  EXPECT_EQ(IniFile::Parse("only=lines\r\nbefore\r\n").Serialize(), "");
  EXPECT_EQ(IniFile::Parse("[Empty]").Serialize(), "[Empty]\r\n\r\n");
}

TEST(IniFileTest, SerializationIsStable) {
  const std::string texts[] = {
      kSample,
      "[a]\r\n[ a ]\r\nk=1\r\n[A]\r\nK=2",
      "[[x]]\r\n[x]=y]\r\n;[z]\r\n\x01[q]\x02",
      "[\x83]\r\nk=\x83\r\n",
  };
  for (const auto& text : texts) {
    const std::string once = IniFile::Parse(text).Serialize();
    EXPECT_EQ(IniFile::Parse(once).Serialize(), once) << text;
  }
}

TEST(IniFileTest, WritesLikeThePerWorldFile) {
  IniFile ini;
  ini.WriteString("GameServer01", "map1", kHyo);
  ini.WriteString("GameServer02", "map1", "");
  ini.WriteString("GameServer01", "map2", kSo);
  ini.WriteString("gameserver01", "MAP1", kSo + kHyo);  // in place, new letter case
  ini.WriteString("10.0.0.1", "x", "y");
  EXPECT_EQ(ini.Serialize(), "[GameServer01]\r\nMAP1=" + kSo + kHyo + "\r\nmap2=" + kSo +
                                 "\r\n\r\n"
                                 "[GameServer02]\r\nmap1=\r\n\r\n"
                                 "[10.0.0.1]\r\nx=y\r\n\r\n");
  EXPECT_EQ(ini.ReadString("GAMESERVER01", "map1", "default"), kSo + kHyo);
  EXPECT_EQ(ini.ReadString("GameServer02", "map1", "default"), "");
}

TEST(IniFileTest, WritesIntoWhatWasRead) {
  IniFile ini = IniFile::Parse(
      "[Zoneroll.exe]\r\nPath=C:\\out\\\r\nnote\r\n[Update]\r\narvel=2005/02/07\r\n");
  ini.WriteString("Update", "bessa", "2005/02/08 1:00:00");
  ini.WriteString("Zoneroll.exe", "path", "D:\\" + kHyo + "\\");
  ini.WriteString("Zoneroll.exe", "Name", ".ini");
  EXPECT_EQ(ini.Serialize(),
            "[Zoneroll.exe]\r\npath=D:\\" + kHyo +
                "\\\r\nnote\r\nName=.ini\r\n\r\n"
                "[Update]\r\narvel=2005/02/07\r\nbessa=2005/02/08 1:00:00\r\n\r\n");
}

TEST(IniFileTest, LineBreaksInWrittenTextBecomeBlanks) {
  IniFile ini;
  ini.WriteString("A\r\nB", "k\n", "v1\r\n[X]\rv2");
  const std::string bytes = ini.Serialize();
  EXPECT_EQ(bytes, "[A B]\r\nk =v1 [X] v2\r\n\r\n");
  EXPECT_EQ(ini.ReadString("A\nB", "k\r", "default"), "v1 [X] v2");
  const IniFile again = IniFile::Parse(bytes);
  EXPECT_EQ(again.ReadString("A B", "k", "default"), "v1 [X] v2");
  EXPECT_FALSE(again.SectionExists("X"));
}

}  // namespace
}  // namespace tol
