#pragma once
// What a desktop front-end shows for alerts: at most one balloon per poll,
// and nothing while the player is busy (a full-screen game, a presentation),
// with one balloon afterwards that tells what happened meanwhile. The
// terminal and the watch stream keep one line per alert; only the balloon
// gathers them.
//
// A balloon lists the alerts that need the player first (a server down, a
// flapping server, the service unreachable), then the others, each group in
// the order the poll raised them, as many whole lines as fit in
// kBalloonTextBytes; "ほか N 件" ends it when some are left out. Held alerts
// are kept up to kHeldAlertLimit, the newest; the balloon after a quiet
// spell opens with "不在中の通知 N 件" (N counts every alert held, also the
// dropped ones) and lists the latest of them, oldest first.

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "monitor/alerts.h"

namespace tol {

// The balloon text's room, in code page 932 bytes (the shell's record holds
// 255 characters and a terminator; the tray component cuts at 255 bytes).
inline constexpr std::size_t kBalloonTextBytes = 255;
// Lines of alerts a balloon lists at most (the shell shows about four).
inline constexpr std::size_t kBalloonAlertLines = 4;
// Alerts kept while notifications are held.
inline constexpr std::size_t kHeldAlertLimit = 32;

struct AlertBalloon {
  std::string text;        // code page 932, lines joined by "\n"
  bool warning = false;    // some alert needs the player: the warning icon
  std::size_t alerts = 0;  // the alerts it stands for
};

// Whether an alert needs the player: a server down or flapping, or the
// service unreachable.
bool IsBadAlert(const Alert& alert);

// The balloon of one poll's alerts; nullopt when there are none.
std::optional<AlertBalloon> BalloonForAlerts(std::span<const Alert> alerts);

// What the desktop says about notifications now.
enum class NotificationState {
  kAccepts,    // show balloons, sound and flash
  kQuietTime,  // the shell's quiet time: the balloon goes (the shell may
               // drop it), without a sound of ours
  kHold,       // busy, a full-screen Direct3D program, presentation mode
};

// Holds alerts while the desktop asks for quiet and tells them once it
// accepts notifications again. The query is asked once per call.
class AlertNotifier {
 public:
  using StateQuery = std::function<NotificationState()>;
  explicit AlertNotifier(StateQuery query) : query_(std::move(query)) {}

  struct Decision {
    std::optional<AlertBalloon> balloon;  // show this one now
    NotificationState state = NotificationState::kAccepts;
  };
  // A finished poll's alerts (possibly none). While the desktop holds, they
  // are kept and nothing is shown; otherwise one balloon: this poll's, or,
  // after a quiet spell, one for everything held with this poll's last.
  Decision Poll(std::span<const Alert> alerts);
  // A check between polls while alerts are held: the balloon of what was
  // held once the desktop accepts notifications again.
  Decision Recheck() { return Poll({}); }
  bool holding() const { return held_total_ > 0; }
  std::size_t held_total() const { return held_total_; }

 private:
  void Hold(std::span<const Alert> alerts);

  StateQuery query_;
  std::deque<Alert> held_;  // the newest kHeldAlertLimit
  std::size_t held_total_ = 0;
  bool held_bad_ = false;
};

}  // namespace tol
