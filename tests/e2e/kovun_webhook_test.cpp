// `kovun --watch --json` run whole with [Notify] against tolvane-sim's
// webhook stand-in: the alert messages, the one status message that is
// posted once and then edited (across a restart, and anew after a 404), a
// rate limit honoured with nothing lost, a stalled webhook that never holds
// up a poll, and the URL's token in no output or log.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
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

using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::ProgramRun;
using testing::SimProcess;
using testing::TempDir;

constexpr char kWatched[] = "GameServer03";  // panel "3"
constexpr char kToken[] = "S3cr3tT0kenDoNotLeak";

class KovunWebhookTest : public ::testing::Test {
 protected:
  KovunWebhookTest() : sim_({"--period", "1"}) { sim_.SetServer("arvel", kWatched, "Good"); }
  std::string HookPath() const { return std::string("/_hook/api/webhooks/42/") + kToken; }

  void WriteIni(const std::string& notify_lines) {
    TempDir::Write(ini_, "[Server]\r\nURL=" + sim_.StatusBase() +
                             "\r\n[Option]\r\nMultiApp=1\r\n[Alert]\r\nEnabled=1\r\nServers=3\r\n"
                             "Down=1\r\nUp=1\r\n[Notify]\r\nWebhook=http://127.0.0.1:" +
                             std::to_string(sim_.port()) + HookPath() + "\r\n" + notify_lines);
  }

  void Start() {
    run_.emplace(KOVUN_PATH, std::vector<std::string>{"--watch", "--json", "--ini", ini_},
                 ProgramRun::Output::kOutAndErrors);
    ASSERT_TRUE(run_->started());
  }

  // The next poll line (alerts and error lines before it are skipped); null
  // after 10 s.
  json NextPoll() {
    for (auto line = run_->NextLine(); line; line = run_->NextLine()) {
      const json parsed = json::parse(*line, nullptr, false);
      if (parsed.is_object() && parsed["event"] == "poll") return parsed;
    }
    return nullptr;
  }

  // Stops the run; what it printed is kept for the look for the token.
  void Stop() {
    EXPECT_EQ(run_->Stop(std::chrono::seconds(2)), 0);
    printed_ += run_->output();
    run_.reset();
  }

  json HookRequests() { return json::parse(sim_.Call("/_sim/hook/requests")); }

  // Waits (polling the stand-in) until `done` holds for its requests.
  template <typename Pred>
  json WaitForRequests(Pred done, std::chrono::seconds limit = std::chrono::seconds(15)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    json requests = HookRequests();
    while (!done(requests) && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      requests = HookRequests();
    }
    return requests;
  }

  static int Count(const json& requests, const std::string& method, const std::string& part) {
    int n = 0;
    for (const auto& r : requests) {
      if (r["method"] == method && r["target"].get<std::string>().find(part) != std::string::npos) {
        ++n;
      }
    }
    return n;
  }

  void ExpectNoTokenAnywhere() {
    EXPECT_THAT(printed_ + (run_ ? run_->output() : ""), Not(HasSubstr(kToken)));
    EXPECT_THAT(TempDir::Read(temp_.File("kovun_error.txt")), Not(HasSubstr(kToken)));
  }

  SimProcess sim_;
  TempDir temp_;
  const std::string ini_ = temp_.File("kovun.ini");
  std::optional<ProgramRun> run_;
  std::string printed_;  // by the runs stopped so far
};

TEST_F(KovunWebhookTest, AlertAndOneStatusMessageEditedAcrossARestartAndAfterA404) {
  WriteIni("Format=discord\r\nStatusMessage=1\r\n");
  Start();
  ASSERT_FALSE(NextPoll().is_null());
  // The first poll posts the status message and keeps its id.
  json requests = WaitForRequests([](const json& r) { return Count(r, "POST", "wait=true") == 1; });
  ASSERT_EQ(Count(requests, "POST", "wait=true"), 1);
  const json messages = json::parse(sim_.Call("/_sim/hook/messages"));
  ASSERT_EQ(messages.size(), 1u);
  const std::string id = messages.begin().key();

  sim_.SetServer("arvel", kWatched, "Down");
  requests = WaitForRequests(
      [](const json& r) { return Count(r, "PATCH", "/messages/") >= 1 && r.size() >= 3; });
  // The alert: one message as "Kovun", no mentions, the text in UTF-8.
  json alert;
  for (const auto& r : requests) {
    if (r["method"] == "POST" && r["target"] == HookPath())
      alert = json::parse(r["body"].get<std::string>());
  }
  ASSERT_TRUE(alert.is_object()) << requests.dump();
  EXPECT_EQ(alert["username"], "Kovun");
  EXPECT_EQ(alert["allowed_mentions"], json::parse(R"({"parse":[]})"));
  EXPECT_THAT(alert["embeds"][0]["description"].get<std::string>(), HasSubstr("Arvel 3: 停止"));
  EXPECT_EQ(alert["embeds"][0]["color"], 0xE74C3C);
  EXPECT_EQ(Count(requests, "POST", "wait=true"), 1);  // edited, not posted again
  EXPECT_EQ(Count(requests, "PATCH", "/messages/" + id), Count(requests, "PATCH", "/messages/"));
  const json shown = json::parse(sim_.Call("/_sim/hook/messages"))[id];
  EXPECT_THAT(shown["embeds"][0]["description"].get<std::string>(), HasSubstr("🔴 3"));
  EXPECT_THAT(TempDir::Read(ini_), HasSubstr("StatusMessageId=" + id));
  Stop();

  // A restart edits the same message; once it is deleted, a new one is posted.
  sim_.Call("/_sim/hook/clear");
  WriteIni("Format=discord\r\nStatusMessage=1\r\nStatusMessageId=" + id + "\r\n");
  sim_.SetServer("arvel", kWatched, "Good");
  Start();
  requests = WaitForRequests([](const json& r) { return r.size() >= 1; });
  ASSERT_GE(requests.size(), 1u);
  EXPECT_EQ(requests[0]["method"], "PATCH");
  EXPECT_EQ(requests[0]["target"], HookPath() + "/messages/" + id);  // 404: the stand-in forgot it
  requests = WaitForRequests([](const json& r) { return Count(r, "POST", "wait=true") == 1; });
  EXPECT_EQ(Count(requests, "POST", "wait=true"), 1);
  const json after = json::parse(sim_.Call("/_sim/hook/messages"));
  ASSERT_EQ(after.size(), 1u);
  const std::string new_id = after.begin().key();
  EXPECT_NE(new_id, id);
  for (int i = 0; i < 30 && TempDir::Read(ini_).find(new_id) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Stop();
  EXPECT_THAT(TempDir::Read(ini_), HasSubstr("StatusMessageId=" + new_id));
  ExpectNoTokenAnywhere();
}

TEST_F(KovunWebhookTest, RateLimitIsWaitedOutAndAStalledWebhookHoldsUpNoPoll) {
  WriteIni("Format=json\r\nHeader=Authorization: Bearer abc\r\n");
  // The first alert meets a 429 (1 s), then goes through: nothing lost.
  sim_.Call("/_sim/hook/limit?count=1&retry_after=1");
  Start();
  ASSERT_FALSE(NextPoll().is_null());
  sim_.SetServer("arvel", kWatched, "Down");
  json requests = WaitForRequests([](const json& r) { return r.size() >= 2; });
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0]["body"], requests[1]["body"]);
  const json sent = json::parse(requests[1]["body"].get<std::string>());
  ASSERT_TRUE(sent.is_array());
  EXPECT_EQ(sent[0]["event"], "alert");
  EXPECT_EQ(sent[0]["text"], "Arvel 3: 停止");
  bool authorised = false;
  for (const auto& h : requests[1]["headers"]) authorised |= h[1] == "Bearer abc";
  EXPECT_TRUE(authorised);

  // The webhook stops answering: polls go on at their pace, and the end of
  // the run doesn't wait for it.
  sim_.SetFault(HookPath(), "stall", "seconds=60");
  sim_.SetServer("arvel", kWatched, "Good");
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 4; ++i) ASSERT_FALSE(NextPoll().is_null()) << "poll " << i;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  EXPECT_GE(sim_.StalledRequests(), 1);
  const auto stop = std::chrono::steady_clock::now();
  Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::seconds(2));
  ExpectNoTokenAnywhere();
}

TEST_F(KovunWebhookTest, NotifyTestTellsTheOutcomeByItsExitStatus) {
  struct Case {
    const char* limit;
    int exit_status;
  } cases[] = {{"", 0}, {"count=1&retry_after=1", 3}};
  WriteIni("");
  for (const Case& c : cases) {
    if (*c.limit) sim_.Call(std::string("/_sim/hook/limit?") + c.limit);
    const pid_t pid = testing::Spawn(KOVUN_PATH, {"--notify-test", "--ini", ini_}, nullptr);
    EXPECT_EQ(testing::WaitForExit(pid, std::chrono::seconds(10)), c.exit_status) << c.limit;
  }
  EXPECT_EQ(Count(HookRequests(), "POST", HookPath()), 2);
}

}  // namespace
}  // namespace tol
