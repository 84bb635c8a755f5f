#include "monitor/poll.h"

#include <gtest/gtest.h>

#include "monitor/log_exception.h"
#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/fixed_clock.h"
#include "support/fake_http_client.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

using testing::Body;
using testing::FakeHttpClient;
using testing::Modified;
using testing::NotFound;
using testing::SocketFailure;
using testing::TempDir;

constexpr const char* kBase = "http://127.0.0.1:9/s/";
const std::string kStatus = std::string(kBase) + "arvel/status.txt";
const std::string kLoad = std::string(kBase) + "arvel/loadtime.txt";
const DateTime kModified = *DateTime::FromFields({2005, 2, 7, 21, 5, 0, 0});
constexpr const char* kTwoLines = "GameServer03,Good,2,2,1450\r\nLoginServer,Down,3,3,0\r\n";

class PollTest : public ::testing::Test {
 protected:
  PollTest() : clock_(kModified, 540) {
    settings_.service_url = kBase;
    settings_.export_path = dir_.prefix();
    model_.label1 = "Arvel";
  }

  // A fresh model and client, no export file; the settings stay.
  void Restart() {
    model_ = MonitorModel();
    intervals_.clear();
    reloads_ = 0;
    http_ = FakeHttpClient();
    std::filesystem::remove(Exported());
  }
  std::string Exported() const { return dir_.File(settings_.export_name); }

  PollContext Context() {
    PollHooks hooks;
    hooks.set_refresh_interval = [this](int32_t ms) { intervals_.push_back(ms); };
    hooks.reload_map_menus = [this] {
      ++reloads_;
      // The caption is saved before the menus are rebuilt.
      EXPECT_EQ(model_.saved_caption, model_.caption);
    };
    hooks.on_failure = [this](std::exception_ptr e) { failures_.push_back(e); };
    return PollContext{model_, settings_, clock_, hooks};
  }

  void ScriptHappy(const std::string& status = kTwoLines, const std::string& load = "100") {
    http_.On("GET", kStatus, {Body(status)});
    http_.On("GET", kLoad, {Body(load)});
    http_.On("HEAD", kStatus, {Modified(kModified)});
  }

  PollOutcome Poll() {
    PollContext ctx = Context();
    return RunPollBlocking(ctx, http_, "arvel/");
  }

  TempDir dir_;
  MonitorModel model_;
  KovunSettings settings_;
  FixedClock clock_;
  FakeHttpClient http_;
  std::vector<int32_t> intervals_;
  int reloads_ = 0;
  std::vector<std::exception_ptr> failures_;
};

TEST_F(PollTest, CompletedPoll) {
  ScriptHappy();
  settings_.last_modified = model_.last_modified = true;
  settings_.caption_name = 1;
  EXPECT_EQ(Poll(), PollOutcome::kCompleted);

  EXPECT_EQ(http_.requests,
            (std::vector<std::string>{"GET " + kStatus, "GET " + kLoad, "HEAD " + kStatus}));
  EXPECT_EQ(intervals_, (std::vector<int32_t>{60000, 100000}));
  EXPECT_EQ(model_.load_time, 100);
  EXPECT_EQ(model_.average_text, "725");  // (1450 + 0) / (2 - 1 + 1)
  EXPECT_EQ(model_.panel(7).color, settings_.colors.two);
  EXPECT_EQ(model_.panel(7).hint, "GameServer03 : Good ( 2/2:1450 )");
  EXPECT_TRUE(model_.panel(7).hint_shown);
  EXPECT_EQ(model_.panel(1).color, settings_.colors.down);
  EXPECT_EQ(model_.panel(2).color, kNeutralColor);
  EXPECT_FALSE(model_.panel(2).hint_shown);
  EXPECT_EQ(model_.update_text, "2005/2/7 21:05:00");
  EXPECT_EQ(model_.update_value, " : 2005/2/7 21:05:00");
  EXPECT_EQ(model_.caption, "Kovun Rev. 0.1.0a : 2005/2/7 21:05:00 ( Average : 725 ) <Arvel>");
  EXPECT_EQ(model_.saved_caption, model_.caption);
  EXPECT_EQ(model_.last_modified_time, kModified);
  EXPECT_EQ(reloads_, 1);

  // The next poll's loading caption carries the update value left behind.
  http_.On("GET", kStatus, {SocketFailure()});
  StatusPoll poll(kBase, "arvel/");
  PollContext ctx = Context();
  poll.Begin(ctx);
  EXPECT_EQ(model_.caption, "Kovun Rev. 0.1.0a : 2005/2/7 21:05:00 ( Now Loading... )");
}

TEST_F(PollTest, FailuresEndingThePoll) {
  using O = PollOutcome;
  struct Case {
    const char* name;
    std::vector<testing::FakeAnswer> status, head;
    PollOutcome outcome;
    std::vector<int32_t> intervals;
    const char* caption;  // inside "( ... )"
    int requests;
  } cases[] = {
      {"socket twice",
       {SocketFailure()},
       {Modified(kModified)},
       O::kSocketError,
       {60000},
       "Socket Error",
       2},
      {"404 twice",
       {NotFound()},
       {Modified(kModified)},
       O::kFileNotFound,
       {60000},
       "File Not Found",
       2},
      {"retry succeeds",
       {SocketFailure(), Body(kTwoLines)},
       {Modified(kModified)},
       O::kCompleted,
       {60000, 100000},
       "Average : 725",
       4},
      {"HEAD 404 twice",
       {Body(kTwoLines)},
       {NotFound()},
       O::kFileNotFound,
       {60000, 100000},
       "File Not Found",
       4},
      {"HEAD retry succeeds",
       {Body(kTwoLines)},
       {SocketFailure(), Modified(kModified)},
       O::kCompleted,
       {60000, 100000},
       "Average : 725",
       4},
  };
  settings_.export_enabled = 1;
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    model_.panel(5).color = 0x111111;  // coloured by an earlier poll
    http_.On("GET", kStatus, c.status);
    http_.On("GET", kLoad, {Body("100")});
    http_.On("HEAD", kStatus, c.head);

    EXPECT_EQ(Poll(), c.outcome);
    EXPECT_EQ(model_.caption, std::string("Kovun Rev. 0.1.0a ( ") + c.caption + " )");
    EXPECT_EQ(model_.saved_caption, model_.caption);
    EXPECT_EQ(intervals_, c.intervals);
    EXPECT_EQ(static_cast<int>(http_.requests.size()), c.requests);
    EXPECT_EQ(reloads_, 1);
    EXPECT_TRUE(failures_.empty());
    EXPECT_EQ(model_.panel(5).color, kNeutralColor);
    const bool completed = c.outcome == O::kCompleted;
    EXPECT_EQ(model_.panel(7).color, completed ? settings_.colors.two : kNeutralColor);
    // Panels turn neutral, hints stay as the status left them.
    EXPECT_EQ(model_.panel(7).hint_shown, c.intervals.size() == 2);
    EXPECT_EQ(std::filesystem::exists(Exported()), completed);
  }
}

TEST_F(PollTest, ConversionFailureEndsSilently) {
  settings_.export_enabled = 1;
  for (const char* status : {"GameServer01,Good,2,2,500\nGameServer02,Good,x,2,500\n",
                             "GameServer01,Good,2,2,500\r\n\r\nGameServer02,Good,2,2,500",
                             "GameServer01,Good,2,2,500\r\r"}) {
    SCOPED_TRACE(status);
    Restart();
    ScriptHappy(status);
    EXPECT_EQ(Poll(), PollOutcome::kConvertError);
    EXPECT_EQ(model_.panel(5).color, settings_.colors.two);  // lines before the bad one count
    EXPECT_EQ(model_.panel(6).color, kNeutralColor);
    EXPECT_EQ(model_.caption, "Kovun Rev. 0.1.0a ( Now Loading... )");
    EXPECT_EQ(intervals_, std::vector<int32_t>{60000});
    EXPECT_EQ(http_.requests.size(), 2u);  // no HEAD
    EXPECT_FALSE(std::filesystem::exists(Exported()));
    EXPECT_EQ(reloads_, 1);
  }
}

TEST_F(PollTest, LoadTimeAndReloadTime) {
  struct Case {
    const char* name;
    testing::FakeAnswer load;
    int32_t reload, load_time, interval;
  } cases[] = {
      {"404 gives 120", NotFound(), 0, 120, 120000},
      {"socket gives 120", SocketFailure(), 0, 120, 120000},
      {"leading integer", Body("95 abc\r\n"), 0, 95, 95000},
      {"empty body", Body(""), 0, 0, kRetryIntervalMs},
      {"reload added", Body("95"), 5, 95, 100000},
      {"negative reload becomes 0", Body("95"), -5, 95, 95000},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    ScriptHappy();
    http_.On("GET", kLoad, {c.load});
    settings_.reload_time = c.reload;
    EXPECT_EQ(Poll(), PollOutcome::kCompleted);
    EXPECT_EQ(model_.load_time, c.load_time);
    EXPECT_EQ(intervals_, (std::vector<int32_t>{60000, c.interval}));
    EXPECT_EQ(model_.poll_interval, c.interval);
    EXPECT_GE(settings_.reload_time, 0);
  }
}

TEST_F(PollTest, EmptyStatusAndMissingLastModified) {
  ScriptHappy("");
  http_.On("HEAD", kStatus, {Modified(std::nullopt)});
  settings_.format2 = "%0:s=%1:s";
  StatusPoll poll(kBase, "arvel/");
  PollContext ctx = Context();
  poll.Begin(ctx);
  poll.FetchStatus(http_);
  poll.ApplyStatus(ctx);
  EXPECT_TRUE(poll.export_lines().empty());
  poll.FetchHead(http_);
  EXPECT_EQ(poll.Finish(ctx), PollOutcome::kCompleted);
  EXPECT_TRUE(poll.export_lines().empty());  // emptied at the end
  EXPECT_EQ(model_.average_text, "0");
  for (int slot = 1; slot <= 19; ++slot) EXPECT_EQ(model_.panel(slot).color, kNeutralColor);
  // The moment of the answer stands in for a missing Last-Modified date.
  EXPECT_EQ(model_.last_modified_time, clock_.Now());
}

TEST_F(PollTest, ExportFile) {
  using O = PollOutcome;
  struct Case {
    int32_t enabled;
    const char *format1, *format2;
    PollOutcome outcome;
    const char* bytes;  // nullptr: no file
  } cases[] = {
      {1, "%1:s,%3:s,%4:d,%5:d,%6:d", "", O::kCompleted,
       "GameServer03,Good,2,2,1450\r\nLoginServer,Down,3,3,0\r\nOdd,Good,1,1,7\r\n\r\n\r\n\r\n"},
      {1, "%0:d %2:s=%6:d", "%0:s=%1:s", O::kCompleted,
       "1 GS03=1450\r\n2 LogI=0\r\n3 ----=7\r\nUpdate=2005/2/7 21:05:00\r\nAverage=485\r\n"
       "Server=Arvel\r\n"},
      {2, "%1:s", "", O::kCompleted, nullptr},
      {0, "%1:s", "", O::kCompleted, nullptr},
      {1, "%1:d", "", O::kConvertError, nullptr},
      {1, "%1:s", "%0:d", O::kConvertError, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.enabled) + " " + c.format1 + " " + c.format2);
    Restart();
    model_.last_modified = true;
    ScriptHappy(std::string(kTwoLines) + "Odd,Good,1,1,7");
    settings_.export_enabled = c.enabled;
    settings_.format1 = c.format1;
    settings_.format2 = c.format2;
    EXPECT_EQ(Poll(), c.outcome);
    EXPECT_EQ(TempDir::Read(Exported()), c.bytes ? c.bytes : "");
    EXPECT_EQ(std::filesystem::exists(Exported()), c.bytes != nullptr);
  }
  // Format2 failing on the "Update" line leaves U on the plain update text.
  EXPECT_EQ(model_.update_value, "2005/2/7 21:05:00");
}

TEST_F(PollTest, ExportFileThatCantBeCreatedGoesToFailureHandler) {
  ScriptHappy();
  settings_.export_enabled = 1;
  settings_.export_path = dir_.File("missing") + "/";
  const ErrorLog log{dir_.PathOf("kovun_error.txt"), "kovun", &clock_, nullptr, {}};
  PollContext with_log = Context();
  with_log.hooks.on_failure = [&](std::exception_ptr e) {
    failures_.push_back(e);
    LogException(log, e);
  };
  EXPECT_EQ(RunPollBlocking(with_log, http_, "arvel/"), PollOutcome::kOtherError);
  ASSERT_EQ(failures_.size(), 1u);
  EXPECT_EQ(reloads_, 1);
  EXPECT_EQ(model_.caption, "Kovun Rev. 0.1.0a ( Average : 725 )");

  // The record: kind, then the message naming the full path and the reason.
  const std::string record = TempDir::Read(TempDir::FsPath(log.log_path));
  const std::string head =
      "[Error]\r\n2005/02/07 21:05:00=EFCreateError" + Utf8ToCp932(" がモジュール kovun の ");
  const std::string file_part =
      Utf8ToCp932("で発生しました。 ファイル \"") + dir_.File("missing") + "/status.txt\". ";
  EXPECT_EQ(record.rfind(head, 0), 0u) << record;
  EXPECT_NE(record.find(file_part), std::string::npos) << record;
  EXPECT_TRUE(record.ends_with(Utf8ToCp932(" を作成できません. \r\n"))) << record;

  // Without a failure handler the failure leaves Finish after the closing steps.
  PollContext ctx = Context();
  ctx.hooks.on_failure = nullptr;
  EXPECT_THROW(RunPollBlocking(ctx, http_, "arvel/"), EFCreateError);
  EXPECT_EQ(reloads_, 2);
}

// The monitor tests poll Sendra and an unknown world through the whole program.
TEST_F(PollTest, RefreshWorldFindsTheLabelsWorld) {
  model_.label1 = "Dovan";
  EXPECT_EQ(BeginRefreshWorld(model_), "dovan/");
  EXPECT_FALSE(model_.world_entries[3].enabled);
  EXPECT_TRUE(model_.world_entries[0].enabled);

  model_.label1 = "Nowhere";
  const MonitorModel before = model_;
  PollContext ctx = Context();
  EXPECT_EQ(RefreshWorldBlocking(ctx, http_), std::nullopt);
  EXPECT_TRUE(http_.requests.empty());
  EXPECT_EQ(model_.caption, before.caption);
  EXPECT_TRUE(intervals_.empty());
}

}  // namespace
}  // namespace tol
