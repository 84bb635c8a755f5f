// The command-line assistant `zoneroll` as a user runs it: the real program,
// started in a folder of its own that holds Zoneroll.ini and TolMap.ini,
// against tolvane-sim on loopback with the sim's clock held still.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "assistant/fetch_run.h"
#include "assistant/map_file.h"
#include "assistant/map_list_reference.h"
#include "shared/file_io.h"
#include "shared/ini_file.h"
#include "shared/stored_time.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

extern char** environ;

namespace tol {
namespace {

namespace fs = std::filesystem;
using testing::SimProcess;

constexpr int64_t kEpoch = 1700000000;  // the sim's first list time
constexpr int64_t kMapPeriod = 3600;    // the sim's default: a new list generation each hour
constexpr auto kRunLimit = std::chrono::seconds(120);

const char kConverted[] = " => 更新完了";
const char kUpToDate[] = " => 更新済み";
const char kFinished[] = "= 取得終了 =";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

struct RunResult {
  int exit_code = -1;  // -1: didn't end normally
  std::string out;
  std::string err;
};

// Runs `program` with `args` in `cwd`, standard output and error to files in
// `capture`. A run that hangs is killed after kRunLimit, so a fault can't
// stall the suite.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const fs::path& cwd, const fs::path& capture) {
  const std::string out_path = (capture / "stdout.txt").string();
  const std::string err_path = (capture / "stderr.txt").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  const pid_t pid = testing::Spawn(program, args, &actions);
  posix_spawn_file_actions_destroy(&actions);
  RunResult result;
  if (pid < 0) {
    result.err = "can't start " + program;
    return result;
  }
  if (const std::optional<int> code = testing::WaitForExit(pid, kRunLimit)) {
    result.exit_code = *code;
  }
  result.out = ReadAll(out_path);
  result.err = ReadAll(err_path);
  return result;
}

using WorldSet = std::function<bool(const std::string&)>;
bool EveryWorld(const std::string&) { return true; }
bool NoWorld(const std::string&) { return false; }

// The log a run prints when the worlds in `converted` were fetched and every
// other one was up to date.
std::vector<std::string> ExpectedLog(const WorldSet& converted) {
  std::vector<std::string> lines;
  for (const std::string_view world : kAssistantWorlds) {
    const std::string w(world);
    lines.push_back(w + ".ini" + (converted(w) ? kConverted : kUpToDate));
  }
  lines.push_back("");
  lines.push_back(kFinished);
  return lines;
}

class ZonerollE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = fs::temp_directory_path() / ("tol-zoneroll-e2e-" + std::to_string(random()));
    work_ = folder_ / "work";
    fs::create_directories(work_ / "maps");

    sim_.SetClock(kEpoch + 60);
    const RunResult tolmap =
        RunProgram(SimProcess::ExecutablePath(),
                   {"--write-tolmap", (work_ / "TolMap.ini").string()}, work_, folder_);
    ASSERT_EQ(tolmap.exit_code, 0) << tolmap.err;
    // Only the host comes from here; Path, Name and TolMap are the texts a
    // user would type: a relative folder, the default name, the working
    // directory for TolMap.ini.
    WriteAll(work_ / "Zoneroll.ini",
             "[Zoneroll.exe]\r\nPath=maps/\r\nName=.ini\r\nTolMap=\r\nHost=" + sim_.HostPort() +
                 "\r\n\r\n");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  RunResult Zoneroll() { return RunProgram(ZONEROLL_PATH, {}, work_, folder_); }

  fs::path WorldFile(std::string_view world) const {
    return work_ / "maps" / (std::string(world) + ".ini");
  }

  // The bytes the world's file must hold: the sim's current list converted
  // line by line with the same TolMap.ini.
  std::string ExpectedFile(std::string_view world) {
    httplib::Client client("127.0.0.1", sim_.port());
    auto res = client.Get("/cgi-bin/iplist/map." + std::string(world) + ".lst");
    if (!res || res->status != 200) return "<no list>";
    return testing::ReferenceMapFileBytes(res->body, ReadAll(work_ / "TolMap.ini"))
        .value_or("<too large>");
  }

  void ExpectFilesMatchTheSim(const WorldSet& which = EveryWorld) {
    for (const std::string_view world : kAssistantWorlds) {
      if (!which(std::string(world))) continue;
      const std::string actual = ReadAll(WorldFile(world));
      EXPECT_EQ(actual, ExpectedFile(world)) << world;
      EXPECT_TRUE(actual.starts_with("[")) << world;
    }
  }

  // Every file of the working folder: path -> (bytes, inode). A replacing
  // write renames a new file into place, so an unchanged inode means the file
  // was not rewritten.
  std::map<std::string, std::pair<std::string, ino_t>> Snapshot() const {
    std::map<std::string, std::pair<std::string, ino_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(work_)) {
      if (!entry.is_regular_file()) continue;
      struct stat st {};
      stat(entry.path().c_str(), &st);
      files[entry.path().string()] = {ReadAll(entry.path()), st.st_ino};
    }
    return files;
  }

  SimProcess sim_{{"--epoch", std::to_string(kEpoch)}};
  fs::path folder_;
  fs::path work_;
};

TEST_F(ZonerollE2eTest, FirstRunConvertsEveryWorldAndSendsTheAssistantsRequests) {
  const RunResult run = Zoneroll();
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Lines(run.out), ExpectedLog(EveryWorld));
  const IniFile record = IniFile::Load(testing::TempDir::PathFrom(work_ / "Zoneroll.ini"));
  for (const std::string_view world : kAssistantWorlds) {
    EXPECT_NE(record.ReadString("Update", world, ""), "") << world;
  }
  EXPECT_EQ(record.ReadString("Zoneroll.exe", "Host", ""), sim_.HostPort());

  for (const std::string_view world : {"arvel", "rosk"}) {
    const auto requests = sim_.Requests("/cgi-bin/iplist/map." + std::string(world) + ".lst");
    ASSERT_EQ(requests.size(), 2u) << world;
    EXPECT_EQ(requests[0].method, "HEAD");
    EXPECT_EQ(requests[1].method, "GET");
    for (const auto& r : requests) {
      EXPECT_EQ(r.Header("User-Agent"), std::string(kAssistantUserAgent)) << r.method;
      EXPECT_EQ(r.Header("Accept"), "text/html, */*") << r.method;
    }
  }
  ExpectFilesMatchTheSim();
}

TEST_F(ZonerollE2eTest, SecondRunWithUnchangedListsTouchesNoFile) {
  ASSERT_EQ(Zoneroll().exit_code, 0);
  const auto before = Snapshot();
  ASSERT_EQ(before.size(), 18u + 2u);  // the world files, Zoneroll.ini, TolMap.ini

  const RunResult again = Zoneroll();
  ASSERT_EQ(again.exit_code, 0) << again.err;
  EXPECT_EQ(Lines(again.out), ExpectedLog(NoWorld));
  EXPECT_EQ(Snapshot(), before);
  // Only HEAD requests: nothing was downloaded.
  int gets = 0;
  for (const auto& r : sim_.Requests()) gets += r.method == "GET";
  EXPECT_EQ(gets, 18);
}

TEST_F(ZonerollE2eTest, SecondRunFetchesWhatChangedOrWentMissing) {
  struct Case {
    const char* name;
    std::function<void()> change;
    WorldSet converted;
  } cases[] = {
      {"deleted world file", [this] { fs::remove(WorldFile("corin")); },
       [](const std::string& w) { return w == "corin"; }},
      {"deleted world files, first and last",
       [this] {
         fs::remove(WorldFile("arvel"));
         fs::remove(WorldFile("rosk"));
       },
       [](const std::string& w) { return w == "arvel" || w == "rosk"; }},
      {"new list generation", [this] { sim_.SetClock(kEpoch + kMapPeriod + 60); }, EveryWorld},
      {"one list replaced, with an older time",
       [this] {
         sim_.SetContent("/cgi-bin/iplist/map.hollis.lst", "10.9.9.9,80,m001\r\n", kEpoch - 86400);
       },
       [](const std::string& w) { return w == "hollis"; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim_.Reset();
    sim_.SetClock(kEpoch + 60);
    std::error_code ignored;
    fs::remove_all(work_ / "maps", ignored);
    fs::create_directories(work_ / "maps");
    ASSERT_EQ(Zoneroll().exit_code, 0);

    c.change();
    const RunResult run = Zoneroll();
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(Lines(run.out), ExpectedLog(c.converted));
    ExpectFilesMatchTheSim(c.converted);
  }
}

TEST_F(ZonerollE2eTest, StatusErrorOnTheFifthWorldEndsTheRun) {
  sim_.SetFault("/cgi-bin/iplist/map.elmira.lst", "503");
  const RunResult run = Zoneroll();
  EXPECT_NE(run.exit_code, 0);
  EXPECT_NE(run.exit_code, -1) << "killed or crashed";
  EXPECT_EQ(run.err, "HTTP/1.1 503 Service Unavailable.\n");

  std::vector<std::string> expected_log;
  for (const char* world : {"arvel", "bessa", "corin", "dovan"}) {
    expected_log.push_back(std::string(world) + ".ini" + kConverted);
  }
  EXPECT_EQ(Lines(run.out), expected_log);

  const IniFile record = IniFile::Load(testing::TempDir::PathFrom(work_ / "Zoneroll.ini"));
  for (std::size_t i = 0; i < kAssistantWorlds.size(); ++i) {
    const std::string_view world = kAssistantWorlds[i];
    SCOPED_TRACE(world);
    if (i < 4) {
      EXPECT_EQ(ReadAll(WorldFile(world)), ExpectedFile(world));
    } else {
      EXPECT_FALSE(fs::exists(WorldFile(world)));
    }
    // The failed world's missing file put it back to "never converted"; the
    // worlds behind it were not visited.
    if (i == 4) {
      EXPECT_EQ(record.ReadString("Update", world, "<none>"), StoredTimeText(DateTime()));
    } else if (i > 4) {
      EXPECT_EQ(record.ReadString("Update", world, "<none>"), "<none>");
    }
  }
  const auto elmira = sim_.Requests("/cgi-bin/iplist/map.elmira.lst");
  ASSERT_EQ(elmira.size(), 1u);
  EXPECT_EQ(elmira[0].method, "HEAD");
  EXPECT_TRUE(sim_.Requests("/cgi-bin/iplist/map.fennet.lst").empty());

  // Once the service answers again, the next run picks up where this one
  // stopped.
  sim_.ClearFaults();
  const RunResult retry = Zoneroll();
  ASSERT_EQ(retry.exit_code, 0) << retry.err;
  EXPECT_EQ(Lines(retry.out), ExpectedLog([](const std::string& w) {
              return w != "arvel" && w != "bessa" && w != "corin" && w != "dovan";
            }));
  ExpectFilesMatchTheSim();
}

TEST_F(ZonerollE2eTest, AReaderDuringARunSeesTheOldFileOrTheNewOne) {
  ASSERT_EQ(Zoneroll().exit_code, 0);
  const std::string old_file = ReadAll(WorldFile("arvel"));
  // A long list, so that the run spends a while on the world.
  std::string list;
  for (int i = 0; i < 60000; ++i) {
    list += "10.0." + std::to_string(i % 200) + ".1,80,m" + std::to_string(i) + "\r\n";
  }
  sim_.SetContent("/cgi-bin/iplist/map.arvel.lst", list, kEpoch + 7200);
  const std::string new_file =
      MapFileBytes(list, DisplayNames::Load(testing::TempDir::PathFrom(work_ / "TolMap.ini")))
          .value_or("");
  ASSERT_NE(new_file, old_file);

  // What the monitor would read, polled as fast as it goes while the run lasts.
  std::atomic<bool> done{false};
  std::set<std::string> seen;
  int reads = 0;
  std::thread reader([&] {
    while (!done) {
      seen.insert(
          ReadFileBytes(testing::TempDir::PathFrom(WorldFile("arvel"))).value_or("<missing>"));
      ++reads;
    }
  });
  const RunResult run = Zoneroll();
  done = true;
  reader.join();

  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_GT(reads, 1);
  for (const std::string& bytes : seen) {
    EXPECT_TRUE(bytes == old_file || bytes == new_file) << bytes.size() << " bytes";
  }
  EXPECT_EQ(ReadAll(WorldFile("arvel")), new_file);
}

TEST_F(ZonerollE2eTest, FailureInsideAConversionLeavesTheOldFileWhole) {
  ASSERT_EQ(Zoneroll().exit_code, 0);
  const auto before = Snapshot();
  // One display name of 1 MiB, named by a hundred list lines of a section
  // each: the file would outgrow what the programs read in (64 MiB) within
  // the list.
  WriteAll(work_ / "TolMap.ini", "[Map]\r\nbig=" + std::string(1 << 20, 'x') + "\r\n");
  std::string list;
  for (int i = 0; i < 100; ++i) list += "10.0.0." + std::to_string(i) + ",80,big\r\n";
  sim_.SetContent("/cgi-bin/iplist/map.arvel.lst", list, kEpoch + 7200);

  const RunResult run = Zoneroll();
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_THAT(run.err, ::testing::HasSubstr("maps/arvel.ini"));
  EXPECT_TRUE(Lines(run.out).empty()) << run.out;
  // Every file as it was: arvel's old map names and its old list time.
  for (const auto& [path, file] : before) {
    if (path.ends_with("TolMap.ini")) continue;
    EXPECT_EQ(ReadAll(path), file.first) << path;
  }
}

}  // namespace
}  // namespace tol
