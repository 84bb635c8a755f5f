#include "monitor/alerts.h"

#include <bit>
#include <cstdio>
#include <cstdlib>

#include "monitor/status.h"
#include "monitor/texts.h"
#include "shared/text.h"

namespace tol {
namespace {

constexpr uint32_t kWindowMask = (uint32_t{1} << kFlapWindow) - 1;
static_assert(kFlapWindow < 32);

bool IsDown(ServerState s) { return s == ServerState::kDown; }

int Severity(ServerState s) {
  switch (s) {
    case ServerState::kUp:
      return 1;
    case ServerState::kSlow:
      return 2;
    case ServerState::kDown:
      return 3;
    case ServerState::kUnreachable:
      return 4;
    default:
      return 0;
  }
}

}  // namespace

const std::string& StateWord(ServerState s) {
  switch (s) {
    case ServerState::kSlow:
      return kStateSlowText.bytes();
    case ServerState::kDown:
      return kStateDownText.bytes();
    case ServerState::kUnreachable:
      return kStateUnreachableText.bytes();
    default:
      return kStateUpText.bytes();
  }
}

const char* StateName(ServerState state) {
  switch (state) {
    case ServerState::kNone:
      return "none";
    case ServerState::kUp:
      return "up";
    case ServerState::kSlow:
      return "slow";
    case ServerState::kDown:
      return "down";
    case ServerState::kUnreachable:
      return "unreachable";
    case ServerState::kFlapping:
      return "flapping";
  }
  return "none";
}

int32_t StateColor(ServerState state, const ColorSettings& colors) {
  switch (state) {
    case ServerState::kUp:
      return colors.good;
    case ServerState::kSlow:
      return colors.average;
    case ServerState::kDown:
      return colors.down;
    case ServerState::kUnreachable:
      return kUnreachableColor;
    default:
      return kNeutralColor;
  }
}

ServerState StateOf(const ObservedServer& server, int32_t over_average) {
  if (!server.listed || server.status != "Good") return ServerState::kDown;
  return server.connect_time < over_average ? ServerState::kUp : ServerState::kSlow;
}

std::vector<AlertChange> AlertRules::Observe(const PollStates& poll) {
  std::vector<AlertChange> out;
  ObserveService(poll.unreachable, out);
  if (poll.unreachable) return out;
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    ObserveServer(slot, poll.servers[slot - 1], out);
  }
  return out;
}

// As a server, with `down` unreachable polls to confirm the outage and one
// read text to confirm the service back.
void AlertRules::ObserveService(bool unreachable, std::vector<AlertChange>& out) {
  Track& t = service_;
  const ServerState state = unreachable ? ServerState::kUnreachable : ServerState::kUp;
  t.run = unreachable ? t.run + 1 : 0;
  if (t.confirmed == ServerState::kNone) {
    // Unreachable from the start is the baseline, told by nothing.
    if (!unreachable || t.run >= settings_.down) {
      t.confirmed = state;
      t.run = 0;
    }
    return;
  }
  t.changes = (t.changes << 1) & kWindowMask;
  ++t.stable;
  if (state != t.confirmed && (!unreachable || t.run >= settings_.down)) {
    Confirm(t, 0, state, true, out);
  } else if (state == t.confirmed) {
    t.run = 0;
  }
  Settle(t, 0, true, out);
}

void AlertRules::Confirm(Track& t, int slot, ServerState state, bool tell,
                         std::vector<AlertChange>& out) {
  const ServerState from = t.confirmed;
  t.confirmed = state;
  t.run = 0;
  t.changes |= 1;
  t.stable = 0;
  if (t.flapping) return;
  t.flapping = std::popcount(t.changes) >= kFlapChanges;
  if (tell) out.push_back({slot, from, t.flapping ? ServerState::kFlapping : state});
}

void AlertRules::Settle(Track& t, int slot, bool tell, std::vector<AlertChange>& out) {
  if (!t.flapping || t.stable < kFlapWindow) return;
  t.flapping = false;
  if (tell) out.push_back({slot, ServerState::kFlapping, t.confirmed});
}

void AlertRules::ObserveServer(int slot, ServerState state, std::vector<AlertChange>& out) {
  Track& t = servers_[slot - 1];
  const bool down = IsDown(state);
  const int32_t needed = down ? settings_.down : settings_.up;
  if (t.confirmed == ServerState::kNone) {
    t.run = t.run > 0 && t.run_down == down ? t.run + 1 : 1;
    t.run_down = down;
    if (t.run >= needed) {
      t.confirmed = state;
      t.run = 0;
    }
    return;
  }
  t.changes = (t.changes << 1) & kWindowMask;
  ++t.stable;
  if (down == IsDown(t.confirmed)) {
    t.run = 0;
    t.confirmed = state;  // up and slow trade places silently
  } else if (++t.run >= needed) {
    Confirm(t, slot, state, settings_.watched[slot - 1], out);
  }
  Settle(t, slot, settings_.watched[slot - 1], out);
}

void AlertRules::Reset() {
  servers_ = {};
  service_ = {};
}

ServerState AlertRules::WorstWatchedState() const {
  if (service_.confirmed == ServerState::kUnreachable) return ServerState::kUnreachable;
  ServerState worst = ServerState::kNone;
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    if (!settings_.watched[slot - 1]) continue;
    const ServerState s = servers_[slot - 1].confirmed;
    if (Severity(s) > Severity(worst)) worst = s;
  }
  return worst;
}

std::string AlertText(std::string_view world, int slot, ServerState from, ServerState to) {
  std::string text;
  if (slot == 0) {
    if (to == ServerState::kFlapping) {
      text = FillText(kAlertServiceFlappingText.bytes(), {world});
    } else if (from == ServerState::kFlapping) {
      text = FillText(kAlertServiceSettledText.bytes(), {world, StateWord(to)});
    } else {
      text = FillText(to == ServerState::kUnreachable ? kAlertUnreachableText.bytes()
                                                      : kAlertReachableText.bytes(),
                      {world});
    }
  } else {
    const std::string_view caption = PanelCaption(slot);
    if (to == ServerState::kFlapping) {
      text = FillText(kAlertFlappingText.bytes(), {world, caption});
    } else if (from == ServerState::kFlapping) {
      text = FillText(kAlertSettledText.bytes(), {world, caption, StateWord(to)});
    } else if (to == ServerState::kDown) {
      text = FillText(kAlertDownText.bytes(), {world, caption});
    } else {
      text = FillText(to == ServerState::kSlow ? kAlertUpSlowText.bytes() : kAlertUpText.bytes(),
                      {world, caption});
    }
  }
  return std::string(CutToBytes(text, kMaxAlertTextBytes));
}

std::string IsoLocalTime(DateTime local, int utc_offset_minutes) {
  const DateTimeFields f = local.Fields();
  const int offset = std::abs(utc_offset_minutes);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", f.year, f.month,
                f.day, f.hour, f.minute, f.second, utc_offset_minutes < 0 ? '-' : '+',
                offset / 60 % 100, offset % 60);
  return text;
}

}  // namespace tol
