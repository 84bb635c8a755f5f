#include "monitor/alert_balloon.h"

#include <vector>

#include "monitor/texts.h"
#include "shared/int_text.h"
#include "shared/text.h"

namespace tol {
namespace {

// Adds whole lines of `lines` (in that order) to `text` while they fit with
// room left for `reserve` bytes; returns how many went in.
std::size_t AddLines(std::string& text, const std::vector<const std::string*>& lines,
                     std::size_t reserve) {
  std::size_t added = 0;
  for (const std::string* line : lines) {
    if (added == kBalloonAlertLines) break;
    const std::size_t need = (text.empty() ? 0 : 1) + line->size();
    // The first line always goes in (cut, were it ever too long).
    if (added > 0 && text.size() + need + reserve > kBalloonTextBytes) break;
    if (!text.empty()) text += '\n';
    text += CutToBytes(*line, kBalloonTextBytes - text.size());
    ++added;
  }
  return added;
}

// The room a last line "\nほか N 件" takes at most, with N below `count`.
std::size_t MoreLineBytes(std::size_t count) {
  return 1 + FillText(kBalloonMoreText.bytes(), {IntToText(static_cast<int64_t>(count))}).size();
}

}  // namespace

bool IsBadAlert(const Alert& alert) {
  return alert.to == ServerState::kDown || alert.to == ServerState::kUnreachable ||
         alert.to == ServerState::kFlapping;
}

std::optional<AlertBalloon> BalloonForAlerts(std::span<const Alert> alerts) {
  if (alerts.empty()) return std::nullopt;
  std::vector<const std::string*> lines;
  AlertBalloon balloon;
  for (const Alert& alert : alerts) {
    if (IsBadAlert(alert)) lines.push_back(&alert.text);
  }
  balloon.warning = !lines.empty();
  for (const Alert& alert : alerts) {
    if (!IsBadAlert(alert)) lines.push_back(&alert.text);
  }
  const std::size_t reserve = lines.size() > 1 ? MoreLineBytes(lines.size()) : 0;
  const std::size_t shown = AddLines(balloon.text, lines, reserve);
  if (shown < lines.size()) {
    balloon.text += '\n';
    balloon.text +=
        FillText(kBalloonMoreText.bytes(), {IntToText(static_cast<int64_t>(lines.size() - shown))});
  }
  balloon.alerts = alerts.size();
  return balloon;
}

void AlertNotifier::Hold(std::span<const Alert> alerts) {
  for (const Alert& alert : alerts) {
    held_.push_back(alert);
    if (held_.size() > kHeldAlertLimit) held_.pop_front();
    held_bad_ = held_bad_ || IsBadAlert(alert);
  }
  held_total_ += alerts.size();
}

AlertNotifier::Decision AlertNotifier::Poll(std::span<const Alert> alerts) {
  Decision decision;
  decision.state = query_ ? query_() : NotificationState::kAccepts;
  if (decision.state == NotificationState::kHold) {
    Hold(alerts);
    return decision;
  }
  if (held_total_ == 0) {
    decision.balloon = BalloonForAlerts(alerts);
    return decision;
  }
  // Notifications are accepted again: one balloon for the quiet spell, this
  // poll's alerts the latest of it.
  Hold(alerts);
  AlertBalloon balloon;
  balloon.text = FillText(kBalloonAwayText.bytes(), {IntToText(static_cast<int64_t>(held_total_))});
  balloon.warning = held_bad_;
  balloon.alerts = held_total_;
  // The latest that fit, told oldest first.
  std::vector<const std::string*> latest;
  std::size_t bytes = balloon.text.size();
  for (auto it = held_.rbegin(); it != held_.rend() && latest.size() < kBalloonAlertLines; ++it) {
    if (bytes + 1 + it->text.size() > kBalloonTextBytes) break;
    bytes += 1 + it->text.size();
    latest.insert(latest.begin(), &it->text);
  }
  for (const std::string* line : latest) balloon.text += '\n' + *line;
  held_.clear();
  held_total_ = 0;
  held_bad_ = false;
  decision.balloon = std::move(balloon);
  return decision;
}

}  // namespace tol
