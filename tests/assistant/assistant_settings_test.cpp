#include "assistant/assistant_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "shared/file_io.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

namespace fs = std::filesystem;

class AssistantSettingsTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  FilePath path_ = dir_.PathOf("Zoneroll.ini");
};

TEST_F(AssistantSettingsTest, LoadsValuesOrDefaults) {
  struct Case {
    const char* name;
    const char* file;  // nullptr: no file
    AssistantSettings expected;
  };
  const std::string host(kDefaultMapListHost);
  const Case cases[] = {
      {"no file", nullptr, {"/opt/zr/", ".ini", "", host}},
      {"other section only", "[Update]\r\narvel=2026/11/30\r\n", {"/opt/zr/", ".ini", "", host}},
      {"empty values stay empty",
       "[Zoneroll.exe]\r\nPath=\r\nName=\r\nTolMap=\r\nHost= \r\n",
       {"", "", "", host}},
      {"values, any letter case",
       "[ZONEROLL.EXE]\r\npath = out\\\r\nNAME=.txt\r\ntolmap=c:\\\x95\x5C\\\r\n"
       "host=127.0.0.1:8080\r\n",
       {"out\\", ".txt", "c:\\\x95\x5C\\", "127.0.0.1:8080"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir_.path() / "Zoneroll.ini");
    if (c.file != nullptr) WriteFileAtomic(path_, c.file);
    const AssistantSettings s = LoadAssistantSettings(path_, "/opt/zr/");
    EXPECT_EQ(s.path, c.expected.path);
    EXPECT_EQ(s.name, c.expected.name);
    EXPECT_EQ(s.tolmap, c.expected.tolmap);
    EXPECT_EQ(s.host, c.expected.host);
  }
}

TEST_F(AssistantSettingsTest, SaveKeepsEverythingItDoesNotOwn) {
  const AssistantSettings settings{"d:\\\x95\x5C\\", "", "", "ignored.example"};
  struct Case {
    const char* name;
    const char* before;  // nullptr: no file
    const char* after;
  };
  const Case cases[] = {
      {"no file", nullptr, "[Zoneroll.exe]\r\nPath=d:\\\x95\x5C\\\r\nName=\r\nTolMap=\r\n\r\n"},
      {"keys replaced in place, Host and other sections kept",
       "[Update]\r\narvel=2026/11/30 21:05:07\r\n[zoneroll.exe]\r\nHost=h:81\r\nName=.ini\r\n"
       "Path=x\r\n[Other]\r\nk=v\r\n",
       "[Update]\r\narvel=2026/11/30 21:05:07\r\n\r\n[zoneroll.exe]\r\nHost=h:81\r\nName=\r\n"
       "Path=d:\\\x95\x5C\\\r\nTolMap=\r\n\r\n[Other]\r\nk=v\r\n\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir_.path() / "Zoneroll.ini");
    if (c.before != nullptr) WriteFileAtomic(path_, c.before);
    SaveAssistantSettings(path_, settings);
    EXPECT_EQ(ReadFileBytes(path_).value_or("<missing>"), c.after);
  }
}

TEST(AssistantTextsTest, PreviewShowsFirstWorld) {
  EXPECT_EQ(PreviewFileName(".ini"), "arvel.ini");
  EXPECT_EQ(PreviewFileName(""), "arvel");
}

TEST(AssistantTextsTest, ErrorBoxTextAppendsFullStop) {
  struct Case {
    const char* message;
    const char* expected;
  };
  const Case cases[] = {
      {"", ""},
      {"HTTP/1.1 404 Not Found", "HTTP/1.1 404 Not Found."},
      {"Done.", "Done."},
      {"Failed!", "Failed!"},     // "!" sorts before "."
      {"(code 5)", "(code 5)"},   // ")" too
      {"code 5", "code 5."},      // digits after
      {"\x95\x5C", "\x95\x5C."},  // double-byte, second byte "\"
      {"\xB1", "\xB1."},          // half-width katakana
      {"x\x81.", "x\x81.."},      // "." is the second byte of the last character
      {"\x81", "\x81."},          // lone lead byte at the end
      // A system reason that ends with a full stop of its own gets no second:
      // "見つかりません。", "全角．", half-width "ｱ｡".
      {"x: \x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81\x42",
       "x: \x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81\x42"},
      {"\x91\x53\x8A\x70\x81\x44", "\x91\x53\x8A\x70\x81\x44"},
      {"\xB1\xA1", "\xB1\xA1"},
      {"\x81\x42\x81", "\x81\x42\x81."},  // "。" then a lone lead byte
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorBoxText(c.message), c.expected) << c.message;
  }
}

}  // namespace
}  // namespace tol
