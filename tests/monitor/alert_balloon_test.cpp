#include "monitor/alert_balloon.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/texts.h"

namespace tol {
namespace {

Alert Make(int slot, ServerState to, std::string text) {
  Alert alert;
  alert.world = "Arvel";
  alert.slot = slot;
  alert.from = to == ServerState::kUp ? ServerState::kDown : ServerState::kUp;
  alert.to = to;
  alert.text = std::move(text);
  return alert;
}

std::string More(int n) { return FillText(kBalloonMoreText.bytes(), {std::to_string(n)}); }
std::string Away(int n) { return FillText(kBalloonAwayText.bytes(), {std::to_string(n)}); }

// One poll's alerts give one balloon: the ones that need the player first,
// whole lines while they fit, the rest counted.
TEST(AlertBalloonTest, OnePollOneBalloon) {
  const std::string long_text(120, 'x');
  struct Case {
    const char* name;
    std::vector<Alert> alerts;
    std::string text;
    bool warning;
  };
  const Case cases[] = {
      {"one back up", {Make(7, ServerState::kUp, "A 3: up")}, "A 3: up", false},
      {"down before up, each group in order",
       {Make(1, ServerState::kUp, "A Login: up"), Make(7, ServerState::kDown, "A 3: down"),
        Make(8, ServerState::kFlapping, "A 4: flap")},
       "A 3: down\nA 4: flap\nA Login: up",
       true},
      {"the service alone", {Make(0, ServerState::kUnreachable, "A: gone")}, "A: gone", true},
      {"19 down: four lines and the rest counted",
       std::vector<Alert>(19, Make(5, ServerState::kDown, "A 1: down")),
       "A 1: down\nA 1: down\nA 1: down\nA 1: down\n" + More(15), true},
      {"long texts: whole lines while they fit",
       std::vector<Alert>(3, Make(5, ServerState::kDown, long_text)),
       long_text + "\n" + long_text + "\n" + More(1), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<AlertBalloon> balloon = BalloonForAlerts(c.alerts);
    ASSERT_TRUE(balloon);
    EXPECT_EQ(balloon->text, c.text);
    EXPECT_EQ(balloon->warning, c.warning);
    EXPECT_EQ(balloon->alerts, c.alerts.size());
    EXPECT_LE(balloon->text.size(), kBalloonTextBytes);
  }
  EXPECT_FALSE(BalloonForAlerts({}));
}

// While the desktop holds notifications nothing shows; the first poll or
// check after it shows one balloon for the whole spell, the latest alerts
// in it, however many were held.
TEST(AlertBalloonTest, HeldWhileBusyToldOnceAfterwards) {
  NotificationState state = NotificationState::kAccepts;
  AlertNotifier notifier([&] { return state; });
  const Alert down = Make(7, ServerState::kDown, "A 3: down");
  const Alert up = Make(7, ServerState::kUp, "A 3: up");
  const Alert login = Make(1, ServerState::kDown, "A Login: down");

  struct Step {
    const char* name;
    NotificationState state;
    std::vector<Alert> alerts;  // empty: a check between polls
    std::optional<std::string> balloon;
    bool warning = false;
  };
  std::vector<Step> steps = {
      {"accepting: the poll's own balloon", NotificationState::kAccepts, {up}, "A 3: up"},
      {"a game starts: held", NotificationState::kHold, {down}, std::nullopt},
      {"a quiet poll while held", NotificationState::kHold, {}, std::nullopt},
      {"still held", NotificationState::kHold, {up, login}, std::nullopt},
      {"the check after the game",
       NotificationState::kAccepts,
       {},
       Away(3) + "\nA 3: down\nA 3: up\nA Login: down",
       true},
      {"nothing left to tell", NotificationState::kAccepts, {}, std::nullopt},
      {"held again", NotificationState::kHold, {up}, std::nullopt},
      {"quiet time counts as accepting; the poll's alerts are the latest",
       NotificationState::kQuietTime,
       {down},
       Away(2) + "\nA 3: up\nA 3: down",
       true},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    state = s.state;
    const AlertNotifier::Decision d = notifier.Poll(s.alerts);
    EXPECT_EQ(d.state, s.state);
    EXPECT_EQ(d.balloon.has_value(), s.balloon.has_value());
    if (d.balloon && s.balloon) {
      EXPECT_EQ(d.balloon->text, *s.balloon);
      EXPECT_EQ(d.balloon->warning, s.warning);
    }
    EXPECT_EQ(notifier.holding(), s.state == NotificationState::kHold);
  }

  // A long game: the count covers everything, the memory only the newest,
  // and the balloon lists the latest that fit, oldest first.
  state = NotificationState::kHold;
  for (int i = 0; i < 1000; ++i) {
    notifier.Poll(std::vector<Alert>{Make(5, ServerState::kDown, "A 1: " + std::to_string(i))});
  }
  state = NotificationState::kAccepts;
  const AlertNotifier::Decision d = notifier.Recheck();
  ASSERT_TRUE(d.balloon);
  EXPECT_EQ(d.balloon->text, Away(1000) + "\nA 1: 996\nA 1: 997\nA 1: 998\nA 1: 999");
  EXPECT_EQ(d.balloon->alerts, 1000u);
  EXPECT_FALSE(notifier.holding());
}

}  // namespace
}  // namespace tol
