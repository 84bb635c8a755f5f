#include "monitor/events.h"

#include <cstdio>
#include <cstdlib>

#include "monitor/status.h"
#include "shared/codepage.h"

namespace tol {
namespace {

// Windows' default system colours by index (COLOR_*), as 0x00BBGGRR; the
// ones a panel may name. Others read as the button face.
uint32_t SystemColorDefault(uint32_t index) {
  switch (index) {
    case 5:   // COLOR_WINDOW
    case 14:  // COLOR_HIGHLIGHTTEXT
      return 0x00FFFFFF;
    case 6:   // COLOR_WINDOWFRAME
    case 7:   // COLOR_MENUTEXT
    case 8:   // COLOR_WINDOWTEXT
    case 9:   // COLOR_CAPTIONTEXT
    case 18:  // COLOR_BTNTEXT
      return 0x00000000;
    case 13:  // COLOR_HIGHLIGHT
      return 0x00D77800;
    case 16:  // COLOR_BTNSHADOW
      return 0x00A0A0A0;
    case 17:  // COLOR_GRAYTEXT
      return 0x006D6D6D;
    case 20:  // COLOR_BTNHIGHLIGHT
      return 0x00FFFFFF;
    default:  // COLOR_BTNFACE and the rest
      return 0x00F0F0F0;
  }
}

std::string Utf8(const std::string& cp932) { return Cp932ToUtf8(cp932); }

OrderedJson PanelJson(const PanelModel& p, int slot) {
  return OrderedJson{{"slot", slot},
                     {"caption", Utf8(p.caption)},
                     {"color", ColorHex(p.color)},
                     {"rgb", ColorRgb(p.color)},
                     {"hint", Utf8(p.hint)},
                     {"hint_shown", p.hint_shown}};
}

}  // namespace

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

std::string ColorRgb(int32_t color) {
  uint32_t bgr = static_cast<uint32_t>(color);
  if ((bgr >> 24) == 0xFF) bgr = SystemColorDefault(bgr & 0xFF);
  char text[16];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", bgr & 0xFF, (bgr >> 8) & 0xFF,
                (bgr >> 16) & 0xFF);
  return text;
}

std::optional<int64_t> PollEvent::CountdownAt(DateTime now) const {
  if (last_modified_time.IsZero()) return std::nullopt;
  // As the caption's countdown counts: only the distance within one day.
  const int64_t distance = std::llabs(now.milliseconds() - last_modified_time.milliseconds());
  const int64_t remaining = int64_t{load_time} - distance % DateTime::kMsPerDay / 1000;
  return remaining < 0 ? 0 : remaining;
}

OrderedJson ModelJson(const MonitorModel& model, std::optional<PollOutcome> outcome) {
  OrderedJson panels = OrderedJson::array();
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    panels.push_back(PanelJson(model.panel(slot), slot));
  }
  OrderedJson menus = OrderedJson::array();
  for (const auto& menu : model.map_menus) {
    OrderedJson entries = OrderedJson::array();
    for (const MenuEntryModel& e : menu) {
      entries.push_back(
          OrderedJson{{"caption", Utf8(e.caption)}, {"column_break", e.column_break}});
    }
    menus.push_back(std::move(entries));
  }
  return OrderedJson{{"caption", Utf8(model.caption)},
                     {"world", Utf8(model.label1)},
                     {"panels", std::move(panels)},
                     {"average", Utf8(model.average_text)},
                     {"update_text", Utf8(model.update_text)},
                     {"interval_ms", model.poll_interval},
                     {"load_time", model.load_time},
                     {"map_menus", std::move(menus)},
                     {"outcome", OutcomeName(outcome)},
                     {"exit_status", ExitStatusOf(outcome)}};
}

OrderedJson PollEventJson(const PollEvent& e) {
  OrderedJson panels = OrderedJson::array();
  for (const PanelEvent& p : e.panels) {
    panels.push_back(OrderedJson{{"slot", p.slot},
                                 {"caption", Utf8(p.caption)},
                                 {"color", ColorHex(p.color)},
                                 {"rgb", ColorRgb(p.color)},
                                 {"hint", Utf8(p.hint)},
                                 {"hint_shown", p.hint_shown},
                                 {"state", StateName(p.state)}});
  }
  const std::optional<int64_t> countdown = e.CountdownAt(e.time);
  return OrderedJson{{"event", "poll"},
                     {"time", IsoLocalTime(e.time, e.utc_offset_minutes)},
                     {"world", Utf8(e.world)},
                     {"caption", Utf8(e.caption)},
                     {"panels", std::move(panels)},
                     {"average", Utf8(e.average_text)},
                     {"update_text", Utf8(e.update_text)},
                     {"interval_ms", e.interval_ms},
                     {"load_time", e.load_time},
                     {"countdown", countdown ? OrderedJson(*countdown) : OrderedJson(nullptr)},
                     {"worst", StateName(e.worst)},
                     {"outcome", OutcomeName(e.outcome)},
                     {"exit_status", ExitStatusOf(e.outcome)}};
}

OrderedJson AlertEventJson(const Alert& alert) {
  return OrderedJson{
      {"event", "alert"},
      {"time", IsoLocalTime(alert.time, alert.utc_offset_minutes)},
      {"world", Utf8(alert.world)},
      {"server", alert.slot == 0 ? OrderedJson(nullptr) : OrderedJson(Utf8(alert.server))},
      {"from", StateName(alert.from)},
      {"to", StateName(alert.to)},
      {"text", Utf8(alert.text)}};
}

std::shared_ptr<const PollEvent> MakePollEvent(const MonitorModel& model,
                                               std::optional<PollOutcome> outcome,
                                               ServerState worst, const PanelStates& states,
                                               DateTime now, int utc_offset_minutes) {
  auto e = std::make_shared<PollEvent>();
  e->time = now;
  e->utc_offset_minutes = utc_offset_minutes;
  e->world = model.label1;
  e->caption = model.caption;
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    const PanelModel& p = model.panel(slot);
    e->panels[slot - 1] =
        PanelEvent{slot, p.caption, p.color, p.hint, p.hint_shown, states[slot - 1]};
  }
  e->average_text = model.average_text;
  e->update_text = model.update_text;
  e->interval_ms = model.poll_interval;
  e->load_time = model.load_time;
  e->last_modified_time = model.last_modified_time;
  e->outcome = outcome;
  e->worst = worst;
  return e;
}

std::shared_ptr<const AlertEvent> MakeAlertEvent(const Alert& alert) {
  auto e = std::make_shared<AlertEvent>();
  e->alert = alert;
  return e;
}

// Invalid bytes from the service never stop a line: they are replaced.
const std::string& PollEvent::json() const {
  std::call_once(json_once_, [this] {
    json_ = PollEventJson(*this).dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace);
  });
  return json_;
}

const std::string& AlertEvent::json() const {
  std::call_once(json_once_, [this] {
    json_ = AlertEventJson(alert).dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace);
  });
  return json_;
}

}  // namespace tol
