#pragma once
// One poll of the status service (PollStatus) and the world lookup in front
// of it (RefreshWorld).
//
// A poll is split into five steps so that a front-end can run the two network
// steps off its UI thread while every visible step still runs on the UI
// thread in order:
//
//   Begin         UI       refresh interval 60000 ms, loading caption
//   FetchStatus   network  GET status.txt (one retry), GET loadtime.txt
//                          ("120" when it fails)
//   ApplyStatus   UI       panels, hints, colours, export lines, load time,
//                          refresh interval, average
//   FetchHead     network  HEAD status.txt (one retry)
//   Finish        UI       update text, final caption, export file; then, in
//                          every case, the line buffers are emptied, the
//                          caption saved and the map menus reloaded
//
// The network steps touch neither the model nor the settings. A failure in
// any step makes the later steps up to Finish do nothing; Finish classifies
// it: a socket failure or an HTTP status failure turns panels 1-19 neutral
// and shows " ( Socket Error )" or " ( File Not Found )"; a conversion
// failure ends the poll silently; any other failure is handed, after the
// closing steps, to the failure handler (rethrown when none is set).
//
// The steps run one at a time, in the order above; a caller that moves a
// network step to another thread hands the StatusPoll over and back (the
// hand-over orders the memory accesses). The caller keeps polls from
// overlapping.

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/model.h"
#include "monitor/settings.h"
#include "net/http_client.h"
#include "shared/clock.h"

namespace tol {

enum class PollOutcome {
  kCompleted,
  kSocketError,
  kFileNotFound,
  kConvertError,  // ended silently
  kOtherError,    // handed to the failure handler
};

// What a status text said of one visible panel's server: its last line
// there, or nothing when it has none.
struct ObservedServer {
  bool listed = false;
  std::string key;
  std::string status;
  int32_t success_count = 0;
  int32_t check_count = 0;
  int32_t connect_time = 0;
};
using ObservedServers = std::array<ObservedServer, kVisibleSlotCount>;

struct PollHooks {
  // Sets the refresh timer's period (Timer1): a different period restarts the
  // wait, the same one keeps it.
  std::function<void(int32_t period_ms)> set_refresh_interval;
  // Rebuilds the map-name menus of the world shown; the last step of a poll.
  std::function<void()> reload_map_menus;
  // The application's failure handler (LogException); when empty, Finish
  // rethrows an unclassified failure after its closing steps.
  std::function<void(std::exception_ptr)> on_failure;
};

// What the UI steps of a poll work on. Everything here belongs to the UI
// thread.
struct PollContext {
  MonitorModel& model;
  KovunSettings& settings;
  const Clock& clock;
  PollHooks hooks;
};

class StatusPoll {
 public:
  // A poll of `directory` (e.g. "arvel/") under the service base URL.
  StatusPoll(std::string_view base_url, std::string_view directory);

  void Begin(PollContext& ctx);
  void FetchStatus(HttpClient& http);
  void ApplyStatus(PollContext& ctx);
  // False once a step has failed: the HEAD request is then skipped.
  bool NeedsHead() const { return !failure_; }
  void FetchHead(HttpClient& http);
  PollOutcome Finish(PollContext& ctx);

  const std::string& status_url() const { return status_url_; }
  const std::string& loadtime_url() const { return loadtime_url_; }
  // The export lines built so far (emptied by Finish).
  const std::vector<std::string>& export_lines() const { return export_lines_; }
  // The servers of panels 1-19 (index slot - 1) once ApplyStatus has read the
  // whole status text; nullopt before, or when it failed.
  const std::optional<ObservedServers>& observed() const { return observed_; }
  // Whether the status text had a line of any of the service's server keys
  // (those of the panels, and the patch servers not chosen).
  bool names_known_server() const { return names_known_server_; }

 private:
  template <typename Step>
  void Guarded(Step&& step);
  void FinishSuccess(PollContext& ctx);

  std::string status_url_;
  std::string loadtime_url_;
  std::exception_ptr failure_;
  std::string status_body_;
  std::string loadtime_text_;
  std::vector<std::string> export_lines_;
  std::optional<DateTime> head_last_modified_;
  std::optional<ObservedServers> observed_;
  bool names_known_server_ = false;
};

// RefreshWorld's lookup: the world whose display name equals the world
// label's text exactly. Its menu entry is disabled and its directory returned;
// nullopt (nothing changed) when the label names no world.
std::optional<std::string_view> BeginRefreshWorld(MonitorModel& model);

// Every step of one poll on the calling thread.
PollOutcome RunPollBlocking(PollContext& ctx, HttpClient& http, std::string_view directory);
// RefreshWorld on the calling thread; nullopt when the label names no world.
std::optional<PollOutcome> RefreshWorldBlocking(PollContext& ctx, HttpClient& http);

}  // namespace tol
