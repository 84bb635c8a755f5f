// The terminal monitor `kovun --once --json` as a script runs it: the real
// program with a settings file in a folder of its own, polling tolvane-sim on
// loopback with fixed status texts or faults.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/program_run.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

extern char** environ;

namespace tol {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::SimProcess;

constexpr char kStatusPath[] = "/status/arvel/status.txt";
constexpr char kLoadTimePath[] = "/status/arvel/loadtime.txt";
constexpr int64_t kLastModified = 1700000000;

std::string ReadAll(const fs::path& path) { return testing::TempDir::Read(path.string()); }
void WriteAll(const fs::path& path, const std::string& bytes) {
  testing::TempDir::Write(path.string(), bytes);
}

// The 22 lines of a status text: every key the sim knows, connect time 1000
// except where `lines` says otherwise.
std::string StatusBody(const std::vector<std::pair<std::string, std::string>>& lines) {
  static const char* const kKeys[] = {
      "LoginServer",    "PatchServerH", "PatchServerFV1", "PatchServerFV2", "PatchServerFV3",
      "PatchServerFV4", "CharSelect",   "GameServer01",   "GameServer02",   "GameServer03",
      "GameServer04",   "GameServer05", "GameServer06",   "GameServer07",   "GameServer08",
      "GameServer09",   "GameServer10", "GameServer11",   "GameServer12",   "GameServer13",
      "GameServer14",   "GameServer15"};
  std::string body;
  for (const char* key : kKeys) {
    std::string rest = "Good,2,2,1000";
    for (const auto& [k, r] : lines) {
      if (k == key) rest = r;
    }
    body += std::string(key) + "," + rest + "\r\n";
  }
  return body;
}

struct RunResult {
  int exit_code = -1;
  json out;
};

class KovunE2eTest : public ::testing::Test {
 protected:
  // The settings file: the sim's service, [Server] `server_lines`, copies
  // allowed (tests may run side by side), then `option_lines` and whatever
  // sections they start.
  void WriteSettings(const std::string& url, const std::string& option_lines = "",
                     const std::string& server_lines = "") {
    WriteAll(ini_, "[Server]\r\nURL=" + url + "\r\n" + server_lines + "[Option]\r\nMultiApp=1\r\n" +
                       option_lines);
  }

  RunResult RunOnce() { return RunOnce(KOVUN_PATH, "--ini '" + ini_.string() + "'"); }
  RunResult RunOnce(const fs::path& program, const std::string& options) {
    const std::string command = "'" + program.string() + "' --once --json " + options + " 2>'" +
                                (folder_ / "stderr.txt").string() + "'";
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    const int status = pclose(pipe);
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    result.out = json::parse(text, nullptr, /*allow_exceptions=*/false);
    return result;
  }

  SimProcess sim_;
  testing::TempDir temp_;
  const fs::path folder_ = temp_.path();
  const fs::path ini_ = folder_ / "kovun.ini";
};

TEST_F(KovunE2eTest, CompletedPollColoursPanelsAndSavesSettings) {
  sim_.SetContent(kStatusPath,
                  StatusBody({{"LoginServer", "Good,1,2,1000"},
                              {"PatchServerFV1", "Down,0,2,0"},
                              {"CharSelect", "Closed,0,2,1000"},
                              {"GameServer01", "Good,0,2,30000"},
                              {"GameServer02", "Dead,0,2,1000"}}),
                  kLastModified);
  sim_.SetContent(kLoadTimePath, "100\r\n", kLastModified);
  WriteSettings(sim_.StatusBase(), "ReloadTime=5\r\n");

  const RunResult run = RunOnce();
  ASSERT_EQ(run.exit_code, 0) << ReadAll(folder_ / "stderr.txt");
  const json& out = run.out;
  EXPECT_EQ(out["outcome"], "completed");
  EXPECT_EQ(out["world"], "Arvel");
  // 20 lines of 1000, one of 30000 and one of 0: 50000 / (22 - 1 + 1).
  EXPECT_EQ(out["average"], "2272");
  EXPECT_EQ(out["load_time"], 100);
  EXPECT_EQ(out["interval_ms"], (100 + 5) * 1000);
  EXPECT_THAT(out["caption"].get<std::string>(), ::testing::HasSubstr("Average : 2272"));
  EXPECT_FALSE(out["update_text"].get<std::string>().empty());

  struct PanelCase {
    int slot;
    const char* caption;
    const char* color;
    const char* hint;
  };
  const PanelCase kPanels[] = {
      {1, "Login", "$006F9F6F", "LoginServer : Good ( 1/2:1000 )"},
      {2, "PatF", "$00CFCFFF", "PatchServerFV1 : Down ( 0/2:0 )"},
      {3, "PatH", "$009FCF9F", "PatchServerH : Good ( 2/2:1000 )"},
      {4, "Char", "$00FFDFCF", "CharSelect : Closed ( 0/2:1000 )"},
      {5, "1", "$00DFCF9F", "GameServer01 : Good ( 0/2:30000 )"},
      {6, "2", "$00CFFFFF", "GameServer02 : Dead ( 0/2:1000 )"},
      {19, "15", "$009FCF9F", "GameServer15 : Good ( 2/2:1000 )"},
  };
  ASSERT_EQ(out["panels"].size(), 19u);
  for (const PanelCase& c : kPanels) {
    const json& panel = out["panels"][c.slot - 1];
    EXPECT_EQ(panel["caption"], c.caption) << "slot " << c.slot;
    EXPECT_EQ(panel["color"], c.color) << "slot " << c.slot;
    EXPECT_EQ(panel["hint"], c.hint) << "slot " << c.slot;
    EXPECT_EQ(panel["hint_shown"], true) << "slot " << c.slot;
  }

  // The close-time save: the written keys beside the read-only URL.
  const std::string saved = ReadAll(ini_);
  for (const char* line : {"Default=Arvel\r\n", "Patch=PatchServerFV1\r\n", "Left=210\r\n",
                           "ReloadTime=5\r\n", "HotKey=Alt+Ctrl+R\r\n"}) {
    EXPECT_THAT(saved, ::testing::HasSubstr(line));
  }
  EXPECT_THAT(saved, ::testing::HasSubstr("URL=" + sim_.StatusBase() + "\r\n"));
}

TEST_F(KovunE2eTest, FailedPollsEndWithTheirStatus) {
  struct FaultCase {
    const char* name;
    std::function<std::string(SimProcess&)> setup;  // returns the service URL
    const char* server_lines;
    int exit_code;
    const char* outcome;
    const char* caption_end;  // "" when the caption isn't checked
  };
  const FaultCase kCases[] = {
      {"status.txt 404 once: the retry gets it",
       [](SimProcess& sim) {
         sim.SetFault(kStatusPath, "404", "count=1");
         return sim.StatusBase();
       },
       "", 0, "completed", " )"},
      {"status.txt 404 twice",
       [](SimProcess& sim) {
         sim.SetFault(kStatusPath, "404", "count=2");
         return sim.StatusBase();
       },
       "", 3, "file_not_found", " ( File Not Found )"},
      {"refused connection",
       [](SimProcess&) { return "http://127.0.0.1:" + std::to_string(testing::FreeLoopbackPort()) + "/status/"; },
       "", 2, "socket_error", " ( Socket Error )"},
      {"non-integer connect time",
       [](SimProcess& sim) {
         sim.SetContent(kStatusPath, StatusBody({{"GameServer03", "Good,2,2,fast"}}),
                        kLastModified);
         return sim.StatusBase();
       },
       "", 4, "convert_error", ""},
      {"world label names no world", [](SimProcess& sim) { return sim.StatusBase(); },
       "Default=Nowhere\r\n", 6, "none", ""},
  };
  for (const FaultCase& c : kCases) {
    SCOPED_TRACE(c.name);
    sim_.Reset();
    WriteSettings(c.setup(sim_), "", c.server_lines);
    const RunResult run = RunOnce();
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.out["outcome"], c.outcome);
    EXPECT_EQ(run.out["exit_status"], c.exit_code);
    const std::string caption = run.out["caption"].get<std::string>();
    EXPECT_TRUE(caption.ends_with(c.caption_end)) << caption;
    if (c.exit_code == 2 || c.exit_code == 3) {
      for (const json& panel : run.out["panels"]) EXPECT_EQ(panel["color"], "$FF00000F");
    }
  }
}

TEST_F(KovunE2eTest, WritesTheExportFileWhenEnabled) {
  sim_.SetContent(kStatusPath, StatusBody({{"LoginServer", "Good,1,2,1234"}}), kLastModified);
  const fs::path exported = folder_ / "out" / "status.txt";
  fs::create_directories(exported.parent_path());
  WriteSettings(sim_.StatusBase(),
                "[status.txt]\r\nEnabled=1\r\nPath=" + exported.parent_path().string() + "/\r\n");
  ASSERT_EQ(RunOnce().exit_code, 0);
  const std::string text = ReadAll(exported);
  EXPECT_TRUE(text.starts_with("LoginServer,Good,1,2,1234\r\n")) << text;
  EXPECT_THAT(text, ::testing::HasSubstr("GameServer15,Good,2,2,1000\r\n"));
}

TEST_F(KovunE2eTest, MapMenusComeFromTheWorldsZonerollFile) {
  fs::create_directories(folder_ / "Zoneroll");
  // "テスト" in code page 932, to come out as UTF-8.
  WriteAll(folder_ / "Zoneroll" / "arvel.ini",
           "[GameServer01]\r\na=1\r\nb=2\r\nc=3\r\nd=4\r\ne=5\r\nf=6\r\ng=7\r\n"
           "[gameserver15]\r\nm001=\x83\x65\x83\x58\x83\x67\r\nm002=x\r\n");
  WriteSettings(sim_.StatusBase(), "PopupBreak=3\r\n");
  const RunResult run = RunOnce();
  ASSERT_EQ(run.exit_code, 0);
  const json& menus = run.out["map_menus"];
  ASSERT_EQ(menus.size(), 15u);
  ASSERT_EQ(menus[0].size(), 7u);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(menus[0][i]["column_break"], i == 3 || i == 6) << "entry " << i;
  }
  EXPECT_EQ(menus[0][6]["caption"], "g=7");
  ASSERT_EQ(menus[14].size(), 2u);
  EXPECT_EQ(menus[14][0]["caption"], "m001=テスト");
  for (int i = 1; i < 14; ++i) EXPECT_TRUE(menus[i].empty()) << "menu " << i + 1;
}

// Without a terminal and without --once: a caption line per poll, until
// SIGTERM, which ends the program through the close-time save.
TEST_F(KovunE2eTest, LineModePrintsEachPollAndSavesOnSigterm) {
  sim_.SetContent(kStatusPath, StatusBody({}), kLastModified);
  WriteSettings(sim_.StatusBase(), "ReloadTime=7\r\n");
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::string ini = ini_.string();
  std::vector<char*> argv = {const_cast<char*>(KOVUN_PATH), const_cast<char*>("--ini"), ini.data(),
                             nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, KOVUN_PATH, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);

  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  close(out[0]);
  // 22 lines of 1000: 22000 / (22 - 0 + 1).
  EXPECT_EQ(line, "Kovun Rev. 0.1.0a ( Average : 956 )");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The save wrote the [Window] section that the file didn't have.
  EXPECT_THAT(ReadAll(ini_), ::testing::HasSubstr("[Window]\r\nLeft=210\r\nTop=129\r\n"));
}

// Starts kovun in line mode (no terminal) with `ini`; its output goes to
// `out` (a pipe's write end, or -1 for /dev/null).
pid_t StartLineMode(const std::string& program, const fs::path& ini, int out = -1) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out >= 0) {
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  const pid_t pid = testing::Spawn(program, {"--ini", ini.string()}, &actions);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 200 && !condition(); ++i) usleep(25000);
  return condition();
}

// Quitting while a request hangs gives the request up: the program ends at
// once with its settings saved, instead of after the request time-outs.
TEST_F(KovunE2eTest, QuitDuringAStalledRequestIsPrompt) {
  sim_.SetFault(kStatusPath, "stall", "seconds=60");
  WriteSettings(sim_.StatusBase(), "ReloadTime=7\r\n");
  const pid_t pid = StartLineMode(KOVUN_PATH, ini_);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitUntil([&] { return sim_.StalledRequests() > 0; }));
  kill(pid, SIGTERM);
  // The request time-out is 15 s; a second is plenty when nothing waits.
  EXPECT_EQ(testing::WaitForExit(pid, std::chrono::seconds(3)), 0);
  EXPECT_THAT(ReadAll(ini_), ::testing::HasSubstr("ReloadTime=7\r\n"));
  EXPECT_THAT(ReadAll(ini_), ::testing::HasSubstr("Left=210\r\n"));
}

// A second copy (MultiApp=0) runs its first poll to the end, then goes
// without saving anything.
TEST_F(KovunE2eTest, SecondCopyEndsAfterItsFirstPoll) {
  setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);  // a lock of this test's own
  // The sim's own texts: the countdown runs from their real age, so the
  // first copy makes no further request during the test.
  WriteAll(ini_, "[Server]\r\nURL=" + sim_.StatusBase() + "\r\n[Option]\r\nMultiApp=0\r\n");
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t first = StartLineMode(KOVUN_PATH, ini_, out[1]);
  close(out[1]);
  ASSERT_GT(first, 0);
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') {
  }
  const std::string settings = ReadAll(ini_);
  const std::size_t heads_before = sim_.Requests(kStatusPath).size();

  // The second copy's status request hangs for a second, then its retry
  // goes through.
  sim_.SetFault(kStatusPath, "stall", "seconds=1&count=1");
  const pid_t second = StartLineMode(KOVUN_PATH, ini_);
  EXPECT_EQ(testing::WaitForExit(second, std::chrono::seconds(10)), 7);
  int heads = 0;
  const std::vector<testing::SimRequest> requests = sim_.Requests(kStatusPath);
  for (std::size_t i = heads_before; i < requests.size(); ++i)
    heads += requests[i].method == "HEAD";
  EXPECT_EQ(heads, 1);  // the poll's last request
  EXPECT_EQ(ReadAll(ini_), settings);

  kill(first, SIGTERM);
  EXPECT_EQ(testing::WaitForExit(first, std::chrono::seconds(5)), 0);
  close(out[0]);
}

// The error log is named after the program, so a renamed copy keeps its own.
TEST_F(KovunE2eTest, RenamedCopyLogsToItsOwnErrorLog) {
  const fs::path renamed = folder_ / "kovun2";
  fs::copy_file(KOVUN_PATH, renamed);
  // An export into a folder that doesn't exist: a failure for the log.
  WriteSettings(sim_.StatusBase(),
                "[status.txt]\r\nEnabled=1\r\nPath=" + (folder_ / "missing").string() + "/\r\n");
  const std::string command =
      "'" + renamed.string() + "' --once --ini '" + ini_.string() + "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 5);
  EXPECT_THAT(ReadAll(folder_ / "kovun2_error.txt"), ::testing::HasSubstr("EFCreateError"));
  EXPECT_FALSE(fs::exists(folder_ / "kovun_error.txt"));
}

// A program kept in a folder, and under a name, that code page 932 can't
// spell: its settings, map-name files and error log are found beside it all
// the same, by the bytes the system gave, and so is a settings file named on
// the command line.
TEST_F(KovunE2eTest, FoldersAndNamesInAnyScriptHoldTheirFiles) {
  sim_.SetContent(kStatusPath, StatusBody({}), kLastModified);
  const fs::path home = folder_ / fs::path(u8"Zoë 한");
  fs::create_directories(home / "Zoneroll");
  WriteAll(home / "Zoneroll" / "arvel.ini", "[GameServer01]\r\nm001=x\r\n");
  const fs::path program = home / fs::path(u8"kovün");
  fs::copy_file(KOVUN_PATH, program);
  const struct {
    const char* name;
    fs::path ini;
    std::string options;
  } cases[] = {
      {"beside the program", home / fs::path(u8"kovün.ini"), ""},
      {"--ini", home / fs::path(u8"設定 Zoë.ini"),
       "--ini '" + (home / fs::path(u8"設定 Zoë.ini")).string() + "'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // An export into a folder that doesn't exist: a failure for the log.
    WriteAll(c.ini, "[Server]\r\nURL=" + sim_.StatusBase() +
                        "\r\n[Option]\r\nMultiApp=1\r\n[status.txt]\r\nEnabled=1\r\nPath=" +
                        (folder_ / "missing").string() + "/\r\n");
    fs::remove(home / fs::path(u8"kovün_error.txt"));

    const RunResult run = RunOnce(program, c.options);
    EXPECT_EQ(run.exit_code, 5) << ReadAll(folder_ / "stderr.txt");
    // The sim's texts, so the settings were read: 22 lines of 1000, 22000 / (22 + 1).
    EXPECT_EQ(run.out["average"], "956");
    ASSERT_EQ(run.out["map_menus"].size(), 15u);
    ASSERT_EQ(run.out["map_menus"][0].size(), 1u);
    EXPECT_EQ(run.out["map_menus"][0][0]["caption"], "m001=x");
    EXPECT_THAT(ReadAll(c.ini), ::testing::HasSubstr("Snap=4\r\n"));
    EXPECT_THAT(ReadAll(home / fs::path(u8"kovün_error.txt")),
                ::testing::HasSubstr("EFCreateError"));
  }
}

}  // namespace
}  // namespace tol
