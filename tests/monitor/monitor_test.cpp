#include "monitor/monitor.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/file_io.h"
#include "shared/fixed_clock.h"
#include "support/fake_http_client.h"
#include "support/fake_timer.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

using testing::Body;
using testing::FakeHttpClient;
using testing::FakeTimeline;
using testing::FakeTimerDriver;
using testing::Modified;
using testing::SocketFailure;
using testing::TempDir;

constexpr const char* kBase = "http://127.0.0.1:9/s/";
const DateTime kModified = *DateTime::FromFields({2005, 2, 7, 21, 5, 0, 0});
constexpr const char* kTwoLines = "GameServer03,Good,2,2,1450\r\nLoginServer,Down,3,3,0\r\n";

std::string Url(const std::string& world, const char* file) { return kBase + world + "/" + file; }

// Runs the network steps inline, or queues them until the test steps them,
// which leaves the monitor inside a poll in between.
class StepExecutor : public PollExecutor {
 public:
  bool queue_steps = false;
  void Run(std::function<void()> network, std::function<void()> then) override {
    steps_.emplace_back(std::move(network), std::move(then));
    if (!queue_steps) Drain();
  }
  void Drain() {
    while (!steps_.empty()) {
      auto [network, then] = std::move(steps_.front());
      steps_.pop_front();
      network();
      then();
    }
  }

 private:
  std::deque<std::pair<std::function<void()>, std::function<void()>>> steps_;
};

class MonitorTest : public ::testing::Test {
 protected:
  MonitorTest() : clock_(kModified, 540), driver1_(timeline_), driver2_(timeline_) {
    Script("arvel");
  }

  // Status, load time 100 (or `load`), last modified at kModified.
  void Script(const std::string& world, const std::string& load = "100") {
    http_.On("GET", Url(world, "status.txt"), {Body(kTwoLines)});
    http_.On("GET", Url(world, "loadtime.txt"), {Body(load)});
    http_.On("HEAD", Url(world, "status.txt"), {Modified(kModified)});
  }

  // The settings file, pointed at the fake service: `server` holds more
  // [Server] lines, `extra` further sections.
  void WriteSettings(const std::string& extra, const std::string& server = "") {
    TempDir::Write(dir_.File("kovun.ini"),
                   "[Server]\r\nURL=" + std::string(kBase) + "\r\n" + server + extra);
  }

  KovunMonitor& Create(bool with_settings_file = true) {
    if (with_settings_file && !std::filesystem::exists(dir_.File("kovun.ini"))) WriteSettings("");
    auto record = [this](std::string call) { return [this, call] { calls_.push_back(call); }; };
    MonitorHooks hooks;
    hooks.move_window = [this](int32_t l, int32_t t) {
      calls_.push_back("move " + std::to_string(l) + "," + std::to_string(t));
    };
    hooks.claim_single_copy = [this] { return calls_.push_back("claim"), first_copy_; };
    hooks.post_quit = record("quit");
    hooks.layout = [this](int32_t style) { calls_.push_back("layout " + std::to_string(style)); };
    hooks.make_border_sizeable = record("border");
    hooks.apply_topmost = [this](bool on) { calls_.push_back(on ? "topmost" : "normal"); };
    hooks.apply_tray = [this](bool on, const std::string& tip) {
      calls_.push_back(std::string(on ? "tray on " : "tray off ") + tip);
    };
    hooks.register_hotkeys = [this](const KovunSettings&) { calls_.push_back("hotkeys"); };
    hooks.restore_application = record("restore");
    hooks.events = [this](const MonitorEvents& events) {
      for (const auto& a : events.alerts) {
        events_.push_back("alert " + Cp932ToUtf8(a->alert.text) + " | " +
                          monitor_->model().caption);
      }
    };
    hooks.observed = [this] { events_.push_back("observed"); };
    monitor_.reset();  // its timers stop their drivers as they go
    monitor_ = std::make_unique<KovunMonitor>(
        http_, clock_, driver1_, driver2_, executor_,
        PathsBesideSettings(dir_.PathOf("kovun.ini"), FilePath::FromText("kovun")),
        std::move(hooks));
    driver1_.Attach(&monitor_->timer1());
    driver2_.Attach(&monitor_->timer2());
    return *monitor_;
  }

  // Moves the timers and the clock on together, a second at a time.
  void Advance(int64_t ms) {
    for (; ms > 0; ms -= 1000) {
      const int64_t step = ms < 1000 ? ms : 1000;
      clock_.Advance(step);
      timeline_.Advance(step);
    }
  }

  int StatusRequests(const std::string& world = "arvel") const {
    int n = 0;
    for (const std::string& r : http_.requests) n += r == "GET " + Url(world, "status.txt");
    return n;
  }

  TempDir dir_;
  FakeHttpClient http_;
  FixedClock clock_;
  FakeTimeline timeline_;
  FakeTimerDriver driver1_;
  FakeTimerDriver driver2_;
  StepExecutor executor_;
  bool first_copy_ = true;
  std::vector<std::string> calls_;
  std::vector<std::string> events_;  // alert and observed hooks
  std::unique_ptr<KovunMonitor> monitor_;
};

// A window learns of each poll's alerts once the model shows that poll, and
// then redraws its state from the alert monitor.
TEST_F(MonitorTest, AlertHooksFollowEachPoll) {
  WriteSettings("[Alert]\r\nEnabled=1\r\nServers=Login\r\nDown=1\r\n");
  KovunMonitor& m = Create();
  m.FormCreate();  // LoginServer is down: the baseline
  EXPECT_EQ(m.alert_monitor()->WorstWatchedState(), ServerState::kDown);
  http_.On("GET", Url("arvel", "status.txt"), {Body("LoginServer,Good,2,2,100\r\n")});
  m.ManualRefresh();
  http_.On("GET", Url("arvel", "status.txt"), {SocketFailure()});
  m.ManualRefresh();
  EXPECT_EQ(events_, (std::vector<std::string>{
                         "observed",
                         "alert Arvel Login: 復旧 | Kovun Rev. 0.1.0a ( Average : 50 )",
                         "observed",
                         "alert Arvel: ステータスサービスに接続できません | Kovun Rev. 0.1.0a ( "
                         "Socket Error )",
                         "observed",
                     }));
  EXPECT_EQ(m.alert_monitor()->WorstWatchedState(), ServerState::kUnreachable);
  EXPECT_EQ(m.alert_monitor()->history().size(), 3u);
}

// The history log belongs to the copy that runs on: a second one, which still
// runs its first poll, leaves it alone.
TEST_F(MonitorTest, SecondCopyLeavesTheHistoryLogAlone) {
  WriteSettings("[Option]\r\nMultiApp=0\r\n[History]\r\nFile=history.csv\r\n");
  for (const bool first : {false, true}) {
    first_copy_ = first;
    Create().FormCreate();
    EXPECT_EQ(std::filesystem::exists(dir_.File("history.csv")), first);
  }
}

TEST_F(MonitorTest, StartUpWithoutSettingsFile) {
  std::filesystem::remove(dir_.File("kovun.ini"));
  http_ = FakeHttpClient();  // the built-in service URL: every request fails
  KovunMonitor& m = Create(false);
  m.FormCreate();
  EXPECT_EQ(calls_, (std::vector<std::string>{"move 210,129", "claim", "layout 0", "border",
                                              "normal", "tray off Kovun Rev. 0.1.0a", "hotkeys"}));
  EXPECT_EQ(m.model().label1, "Arvel");
  ASSERT_FALSE(http_.requests.empty());
  EXPECT_EQ(http_.requests[0], "GET " + std::string(kDefaultServiceUrl) + "arvel/status.txt");
  EXPECT_FALSE(m.model().world_entries[0].enabled);
  EXPECT_EQ(m.last_outcome(), PollOutcome::kFileNotFound);
  EXPECT_EQ(m.timer1().interval(), 60000);
  EXPECT_TRUE(m.timer2().enabled());
  EXPECT_TRUE(m.startup_flag());
  EXPECT_EQ(http_.profile().user_agent, UserAgentText());

  m.FormClose(210, 129);
  const std::string saved = TempDir::Read(dir_.File("kovun.ini"));
  EXPECT_NE(saved.find("Default=Arvel\r\n"), std::string::npos);
  EXPECT_NE(saved.find("Snap=4\r\n"), std::string::npos);
}

TEST_F(MonitorTest, SecondCopyPollsAndQuitsWithoutSaving) {
  struct Case {
    const char* name;
    const char* multi_app;
    bool first_copy;
    bool quits;
  } cases[] = {
      {"first copy", "0", true, false},
      {"second copy", "0", false, true},
      {"second copy, MultiApp", "1", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    calls_.clear();
    WriteSettings(std::string("[Option]\r\nMultiApp=") + c.multi_app + "\r\n");
    first_copy_ = c.first_copy;
    KovunMonitor& m = Create();
    m.FormCreate();
    EXPECT_EQ(m.quit_requested(), c.quits);
    EXPECT_EQ(std::count(calls_.begin(), calls_.end(), "quit"), c.quits ? 1 : 0);
    EXPECT_EQ(m.last_outcome(), PollOutcome::kCompleted);  // the first poll runs in any case
    m.FormClose(1, 2);
    const std::string saved = TempDir::Read(dir_.File("kovun.ini"));
    EXPECT_EQ(saved.find("Left=1") != std::string::npos, !c.quits);
  }
}

TEST_F(MonitorTest, CountdownAndStartupSynchronisation) {
  // The status text is 89 s old at start-up; the first countdown step comes
  // a second later. Load time 120.
  Script("arvel", "120");
  clock_.SetNow(DateTime::FromMilliseconds(kModified.milliseconds() + 89000));
  KovunMonitor& m = Create();
  m.FormCreate();
  const std::string saved = m.model().saved_caption;
  EXPECT_EQ(m.timer1().interval(), 120000);

  for (int left = 30; left >= 0; --left) {
    Advance(1000);
    ASSERT_EQ(m.model().caption, saved + " [ " + std::to_string(left) + " ]");
  }
  EXPECT_EQ(StatusRequests(), 1);
  Advance(1000);
  EXPECT_EQ(m.model().caption, saved + " [ OK ]");
  EXPECT_FALSE(m.startup_flag());
  EXPECT_EQ(m.timer1().interval(), 1000);
  EXPECT_EQ(StatusRequests(), 1);
  Advance(1000);  // the synchronising refresh, a second after the first "OK"
  EXPECT_EQ(StatusRequests(), 2);
  EXPECT_EQ(m.timer1().interval(), 120000);
  // Never again: the next refresh is a full period later.
  Advance(119000);
  EXPECT_EQ(StatusRequests(), 2);
  Advance(1000);
  EXPECT_EQ(StatusRequests(), 3);
}

TEST(CountdownTextTest, Cases) {
  const int64_t m = kModified.milliseconds();
  constexpr int64_t kDay = DateTime::kMsPerDay;
  struct Case {
    const char* name;
    int64_t now_offset_ms;
    int32_t load_time;
    const char* text;
  } cases[] = {
      // Start-up steps through 30 s to 0 and "OK": see the test above.
      {"partial second truncated", 90999, 120, "30"},
      {"a day and 10 s old", kDay + 10000, 120, "110"},
      {"5 s in the future", -5000, 120, "115"},
      {"load time 0", 1000, 0, "OK"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(
        CountdownText(DateTime::FromMilliseconds(m + c.now_offset_ms), kModified, c.load_time),
        c.text);
  }
  // Before the first poll: the zero date, load time 0.
  EXPECT_EQ(CountdownText(kModified, DateTime(), 0), "OK");
}

// The poll's periods reach Timer1 and its driver; the rules behind them are
// the poll tests' part.
TEST_F(MonitorTest, RefreshPeriodAcrossAPoll) {
  WriteSettings("[Option]\r\nReloadTime=20\r\n");
  executor_.queue_steps = true;
  KovunMonitor& m = Create();
  EXPECT_EQ(m.timer1().interval(), 120000);
  EXPECT_TRUE(m.timer1().enabled());
  m.FormCreate();
  EXPECT_TRUE(m.poll_running());
  EXPECT_EQ(m.timer1().interval(), 60000);
  executor_.Drain();
  EXPECT_FALSE(m.poll_running());
  EXPECT_EQ(m.timer1().interval(), 120000);
  EXPECT_EQ(driver1_.period(), 120000);
}

TEST_F(MonitorTest, WorldSwitchAndSendra) {
  WriteSettings("", "Default=Sendra\r\n");
  Script("sendra");
  Script("bessa");
  std::filesystem::create_directories(dir_.File("Zoneroll"));
  TempDir::Write(dir_.File("Zoneroll/bessa.ini"), "[GameServer03]\r\na=A\r\n");
  KovunMonitor& m = Create();
  m.FormCreate();
  EXPECT_EQ(StatusRequests("sendra"), 1);
  EXPECT_FALSE(m.model().world_entries[kSendraIndex].enabled);

  m.SwitchWorld(1);
  EXPECT_EQ(m.model().label1, "Bessa");
  EXPECT_EQ(StatusRequests("bessa"), 1);
  EXPECT_NE(m.model().caption.find("( Average : 725 )"), std::string::npos);
  ASSERT_EQ(m.model().map_menus[2].size(), 1u);  // the new world's map menus
  EXPECT_EQ(m.model().map_menus[2][0].caption, "a=A");
  for (int i = 0; i < kWorldCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(m.model().world_entries[i].enabled, i != 1 && i != kSendraIndex);
  }
  // Disabled entries can't be chosen: the current world, Sendra.
  const std::size_t requests = http_.requests.size();
  m.SwitchWorld(1);
  m.SwitchWorld(kSendraIndex);
  m.SwitchWorld(kWorldCount);
  EXPECT_EQ(http_.requests.size(), requests);
  EXPECT_EQ(m.model().label1, "Bessa");
}

TEST_F(MonitorTest, PatchChoiceRefreshesAndRestartsTheWait) {
  Script("arvel", "60");                        // the poll's periods equal the current one
  WriteSettings("[Option]\r\nNextTime=0\r\n");  // no synchronising refresh
  KovunMonitor& m = Create();
  m.FormCreate();
  EXPECT_FALSE(m.model().patch_entries[0].enabled);
  Advance(50000);
  m.ChoosePatchServer(2);
  EXPECT_EQ(m.settings().patch, "PatchServerFV3");
  for (int i = 0; i < kPatchEntryCount; ++i) {
    EXPECT_EQ(m.model().patch_entries[i].enabled, i != 2) << i;
  }
  EXPECT_EQ(StatusRequests(), 2);
  EXPECT_EQ(driver1_.next_due(), timeline_.now() + 60000);
  m.ChoosePatchServer(2);  // disabled now
  EXPECT_EQ(StatusRequests(), 2);

  Advance(50000);
  m.ManualRefresh();
  EXPECT_EQ(StatusRequests(), 3);
  EXPECT_EQ(driver1_.next_due(), timeline_.now() + 60000);
  Advance(59000);
  EXPECT_EQ(StatusRequests(), 3);
  Advance(1000);  // Timer1's tick
  EXPECT_EQ(StatusRequests(), 4);
}

TEST_F(MonitorTest, RequestsDuringAPollAreCoalesced) {
  Script("bessa");
  Script("corin");
  executor_.queue_steps = true;
  KovunMonitor& m = Create();
  m.FormCreate();
  ASSERT_TRUE(m.poll_running());
  m.RefreshWorld();
  m.ManualRefresh();
  m.timer1().Tick();
  executor_.Drain();
  EXPECT_EQ(StatusRequests(), 2);  // the start-up poll and one more
  EXPECT_FALSE(m.poll_running());

  // A world switch and a patch choice made during a poll take effect after it,
  // with a single poll of the new world.
  m.RefreshWorld();
  m.SwitchWorld(1);
  m.SwitchWorld(2);  // the later choice wins
  m.ChoosePatchServer(3);
  m.RefreshWorld();
  EXPECT_EQ(m.model().label1, "Arvel");
  EXPECT_EQ(m.settings().patch, "PatchServerFV1");
  executor_.Drain();
  EXPECT_EQ(StatusRequests(), 3);
  EXPECT_EQ(StatusRequests("bessa"), 0);
  EXPECT_EQ(StatusRequests("corin"), 1);
  EXPECT_EQ(m.model().label1, "Corin");
  EXPECT_EQ(m.settings().patch, "PatchServerFV4");
  EXPECT_FALSE(m.model().patch_entries[3].enabled);
}

TEST_F(MonitorTest, CheckMarkToggles) {
  WriteSettings("[Option]\r\nLastModified=1\r\nCaptionName=1\r\n");
  KovunMonitor& m = Create();
  m.FormCreate();
  const std::string full = "Kovun Rev. 0.1.0a : 2005/2/7 21:05:00 ( Average : 725 ) <Arvel>";
  EXPECT_EQ(m.model().caption, full);

  m.N3Click();  // off: no update time, no world name, no poll
  EXPECT_FALSE(m.model().last_modified);
  EXPECT_EQ(m.model().caption, "Kovun Rev. 0.1.0a ( Average : 725 )");
  EXPECT_EQ(m.model().saved_caption, m.model().caption);
  EXPECT_EQ(StatusRequests(), 1);
  m.N3Click();  // on: a refresh brings the update time back
  EXPECT_TRUE(m.model().last_modified);
  EXPECT_EQ(StatusRequests(), 2);
  EXPECT_EQ(m.model().caption, full);

  calls_.clear();
  m.N2Click();
  m.N4Click();
  m.N4Click();
  m.N2Click();
  EXPECT_EQ(calls_, (std::vector<std::string>{"topmost", "tray on " + full, "tray off " + full,
                                              "restore", "normal"}));
}

// The update-time and tray toggles clicked during a poll wait for it, as if
// the poll had blocked the window: they act on the caption it leaves.
TEST_F(MonitorTest, TogglesDuringAPollWaitForIt) {
  const std::string full = "Kovun Rev. 0.1.0a : 2005/2/7 21:05:00 ( Average : 725 )";
  const std::string plain = "Kovun Rev. 0.1.0a ( Average : 725 )";
  struct Case {
    const char* name;
    const char* last_modified;
    const char* clicks;  // '3' N3Click, '4' N4Click
    bool shows_update_time;
    const char* caption;
    std::vector<std::string> calls;
    int polls;
  };
  const Case cases[] = {
      {"update time off", "1", "3", false, plain.c_str(), {}, 1},
      {"update time on", "0", "3", true, full.c_str(), {}, 2},
      {"update time off and on again", "1", "33", true, full.c_str(), {}, 1},
      {"tray on", "1", "4", true, full.c_str(), {"tray on " + full}, 1},
      {"both", "1", "43", false, plain.c_str(), {"tray on " + plain}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    http_.requests.clear();
    WriteSettings(std::string("[Option]\r\nLastModified=") + c.last_modified + "\r\n");
    executor_.queue_steps = true;
    KovunMonitor& m = Create();
    m.FormCreate();
    ASSERT_TRUE(m.poll_running());
    const std::string loading = m.model().caption;
    calls_.clear();
    for (const char* click = c.clicks; *click; ++click) {
      if (*click == '3') m.N3Click();
      if (*click == '4') m.N4Click();
    }
    EXPECT_EQ(m.model().caption, loading);
    EXPECT_TRUE(calls_.empty());
    executor_.Drain();
    EXPECT_EQ(m.model().last_modified, c.shows_update_time);
    EXPECT_EQ(m.model().caption, c.caption);
    EXPECT_EQ(calls_, c.calls);
    EXPECT_EQ(StatusRequests(), c.polls);
    EXPECT_FALSE(m.poll_running());
  }
}

// Countdown ticks that fall into a poll running off the UI thread wait for
// it, and at most one is delivered after it: the caption shows what a
// blocking poll would.
TEST_F(MonitorTest, CountdownWaitsForThePoll) {
  Script("arvel", "120");
  clock_.SetNow(DateTime::FromMilliseconds(kModified.milliseconds() + 89000));
  executor_.queue_steps = true;
  KovunMonitor& m = Create();
  m.FormCreate();
  ASSERT_TRUE(m.poll_running());
  const std::string loading = m.model().caption;
  EXPECT_NE(loading.find("( Now Loading... )"), std::string::npos);
  Advance(3000);  // three countdown ticks inside the first poll
  EXPECT_EQ(m.model().caption, loading);
  EXPECT_TRUE(m.startup_flag());
  executor_.Drain();
  // One tick after the poll, with the poll's load time: 120 - 92 s.
  EXPECT_EQ(m.model().caption, m.model().saved_caption + " [ 28 ]");
  EXPECT_TRUE(m.startup_flag());  // the pull into step is still to come
  Advance(1000);
  EXPECT_EQ(m.model().caption, m.model().saved_caption + " [ 27 ]");
}

TEST_F(MonitorTest, FailedPollsKeepTheCaptionBounded) {
  http_.On("GET", Url("arvel", "status.txt"), {SocketFailure()});
  executor_.queue_steps = true;
  KovunMonitor& m = Create();
  m.FormCreate();
  for (int poll = 0; poll < 5; ++poll) {
    SCOPED_TRACE(poll);
    Advance(2000);  // ticks inside the poll
    executor_.Drain();
    EXPECT_EQ(m.model().saved_caption, "Kovun Rev. 0.1.0a ( Socket Error )");
    EXPECT_EQ(m.model().caption, m.model().saved_caption + " [ OK ]");
    m.ManualRefresh();  // the next poll, again with ticks inside
  }
}

// A settings file that exists but can't be read (over the read cap) is not
// replaced at close by one holding only the close-time keys; the failure
// goes to the error log.
TEST_F(MonitorTest, UnreadableSettingsFileIsLeftAlone) {
  WriteSettings("[Proxy]\r\nServer=proxy.example\r\n");
  const std::string ini = dir_.File("kovun.ini");
  const std::string head = TempDir::Read(ini);
  std::filesystem::resize_file(ini, kMaxFileBytes + 1);
  KovunMonitor& m = Create();
  m.FormCreate();
  m.FormClose(1, 2);
  EXPECT_EQ(std::filesystem::file_size(ini), kMaxFileBytes + 1);
  EXPECT_EQ(TempDir::Read(ini).substr(0, head.size()), head);
  const std::string log = TempDir::Read(dir_.File("kovun_error.txt"));
  EXPECT_NE(log.find("EFCreateError"), std::string::npos);
  EXPECT_NE(log.find(Utf8ToCp932("に書き込めません")), std::string::npos);
}

// A failure outside a poll (here a desktop hook) reaches the error log; the
// operation returns and the monitor goes on.
TEST_F(MonitorTest, FailuresOutsideAPollAreLogged) {
  KovunMonitor& m = Create();
  m.FormCreate();
  int beeps = 0;
  MonitorHooks hooks;
  hooks.apply_topmost = [](bool) { throw EOtherError("no topmost"); };
  hooks.apply_tray = [](bool, const std::string&) { throw std::runtime_error("no tray"); };
  hooks.beep = [&beeps] { ++beeps; };
  monitor_ = std::make_unique<KovunMonitor>(
      http_, clock_, driver1_, driver2_, executor_,
      PathsBesideSettings(dir_.PathOf("kovun.ini"), FilePath::FromText("kovun")), std::move(hooks));
  driver1_.Attach(&monitor_->timer1());
  driver2_.Attach(&monitor_->timer2());
  // Records of one second replace each other: a second between failures.
  monitor_->FormCreate();  // the topmost hook fails inside the start-up
  clock_.Advance(1000);
  monitor_->N2Click();
  clock_.Advance(1000);
  monitor_->N4Click();
  EXPECT_EQ(beeps, 3);
  const std::string log = TempDir::Read(dir_.File("kovun_error.txt"));
  EXPECT_NE(log.find("no topmost"), std::string::npos);
  EXPECT_NE(log.find("no tray"), std::string::npos);
  monitor_->ManualRefresh();  // still polls
  EXPECT_GE(StatusRequests(), 2);
}

TEST_F(MonitorTest, UnknownWorldNeverPolls) {
  WriteSettings("", "Default=Nowhere\r\n");
  KovunMonitor& m = Create();
  m.FormCreate();
  EXPECT_TRUE(http_.requests.empty());
  EXPECT_EQ(m.timer1().interval(), 120000);
  Advance(1000);  // the countdown shows OK at once and pulls Timer1 in
  EXPECT_EQ(m.timer1().interval(), 1000);
  Advance(5000);
  EXPECT_TRUE(http_.requests.empty());
  EXPECT_EQ(m.model().label1, "Nowhere");
}

}  // namespace
}  // namespace tol
