#include "monitor/alert_monitor.h"

#include "monitor/status.h"
#include "monitor/worlds.h"
#include "shared/text.h"

namespace tol {

AlertMonitor::AlertMonitor(const AlertSettings& settings, FilePath history_path,
                           HistoryLoader loader)
    : settings_(settings),
      rules_(settings),
      history_(settings.history_hours),
      file_(std::move(history_path)),
      loader_(std::move(loader)) {}

void AlertMonitor::Start(std::string_view world, DateTime now, int utc_offset_minutes,
                         std::string_view patch_key, const FailureHandler& on_failure) {
  file_.Open(on_failure);
  SwitchHistory(world, now, utc_offset_minutes, patch_key);
}

void AlertMonitor::SwitchHistory(std::string_view world, DateTime now, int utc_offset_minutes,
                                 std::string_view patch_key) {
  history_world_ = std::string(world);
  history_ = HistoryRing(settings_.history_hours);
  history_malformed_ = 0;
  if (file_.path().empty()) return;
  HistoryQuery query{file_.path(), history_world_,     settings_.history_hours,
                     now,          utc_offset_minutes, std::string(patch_key)};
  if (loader_) {
    loader_(std::move(query));
  } else {
    InstallHistory(ReadHistory(query));
  }
}

void AlertMonitor::InstallHistory(HistoryReadBack read) {
  if (read.world != history_world_) return;  // asked for before another switch
  history_malformed_ = read.malformed;
  // The polls taken meanwhile are in the file too: the memory's win.
  if (history_.size() > 0) read.polls.DropFrom(history_[0].time);
  for (std::size_t i = 0; i < history_.size(); ++i) read.polls.Add(history_[i]);
  history_ = std::move(read.polls);
}

std::optional<PollStates> StatesOf(const FinishedPoll& poll, int32_t over_average) {
  PollStates states;
  if (poll.outcome == PollOutcome::kSocketError || poll.outcome == PollOutcome::kFileNotFound) {
    states.unreachable = true;
    return states;
  }
  // A failure after the text was read whole (the export file, say) doesn't
  // make what it said untrue.
  if (!poll.observed) return std::nullopt;
  bool any_listed = false;
  for (int i = 0; i < kVisibleSlotCount; ++i) {
    states.servers[i] = StateOf((*poll.observed)[i], over_average);
    any_listed |= (*poll.observed)[i].listed;
  }
  // An answer that names none of the service's servers (empty, or a page of
  // another kind) says nothing of them: as if the service couldn't be
  // reached. One that names only a patch server not chosen still tells that
  // the others have no line.
  if (!any_listed && !poll.names_known_server) return PollStates{.unreachable = true};
  return states;
}

std::vector<Alert> AlertMonitor::Observe(const FinishedPoll& poll, const KovunSettings& settings,
                                         const FailureHandler& on_failure) {
  const std::optional<PollStates> states = StatesOf(poll, settings.over_average);
  if (!states) return {};
  if (poll.world != world_) {
    // Another world: every server of it starts with a new baseline.
    world_ = std::string(poll.world);
    patch_ = settings.patch;
    rules_.Reset();
  } else if (settings.patch != patch_) {
    // Another patch server on panel 2: a new baseline for it alone.
    patch_ = settings.patch;
    rules_.ResetSlot(2);
  }
  if (poll.world != history_world_) {
    SwitchHistory(poll.world, poll.time, poll.utc_offset_minutes, settings.patch);
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
