#pragma once
// What the monitor does with each finished poll beyond its panels: the alert
// rules, the history ring and the history log file. A window takes from here
// the alerts of a poll (through the monitor's `alert` hook), the worst
// watched state (for a state-coloured icon) and the history (for a chart).

#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/alerts.h"
#include "monitor/history.h"
#include "monitor/history_readback.h"
#include "monitor/poll.h"
#include "monitor/settings.h"

namespace tol {

// One finished poll.
struct FinishedPoll {
  DateTime time;  // local
  int utc_offset_minutes = 0;
  std::string_view world;  // the world label
  PollOutcome outcome = PollOutcome::kCompleted;
  // The servers as the status text gave them; nullptr when it wasn't read.
  const ObservedServers* observed = nullptr;
  // Whether the text had a line of any server the service knows (a panel's,
  // or a patch server not chosen): one without says nothing of the servers.
  bool names_known_server = false;
};

class AlertMonitor {
 public:
  using FailureHandler = std::function<void(std::exception_ptr)>;

  // Reads a world's history back for the monitor: runs ReadHistory(query)
  // wherever it likes (kovun.exe: on a worker thread) and hands the result
  // to InstallHistory on the UI thread. Empty: read in place.
  using HistoryLoader = std::function<void(HistoryQuery query)>;

  // `history_path`: the log file, already resolved (empty: none).
  AlertMonitor(const AlertSettings& settings, FilePath history_path,
               HistoryLoader loader = nullptr);

  // Start-up: cuts an unfinished last line off the log file and reads the
  // history of `world` back from it (the last `Hours` before `now`).
  void Start(std::string_view world, DateTime now, int utc_offset_minutes,
             std::string_view patch_key, const FailureHandler& on_failure);
  // Takes one finished poll into the history (ring and file) and the rules;
  // returns the alerts it raises (none while alerts are off). A log file that
  // can't be written goes to `on_failure` once. A poll of another world
  // starts every server afresh and replaces the history with that world's
  // (read back from the log file, or empty without one); another patch
  // server starts panel 2 afresh.
  std::vector<Alert> Observe(const FinishedPoll& poll, const KovunSettings& settings,
                             const FailureHandler& on_failure);
  // A history read back (see HistoryLoader): installed when it is still the
  // current world's, under the polls taken since it was asked for. Cheap.
  void InstallHistory(HistoryReadBack read);

  bool enabled() const { return settings_.enabled; }
  bool sound() const { return settings_.sound; }
  bool watched(int slot) const { return settings_.watched[slot - 1]; }
  const AlertRules& rules() const { return rules_; }
  ServerState WorstWatchedState() const { return rules_.WorstWatchedState(); }
  // The history of the current world (the world of the last poll, or the
  // one at start-up), oldest first.
  const HistoryRing& history() const { return history_; }
  const std::string& history_world() const { return history_world_; }
  // Lines of the log skipped as malformed by the last read back.
  std::size_t history_malformed() const { return history_malformed_; }

 private:
  void SwitchHistory(std::string_view world, DateTime now, int utc_offset_minutes,
                     std::string_view patch_key);

  AlertSettings settings_;
  AlertRules rules_;
  HistoryRing history_;
  HistoryFile file_;
  HistoryLoader loader_;
  std::string world_;  // of the rules; empty before the first poll
  std::string patch_;  // the patch key the rules saw last
  std::string history_world_;
  std::size_t history_malformed_ = 0;
};

// The observation a finished poll makes: a read status text, an unreachable
// service (also a text with no line for any panel's server), or nothing (a
// text that failed to convert, or no text read).
std::optional<PollStates> StatesOf(const FinishedPoll& poll, int32_t over_average);

// [History] File beside the settings file when it is a relative name.
FilePath HistoryPathBeside(const FilePath& settings_path, std::string_view file);

}  // namespace tol
