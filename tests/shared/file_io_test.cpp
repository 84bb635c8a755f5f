#include "shared/file_io.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/ini_file.h"
#include "shared/profile_ini.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

namespace fs = std::filesystem;

// "表" and "ソ" have 0x5C ("\") as second byte; as path text on Windows that
// byte must not count as a separator.
const std::string kHyo = "\x95\x5C";
const std::string kSo = "\x83\x5C";

fs::path Native(const std::string& cp932) {
  const std::string utf8 = Cp932ToUtf8(cp932);
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Cp932(const fs::path& path) {
  const std::u8string utf8 = path.u8string();
  return Utf8ToCp932(std::string(utf8.begin(), utf8.end()));
}

class FileIoTest : public ::testing::Test {
 protected:
  FilePath PathOf(const std::string& cp932_name) const { return dir_.Folder().Join(cp932_name); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      names.push_back(Cp932(entry.path().filename()));
    }
    return names;
  }

  testing::TempDir dir_;
};

TEST_F(FileIoTest, WritesReplacesAndReadsBytes) {
  struct Case {
    std::string name, first, second;
  } cases[] = {
      {"plain.txt", "one", "two\r\n"},
      {kHyo + ".ini", "[" + kHyo + "]\r\n" + kSo + "=" + kHyo + "\r\n", ""},
      {kSo + kHyo + "x.txt", std::string("\0\xFF\r\n", 4), std::string(100000, '\x5C')},
  };
  for (const auto& c : cases) {
    const FilePath path = PathOf(c.name);
    EXPECT_FALSE(FileExists(path)) << c.name;
    WriteFileAtomic(path, c.first);
    EXPECT_TRUE(FileExists(path)) << c.name;
    EXPECT_EQ(ReadFileBytes(path), c.first) << c.name;
    WriteFileAtomic(path, c.second);
    EXPECT_EQ(ReadFileBytes(path), c.second) << c.name;
    // The name reached the system as the right characters, and no temporary
    // file stayed behind.
    EXPECT_EQ(Names(), std::vector<std::string>{c.name});
    fs::remove(dir_.path() / Native(c.name));
  }
}

TEST_F(FileIoTest, FailedWritesThrowAndLeaveNothing) {
  fs::create_directory(dir_.path() / "sub");
  const FilePath cases[] = {
      PathOf("missing/x.ini"),
      PathOf("sub"),  // a folder can't be replaced by a file
      FilePath(),
      PathOf(std::string("nul\0.ini", 8)),
  };
  for (const auto& path : cases) {
    try {
      WriteFileAtomic(path, "bytes");
      ADD_FAILURE() << "no failure for " << path.Text();
    } catch (const EFCreateError& error) {
      EXPECT_STRNE(error.what(), "") << path.Text();
    }
    EXPECT_EQ(Names(), std::vector<std::string>{"sub"}) << path.Text();
  }
}

TEST_F(FileIoTest, ReadsOnlyFilesThatFit) {
  fs::create_directory(dir_.path() / "sub");
  WriteFileAtomic(PathOf("empty"), "");
  WriteFileAtomic(PathOf("ten"), "0123456789");
  EXPECT_EQ(ReadFileBytes(PathOf("empty")), "");
  EXPECT_EQ(ReadFileBytes(PathOf("ten"), 10), "0123456789");
  EXPECT_EQ(ReadFileBytes(PathOf("ten"), 9), std::nullopt);
  EXPECT_EQ(ReadFileBytes(PathOf("missing")), std::nullopt);
  EXPECT_EQ(ReadFileBytes(PathOf("sub")), std::nullopt);
  EXPECT_EQ(ReadFileBytes(FilePath()), std::nullopt);
  EXPECT_EQ(ReadFileBytes(PathOf(std::string("ten\0x", 5))), std::nullopt);
  EXPECT_TRUE(FileExists(PathOf("empty")));
  EXPECT_FALSE(FileExists(PathOf("sub")));
  EXPECT_FALSE(FileExists(PathOf("missing")));
  EXPECT_FALSE(FileExists(PathOf(std::string("ten\0x", 5))));
}

TEST_F(FileIoTest, IniDocumentsSaveAndLoadByteForByte) {
  const FilePath profile_path = PathOf("kovun_error.txt");
  const std::string before = "[Error]\n2005/02/07 21:05:00=old\n";
  WriteFileAtomic(profile_path, before);
  ProfileIni log = ProfileIni::Load(profile_path);
  log.WriteString("Error", "2005/02/07 21:05:01", kHyo + ".\r\n" + kSo + ".\r\n");
  log.Save(profile_path);
  EXPECT_EQ(ReadFileBytes(profile_path),
            before + "2005/02/07 21:05:01=" + kHyo + ". " + kSo + ". \r\n");

  const FilePath world_path = PathOf(kHyo + ".ini");
  IniFile world = IniFile::Load(world_path);  // missing: empty
  world.WriteString("GameServer01", "map1", kHyo);
  world.Save(world_path);
  EXPECT_EQ(ReadFileBytes(world_path), "[GameServer01]\r\nmap1=" + kHyo + "\r\n\r\n");
  EXPECT_EQ(IniFile::Load(world_path).ReadString("GameServer01", "MAP1", ""), kHyo);
  EXPECT_EQ(ProfileIni::Load(world_path).ReadString("gameserver01", "map1", ""), kHyo);

  EXPECT_EQ(ProfileIni::Load(PathOf("missing.ini")).Serialize(), "");
  EXPECT_THROW(world.Save(PathOf("missing/x.ini")), EFCreateError);
  EXPECT_THROW(log.Save(PathOf("missing/x.ini")), EFCreateError);
}

TEST(TempFileTest, OnlyOurOwnLeftoversAreStale) {
  using std::chrono::minutes;
  const auto running_123 = [](std::uint32_t pid) { return pid == 123; };
  const struct {
    std::string name;
    minutes age;
    bool stale;
  } cases[] = {
      {TempFileName(456, 7), minutes(10), true},
      {"~tol-4294967295-4294967295.tmp", minutes(60), true},
      {TempFileName(456, 7), minutes(9), false},   // may still be written
      {TempFileName(123, 7), minutes(60), false},  // its owner runs
      {"~tol-0-1.tmp", minutes(60), false},
      {"~tol-4294967296-1.tmp", minutes(60), false},
      {"~tol-456-.tmp", minutes(60), false},
      {"~tol--7.tmp", minutes(60), false},
      {"~tol-45a-7.tmp", minutes(60), false},
      {"~tol-456-7-8.tmp", minutes(60), false},
      {"~tol-456-7.tmp.bak", minutes(60), false},
      {"x~tol-456-7.tmp", minutes(60), false},
      {"~TOL-456-7.TMP", minutes(60), false},
      {"~tol-notes.tmp", minutes(60), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsStaleTempFile(c.name, c.age, running_123), c.stale) << c.name;
  }
  EXPECT_EQ(TempFileOwner(TempFileName(456, 7)), 456u);
}

std::uint32_t CurrentProcessId() {
#ifdef _WIN32
  return ::GetCurrentProcessId();
#else
  return static_cast<std::uint32_t>(::getpid());
#endif
}

TEST_F(FileIoTest, WriteRemovesStaleTemporaryFilesOfItsFolder) {
  // No process has this id, on Linux (above the largest pid) nor on Windows.
  constexpr std::uint32_t kEnded = 2147483646;
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(2);
  fs::create_directory(dir_.path() / "other");
  const auto make = [&](const fs::path& path, bool aged) {
    testing::TempDir::Write(path.string(), "partial");
    if (aged) fs::last_write_time(path, old);
  };
  make(dir_.path() / TempFileName(kEnded, 1), true);              // left over
  make(dir_.path() / TempFileName(kEnded, 2), false);             // maybe in use
  make(dir_.path() / TempFileName(CurrentProcessId(), 3), true);  // its owner runs
  make(dir_.path() / "~tol-notes.tmp", true);                     // not one of ours
  make(dir_.path() / "other" / TempFileName(kEnded, 5), true);    // another folder
  fs::create_directory(dir_.path() / TempFileName(kEnded, 4));    // a folder
  // (MinGW's library can't date a folder back; there the folder is skipped
  // for its age as well.)
  std::error_code undated;
  fs::last_write_time(dir_.path() / TempFileName(kEnded, 4), old, undated);

  WriteFileAtomic(PathOf("target.ini"), "new");

  std::vector<std::string> names = Names();
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {TempFileName(kEnded, 2),
                                       TempFileName(CurrentProcessId(), 3),
                                       TempFileName(kEnded, 4),
                                       "other",
                                       "target.ini",
                                       "~tol-notes.tmp"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(fs::exists(dir_.path() / "other" / TempFileName(kEnded, 5)));
}

}  // namespace
}  // namespace tol
