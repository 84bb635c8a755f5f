#pragma once
// Alerts on the state changes of watched servers, told once each.
//
// Every finished poll gives an observation: the status text was read (each
// visible server is up, slow or down), the service was unreachable (the poll
// ended in " ( Socket Error )" or " ( File Not Found )"), or nothing (a
// status text that failed to convert). Per server:
//   up    status "Good" and connect time under OverAverage
//   slow  "Good" at or over OverAverage
//   down  any other status word, or no line for the server in the text.
//
// The rules for each watched server:
// - Its first confirmed state is its baseline and raises nothing; so at
//   start-up and after a world switch (which starts every server afresh).
// - Up or slow to down is confirmed after `down` down polls in a row, down to
//   up or slow after `up` up polls in a row; each confirmed change raises one
//   alert. Up and slow trade places silently.
// - A server whose confirmed state changed kFlapChanges times within its last
//   kFlapWindow polls flaps: that change raises one "flapping" alert instead,
//   later changes nothing, until it has stayed kFlapWindow polls without a
//   change: one alert then names the state it settled in.
// - The service: `down` unreachable polls in a row raise one alert, the next
//   read status text one more. Meanwhile servers observe nothing and keep
//   their confirmed states: an outage of the service is one alert. A status
//   text that holds no line for any panel's server (an empty answer, an error
//   page served as 200) tells nothing of the servers: it counts as an
//   unreachable service. The service flaps by the servers' rule, its
//   confirmed changes counted over its last kFlapWindow observations.
//
// The rules hold no clock and no world: AlertRules takes one observation at a
// time and returns what it raises.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "monitor/poll.h"
#include "monitor/settings.h"
#include "shared/date_time.h"

namespace tol {

// The state of a server (or, for kUnreachable, of the service); kNone: not
// known. kFlapping appears only in alerts.
enum class ServerState : uint8_t { kNone, kUp, kSlow, kDown, kUnreachable, kFlapping };

// "none", "up", "slow", "down", "unreachable", "flapping".
const char* StateName(ServerState state);
// A state in the words of the alert texts and the history chart, code page
// 932 ("稼働", "低速", "停止", "接続不可"); kNone and kFlapping read as up.
const std::string& StateWord(ServerState state);

// The state of one server as a read status text shows it.
ServerState StateOf(const ObservedServer& server, int32_t over_average);

// The colour of a state, $00BBGGRR, for icons and history charts: the panel
// colours Good, Average and Down of the settings for up, slow and down, a
// mid grey for an unreachable service, the neutral colour for none.
inline constexpr int32_t kUnreachableColor = 0x00A0A0A0;
int32_t StateColor(ServerState state, const ColorSettings& colors);

inline constexpr int kFlapWindow = 20;
inline constexpr int kFlapChanges = 4;

// One alert. `slot` 0 names the service as a whole.
struct AlertChange {
  int slot = 0;
  ServerState from = ServerState::kNone;
  ServerState to = ServerState::kNone;
  friend bool operator==(const AlertChange&, const AlertChange&) = default;
};

// One poll as the rules see it: the states of panels 1-19 (index slot - 1)
// when a status text was read, or the service unreachable.
struct PollStates {
  bool unreachable = false;
  std::array<ServerState, kVisibleSlotCount> servers{};
};

class AlertRules {
 public:
  explicit AlertRules(const AlertSettings& settings) : settings_(settings) {}

  // One observation; returns the alerts it raises, in slot order (the
  // service's first).
  std::vector<AlertChange> Observe(const PollStates& poll);
  // Every server and the service start afresh (a world switch).
  void Reset();
  // One server starts afresh (another patch server on its panel).
  void ResetSlot(int slot) { servers_[slot - 1] = {}; }

  // The confirmed state of a panel's server (kNone before its baseline).
  ServerState Confirmed(int slot) const { return servers_[slot - 1].confirmed; }
  bool Flapping(int slot) const { return servers_[slot - 1].flapping; }
  bool ServiceFlapping() const { return service_.flapping; }
  // The worst confirmed state among the watched servers: kUnreachable while
  // the service is confirmed unreachable, then down, slow, up; kNone before
  // any baseline.
  ServerState WorstWatchedState() const;

 private:
  struct Track {
    ServerState confirmed = ServerState::kNone;
    bool run_down = false;  // the class of the observations in `run`
    int32_t run = 0;        // that many in a row against the confirmed class
    uint32_t changes = 0;   // bit i: a confirmed change i polls ago
    int32_t stable = 0;     // polls since the last confirmed change
    bool flapping = false;
  };
  void ObserveServer(int slot, ServerState state, std::vector<AlertChange>& out);
  void ObserveService(bool unreachable, std::vector<AlertChange>& out);
  // A confirmed change of `t` to `state`: its alert for `slot` (when `tell`),
  // or the flapping alert, or nothing while it flaps.
  static void Confirm(Track& t, int slot, ServerState state, bool tell,
                      std::vector<AlertChange>& out);
  // A flapping track that stayed kFlapWindow polls unchanged settles: one
  // alert (when `tell`) names its state.
  static void Settle(Track& t, int slot, bool tell, std::vector<AlertChange>& out);

  AlertSettings settings_;
  std::array<Track, kVisibleSlotCount> servers_{};
  Track service_;  // confirmed kUp or kUnreachable once known
};

// An alert ready to show: when, where, what, and its text (code page 932,
// e.g. "Arvel 3: 停止").
struct Alert {
  DateTime time;  // local
  int utc_offset_minutes = 0;
  std::string world;
  int slot = 0;        // 0: the service
  std::string server;  // the panel's caption; empty for the service
  ServerState from = ServerState::kNone;
  ServerState to = ServerState::kNone;
  std::string text;
};

// The alert's text; at most kMaxAlertTextBytes bytes whatever the world label
// holds.
inline constexpr std::size_t kMaxAlertTextBytes = 120;
std::string AlertText(std::string_view world, int slot, ServerState from, ServerState to);

// "2026-12-09T21:05:00+09:00".
std::string IsoLocalTime(DateTime local, int utc_offset_minutes);

}  // namespace tol
