#include "monitor/map_menus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "shared/profile_ini.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

using testing::TempDir;

std::vector<int> Breaks(const std::vector<MenuEntryModel>& menu) {
  std::vector<int> positions;
  for (std::size_t i = 0; i < menu.size(); ++i) {
    if (menu[i].column_break) positions.push_back(static_cast<int>(i));
  }
  return positions;
}

TEST(MapMenusTest, ColumnBreaks) {
  struct Case {
    int entries;
    int32_t popup_break;
    std::vector<int> breaks;
  } cases[] = {
      {12, 5, {5, 10}}, {5, 5, {}}, {6, 5, {5}}, {10, 5, {5}}, {11, 5, {5, 10}}, {7, 3, {3, 6}},
      {3, 1, {1, 2}},   {1, 1, {}}, {0, 5, {}},  {12, 0, {}},  {12, -5, {}},     {10, -5, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.entries) + " entries, PopupBreak " +
                 std::to_string(c.popup_break));
    std::vector<MenuEntryModel> menu(c.entries);
    if (!menu.empty()) menu.front().column_break = true;  // stale flags are replaced
    ApplyColumnBreaks(menu, c.popup_break);
    EXPECT_EQ(Breaks(menu), c.breaks);
  }
}

TEST(MapMenusTest, SectionsOfTheFile) {
  std::string file =
      "[GameServer7]\r\nx=ignored\r\n"
      "[gameserver07]\r\nm1=Map One\r\nm2=\r\nm3\r\n"
      "[Other]\r\nq=Q\r\n"
      "[GameServer15]\r\n";
  file += "[GameServer03]\r\n";
  for (int i = 0; i < 12; ++i) file += "k" + std::to_string(i) + "=v" + std::to_string(i) + "\r\n";
  const MapMenus menus = BuildMapMenus(ProfileIni::Parse(file), 5);

  ASSERT_EQ(menus[6].size(), 3u);
  EXPECT_EQ(menus[6][0].caption, "m1=Map One");
  EXPECT_EQ(menus[6][1].caption, "m2=");  // empty value
  EXPECT_EQ(menus[6][2].caption, "m3=");  // no "=" at all
  ASSERT_EQ(menus[2].size(), 12u);
  EXPECT_EQ(menus[2][11].caption, "k11=v11");
  EXPECT_EQ(Breaks(menus[2]), (std::vector<int>{5, 10}));
  for (int n : {1, 2, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15}) {
    EXPECT_TRUE(menus[n - 1].empty()) << n;
  }
  EXPECT_TRUE(BuildMapMenus(ProfileIni::Parse("[Other]\r\na=b\r\n"), 5)[0].empty());

  // A section far larger than any server's list: the first entries only.
  std::string big = "[GameServer02]\r\n";
  for (std::size_t i = 0; i < kMaxMapMenuEntries + 500; ++i)
    big += "k" + std::to_string(i) + "=v\r\n";
  const MapMenus capped = BuildMapMenus(ProfileIni::Parse(big), 5);
  ASSERT_EQ(capped[1].size(), kMaxMapMenuEntries);
  EXPECT_EQ(capped[1].back().caption, "k" + std::to_string(kMaxMapMenuEntries - 1) + "=v");
}

TEST(MapMenusTest, FileNamesAndFolders) {
  struct Case {
    const char* folder;
    const char* world;
    const char* path;
  } cases[] = {
      {"/z/Zoneroll", "Arvel", "/z/Zoneroll/arvel.ini"},
      {"/z/Zoneroll/", "ARVEL", "/z/Zoneroll/arvel.ini"},
      {"C:\\z\\", "Bessa", "C:\\z\\bessa.ini"},
      // "\x83\x5C" ends in a byte that looks like "\": no separator there.
      {"C:\\\x83\x5C", "Rosk", "C:\\\x83\x5C/rosk.ini"},
      // The second byte of "\x83\x41" is "A" and stays as it is.
      {"", "\x83\x41Z", "\x83\x41z.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(MapFilePath(FilePath::FromText(c.folder), c.world), FilePath::FromText(c.path));
  }
  EXPECT_EQ(MapSectionName(1), "GameServer01");
  EXPECT_EQ(MapSectionName(15), "GameServer15");
}

TEST(MapMenusTest, ModelRebuiltFromTheWorldsFile) {
  TempDir dir;
  const FilePath folder = dir.PathOf("Zoneroll");
  std::filesystem::create_directories(dir.path() / "Zoneroll");
  TempDir::Write(dir.path() / "Zoneroll" / "arvel.ini", "[GameServer01]\r\nm=M\r\n");
  MonitorModel model;
  model.map_menus[4].push_back({"stale", true, false});
  BuildMapMenus(model, folder, 5);
  ASSERT_EQ(model.map_menus[0].size(), 1u);
  EXPECT_EQ(model.map_menus[0][0].caption, "m=M");
  EXPECT_TRUE(model.map_menus[4].empty());

  // Missing file, then missing folder: every menu empty, nothing raised.
  model.label1 = "Bessa";
  BuildMapMenus(model, folder, 5);
  for (const auto& menu : model.map_menus) EXPECT_TRUE(menu.empty());
  model.label1 = "Arvel";
  BuildMapMenus(model, dir.PathOf("missing"), 5);
  for (const auto& menu : model.map_menus) EXPECT_TRUE(menu.empty());
}

}  // namespace
}  // namespace tol
