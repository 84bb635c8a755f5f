#include "notify/webhook_messages.h"

#include <nlohmann/json.hpp>

#include "shared/codepage.h"

namespace tol {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char kUsername[] = "Kovun";

int Rank(ServerState state) {
  switch (state) {
    case ServerState::kUnreachable:
      return 5;
    case ServerState::kDown:
      return 4;
    case ServerState::kFlapping:
      return 3;
    case ServerState::kSlow:
      return 2;
    case ServerState::kUp:
      return 1;
    case ServerState::kNone:
      return 0;
  }
  return 0;
}

const char* Mark(ServerState state) {
  switch (state) {
    case ServerState::kUp:
      return "🟢";
    case ServerState::kSlow:
      return "🟡";
    case ServerState::kDown:
      return "🔴";
    case ServerState::kUnreachable:
      return "⚫";
    case ServerState::kFlapping:
      return "🟠";
    case ServerState::kNone:
      return "⚪";
  }
  return "⚪";
}

Json Envelope(Json embed) {
  return Json{{"username", kUsername},
              {"allowed_mentions", Json{{"parse", Json::array()}}},
              {"embeds", Json::array({std::move(embed)})}};
}

std::string Dump(const Json& body) {
  return body.dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace);
}

std::string DroppedLine(int dropped) {
  return "(ほかに " + std::to_string(dropped) + " 件の通知は送れませんでした)";
}

}  // namespace

int32_t DiscordColor(ServerState state) {
  switch (state) {
    case ServerState::kUp:
      return 0x2ECC71;
    case ServerState::kSlow:
      return 0xF1C40F;
    case ServerState::kDown:
      return 0xE74C3C;
    case ServerState::kUnreachable:
      return 0x7F8C8D;
    case ServerState::kFlapping:
      return 0xE67E22;
    case ServerState::kNone:
      return 0xBDC3C7;
  }
  return 0xBDC3C7;
}

ServerState WorstNewState(const AlertBatch& alerts) {
  ServerState worst = ServerState::kNone;
  for (const auto& a : alerts) {
    if (Rank(a->alert.to) > Rank(worst)) worst = a->alert.to;
  }
  return worst;
}

std::string DiscordAlertBody(const AlertBatch& alerts, int dropped) {
  std::string lines;
  std::string world;
  Json embed = Json::object();
  for (const auto& a : alerts) {
    if (!lines.empty()) lines += "\n";
    lines += std::string(Mark(a->alert.to)) + " " + Cp932ToUtf8(a->alert.text);
    world = a->alert.world;
  }
  if (dropped > 0) lines += (lines.empty() ? "" : "\n") + DroppedLine(dropped);
  embed["title"] = world.empty() ? std::string("Kovun") : Cp932ToUtf8(world);
  embed["description"] = lines;
  embed["color"] = DiscordColor(WorstNewState(alerts));
  if (!alerts.empty()) {
    const Alert& last = alerts.back()->alert;
    embed["timestamp"] = IsoLocalTime(last.time, last.utc_offset_minutes);
  }
  return Dump(Envelope(std::move(embed)));
}

std::string JsonAlertBody(const AlertBatch& alerts, int dropped) {
  // The events' own lines, as the watch stream prints them.
  std::string body = "[";
  for (const auto& a : alerts) {
    if (body.size() > 1) body += ",";
    body += a->json();
  }
  if (dropped > 0) {
    if (body.size() > 1) body += ",";
    body += "{\"event\":\"dropped\",\"count\":" + std::to_string(dropped) + "}";
  }
  return body + "]";
}

std::string DiscordStatusBody(const PollEvent& poll) {
  std::string block;
  ServerState worst = ServerState::kNone;
  for (std::size_t i = 0; i < std::size(kStripOrder); ++i) {
    const PanelEvent& p = poll.panels[kStripOrder[i] - 1];
    if (Rank(p.state) > Rank(worst)) worst = p.state;
    // Patch, login and character servers on the first line; the map
    // servers five to a line, which fits a phone's width.
    if (i > 0) block += (i == 4 || (i > 4 && (i - 4) % 5 == 0)) ? "\n" : "  ";
    block += std::string(Mark(p.state)) + " " + Cp932ToUtf8(p.caption);
  }
  Json embed = Json::object();
  embed["title"] = Cp932ToUtf8(poll.world);
  std::string description = block;
  if (!poll.average_text.empty()) description += "\n平均 " + Cp932ToUtf8(poll.average_text);
  embed["description"] = description;
  embed["color"] = DiscordColor(worst);
  const DateTime status_time =
      poll.last_modified_time.IsZero() ? poll.time : poll.last_modified_time;
  embed["footer"] = Json{{"text", "状態の時刻"}};
  embed["timestamp"] = IsoLocalTime(status_time, poll.utc_offset_minutes);
  return Dump(Envelope(std::move(embed)));
}

std::string DiscordTestBody() {
  return Dump(Json{{"username", kUsername},
                   {"allowed_mentions", Json{{"parse", Json::array()}}},
                   {"content", "Kovun からの通知のテストです。"}});
}

std::string JsonTestBody() { return "[{\"event\":\"test\",\"text\":\"Kovun\"}]"; }

}  // namespace tol
