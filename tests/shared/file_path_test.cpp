#include "shared/file_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "shared/file_io.h"
#include "shared/ini_file.h"
#include "shared/profile_ini.h"
#include "support/temp_dir.h"

// Runs on both builds: on Windows the paths are UTF-16 and reach the W
// functions as they are.

namespace tol {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

FilePath Native(std::u8string_view utf8) { return TempDir::PathFrom(fs::path(utf8)); }

TEST(FilePathTest, NamesCodePage932CantSpellSurviveWhole) {
  struct Case {
    std::u8string folder;  // the system's name, in UTF-8 here
    std::string text;      // what Text() shows for it
  } cases[] = {
      {u8"Zoë", "Zo?"},
      {u8"한", "?"},
      {u8"𠮷", "?"},  // a surrogate pair in UTF-16
      {u8"Zoë 한 𠮷.d", "Zo? ? ?.d"},
  };
  for (const Case& c : cases) {
    const std::u8string base = u8"/base/" + c.folder + u8"/";
    SCOPED_TRACE(c.text);
    const FilePath exe = Native(base + u8"kovun.exe");
    EXPECT_EQ(exe.Folder(), Native(base));
    EXPECT_EQ(exe.FileName(), FilePath::FromText("kovun.exe"));
    EXPECT_EQ(exe.WithoutExtension().Join(".ini"), Native(base + u8"kovun.ini"));
    EXPECT_EQ(exe.Folder().Join("Zoneroll/arvel.ini"), Native(base + u8"Zoneroll/arvel.ini"));
    EXPECT_EQ(exe.Folder().Join(exe.FileName()), exe);
    // Back to the standard library's path unchanged.
    EXPECT_EQ(TempDir::FsPath(exe), fs::path(base + u8"kovun.exe"));
    // Shown with "?", but no text names it.
    EXPECT_EQ(exe.Text(), "/base/" + c.text + "/kovun.exe");
    EXPECT_EQ(exe.ExactText(), std::nullopt);
  }
}

TEST(FilePathTest, TextsConvertWithTheirDoubleByteCharacters) {
  // "表" and "ソ" end in 0x5C, which is no separator inside them.
  const std::string hyo = "\x95\x5C", so = "\x83\x5C";
  struct Case {
    std::string path, folder, name, without_extension;
  } cases[] = {
      {"C:\\" + hyo + "\\" + so + ".ini", "C:\\" + hyo + "\\", so + ".ini",
       "C:\\" + hyo + "\\" + so},
      {"/a.b/" + hyo, "/a.b/", hyo, "/a.b/" + hyo},  // a dot in the folder is no extension
      {"dir/.ini", "dir/", ".ini", "dir/.ini"},      // nor one that begins the name
      {"kovun", "", "kovun", "kovun"},
      {"a.b.c", "", "a.b.c", "a.b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const FilePath path = FilePath::FromText(c.path);
    EXPECT_EQ(path.Folder(), FilePath::FromText(c.folder));
    EXPECT_EQ(path.FileName(), FilePath::FromText(c.name));
    EXPECT_EQ(path.WithoutExtension(), FilePath::FromText(c.without_extension));
    EXPECT_EQ(path.Text(), c.path);
    EXPECT_EQ(path.ExactText(), c.path);
    // A text joined to a folder is the same path as the whole text.
    EXPECT_EQ(path.Folder().Join(c.name), path);
  }
  // The system's form holds the characters, not the code page 932 bytes.
  EXPECT_EQ(FilePath::FromText(hyo), Native(u8"表"));
}

TEST(FilePathTest, FilesInAFolderCodePage932CantSpell) {
  TempDir dir;
  const fs::path folder = dir.path() / fs::path(u8"Zoë 한 𠮷");
  fs::create_directory(folder);
  const FilePath ini = TempDir::PathFrom(folder / "").Join("kovun.ini");

  EXPECT_FALSE(FileExists(ini));
  EXPECT_EQ(ReadFileBytes(ini), std::nullopt);
  WriteFileAtomic(ini, "[Window]\r\nLeft=1\r\n");
  EXPECT_TRUE(FileExists(ini));
  EXPECT_EQ(ReadFileBytes(ini), "[Window]\r\nLeft=1\r\n");

  ProfileIni settings = ProfileIni::LoadForUpdate(ini);
  EXPECT_EQ(settings.ReadInteger("Window", "Left", 0), 1);
  settings.WriteInteger("Window", "Left", 2);
  settings.Save(ini);  // a replace
  EXPECT_EQ(ProfileIni::Load(ini).ReadInteger("Window", "Left", 0), 2);

  const FilePath world = ini.Folder().Join("arvel.ini");
  IniFile map_file;
  map_file.WriteString("GameServer01", "m1", "x");
  map_file.Save(world);
  EXPECT_EQ(IniFile::Load(world).ReadString("GameServer01", "m1", ""), "x");

  // Everything landed in that very folder, and nothing was left beside it.
  std::vector<fs::path> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<fs::path>{"arvel.ini", "kovun.ini"}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  EXPECT_EQ(TempDir::Read(folder / "kovun.ini"), "[Window]\r\nLeft=2\r\n");

  // A text for it, where there is one (a short name on Windows), names the
  // same files.
  if (const std::optional<std::string> text = ini.Folder().ExactText()) {
    EXPECT_EQ(ReadFileBytes(FilePath::FromText(*text + "kovun.ini")), "[Window]\r\nLeft=2\r\n");
  }
}

}  // namespace
}  // namespace tol
