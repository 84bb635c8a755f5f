#include "monitor/term/report.h"

#include <algorithm>
#include <cstdio>

#include "monitor/status.h"
#include "shared/codepage.h"

namespace tol {

int ExitStatusOf(std::optional<PollOutcome> outcome) {
  if (!outcome) return kExitNoPoll;
  switch (*outcome) {
    case PollOutcome::kCompleted:
      return kExitCompleted;
    case PollOutcome::kSocketError:
      return kExitSocketError;
    case PollOutcome::kFileNotFound:
      return kExitFileNotFound;
    case PollOutcome::kConvertError:
      return kExitConvertError;
    case PollOutcome::kOtherError:
      return kExitLoggedFailure;
  }
  return kExitLoggedFailure;
}

std::string OutcomeName(std::optional<PollOutcome> outcome) {
  if (!outcome) return "none";
  switch (*outcome) {
    case PollOutcome::kCompleted:
      return "completed";
    case PollOutcome::kSocketError:
      return "socket_error";
    case PollOutcome::kFileNotFound:
      return "file_not_found";
    case PollOutcome::kConvertError:
      return "convert_error";
    case PollOutcome::kOtherError:
      return "logged_failure";
  }
  return "logged_failure";
}

std::string ColorHex(int32_t color) {
  char text[16];
  std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(color));
  return text;
}

std::string ModelText(const MonitorModel& model) {
  std::string text = Cp932ToUtf8(model.caption) + "\n";
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    const PanelModel& p = model.panel(slot);
    std::string caption = Cp932ToUtf8(p.caption);
    caption.resize(std::max<std::size_t>(caption.size(), 5), ' ');
    text += caption + " " + ColorHex(p.color) + " " + Cp932ToUtf8(p.hint) + "\n";
  }
  return text;
}

nlohmann::json ModelJson(const MonitorModel& model, std::optional<PollOutcome> outcome) {
  using nlohmann::json;
  json panels = json::array();
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    const PanelModel& p = model.panel(slot);
    panels.push_back(json{{"slot", slot},
                          {"caption", Cp932ToUtf8(p.caption)},
                          {"color", ColorHex(p.color)},
                          {"hint", Cp932ToUtf8(p.hint)},
                          {"hint_shown", p.hint_shown}});
  }
  json menus = json::array();
  for (const auto& menu : model.map_menus) {
    json entries = json::array();
    for (const MenuEntryModel& e : menu) {
      entries.push_back(
          json{{"caption", Cp932ToUtf8(e.caption)}, {"column_break", e.column_break}});
    }
    menus.push_back(std::move(entries));
  }
  return json{{"caption", Cp932ToUtf8(model.caption)},
              {"world", Cp932ToUtf8(model.label1)},
              {"panels", std::move(panels)},
              {"average", Cp932ToUtf8(model.average_text)},
              {"update_text", Cp932ToUtf8(model.update_text)},
              {"interval_ms", model.poll_interval},
              {"load_time", model.load_time},
              {"map_menus", std::move(menus)},
              {"outcome", OutcomeName(outcome)},
              {"exit_status", ExitStatusOf(outcome)}};
}

}  // namespace tol

namespace tol {

nlohmann::json PollEventJson(const MonitorModel& model, std::optional<PollOutcome> outcome,
                             ServerState worst) {
  nlohmann::json j = ModelJson(model, outcome);
  j["event"] = "poll";
  j["worst"] = StateName(worst);
  return j;
}

nlohmann::json AlertJson(const Alert& alert) {
  using nlohmann::json;
  return json{{"event", "alert"},
              {"time", IsoLocalTime(alert.time, alert.utc_offset_minutes)},
              {"world", Cp932ToUtf8(alert.world)},
              {"server", alert.slot == 0 ? json(nullptr) : json(Cp932ToUtf8(alert.server))},
              {"from", StateName(alert.from)},
              {"to", StateName(alert.to)},
              {"text", Cp932ToUtf8(alert.text)}};
}

}  // namespace tol
