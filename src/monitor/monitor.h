#pragma once
// The main window's core (TKovunForm without its drawing): the model, the
// settings, the two timers, the start-up sequence, the polls and every menu
// command that is not a desktop effect. A front-end gives it its ports, draws
// the model, and turns input into the operations below; all of them run on
// the UI thread.
//
// Timer1 refreshes: 120000 ms and enabled from creation, each poll sets its
// period (60000 ms at the start, load time + ReloadTime seconds after the
// parse). Timer2 counts down once a second and runs exactly when NextTime is
// non-zero.
//
// Polls never overlap. A poll's network steps run through the PollExecutor:
// the inline one runs them on the spot (the whole poll blocks the caller),
// a front-end's may run them on a worker and hand the rest back to the UI
// thread. Whatever asks for a poll while one runs (a timer tick, a manual
// refresh, a world switch, a patch choice) is remembered and done once, after
// it: several refresh requests make one poll, and a world switch or patch
// choice made meanwhile takes effect then, and so do the update-time and tray
// toggles (each after the poll's caption, which both use). The countdown waits
// the same way:
// its ticks during a poll are held back and at most one is delivered after
// it, before any deferred poll starts, so a poll running off the UI thread
// shows exactly what a blocking one would.
//
// Every operation below is guarded: a failure that no poll handles goes to
// LogException (beep, error log) and the operation returns normally, so no
// front-end ends on one. RunGuarded offers the same to the front-end's own
// handlers.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/alert_monitor.h"
#include "monitor/events.h"
#include "monitor/log_exception.h"
#include "monitor/model.h"
#include "monitor/poll.h"
#include "monitor/settings.h"
#include "monitor/single_instance.h"
#include "monitor/timer.h"
#include "net/http_client.h"
#include "shared/clock.h"

namespace tol {

inline constexpr int kRefreshTimerInitialMs = 120000;  // Timer1 until the first poll
inline constexpr int kCountdownPeriodMs = 1000;        // Timer2
inline constexpr int kSyncRefreshMs = 1000;            // Timer1 after the first "OK"

// Runs a poll's network step and then its continuation on the UI thread.
class PollExecutor {
 public:
  virtual ~PollExecutor() = default;
  // `network` touches only the poll and the HTTP client; `then` must run on
  // the UI thread after `network` has returned. Neither throws. `then` refers
  // to the monitor: the front-end keeps the monitor alive until it has run
  // (or drops `then` unrun when the program ends).
  virtual void Run(std::function<void()> network, std::function<void()> then) = 0;
};

// Runs both at once on the calling thread: the blocking poll.
class InlinePollExecutor : public PollExecutor {
 public:
  void Run(std::function<void()> network, std::function<void()> then) override {
    network();
    then();
  }
};

// The desktop steps of the start-up sequence and of the menu toggles. Each is
// optional; a hook that is not set is skipped.
struct MonitorHooks {
  // Start-up, in this order: move, [single copy], layout, border, topmost,
  // tray, hotkeys.
  std::function<void(int32_t left, int32_t top)> move_window;
  // The single-copy test: false when another copy runs. This copy must then
  // hold nothing. Unset: the monitor takes SingleInstanceLock("Kovun") and
  // holds it for its own life.
  std::function<bool()> claim_single_copy;
  // Posts a quit request to this copy's own message queue.
  std::function<void()> post_quit;
  std::function<void(int32_t style)> layout;  // 1 compact, 2 column, else strip
  std::function<void()> make_border_sizeable;
  std::function<void(bool topmost)> apply_topmost;
  // Tray mode on: icon Minimized on, Visible on, TipHelp = `tip`; off:
  // Minimized off, Visible off.
  std::function<void(bool on, const std::string& tip)> apply_tray;
  // RegisterShortCut of [Option] HotKey (HookHotKey2, 1) and [HotKey]
  // GameServer1-15 (HookHotKey1, 1-15).
  std::function<void(const KovunSettings& settings)> register_hotkeys;
  // Restores the application from the minimised state (tray mode off).
  std::function<void()> restore_application;
  // The system's default beep (LogException).
  std::function<void()> beep;
  // The error log itself can't be written (LogException); gets the report.
  std::function<void(const std::string& report)> log_unwritable;
  // After every operation and every step of a poll that may have changed
  // the model: the front-end draws what differs from what it shows.
  std::function<void()> model_changed;
  // After every finished poll, once the model shows it: its events, the
  // alerts it raised ([Alert] Enabled=1) in order, and the poll event itself
  // when `poll_events` is set (a sink wants it; it costs a serialisation).
  // The front-end hands them to its sinks (and shows the alerts, beeping when
  // alert_monitor()->sound()).
  std::function<void(const MonitorEvents& events)> events;
  bool poll_events = false;
  // After every finished poll, once its alerts are out and the history holds
  // it: the front-end redraws its state icon and history chart.
  std::function<void()> observed;
  // Reads a world's history back from the history file off the UI thread
  // (ReadHistory) and hands it to InstallHistory on it; empty: the core
  // reads in place, at start-up and at a world switch (at most about 150 ms).
  AlertMonitor::HistoryLoader read_history;
};

struct MonitorPaths {
  FilePath settings_path;    // kovun.ini
  FilePath zoneroll_folder;  // the map-name files
  FilePath error_log_path;   // kovun_error.txt
  std::string module_name;   // named in error reports, e.g. "kovun.exe"
};

// The files beside a settings file: its folder's "Zoneroll", and the error
// log named after the program (ErrorLogPathFor); `module` is the program's
// path or file name.
MonitorPaths PathsBesideSettings(const FilePath& settings_path, const FilePath& module);

// The countdown text for a status text last modified at `last_modified`:
// load time minus the whole seconds between it and `now` (their distance,
// within one day), or "OK" once that is below 0.
std::string CountdownText(DateTime now, DateTime last_modified, int32_t load_time);

class KovunMonitor {
 public:
  // The ports must outlive the monitor. Timer1 and Timer2 are created here
  // over the two drivers; the drivers call timer1()/timer2().Tick().
  KovunMonitor(HttpClient& http, const Clock& clock, TimerDriver& timer1_driver,
               TimerDriver& timer2_driver, PollExecutor& executor, MonitorPaths paths,
               MonitorHooks hooks = {});
  ~KovunMonitor();
  KovunMonitor(const KovunMonitor&) = delete;
  KovunMonitor& operator=(const KovunMonitor&) = delete;

  // The start-up sequence, ending with StartupFlag set and the first
  // RefreshWorld.
  void FormCreate();
  // The close-time save with the window's current edges. Skipped by a copy
  // that found another one running. A file that can't be written goes to the
  // error log; the window closes all the same.
  void FormClose(int32_t left, int32_t top);

  // Timer1's tick: polls the world named by the world label (nothing when it
  // names none).
  void RefreshWorld();
  // Label1DblClick and the refresh hotkey: Timer1's wait restarts now, then
  // RefreshWorld.
  void ManualRefresh();
  // Timer2's tick: the countdown caption, and once the pull of Timer1 into
  // step with the service.
  void Timer2Timer();
  // A world entry (0-18). A disabled entry (the current world, Sendra) can't
  // be chosen: nothing happens.
  void SwitchWorld(int world_index);
  // A patch-server entry (0-3); a disabled entry does nothing.
  void ChoosePatchServer(int patch_index);
  // The three check-mark toggles.
  void N2Click();  // always in front
  void N3Click();  // show update time
  void N4Click();  // task tray

  // The application-wide failure handler: beep, error log.
  void LogFailure(std::exception_ptr failure) const;
  // Runs `operation`; a failure goes to LogFailure instead of the caller.
  // Then tells the front-end that the model may have changed.
  template <typename Operation>
  void RunGuarded(Operation&& operation) noexcept {
    try {
      operation();
    } catch (...) {
      LogFailure(std::current_exception());
    }
    NotifyModelChanged();
  }

  const MonitorModel& model() const { return model_; }
  const KovunSettings& settings() const { return settings_; }
  Timer& timer1() { return timer1_; }
  Timer& timer2() { return timer2_; }
  bool startup_flag() const { return startup_flag_; }
  // A second copy: the front-end ends without the close-time save.
  bool quit_requested() const { return quit_requested_; }
  bool poll_running() const { return busy_; }
  // The outcome of the last poll that finished; nullopt before the first.
  std::optional<PollOutcome> last_outcome() const { return last_outcome_; }
  // Counts finished polls (for front-ends that redraw after each one).
  int polls_finished() const { return polls_finished_; }
  // The alert rules and the history; nullptr before FormCreate.
  const AlertMonitor* alert_monitor() const { return alert_monitor_.get(); }
  // A history read back through MonitorHooks::read_history (UI thread).
  void InstallHistory(HistoryReadBack read) {
    if (alert_monitor_) alert_monitor_->InstallHistory(std::move(read));
  }

 private:
  PollContext Context();
  void StartPoll(std::string_view directory);
  // Hands a network step and its continuation to the executor; a failure
  // to do so, or of the continuation, ends the poll (busy_ cleared).
  void RunNetworkStep(std::function<void()> network, std::function<void()> then);
  void AfterStatus(const std::shared_ptr<StatusPoll>& poll);
  void FinishPoll(const std::shared_ptr<StatusPoll>& poll);
  void ObservePoll(const StatusPoll& poll);
  void RunDeferred();
  void CountdownStep();
  void NotifyModelChanged() noexcept;
  // Returns whether the display was turned on, which asks for a refresh.
  bool ToggleUpdateTime();
  void ToggleTray();
  void RestartTimer1();
  void ApplyPatchChoice(int patch_index);
  void ApplyWorldChoice(int world_index);

  HttpClient& http_;
  const Clock& clock_;
  PollExecutor& executor_;
  MonitorPaths paths_;
  MonitorHooks hooks_;
  ErrorLog error_log_;

  MonitorModel model_;
  KovunSettings settings_;
  Timer timer1_;
  Timer timer2_;
  std::unique_ptr<SingleInstanceLock> instance_lock_;
  std::unique_ptr<AlertMonitor> alert_monitor_;
  bool startup_flag_ = false;
  bool quit_requested_ = false;

  bool busy_ = false;
  // Asked for while a poll ran.
  bool refresh_pending_ = false;
  bool countdown_pending_ = false;
  std::optional<int> pending_world_;
  std::optional<int> pending_patch_;
  // The update-time and tray toggles clicked during a poll: 1 for an odd
  // number of clicks.
  int pending_update_time_toggles_ = 0;
  int pending_tray_toggles_ = 0;
  std::optional<PollOutcome> last_outcome_;
  int polls_finished_ = 0;
};

}  // namespace tol
