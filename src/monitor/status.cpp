#include "monitor/status.h"

#include <array>
#include <limits>
#include <optional>

#include "shared/date_format.h"
#include "shared/errors.h"
#include "shared/fields.h"
#include "shared/int_text.h"

namespace tol {
namespace {

constexpr std::array<std::string_view, kSlotCount> kPanelCaptions = {
    "Login", "PatF", "PatH", "Char", "1",  "2",  "3",  "4",  "5",  "6",
    "7",     "8",    "9",    "10",   "11", "12", "13", "14", "15", ""};

constexpr std::array<std::string_view, 15> kGameServerKeys = {
    "GameServer01", "GameServer02", "GameServer03", "GameServer04", "GameServer05",
    "GameServer06", "GameServer07", "GameServer08", "GameServer09", "GameServer10",
    "GameServer11", "GameServer12", "GameServer13", "GameServer14", "GameServer15"};

constexpr std::array<std::string_view, 15> kGameServerLabels = {
    "GS01", "GS02", "GS03", "GS04", "GS05", "GS06", "GS07", "GS08",
    "GS09", "GS10", "GS11", "GS12", "GS13", "GS14", "GS15"};

int32_t ConvertField(const std::string& text) {
  std::optional<int32_t> v = StrToIntStrict(text);
  if (!v) throw EConvertError("'" + text + "' is not a valid integer value");
  return *v;
}

}  // namespace

SlotMatch FindSlot(std::string_view key, std::string_view patch_key) {
  SlotMatch m;
  auto row = [&](std::string_view row_key, int slot, std::string_view label) {
    if (key == row_key) m = {slot, label};
  };
  row("LoginServer", 1, "LogI");
  row(patch_key, 2, "PatF");
  row("PatchServerH", 3, "PatH");
  row("CharSelect", 4, "Char");
  for (int i = 0; i < 15; ++i) row(kGameServerKeys[i], 5 + i, kGameServerLabels[i]);
  return m;
}

std::string_view SlotKey(int slot, std::string_view patch_key) {
  switch (slot) {
    case 1:
      return "LoginServer";
    case 2:
      return patch_key;
    case 3:
      return "PatchServerH";
    case 4:
      return "CharSelect";
    default:
      return slot >= 5 && slot < 5 + 15 ? kGameServerKeys[slot - 5] : std::string_view();
  }
}

std::string_view PanelCaption(int slot) {
  if (slot < 1 || slot > kSlotCount) return {};
  return kPanelCaptions[slot - 1];
}

ServerStatus ParseStatusLine(std::string_view line, int32_t line_number,
                             std::string_view patch_key) {
  ServerStatus s;
  s.line_number = line_number;
  s.key = ExtractField(line, 1);
  s.status = ExtractField(line, 2);
  s.success_text = ExtractField(line, 3);
  s.check_text = ExtractField(line, 4);
  s.connect_text = ExtractField(line, 5);
  s.connect_time = ConvertField(s.connect_text);
  SlotMatch m = FindSlot(s.key, patch_key);
  s.slot = m.slot;
  s.label = std::string(m.label);
  s.success_count = ConvertField(s.success_text);
  s.check_count = ConvertField(s.check_text);
  return s;
}

std::string HintText(const ServerStatus& s) {
  return s.key + " : " + s.status + " ( " + s.success_text + "/" + s.check_text + ":" +
         s.connect_text + " )";
}

int32_t PanelColor(int32_t current, const ServerStatus& s, const KovunSettings& settings) {
  const ColorSettings& c = settings.colors;
  int32_t color = current;
  if (s.status == "Good") color = c.good;
  if (s.connect_time >= settings.over_average) color = c.average;
  if (s.connect_time >= settings.over_average2) color = c.average2;
  if (s.status == "Closed") color = c.closed;
  if (s.status == "Dead") color = c.dead;
  if (s.status == "Down") color = c.down;
  if (s.success_text == "2") color = c.two;
  if (s.success_text == "1") color = c.one;
  return color;
}

void AverageAccumulator::Add(int32_t connect_time) {
  sum_ += connect_time;
  ++lines_;
  if (connect_time == 0) ++zeros_;
}

int32_t AverageAccumulator::Average() const {
  // |sum| <= max|t| * nonzero lines < 2^31 * divisor, so the quotient fits.
  return static_cast<int32_t>(sum_ / (lines_ - zeros_ + 1));
}

int32_t RefreshIntervalMs(int32_t load_time, int32_t reload_time) {
  const int64_t seconds = int64_t{load_time} + reload_time;
  if (seconds <= 0) return kRetryIntervalMs;
  const int64_t ms = seconds * 1000;
  if (ms > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(ms);
}

int32_t LoadTimeFromText(std::string_view loadtime_text) {
  const std::size_t end = loadtime_text.find_first_of("\r\n");
  return LeadingInt(loadtime_text.substr(0, end));
}

std::string LoadingCaption(std::string_view u) {
  return std::string(kCaptionPrefix) + std::string(u) + " ( Now Loading... )";
}

std::string FinalCaption(std::string_view u, std::string_view average_text, bool caption_name,
                         std::string_view world_label) {
  std::string caption = std::string(kCaptionPrefix) + std::string(u) +
                        " ( Average : " + std::string(average_text) + " )";
  if (caption_name) caption += " <" + std::string(world_label) + ">";
  return caption;
}

std::string SocketErrorCaption(std::string_view u) {
  return std::string(kCaptionPrefix) + std::string(u) + " ( Socket Error )";
}

std::string FileNotFoundCaption(std::string_view u) {
  return std::string(kCaptionPrefix) + std::string(u) + " ( File Not Found )";
}

std::string PlainAverageCaption(std::string_view average_text) {
  return FinalCaption("", average_text, false, "");
}

std::string FormatUpdateText(DateTime last_modified, const KovunSettings& settings,
                             const Clock& clock) {
  if (settings.internet_date_format != 0) {
    return InternetDateText(last_modified, clock.CurrentUtcOffsetMinutes());
  }
  return FormatDateTime(settings.date_format, last_modified);
}

std::string UpdateSuffix(std::string_view update_text, bool show_update_time) {
  return show_update_time ? " : " + std::string(update_text) : std::string();
}

}  // namespace tol
