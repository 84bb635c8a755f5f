// The alert rules as sequences of polls and the alerts they must raise. Map
// server 1 (slot 5) is the server whose states the sequences give; every
// other server stays up.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/alert_monitor.h"
#include "monitor/texts.h"
#include "shared/codepage.h"

namespace tol {
namespace {

constexpr int kSlot = 5;  // map server "1"

struct RulesCase {
  const char* name;
  // One character per poll of the server: U up, S slow, D down, M missing
  // from the text, X socket error, F file not found, C a text that failed to
  // convert, E a text with no line for any panel (empty, or unknown keys
  // only), P a text whose one line is a patch server not chosen, A every
  // server down; "|" switches the world and "/" the patch
  // server before the next poll.
  std::string polls;
  std::vector<std::string> alerts;  // "poll-index server from>to"
  ServerState worst;
  int32_t down = 2;
  int32_t up = 1;
  const char* servers = "1";
  int slot = kSlot;  // the server the sequence gives
};

FinishedPoll PollOf(char c, const std::string& world, ObservedServers& servers, int slot = kSlot) {
  for (ObservedServer& s : servers) s = {true, "Key", "Good", 2, 2, 1000};
  FinishedPoll poll;
  poll.world = world;
  poll.observed = &servers;
  poll.names_known_server = true;
  ObservedServer& mine = servers[slot - 1];
  switch (c) {
    case 'E':
      for (ObservedServer& s : servers) s.listed = false;
      poll.names_known_server = false;
      break;
    case 'P':
      for (ObservedServer& s : servers) s.listed = false;
      break;
    case 'A':
      for (ObservedServer& s : servers) s.status = "Closed";
      break;
    case 'S':
      mine.connect_time = 25000;  // OverAverage itself is slow
      break;
    case 'D':
      mine.status = "Down";
      break;
    case 'M':
      mine.listed = false;
      break;
    case 'X':
    case 'F':
      poll.outcome = c == 'X' ? PollOutcome::kSocketError : PollOutcome::kFileNotFound;
      poll.observed = nullptr;
      break;
    case 'C':
      poll.outcome = PollOutcome::kConvertError;
      poll.observed = nullptr;
      break;
  }
  return poll;
}

class AlertRulesTest : public ::testing::TestWithParam<RulesCase> {};

TEST_P(AlertRulesTest, RaisesExactlyTheseAlerts) {
  const RulesCase& c = GetParam();
  KovunSettings settings;
  settings.alerts.enabled = true;
  settings.alerts.watched = *ParseWatchedServers(c.servers);
  settings.alerts.down = c.down;
  settings.alerts.up = c.up;
  AlertMonitor monitor(settings.alerts, FilePath());
  std::string world = "Arvel";
  std::vector<std::string> raised;
  int index = 0;
  for (char step : c.polls) {
    if (step == '|') {
      world = world == "Arvel" ? "Bessa" : "Arvel";
      continue;
    }
    if (step == '/') {
      settings.patch = settings.patch == "PatchServerFV1" ? "PatchServerFV2" : "PatchServerFV1";
      continue;
    }
    ObservedServers servers;
    for (const Alert& a :
         monitor.Observe(PollOf(step, world, servers, c.slot), settings, nullptr)) {
      raised.push_back(std::to_string(index) + " " + (a.slot == 0 ? "-" : a.server) + " " +
                       StateName(a.from) + ">" + StateName(a.to));
    }
    ++index;
  }
  EXPECT_EQ(raised, c.alerts);
  EXPECT_EQ(StateName(monitor.WorstWatchedState()), std::string(StateName(c.worst)));
}

const std::string kSettle(20, 'U');

INSTANTIATE_TEST_SUITE_P(
    Sequences, AlertRulesTest,
    ::testing::Values(
        RulesCase{"BaselineUpRaisesNothing", "UUUU", {}, ServerState::kUp},
        RulesCase{"BaselineDownRaisesNothing", "DDDD", {}, ServerState::kDown},
        RulesCase{"BlipBeforeTheBaselineRaisesNothing", "DUUU", {}, ServerState::kUp},
        RulesCase{"BaselineDownThenBack", "DDU", {"2 1 down>up"}, ServerState::kUp},
        RulesCase{"DownConfirmedAfterTwoPolls",
                  "UUDDDU",
                  {"3 1 up>down", "5 1 down>up"},
                  ServerState::kUp},
        RulesCase{"MissingLineCountsAsDown", "UMM", {"2 1 up>down"}, ServerState::kDown},
        RulesCase{"AnotherPatchServersLineAloneLeavesTheRestMissing",
                  "UPP",
                  {"2 1 up>down"},
                  ServerState::kDown},
        RulesCase{"SingleFailedPollRaisesNothing", "UUDUUDU", {}, ServerState::kUp},
        RulesCase{"LongerConfirmations",
                  "UUDDDUUDUU",
                  {"4 1 up>down", "6 1 down>up"},
                  ServerState::kUp,
                  3,
                  2},
        RulesCase{"UpAndSlowTradePlacesSilently", "USUSS", {}, ServerState::kSlow},
        RulesCase{"SlowToDownAndBackToSlow",
                  "SDDS",
                  {"2 1 slow>down", "3 1 down>slow"},
                  ServerState::kSlow},
        RulesCase{
            "FlappingToldOnceThenSettled",
            "UDUDUDU" + kSettle,
            {"1 1 up>down", "2 1 down>up", "3 1 up>down", "4 1 down>flapping", "26 1 flapping>up"},
            ServerState::kUp,
            1,
            1},
        RulesCase{"StillFlappingOnePollShortOfSettling",
                  "UDUDUDU" + kSettle.substr(1),
                  {"1 1 up>down", "2 1 down>up", "3 1 up>down", "4 1 down>flapping"},
                  ServerState::kUp,
                  1,
                  1},
        RulesCase{"FlappingSettlesDown",
                  "UDUDUD" + std::string(20, 'D'),
                  {"1 1 up>down", "2 1 down>up", "3 1 up>down", "4 1 down>flapping",
                   "25 1 flapping>down"},
                  ServerState::kDown,
                  1,
                  1},
        // The fourth change 19 polls after the first flaps, 20 polls after it
        // doesn't.
        RulesCase{"FourChangesWithinTheWindowFlap",
                  "UDDUDD" + std::string(15, 'D') + "U",
                  {"2 1 up>down", "3 1 down>up", "5 1 up>down", "21 1 down>flapping"},
                  ServerState::kUp},
        RulesCase{"FourChangesAcrossTheWindowDoNot",
                  "UDDUDD" + std::string(16, 'D') + "U",
                  {"2 1 up>down", "3 1 down>up", "5 1 up>down", "22 1 down>up"},
                  ServerState::kUp},
        RulesCase{"OutageIsOneAlertNotNineteen",
                  "UUXXXXU",
                  {"3 - up>unreachable", "6 - unreachable>up"},
                  ServerState::kUp,
                  2,
                  1,
                  "all"},
        RulesCase{
            "FileNotFoundIsAnOutageToo", "UFF", {"2 - up>unreachable"}, ServerState::kUnreachable},
        RulesCase{"SingleFailedServicePollRaisesNothing", "UXUXU", {}, ServerState::kUp},
        RulesCase{"ServerKeepsItsStateThroughAnOutage",
                  "UDXXDD",
                  {"3 - up>unreachable", "4 - unreachable>up", "4 1 up>down"},
                  ServerState::kDown},
        RulesCase{"ConvertFailureObservesNothing", "UDCD", {"3 1 up>down"}, ServerState::kDown},
        RulesCase{"UnreachableFromTheStartIsTheBaseline",
                  "XXU",
                  {"2 - unreachable>up"},
                  ServerState::kUp},
        RulesCase{
            "WorldSwitchTakesANewBaseline", "UU|DDDU|DD", {"5 1 down>up"}, ServerState::kDown},
        RulesCase{"UnwatchedServerRaisesNothing", "UUDDUU", {}, ServerState::kUp, 2, 1, "Login"},
        // An answer without a line of any server is no observation of them:
        // at most one alert, for the service, never nineteen each way.
        RulesCase{"EmptyTextIsAnOutageNotNineteenDowns",
                  "UUEEEU",
                  {"3 - up>unreachable", "5 - unreachable>up"},
                  ServerState::kUp,
                  2,
                  1,
                  "all"},
        RulesCase{"OneEmptyTextRaisesNothing", "UUEUU", {}, ServerState::kUp, 2, 1, "all"},
        RulesCase{"ServerKeepsItsStateThroughEmptyTexts",
                  "DDEEDD",
                  {"3 - up>unreachable", "4 - unreachable>up"},
                  ServerState::kDown},
        RulesCase{"ServiceFlapsOnceAndSettlesOnce",
                  "UXUXUXU" + kSettle,
                  {"1 - up>unreachable", "2 - unreachable>up", "3 - up>unreachable",
                   "4 - unreachable>flapping", "26 - flapping>up"},
                  ServerState::kUp,
                  1,
                  1},
        RulesCase{"ServiceSettlesUnreachable",
                  "UXUXUX" + std::string(20, 'X'),
                  {"1 - up>unreachable", "2 - unreachable>up", "3 - up>unreachable",
                   "4 - unreachable>flapping", "25 - flapping>unreachable"},
                  ServerState::kUnreachable,
                  1,
                  1},
        RulesCase{"SeveralAlertsInOnePollInSlotOrder",
                  "UAAU",
                  {"2 Login up>down", "2 Char up>down", "2 1 up>down", "3 Login down>up",
                   "3 Char down>up", "3 1 down>up"},
                  ServerState::kUp,
                  2,
                  1,
                  "1,Char,Login"},
        // Another patch server on panel "PatF" is a new baseline; the rules
        // go on from it.
        RulesCase{"PatchSwitchStartsPanelTwoAfresh",
                  "DD/UUDD",
                  {"5 PatF up>down"},
                  ServerState::kDown,
                  2,
                  1,
                  "PatF",
                  2}),
    [](const ::testing::TestParamInfo<RulesCase>& info) { return info.param.name; });

TEST(AlertMonitorTest, AlertsOffRaiseNothingButKeepTheHistory) {
  KovunSettings settings;
  AlertMonitor monitor(settings.alerts, FilePath());
  for (char c : std::string("UUDDDD")) {
    ObservedServers servers;
    EXPECT_TRUE(monitor.Observe(PollOf(c, "Arvel", servers), settings, nullptr).empty());
  }
  EXPECT_EQ(monitor.history().size(), 6u);
  EXPECT_EQ(monitor.history()[5].cells[kSlot - 1].state, ServerState::kDown);
  EXPECT_EQ(monitor.history()[5].cells[kSlot - 1].status_word(), "Down");
}

TEST(AlertTextTest, NamesWorldServerAndChange) {
  struct Case {
    int slot;
    ServerState from, to;
    const char* utf8;
  } cases[] = {
      {7, ServerState::kUp, ServerState::kDown, "Arvel 3: 停止"},
      {7, ServerState::kDown, ServerState::kUp, "Arvel 3: 復旧"},
      {1, ServerState::kDown, ServerState::kSlow, "Arvel Login: 復旧 (低速)"},
      {4, ServerState::kUp, ServerState::kFlapping,
       "Arvel Char: フラッピング (停止と復旧を繰り返しています)"},
      {4, ServerState::kFlapping, ServerState::kDown, "Arvel Char: 安定しました (停止)"},
      {0, ServerState::kUp, ServerState::kUnreachable, "Arvel: ステータスサービスに接続できません"},
      {0, ServerState::kUnreachable, ServerState::kFlapping,
       "Arvel: ステータスサービス フラッピング (接続と切断を繰り返しています)"},
      {0, ServerState::kFlapping, ServerState::kUnreachable,
       "Arvel: ステータスサービス 安定しました (接続不可)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cp932ToUtf8(AlertText("Arvel", c.slot, c.from, c.to)), c.utf8);
  }
  // A world label of any length still gives a bounded text of whole
  // characters.
  const std::string long_world = Utf8ToCp932(std::string(200, 'W') + "表");
  const std::string text = AlertText(long_world, 7, ServerState::kUp, ServerState::kDown);
  EXPECT_LE(text.size(), kMaxAlertTextBytes);
}

TEST(AlertSettingsTest, WatchedServersText) {
  struct Case {
    const char* text;
    std::vector<int> slots;  // empty: the text names no panel
  } cases[] = {
      {"Login,Char,3,7", {1, 4, 7, 11}},
      {" login , CHAR ,15", {1, 4, 19}},
      {"ALL", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
      {"PatF,PatH,nope,,16", {2, 3}},
      {"nope", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    const auto watched = ParseWatchedServers(c.text);
    std::vector<int> slots;
    if (watched) {
      for (int slot = 1; slot <= 19; ++slot) {
        if ((*watched)[slot - 1]) slots.push_back(slot);
      }
    }
    EXPECT_EQ(slots, c.slots) << c.text;
  }
}

}  // namespace
}  // namespace tol
