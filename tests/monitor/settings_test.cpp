#include "monitor/settings.h"

#include <gtest/gtest.h>

#include "monitor/model.h"
#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/profile_ini.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

using testing::TempDir;

CloseTimeState StateOf(const MonitorModel& model, const KovunSettings& s) {
  return CloseTimeState{s.left,
                        s.top,
                        s.patch,
                        model.label1,
                        model.set_window_pos,
                        model.last_modified,
                        model.task_tray,
                        s.reload_time};
}

// Defaults that no close-time save below or poll test shows.
TEST(SettingsTest, DefaultsWithoutFile) {
  const KovunSettings s =
      ReadSettings(ProfileIni::Load(FilePath::FromText("/nonexistent/kovun.ini")));
  EXPECT_EQ(s.popup_break, 5);
  EXPECT_EQ(s.hot_key.value, kShortCutAlt | kShortCutCtrl | 'R');
  EXPECT_EQ(s.game_server_keys[0].text, "Alt+Ctrl+1");
  EXPECT_EQ(s.game_server_keys[9].text, "Alt+Ctrl+Shift+0");
  EXPECT_EQ(s.game_server_keys[14].value, kShortCutAlt | kShortCutCtrl | kShortCutShift | '5');
  EXPECT_EQ(s.format1, "%1:s,%3:s,%4:d,%5:d,%6:d");
  EXPECT_EQ(s.colors.good, 13631439);
  EXPECT_EQ(s.colors.average2, 13606767);
}

TEST(SettingsTest, ValuesFromFile) {
  const ProfileIni ini = ProfileIni::Parse(
      "[color]\r\nGood=0x00FF00\r\nDead=green\r\n1=$FF00000F\r\n"
      "[Option]\r\nOverAverage= $10\r\nHotKey=Nonsense\r\nNextTime=0\r\n"
      "[Server]\r\nURL=http://127.0.0.1:8080/x/\r\nDefault=\"Dovan :\"\r\n"
      "[HotKey]\r\nGameServer3=Alt+F3\r\n[status.txt]\r\nFormat2=%0:s=%1:s\r\n");
  const KovunSettings s = ReadSettings(ini);
  EXPECT_EQ(s.colors.good, 0x00FF00);
  EXPECT_EQ(s.colors.dead, 0x00CFFFFF);  // unreadable colour: default
  EXPECT_EQ(s.colors.one, kNeutralColor);
  EXPECT_EQ(s.over_average, 16);
  EXPECT_EQ(s.hot_key.text, "Nonsense");
  EXPECT_EQ(s.hot_key.value, 0);
  EXPECT_EQ(s.next_time, 0);
  EXPECT_EQ(s.service_url, "http://127.0.0.1:8080/x/");
  EXPECT_EQ(s.default_world, "Dovan");
  EXPECT_EQ(s.game_server_keys[2].value, kShortCutAlt | 0x72);  // F3
  EXPECT_EQ(s.format2, "%0:s=%1:s");
}

TEST(SettingsTest, DefaultWorldAndMenuState) {
  struct Case {
    const char* file_value;  // nullptr: no key
    const char* label;
    bool polled_world_known;
  } cases[] = {
      {nullptr, "Arvel", true},        {"Dovan :", "Dovan", true}, {"Sendra", "Sendra", true},
      {"Atlantis", "Atlantis", false}, {"arvel", "arvel", false},
  };
  for (const Case& c : cases) {
    std::string bytes = "[Server]\r\nPatch=PatchServerFV3\r\n";
    if (c.file_value) bytes += std::string("Default=") + c.file_value + "\r\n";
    const KovunSettings s = ReadSettings(ProfileIni::Parse(bytes));
    MonitorModel model;
    ApplySettingsToModel(model, s);
    EXPECT_EQ(model.label1, c.label) << c.label;
    EXPECT_EQ(FindWorld(model.label1).has_value(), c.polled_world_known) << c.label;
    EXPECT_FALSE(model.world_entries[kSendraIndex].enabled);
    EXPECT_TRUE(model.patch_entries[0].enabled);
    EXPECT_FALSE(model.patch_entries[2].enabled);
    // The label's text is what the close writes back.
    ProfileIni out;
    WriteCloseTimeSettings(out, s, StateOf(model, s));
    EXPECT_EQ(out.ReadString("Server", "Default", "?"), c.label);
  }
}

TEST(SettingsTest, CloseTimeSaveWithoutFile) {
  TempDir dir;
  const FilePath path = dir.PathOf("kovun.ini");
  KovunSettings s = ReadSettings(ProfileIni::Load(path));
  s.reload_time = 0;
  MonitorModel model;
  ApplySettingsToModel(model, s);
  SaveCloseTimeSettings(path, s, StateOf(model, s));
  EXPECT_EQ(TempDir::Read(dir.path() / "kovun.ini"),
            "[Window]\r\nLeft=210\r\nTop=129\r\nSnap=4\r\n"
            "[Server]\r\nPatch=PatchServerFV1\r\nDefault=Arvel\r\n"
            "[Option]\r\nSetWindowPos=0\r\nLastModified=0\r\nTaskTray=0\r\nMultiApp=0\r\n"
            "HotKey=Alt+Ctrl+R\r\nOverAverage=25000\r\nOverAverage2=100000\r\nReloadTime=0\r\n");
}

TEST(SettingsTest, CloseTimeSaveKeepsOtherLinesAndNormalises) {
  TempDir dir;
  const FilePath path = dir.PathOf("kovun.ini");
  TempDir::Write(dir.path() / "kovun.ini",
                 "; mine\r\n[Window]\r\nLeft=5\r\nStyle=2\r\n[Option]\r\nOverAverage=$10\r\n"
                 "HotKey=Nonsense\r\nPopupBreak=3\r\n[Server]\r\nURL=http://127.0.0.1/\r\n");
  KovunSettings s = ReadSettings(ProfileIni::Load(path));
  CloseTimeState state{300, 400, "PatchServerFV2", "Sendra", true, false, true, 7};
  SaveCloseTimeSettings(path, s, state);
  EXPECT_EQ(TempDir::Read(dir.path() / "kovun.ini"),
            "; mine\r\n[Window]\r\nLeft=300\r\nStyle=2\r\nTop=400\r\nSnap=4\r\n"
            "[Option]\r\nOverAverage=16\r\nHotKey=Nonsense\r\nPopupBreak=3\r\n"
            "SetWindowPos=1\r\nLastModified=0\r\nTaskTray=1\r\nMultiApp=0\r\n"
            "OverAverage2=100000\r\nReloadTime=7\r\n"
            "[Server]\r\nURL=http://127.0.0.1/\r\nPatch=PatchServerFV2\r\nDefault=Sendra\r\n");
}

TEST(SettingsTest, CloseTimeSaveFailureNamesTheFile) {
  TempDir dir;
  const std::string path = dir.File("missing") + "/kovun.ini";
  const KovunSettings s;
  try {
    SaveCloseTimeSettings(FilePath::FromText(path), s, CloseTimeState{});
    FAIL() << "no failure";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.what(), path + Utf8ToCp932(" に書き込めません"));
  }
}

}  // namespace
}  // namespace tol
