#include "components/tray_icon.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "components/fake_tray_shell.h"

namespace tol {
namespace {

using ::testing::ElementsAre;
using testing::FakeTrayShell;

class TrayIconTest : public ::testing::Test {
 protected:
  FakeTrayShell shell_;
  TrayEntry entry_{shell_};
  TrayIconState state_{entry_, shell_, true};
};

TEST_F(TrayIconTest, LoadingOnlyStoresAndLoadedShows) {
  state_.BeginLoading();
  state_.SetTipHelp("Kovun");
  state_.SetInterval(10);
  state_.SetResourceIconID(4);
  state_.SetResourceIconList({"A", "B"});
  EXPECT_THAT(shell_.log, ElementsAre("tip Kovun"));
  state_.Loaded();
  EXPECT_EQ(state_.interval(), 50u);
  EXPECT_THAT(shell_.log,
              ElementsAre("tip Kovun", "icon resource B", "fill", "add", "added", "animate"));
}

TEST_F(TrayIconTest, MinimiseToTrayFlow) {
  state_.SetHideOnTaskBar(true);
  state_.BeginLoading();
  state_.SetVisible(false);
  state_.Loaded();
  // Switching the mode on shows nothing while the application isn't minimised
  // (the icon is wanted only when visible, and in this mode only while
  // minimised).
  state_.SetMinimized(true);
  state_.SetVisible(true);
  state_.SetTipHelp("Kovun - World");
  EXPECT_THAT(shell_.log, ElementsAre("stop", "stop", "tip Kovun - World", "icon application"));
  shell_.log.clear();
  shell_.app_minimized = true;
  state_.ApplicationMinimized();
  shell_.app_minimized = false;
  state_.ApplicationRestored();
  EXPECT_THAT(shell_.log, ElementsAre("icon application", "fill", "add", "added", "stop",
                                      "hide taskbar", "stop", "delete", "owner front"));
  // Switching the mode off leaves no icon.
  state_.SetMinimized(false);
  state_.SetVisible(false);
  EXPECT_FALSE(entry_.added());
}

TEST_F(TrayIconTest, RefusedAddReachesTheSetterAndALaterSetterRetries) {
  state_.BeginLoading();
  state_.SetVisible(false);
  state_.Loaded();
  shell_.answers = {testing::kRefused};
  EXPECT_THROW(state_.SetVisible(true), ENotifyIconError);
  EXPECT_FALSE(entry_.added());
  state_.SetTipHelp("again");
  EXPECT_TRUE(entry_.added());
}

TEST(TrayIconSetterTest, ShownIcon) {
  struct Case {
    const char* name;
    std::function<void(TrayIconState&)> act;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"Interval 10 becomes 50 and animates",
       [](TrayIconState& s) { s.SetInterval(10); },
       {"animate"}},
      {"Interval on a hidden icon stays stopped",
       [](TrayIconState& s) {
         s.SetVisible(false);
         s.SetInterval(200);
       },
       {"stop", "delete", "stop"}},
      {"ResourceIconID clamps; the same non-zero value does nothing",
       [](TrayIconState& s) {
         s.SetResourceIconList({"A", "B"});
         s.SetResourceIconID(7);
         s.SetResourceIconID(1);
         s.SetResourceIconID(-5);
       },
       {"icon resource B", "modify", "icon application", "modify"}},
      {"ResourceIconID releases the explicit icon; 0 refreshes each time",
       [](TrayIconState& s) {
         s.SetIcon(true);
         s.SetResourceIconList({"A"});
         s.SetResourceIconID(0);
         s.SetResourceIconID(0);
       },
       {"icon explicit", "modify", "release", "icon resource A", "modify", "icon resource A",
        "modify"}},
      {"animation steps through the list and wraps",
       [](TrayIconState& s) {
         s.SetResourceIconList({"A", "B"});
         s.AnimationStep();
         s.AnimationStep();
         s.AnimationStep();
       },
       {"icon resource A", "modify", "icon resource B", "modify", "icon resource A", "modify"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeTrayShell shell;
    TrayEntry entry(shell);
    TrayIconState state(entry, shell, true);
    state.BeginLoading();
    state.Loaded();
    shell.log.clear();
    c.act(state);
    EXPECT_EQ(shell.log, c.calls);
  }
}

TEST(TrayMouseTest, Decode) {
  using A = TrayMouseAction;
  // Presses pop the menu up (the re-posted one too) only with a menu and
  // automatic popup; the button of a click comes from the first parameter.
  EXPECT_EQ(DecodeTrayMouse(1, 513, true, true, false).action, A::kPopupLeftMenu);
  EXPECT_EQ(DecodeTrayMouse(1, 513, false, true, true).action, A::kMouseDown);
  EXPECT_EQ(DecodeTrayMouse(-1, 516, true, false, true).action, A::kPopupRightMenu);
  EXPECT_EQ(DecodeTrayMouse(1, 516, true, true, false).button, TrayButton::kRight);
  EXPECT_EQ(DecodeTrayMouse(2, 1236, true, true, true).button, TrayButton::kMiddle);
  EXPECT_EQ(DecodeTrayMouse(3, 1236, true, true, true).action, A::kNone);
  EXPECT_EQ(DecodeTrayMouse(1, 521, true, true, true).action, A::kNone);
}

}  // namespace
}  // namespace tol
