// `kovun --watch --json` run whole against tolvane-sim: the alerts a server
// that goes down and comes back, a flapping server and an outage of the
// service raise, and the history file the run leaves.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/program_run.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ProgramRun;
using testing::SimProcess;
using testing::TempDir;

constexpr char kWatched[] = "GameServer03";  // panel "3"

class KovunWatchTest : public ::testing::Test {
 protected:
  // The sim rewrites every second, so the monitor polls about once a second.
  KovunWatchTest() : sim_({"--period", "1"}) { sim_.SetServer("arvel", kWatched, "Good"); }

  void Start(const std::string& alert_lines) {
    TempDir::Write(ini_, "[Server]\r\nURL=" + sim_.StatusBase() +
                             "\r\n[Option]\r\nMultiApp=1\r\n[Alert]\r\nEnabled=1\r\n" +
                             alert_lines + "[History]\r\nFile=history.csv\r\n");
    run_.emplace(KOVUN_PATH, std::vector<std::string>{"--watch", "--json", "--ini", ini_});
    ASSERT_TRUE(run_->started());
  }

  // The next line of output as JSON; null when none comes within 10 s.
  json NextLine() {
    const auto line = run_->NextLine();
    return line ? json::parse(*line) : json();
  }

  // Reads up to the next poll line; the alerts before it (those of the poll
  // before) go to `alerts_` as "poll-index server from>to".
  json NextPoll() {
    for (;;) {
      json line = NextLine();
      if (line.is_null() || line["event"] == "poll") {
        ++polls_;
        return line;
      }
      alerts_.push_back(std::to_string(polls_ - 1) + " " +
                        (line["server"].is_null() ? "-" : line["server"].get<std::string>()) + " " +
                        line["from"].get<std::string>() + ">" + line["to"].get<std::string>());
      texts_.push_back(line["text"].get<std::string>());
    }
  }

  // Ends the run as a service manager would: SIGTERM, exit 0 within a second.
  void Stop() {
    EXPECT_EQ(run_->Stop(std::chrono::seconds(1)), 0);
    // What the poll in flight at the end printed still counts.
    for (json line = NextLine(); !line.is_null(); line = NextLine()) {
      if (line["event"] == "alert") alerts_.push_back("late " + line.dump());
    }
  }

  SimProcess sim_;
  TempDir temp_;
  const std::string ini_ = temp_.File("kovun.ini");
  std::optional<ProgramRun> run_;
  int polls_ = 0;
  std::vector<std::string> alerts_;
  std::vector<std::string> texts_;
};

TEST_F(KovunWatchTest, ServerDownAndBackAlertsOnceEach) {
  Start("Servers=3\r\nDown=2\r\nUp=1\r\n");
  // The status word of the watched server in each poll: a single failed
  // poll, then two, then back.
  const std::string script = "GGDGGDDGG";
  std::vector<json> polls;
  for (std::size_t i = 0; i < script.size(); ++i) {
    json poll = NextPoll();
    ASSERT_FALSE(poll.is_null()) << "poll " << i;
    ASSERT_EQ(poll["outcome"], "completed");
    polls.push_back(poll);
    if (i + 1 < script.size()) {
      sim_.SetServer("arvel", kWatched, script[i + 1] == 'G' ? "Good" : "Down");
    }
  }
  NextPoll();  // the alerts of the last poll come before the next poll line
  Stop();
  EXPECT_EQ(alerts_, (std::vector<std::string>{"6 3 up>down", "7 3 down>up"}));
  ASSERT_EQ(texts_.size(), 2u);
  EXPECT_EQ(texts_[0], "Arvel 3: 停止");
  EXPECT_EQ(texts_[1], "Arvel 3: 復旧");
  EXPECT_EQ(polls[6]["worst"], "down");
  EXPECT_EQ(polls[7]["worst"], "up");

  // The history file: a header, then a line per server and poll.
  const std::string csv = TempDir::Read(temp_.File("history.csv"));
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < csv.size();) {
    const std::size_t end = csv.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << "a torn line";
    lines.push_back(csv.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_GE(lines.size(), 1 + 19 * script.size());
  EXPECT_EQ(lines[0], "time,world,server,status,success,check,connect_time,state");
  EXPECT_EQ((lines.size() - 1) % 19, 0u);
  std::string states;
  for (const std::string& line : lines) {
    if (line.find(",GameServer03,") != std::string::npos) states += line.back() == 'n' ? 'D' : 'G';
  }
  EXPECT_EQ(states.substr(0, script.size()), script);
  // The close-time save leaves [Alert] and [History] as they were.
  EXPECT_THAT(TempDir::Read(ini_),
              ::testing::HasSubstr("[Alert]\r\nEnabled=1\r\nServers=3\r\nDown=2\r\nUp=1\r\n"
                                   "[History]\r\nFile=history.csv\r\n"));
}

TEST_F(KovunWatchTest, FlappingServerIsToldOnce) {
  Start("Servers=3\r\nDown=1\r\nUp=1\r\n");
  ASSERT_FALSE(NextPoll().is_null());
  ASSERT_FALSE(NextPoll().is_null());
  // Down and up by turns, two seconds each.
  sim_.SetServer("arvel", kWatched, "Down", "flap=2");
  for (int i = 0; i < 16; ++i) ASSERT_FALSE(NextPoll().is_null()) << "poll " << i;
  Stop();
  // Three changes told, the fourth makes it a flapping server; nothing after.
  ASSERT_EQ(alerts_.size(), 4u) << ::testing::PrintToString(alerts_);
  EXPECT_THAT(alerts_[3], ::testing::EndsWith(">flapping"));
  EXPECT_EQ(texts_[3], "Arvel 3: フラッピング (停止と復旧を繰り返しています)");
}

TEST_F(KovunWatchTest, ServiceOutageIsOneAlertNotNineteen) {
  Start("Servers=all\r\nDown=2\r\n");
  const std::string status = "/status/arvel/status.txt";
  // A failed poll is retried only after a minute: SIGUSR1 polls at once.
  auto poll_now = [&] { kill(run_->pid(), SIGUSR1); };
  // Every server has a baseline after the first poll (up or down as the sim
  // has it); none of them changes afterwards but through the outage.
  sim_.SetClock(1700000000);
  ASSERT_EQ(NextPoll()["outcome"], "completed");
  ASSERT_EQ(NextPoll()["outcome"], "completed");
  // One failed poll (the status text and its retry), then a good one.
  sim_.SetFault(status, "500", "count=2");
  ASSERT_EQ(NextPoll()["outcome"], "file_not_found");
  poll_now();
  ASSERT_EQ(NextPoll()["outcome"], "completed");
  // An outage of three polls.
  sim_.SetFault(status, "500");
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(NextPoll()["outcome"], "file_not_found");
    if (i < 2) poll_now();
  }
  sim_.ClearFaults();
  poll_now();
  ASSERT_EQ(NextPoll()["outcome"], "completed");
  NextPoll();
  Stop();
  EXPECT_EQ(alerts_, (std::vector<std::string>{"5 - up>unreachable", "7 - unreachable>up"}));
}

TEST_F(KovunWatchTest, EmptyStatusIsAtMostOneAlert) {
  Start("Servers=all\r\nDown=2\r\n");
  const std::string status = "/status/arvel/status.txt";
  sim_.SetClock(1700000000);
  ASSERT_EQ(NextPoll()["outcome"], "completed");
  ASSERT_EQ(NextPoll()["outcome"], "completed");
  // An answer 200 with no line at all, or with lines of no known server,
  // poll after poll: the servers keep their states, the service is told
  // unreachable once.
  for (int i = 0; i < 4; ++i) {
    sim_.SetContent(status, i % 2 ? "NewServer,Good,2,2,900\r\n" : "", 1700000000);
    const json poll = NextPoll();
    ASSERT_FALSE(poll.is_null()) << "poll " << i;
    EXPECT_EQ(poll["panels"][4]["state"], "unreachable");
  }
  Stop();
  EXPECT_EQ(alerts_.size(), 1u) << ::testing::PrintToString(alerts_);
  EXPECT_THAT(alerts_, ::testing::Each(::testing::EndsWith("- up>unreachable")));
}

TEST_F(KovunWatchTest, EndsWhenItsReaderHasGone) {
  Start("Servers=3\r\n");
  ASSERT_FALSE(NextLine().is_null());
  // As `kovun --watch --json | head -n 1`: the reader takes one line and goes.
  run_->CloseOutput();
  const auto closed = std::chrono::steady_clock::now();
  // The sim rewrites every second: a poll period is about that.
  EXPECT_EQ(run_->Wait(std::chrono::seconds(3)), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(3));
  // The settings saved as at SIGTERM; nothing appended after the end.
  EXPECT_THAT(TempDir::Read(ini_), ::testing::HasSubstr("[Window]\r\nLeft="));
  const std::string csv = TempDir::Read(temp_.File("history.csv"));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(TempDir::Read(temp_.File("history.csv")), csv);
}

TEST_F(KovunWatchTest, EndsWhenItsOutputCantBeWritten) {
  // Not a pipe, so only the failed write tells: a full disk.
  TempDir::Write(ini_, "[Server]\r\nURL=" + sim_.StatusBase() + "\r\n[Option]\r\nMultiApp=1\r\n");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  const pid_t pid = testing::Spawn(KOVUN_PATH, {"--watch", "--json", "--ini", ini_}, &actions);
  posix_spawn_file_actions_destroy(&actions);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(testing::WaitForExit(pid, std::chrono::seconds(5)), 0);
  EXPECT_THAT(TempDir::Read(ini_), ::testing::HasSubstr("[Window]\r\nLeft="));
}

}  // namespace
}  // namespace tol
