#pragma once
// Parsing of the status service's lines and the display rules built on them:
// server slots, panel colours and hints, the average connect time, captions
// and the update time.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/settings.h"
#include "shared/clock.h"
#include "shared/date_time.h"

namespace tol {

// Slots 1-19 are the visible panels; slot 20 is hidden and receives every
// line whose key matches no row.
inline constexpr int kSlotCount = 20;
inline constexpr int kVisibleSlotCount = 19;
inline constexpr int kHiddenSlot = 20;
// Short label of the hidden slot. It reaches only argument 2 of Format1;
// "----" keeps such export lines readable and tells them from real slots.
inline constexpr std::string_view kHiddenSlotLabel = "----";

struct SlotMatch {
  int slot = kHiddenSlot;
  std::string_view label = kHiddenSlotLabel;
};

// The slot of a status key: the rows LoginServer, <patch key>, PatchServerH,
// CharSelect, GameServer01..15 are tried in order (exact, case-sensitive) and
// the last matching row wins.
SlotMatch FindSlot(std::string_view key, std::string_view patch_key);

// The fixed caption of panel `slot` (1-20): "Login", "PatF", "PatH", "Char",
// "1".."15", and "" for the hidden slot.
std::string_view PanelCaption(int slot);

// The status key that maps to panel `slot` (1-19): "LoginServer",
// `patch_key`, "PatchServerH", "CharSelect", "GameServer01".."GameServer15".
std::string_view SlotKey(int slot, std::string_view patch_key);

// One parsed status line.
struct ServerStatus {
  int32_t line_number = 0;  // 1-based
  std::string key;          // field 1
  int slot = kHiddenSlot;
  std::string label;         // short label of the slot
  std::string status;        // field 2
  std::string success_text;  // field 3 as it stands
  int32_t success_count = 0;
  std::string check_text;  // field 4
  int32_t check_count = 0;
  std::string connect_text;  // field 5
  int32_t connect_time = 0;
};

// Parses one status line (fields by ExtractField, untrimmed). Raises
// EConvertError when field 5, 3 or 4 (checked in that order) isn't an
// integer text.
ServerStatus ParseStatusLine(std::string_view line, int32_t line_number,
                             std::string_view patch_key);

// key + " : " + status + " ( " + field 3 + "/" + field 4 + ":" + field 5 + " )"
// from the raw field texts.
std::string HintText(const ServerStatus& s);

// The colour rules, applied in order on top of `current` (the panel's colour
// so far); every rule that applies overrides the ones before it: Good,
// connect time >= OverAverage, >= OverAverage2, Closed, Dead, Down,
// field 3 == "2", field 3 == "1".
int32_t PanelColor(int32_t current, const ServerStatus& s, const KovunSettings& settings);

// Accumulates the average connect time: sum / (lines - zero lines + 1),
// truncated toward zero. The sum is kept in 64 bits, so the result is the
// true quotient even where a 32-bit sum would wrap; it always fits 32 bits.
class AverageAccumulator {
 public:
  void Add(int32_t connect_time);
  int32_t Average() const;
  std::string Text() const { return std::to_string(Average()); }

 private:
  int64_t sum_ = 0;
  int64_t lines_ = 0;
  int64_t zeros_ = 0;
};

// The refresh interval after a parse: (load time + reload time) x 1000 ms,
// computed without overflow. A non-positive sum, which would stop the
// periodic refresh (or be a period no timer takes), gives the failed-poll
// retry interval kRetryIntervalMs; a result beyond int32 is cut to INT32_MAX.
inline constexpr int32_t kRetryIntervalMs = 60000;
int32_t RefreshIntervalMs(int32_t load_time, int32_t reload_time);

// Leading integer of the first line of the load-time text (0 when it has none).
int32_t LoadTimeFromText(std::string_view loadtime_text);

// Captions; `u` is the kept update value.
std::string LoadingCaption(std::string_view u);
std::string FinalCaption(std::string_view u, std::string_view average_text, bool caption_name,
                         std::string_view world_label);
std::string SocketErrorCaption(std::string_view u);
std::string FileNotFoundCaption(std::string_view u);
// The caption of the update-time toggle turned off: no update time, no world.
std::string PlainAverageCaption(std::string_view average_text);

// UpdateText: the local last-modified time in internet form (with the
// clock's current UTC offset) when InternetDateFormat is non-zero, otherwise
// by DateFormat.
std::string FormatUpdateText(DateTime last_modified, const KovunSettings& settings,
                             const Clock& clock);
// The update value U after the "Update" line: " : " + UpdateText when the
// show-update-time check is on, otherwise empty.
std::string UpdateSuffix(std::string_view update_text, bool show_update_time);

}  // namespace tol
