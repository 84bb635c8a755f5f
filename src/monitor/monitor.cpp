#include "monitor/monitor.h"

#include <cstdlib>
#include <utility>

#include "monitor/map_menus.h"
#include "shared/profile_ini.h"
#include "shared/text.h"

namespace tol {

MonitorPaths PathsBesideSettings(const FilePath& settings_path, const FilePath& module) {
  MonitorPaths paths;
  paths.settings_path = settings_path;
  paths.zoneroll_folder = settings_path.Folder().Join("Zoneroll");
  paths.error_log_path = ErrorLogPathFor(settings_path, module);
  paths.module_name = module.FileName().Text();
  return paths;
}

std::string CountdownText(DateTime now, DateTime last_modified, int32_t load_time) {
  // Both values are whole milliseconds already, so the rounding to
  // milliseconds is exact. Only the distance within one day counts.
  const int64_t distance = std::llabs(now.milliseconds() - last_modified.milliseconds());
  const int64_t seconds = distance % DateTime::kMsPerDay / 1000;
  const int64_t remaining = int64_t{load_time} - seconds;
  return remaining < 0 ? std::string("OK") : std::to_string(remaining);
}

KovunMonitor::KovunMonitor(HttpClient& http, const Clock& clock, TimerDriver& timer1_driver,
                           TimerDriver& timer2_driver, PollExecutor& executor, MonitorPaths paths,
                           MonitorHooks hooks)
    : http_(http),
      clock_(clock),
      executor_(executor),
      paths_(std::move(paths)),
      hooks_(std::move(hooks)),
      timer1_(timer1_driver, kRefreshTimerInitialMs, true),
      timer2_(timer2_driver, kCountdownPeriodMs, false) {
  error_log_ = ErrorLog{paths_.error_log_path, paths_.module_name, &clock_, hooks_.beep,
                        hooks_.log_unwritable};
  timer1_.on_timer = [this] { RefreshWorld(); };
  timer2_.on_timer = [this] { Timer2Timer(); };
}

KovunMonitor::~KovunMonitor() = default;

void KovunMonitor::FormCreate() {
  RunGuarded([this] {
    // Settings file: read from start to end, then released.
    settings_ = ReadSettings(ProfileIni::Load(paths_.settings_path), model_.label1);
    if (hooks_.move_window) hooks_.move_window(settings_.left, settings_.top);
    // World label (old label forms converted), check marks, patch entries.
    ApplySettingsToModel(model_, settings_);

    if (settings_.multi_app == 0) {
      bool first_copy;
      if (hooks_.claim_single_copy) {
        first_copy = hooks_.claim_single_copy();
      } else {
        instance_lock_ = std::make_unique<SingleInstanceLock>(kSingleInstanceName);
        first_copy = instance_lock_->acquired();
        if (!first_copy) instance_lock_.reset();
      }
      if (!first_copy) {
        // This copy still runs its start-up to the end, first poll included,
        // and ends as soon as its message loop starts.
        quit_requested_ = true;
        if (hooks_.post_quit) hooks_.post_quit();
      }
    }
    // The history log belongs to the copy that runs on; a second one leaves
    // it alone.
    alert_monitor_ = std::make_unique<AlertMonitor>(
        settings_.alerts,
        quit_requested_ ? FilePath()
                        : HistoryPathBeside(paths_.settings_path, settings_.alerts.history_file),
        hooks_.read_history);
    alert_monitor_->Start(model_.label1, clock_.Now(), clock_.CurrentUtcOffsetMinutes(),
                          settings_.patch,
                          [this](std::exception_ptr failure) { LogFailure(std::move(failure)); });

    if (hooks_.layout) hooks_.layout(settings_.style);
    if (hooks_.make_border_sizeable) hooks_.make_border_sizeable();
    model_.caption = std::string(kCaptionPrefix);

    RequestProfile profile = http_.profile();
    profile.user_agent = UserAgentText();
    profile.referer = std::string(kHomepageUrl);
    http_.SetProfile(profile);

    if (hooks_.apply_topmost) hooks_.apply_topmost(model_.set_window_pos);
    if (hooks_.apply_tray) hooks_.apply_tray(model_.task_tray, model_.caption);
    if (hooks_.register_hotkeys) hooks_.register_hotkeys(settings_);
    timer2_.SetEnabled(settings_.next_time != 0);

    profile.proxy_host = settings_.proxy_server;
    profile.proxy_port = settings_.proxy_port;
    profile.proxy_user = settings_.proxy_name;
    profile.proxy_password = settings_.proxy_password;
    http_.SetProfile(profile);

    startup_flag_ = true;
    RefreshWorld();
  });
}

void KovunMonitor::FormClose(int32_t left, int32_t top) {
  if (quit_requested_) return;
  RunGuarded([&] {
    CloseTimeState state;
    state.left = left;
    state.top = top;
    state.patch = settings_.patch;
    state.world_label = model_.label1;
    state.set_window_pos = model_.set_window_pos;
    state.last_modified = model_.last_modified;
    state.task_tray = model_.task_tray;
    state.reload_time = settings_.reload_time;
    SaveCloseTimeSettings(paths_.settings_path, settings_, state);
  });
}

void KovunMonitor::NotifyModelChanged() noexcept {
  if (!hooks_.model_changed) return;
  try {
    hooks_.model_changed();
  } catch (...) {
    LogFailure(std::current_exception());
  }
}

void KovunMonitor::LogFailure(std::exception_ptr failure) const {
  LogException(error_log_, std::move(failure));
}

PollContext KovunMonitor::Context() {
  PollHooks hooks;
  hooks.set_refresh_interval = [this](int32_t period_ms) { timer1_.SetInterval(period_ms); };
  hooks.reload_map_menus = [this] {
    BuildMapMenus(model_, paths_.zoneroll_folder, settings_.popup_break);
  };
  hooks.on_failure = [this](std::exception_ptr failure) { LogFailure(std::move(failure)); };
  return PollContext{model_, settings_, clock_, std::move(hooks)};
}

void KovunMonitor::RefreshWorld() {
  if (busy_) {
    refresh_pending_ = true;
    return;
  }
  RunGuarded([this] {
    const std::optional<std::string_view> directory = BeginRefreshWorld(model_);
    if (directory) StartPoll(*directory);
  });
}

void KovunMonitor::StartPoll(std::string_view directory) {
  busy_ = true;
  auto poll = std::make_shared<StatusPoll>(settings_.service_url, directory);
  PollContext ctx = Context();
  poll->Begin(ctx);
  HttpClient* http = &http_;
  RunNetworkStep([poll, http] { poll->FetchStatus(*http); }, [this, poll] { AfterStatus(poll); });
}

void KovunMonitor::RunNetworkStep(std::function<void()> network, std::function<void()> then) {
  try {
    executor_.Run(std::move(network), [this, then = std::move(then)] {
      RunGuarded([&] {
        try {
          then();
        } catch (...) {
          busy_ = false;
          throw;
        }
      });
    });
  } catch (...) {
    // The step never started: no poll is running any more, so later ones
    // aren't held back for ever.
    busy_ = false;
    throw;
  }
}

void KovunMonitor::AfterStatus(const std::shared_ptr<StatusPoll>& poll) {
  PollContext ctx = Context();
  poll->ApplyStatus(ctx);
  if (!poll->NeedsHead()) {
    FinishPoll(poll);
    return;
  }
  HttpClient* http = &http_;
  RunNetworkStep([poll, http] { poll->FetchHead(*http); }, [this, poll] { FinishPoll(poll); });
}

void KovunMonitor::FinishPoll(const std::shared_ptr<StatusPoll>& poll) {
  PollContext ctx = Context();
  try {
    last_outcome_ = poll->Finish(ctx);
  } catch (...) {
    // Only the closing steps themselves (the map menus) can get here.
    last_outcome_ = PollOutcome::kOtherError;
    LogFailure(std::current_exception());
  }
  busy_ = false;
  RunGuarded([&] { ObservePoll(*poll); });
  ++polls_finished_;
  RunDeferred();
}

void KovunMonitor::ObservePoll(const StatusPoll& poll) {
  if (!alert_monitor_ || !last_outcome_) return;
  FinishedPoll finished;
  finished.time = clock_.Now();
  finished.utc_offset_minutes = clock_.CurrentUtcOffsetMinutes();
  finished.world = model_.label1;
  finished.outcome = *last_outcome_;
  if (poll.observed()) finished.observed = &*poll.observed();
  finished.names_known_server = poll.names_known_server();
  const std::vector<Alert> alerts = alert_monitor_->Observe(
      finished, settings_, [this](std::exception_ptr failure) { LogFailure(std::move(failure)); });
  if (hooks_.events) {
    MonitorEvents events;
    if (hooks_.poll_events) {
      PanelStates states{};
      if (const std::optional<PollStates> seen = StatesOf(finished, settings_.over_average)) {
        if (seen->unreachable) {
          states.fill(ServerState::kUnreachable);
        } else {
          states = seen->servers;
        }
      }
      events.poll = MakePollEvent(model_, last_outcome_, alert_monitor_->WorstWatchedState(),
                                  states, finished.time, finished.utc_offset_minutes);
    }
    events.alerts.reserve(alerts.size());
    for (const Alert& a : alerts) events.alerts.push_back(MakeAlertEvent(a));
    hooks_.events(events);
  }
  if (hooks_.observed) hooks_.observed();
}

// What was asked for during the poll: the held-back countdown tick first,
// then one more poll at most.
void KovunMonitor::RunDeferred() {
  if (std::exchange(countdown_pending_, false)) RunGuarded([this] { CountdownStep(); });
  // The toggles in the order of the menu; two clicks on one cancel out.
  if (std::exchange(pending_update_time_toggles_, 0) != 0) {
    RunGuarded([this] { refresh_pending_ |= ToggleUpdateTime(); });
  }
  if (std::exchange(pending_tray_toggles_, 0) != 0) RunGuarded([this] { ToggleTray(); });
  if (pending_patch_) {
    const int patch = *std::exchange(pending_patch_, std::nullopt);
    if (model_.patch_entries[patch].enabled) {
      ApplyPatchChoice(patch);
      RestartTimer1();
      refresh_pending_ = true;
    }
  }
  if (pending_world_) {
    const int world = *std::exchange(pending_world_, std::nullopt);
    if (model_.world_entries[world].enabled) {
      refresh_pending_ = false;
      ApplyWorldChoice(world);
      StartPoll(Worlds()[world].directory);
      return;
    }
  }
  if (std::exchange(refresh_pending_, false)) RefreshWorld();
}

void KovunMonitor::RestartTimer1() {
  timer1_.SetEnabled(false);
  timer1_.SetEnabled(true);
}

void KovunMonitor::ManualRefresh() {
  RunGuarded([this] {
    RestartTimer1();
    RefreshWorld();
  });
}

void KovunMonitor::Timer2Timer() {
  if (busy_) {
    // Handled after the poll, once however many ticks fell into it.
    countdown_pending_ = true;
    return;
  }
  RunGuarded([this] { CountdownStep(); });
}

void KovunMonitor::CountdownStep() {
  const std::string text = CountdownText(clock_.Now(), model_.last_modified_time, model_.load_time);
  model_.caption = model_.saved_caption + " [ " + text + " ]";
  if (startup_flag_ && text == "OK") {
    // Once per run: the next refresh follows in a second and sets the
    // service's period from there, so later refreshes follow its rewrites.
    model_.poll_interval = kSyncRefreshMs;
    timer1_.SetInterval(kSyncRefreshMs);
    startup_flag_ = false;
  }
}

void KovunMonitor::ApplyWorldChoice(int world_index) {
  model_.label1 = std::string(Worlds()[world_index].name);
  for (int i = 0; i < kWorldCount; ++i) {
    if (i != kSendraIndex) model_.world_entries[i].enabled = true;
  }
  model_.world_entries[world_index].enabled = false;
}

void KovunMonitor::SwitchWorld(int world_index) {
  if (world_index < 0 || world_index >= kWorldCount) return;
  if (!model_.world_entries[world_index].enabled) return;
  if (busy_) {
    pending_world_ = world_index;
    return;
  }
  RunGuarded([this, world_index] {
    ApplyWorldChoice(world_index);
    StartPoll(Worlds()[world_index].directory);
  });
}

void KovunMonitor::ApplyPatchChoice(int patch_index) {
  settings_.patch = std::string(kPatchKeys[patch_index]);
  model_.SelectPatchEntry(settings_.patch);
}

void KovunMonitor::ChoosePatchServer(int patch_index) {
  if (patch_index < 0 || patch_index >= kPatchEntryCount) return;
  if (!model_.patch_entries[patch_index].enabled) return;
  if (busy_) {
    pending_patch_ = patch_index;
    return;
  }
  RunGuarded([this, patch_index] {
    ApplyPatchChoice(patch_index);
    ManualRefresh();
  });
}

void KovunMonitor::N2Click() {
  RunGuarded([this] {
    model_.set_window_pos = !model_.set_window_pos;
    if (hooks_.apply_topmost) hooks_.apply_topmost(model_.set_window_pos);
  });
}

void KovunMonitor::N3Click() {
  if (busy_) {
    // The poll would overwrite the caption the toggle sets: it waits.
    pending_update_time_toggles_ ^= 1;
    return;
  }
  RunGuarded([this] {
    if (ToggleUpdateTime()) RefreshWorld();
  });
}

bool KovunMonitor::ToggleUpdateTime() {
  if (model_.last_modified) {
    model_.last_modified = false;
    model_.caption = PlainAverageCaption(model_.average_text);
    model_.saved_caption = model_.caption;
    return false;
  }
  model_.last_modified = true;
  return true;
}

void KovunMonitor::N4Click() {
  if (busy_) {
    // The icon's tip takes the caption the poll leaves.
    pending_tray_toggles_ ^= 1;
    return;
  }
  RunGuarded([this] { ToggleTray(); });
}

void KovunMonitor::ToggleTray() {
  if (model_.task_tray) {
    model_.task_tray = false;
    if (hooks_.apply_tray) hooks_.apply_tray(false, model_.caption);
    if (hooks_.restore_application) hooks_.restore_application();
  } else {
    model_.task_tray = true;
    if (hooks_.apply_tray) hooks_.apply_tray(true, model_.caption);
  }
}

}  // namespace tol
