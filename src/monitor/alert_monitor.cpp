#include "monitor/alert_monitor.h"

#include "monitor/status.h"
#include "monitor/worlds.h"
#include "shared/text.h"

namespace tol {

AlertMonitor::AlertMonitor(const AlertSettings& settings, FilePath history_path)
    : settings_(settings),
      rules_(settings),
      history_(settings.history_hours),
      file_(std::move(history_path)) {}

void AlertMonitor::Start(const FailureHandler& on_failure) { file_.Open(on_failure); }

std::optional<PollStates> StatesOf(const FinishedPoll& poll, int32_t over_average) {
  PollStates states;
  if (poll.outcome == PollOutcome::kSocketError || poll.outcome == PollOutcome::kFileNotFound) {
    states.unreachable = true;
    return states;
  }
  // A failure after the text was read whole (the export file, say) doesn't
  // make what it said untrue.
  if (!poll.observed) return std::nullopt;
  for (int i = 0; i < kVisibleSlotCount; ++i) {
    states.servers[i] = StateOf((*poll.observed)[i], over_average);
  }
  return states;
}

std::vector<Alert> AlertMonitor::Observe(const FinishedPoll& poll, const KovunSettings& settings,
                                         const FailureHandler& on_failure) {
  const std::optional<PollStates> states = StatesOf(poll, settings.over_average);
  if (!states) return {};
  if (poll.world != world_) {
    // Another world: every server of it starts with a new baseline.
    world_ = std::string(poll.world);
    rules_.Reset();
  }
  const ObservedServers* observed = states->unreachable ? nullptr : poll.observed;
  const HistoryPoll entry = MakeHistoryPoll(poll.time, FindWorld(poll.world).value_or(-1), observed,
                                            settings.over_average);
  history_.Add(entry);
  if (!file_.path().empty()) {
    file_.Append(
        HistoryCsvLines(entry, poll.utc_offset_minutes, poll.world, observed, settings.patch),
        on_failure);
  }
  if (!settings_.enabled) return {};
  std::vector<Alert> alerts;
  for (const AlertChange& change : rules_.Observe(*states)) {
    Alert& a = alerts.emplace_back();
    a.time = poll.time;
    a.utc_offset_minutes = poll.utc_offset_minutes;
    a.world = world_;
    a.slot = change.slot;
    a.server = change.slot == 0 ? std::string() : std::string(PanelCaption(change.slot));
    a.from = change.from;
    a.to = change.to;
    a.text = AlertText(world_, change.slot, change.from, change.to);
  }
  return alerts;
}

FilePath HistoryPathBeside(const FilePath& settings_path, std::string_view file) {
  if (file.empty()) return {};
  const bool absolute = file[0] == '/' || file[0] == '\\' ||
                        (file.size() >= 2 && file[1] == ':' && !IsLeadByte(file[0]));
  if (absolute) return FilePath::FromText(file);
  return settings_path.Folder().Join(file);
}

}  // namespace tol
