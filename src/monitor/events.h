#pragma once
// What a finished poll tells the outside world: one poll event and the alert
// events it raised. Each is made once on the UI thread and handed on
// immutable to every sink: the terminal, the watch stream, the webhooks and
// the local endpoint. Each is serialised once to the JSON line the watch
// stream prints (UTF-8, keys in a fixed order, "event" first), on the first
// call of json() by any thread: a sink whose own thread needs the line takes
// that cost off the UI thread. A sink adds only its own framing and never
// reaches into the model.
//
// The poll event's JSON, keys in this order:
//   event "poll", time (ISO 8601 local, when the poll finished), world,
//   caption, panels [19 in slot order: slot, caption, color "$00BBGGRR",
//   rgb "#RRGGBB", hint, hint_shown, state], average, update_text,
//   interval_ms, load_time, countdown (seconds to the service's next
//   rewrite, null before a status was read), worst, outcome, exit_status
// The alert event's JSON, keys in this order:
//   event "alert", time, world, server (the panel's caption; null for the
//   service), from, to, text

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "monitor/alerts.h"
#include "monitor/model.h"
#include "monitor/poll.h"
#include "shared/date_time.h"

namespace tol {

using OrderedJson = nlohmann::ordered_json;

// Exit statuses of `kovun --once` (and of start-up failures).
inline constexpr int kExitCompleted = 0;
inline constexpr int kExitUsage = 1;  // bad options, or the program could not start
inline constexpr int kExitSocketError = 2;
inline constexpr int kExitFileNotFound = 3;
inline constexpr int kExitConvertError = 4;   // the poll ended silently
inline constexpr int kExitLoggedFailure = 5;  // written to the error log
inline constexpr int kExitNoPoll = 6;         // the world label names no world

int ExitStatusOf(std::optional<PollOutcome> outcome);
// "completed", "socket_error", "file_not_found", "convert_error",
// "logged_failure", or "none" when no poll ran.
std::string OutcomeName(std::optional<PollOutcome> outcome);

// "$00BBGGRR": the colour value as the settings file writes it.
std::string ColorHex(int32_t color);
// "#RRGGBB" as a browser or a chat message draws it; a system colour
// ($FF0000nn) reads as Windows' default for it (the button face #F0F0F0).
std::string ColorRgb(int32_t color);

// The display order of the nineteen panels in a strip: "PatH", "PatF",
// "Login", "Char", then map servers 1 to 15 (slot numbers).
inline constexpr int kStripOrder[kVisibleSlotCount] = {3,  2,  1,  4,  5,  6,  7,  8,  9, 10,
                                                       11, 12, 13, 14, 15, 16, 17, 18, 19};

struct PanelEvent {
  int slot = 0;
  std::string caption;  // code page 932
  int32_t color = 0;
  std::string hint;  // code page 932
  bool hint_shown = false;
  ServerState state = ServerState::kNone;  // as this poll saw it
};

struct PollEvent {
  DateTime time;  // local, when the poll finished
  int utc_offset_minutes = 0;
  std::string world;                                 // the world label, code page 932
  std::string caption;                               // code page 932
  std::array<PanelEvent, kVisibleSlotCount> panels;  // index slot - 1
  std::string average_text, update_text;             // code page 932
  int32_t interval_ms = 0;
  int32_t load_time = 0;
  DateTime last_modified_time;  // local; zero before a status was read
  std::optional<PollOutcome> outcome;
  ServerState worst = ServerState::kNone;  // the worst confirmed watched state

  // The JSON line (no line break); serialised on the first call, any thread.
  const std::string& json() const;

  // Seconds until the service rewrites its text at `now`: load time minus
  // the seconds since the last modification, at least 0; nullopt before a
  // status was read.
  std::optional<int64_t> CountdownAt(DateTime now) const;

 private:
  mutable std::once_flag json_once_;
  mutable std::string json_;
};

struct AlertEvent {
  Alert alert;

  // The JSON line (no line break); serialised on the first call, any thread.
  const std::string& json() const;

 private:
  mutable std::once_flag json_once_;
  mutable std::string json_;
};

// One finished poll's events: the poll, then its alerts in order. `poll` is
// null when no sink asked for poll events (MonitorHooks::poll_events).
struct MonitorEvents {
  std::shared_ptr<const PollEvent> poll;
  std::vector<std::shared_ptr<const AlertEvent>> alerts;
};

// The states of panels 1-19 as a finished poll saw them: each server's state
// from a read text, every one unreachable with the service, none otherwise.
using PanelStates = std::array<ServerState, kVisibleSlotCount>;

std::shared_ptr<const PollEvent> MakePollEvent(const MonitorModel& model,
                                               std::optional<PollOutcome> outcome,
                                               ServerState worst, const PanelStates& states,
                                               DateTime now, int utc_offset_minutes);
std::shared_ptr<const AlertEvent> MakeAlertEvent(const Alert& alert);

// The JSON of the two events, as they are serialised into `json`.
OrderedJson PollEventJson(const PollEvent& event);
OrderedJson AlertEventJson(const Alert& alert);

// What `kovun --once --json` prints: the model as one JSON object, texts in
// UTF-8: caption, world, panels (slot, caption, color, rgb, hint,
// hint_shown), average, update_text, interval_ms, load_time, map_menus,
// outcome, exit_status.
OrderedJson ModelJson(const MonitorModel& model, std::optional<PollOutcome> outcome);

}  // namespace tol
