#pragma once
// What `kovun --once` prints, and the exit status that tells the outcome of
// its poll.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "monitor/alerts.h"
#include "monitor/model.h"
#include "monitor/poll.h"

namespace tol {

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

// The display order of the nineteen panels in a strip: "PatH", "PatF",
// "Login", "Char", then map servers 1 to 15 (slot numbers).
inline constexpr int kStripOrder[kVisibleSlotCount] = {3,  2,  1,  4,  5,  6,  7,  8,  9, 10,
                                                       11, 12, 13, 14, 15, 16, 17, 18, 19};

// The caption line, then one line per panel 1-19: caption, colour, hint
// (UTF-8, each line ending in "\n").
std::string ModelText(const MonitorModel& model);

// The model as one JSON object, texts in UTF-8.
nlohmann::json ModelJson(const MonitorModel& model, std::optional<PollOutcome> outcome);

// The lines of `kovun --watch --json`: after each poll {"event":"poll", the
// fields of ModelJson, "worst": the worst watched state}, and per alert
// {"event":"alert","time","world","server" (the panel's caption, null for the
// service),"from","to","text"}.
nlohmann::json PollEventJson(const MonitorModel& model, std::optional<PollOutcome> outcome,
                             ServerState worst);
nlohmann::json AlertJson(const Alert& alert);

}  // namespace tol
