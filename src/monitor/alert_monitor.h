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
};

class AlertMonitor {
 public:
  using FailureHandler = std::function<void(std::exception_ptr)>;

  // `history_path`: the log file, already resolved (empty: none).
  AlertMonitor(const AlertSettings& settings, FilePath history_path);

  // Start-up: cuts an unfinished last line off the log file.
  void Start(const FailureHandler& on_failure);
  // Takes one finished poll into the history (ring and file) and the rules;
  // returns the alerts it raises (none while alerts are off). A log file that
  // can't be written goes to `on_failure` once.
  std::vector<Alert> Observe(const FinishedPoll& poll, const KovunSettings& settings,
                             const FailureHandler& on_failure);

  bool enabled() const { return settings_.enabled; }
  bool sound() const { return settings_.sound; }
  bool watched(int slot) const { return settings_.watched[slot - 1]; }
  const AlertRules& rules() const { return rules_; }
  ServerState WorstWatchedState() const { return rules_.WorstWatchedState(); }
  const HistoryRing& history() const { return history_; }

 private:
  AlertSettings settings_;
  AlertRules rules_;
  HistoryRing history_;
  HistoryFile file_;
  std::string world_;
};

// The observation a finished poll makes: a read status text, an unreachable
// service, or nothing (a text that failed to convert, or no text read).
std::optional<PollStates> StatesOf(const FinishedPoll& poll, int32_t over_average);

// [History] File beside the settings file when it is a relative name.
FilePath HistoryPathBeside(const FilePath& settings_path, std::string_view file);

}  // namespace tol
