#include "components/win32/hkhotkey.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "components_win32/desktop_support.h"
#include "shared/errors.h"

namespace tol {
namespace {

// Delivers a press of the combination registered under `index`, as the
// desktop does (a real key press can't be made: Wine grabs global keys only
// while one of its windows is active).
void Press(const THookHotKey& component, int index) {
  ASSERT_TRUE(PostMessageW(component.receiver(), WM_HOTKEY, static_cast<WPARAM>(index),
                           MAKELPARAM(MOD_ALT | MOD_CONTROL, 'R')));
}

// Whether the desktop holds `key` with `modifiers` for some window: a probe
// registration that fails while anyone holds it.
bool Held(UINT modifiers, UINT key) {
  constexpr int kProbeId = 0xBFFF;
  if (!RegisterHotKey(nullptr, kProbeId, modifiers, key)) return true;
  UnregisterHotKey(nullptr, kProbeId);
  return false;
}

// Combinations nothing else on a test desktop holds.
constexpr TShortCut kAltCtrlF20 = kShortCutAlt | kShortCutCtrl | VK_F20;
constexpr TShortCut kAltCtrlF21 = kShortCutAlt | kShortCutCtrl | VK_F21;

class HookHotKeyTest : public ::testing::Test {
 protected:
  Application application_;
};

TEST_F(HookHotKeyTest, ModifierBitsBecomeTheDesktopsFlags) {
  struct Case {
    const char* name;
    TShortCut short_cut;
    UINT modifiers;
  };
  const Case cases[] = {
      {"no modifier", VK_F22, 0},
      {"Alt", kShortCutAlt | VK_F22, MOD_ALT},
      {"Shift", kShortCutShift | VK_F22, MOD_SHIFT},
      {"Ctrl", kShortCutCtrl | VK_F22, MOD_CONTROL},
      {"Alt+Ctrl+Shift", kShortCutAlt | kShortCutCtrl | kShortCutShift | VK_F22,
       MOD_ALT | MOD_CONTROL | MOD_SHIFT},
  };
  for (const Case& c : cases) {
    THookHotKey component(application_, nullptr);
    EXPECT_TRUE(component.RegisterShortCut(1, c.short_cut)) << c.name;
    EXPECT_TRUE(Held(c.modifiers, VK_F22)) << c.name;
  }
}

TEST_F(HookHotKeyTest, RegistrationResults) {
  THookHotKey first(application_, nullptr);
  THookHotKey second(application_, nullptr);
  // Indices are private to each component.
  EXPECT_TRUE(first.RegisterShortCut(1, kAltCtrlF20));
  EXPECT_TRUE(second.RegisterShortCut(1, kAltCtrlF21));
  // A combination is unique on the desktop: held by the first component, it
  // is refused to the second under any index, and both earlier registrations
  // stand.
  EXPECT_FALSE(second.RegisterShortCut(2, kAltCtrlF20));
  EXPECT_TRUE(Held(MOD_ALT | MOD_CONTROL, VK_F20));
  EXPECT_TRUE(Held(MOD_ALT | MOD_CONTROL, VK_F21));
  // Nothing that could be pressed.
  EXPECT_FALSE(first.RegisterShortCut(3, 0));
  EXPECT_FALSE(first.RegisterShortCut(4, kShortCutAlt | kShortCutCtrl));
}

TEST_F(HookHotKeyTest, DestructionEndsTheRegistrations) {
  HWND receiver;
  {
    THookHotKey component(application_, nullptr);
    ASSERT_TRUE(component.RegisterShortCut(1, kAltCtrlF20));
    ASSERT_TRUE(component.RegisterShortCut(2, kAltCtrlF21));
    receiver = component.receiver();
  }
  EXPECT_FALSE(IsWindow(receiver));
  THookHotKey next(application_, nullptr);
  EXPECT_TRUE(next.RegisterShortCut(1, kAltCtrlF20));
  EXPECT_TRUE(next.RegisterShortCut(2, kAltCtrlF21));
}

TEST_F(HookHotKeyTest, ReceiverDestroyedElsewhere) {
  THookHotKey component(application_, nullptr);
  ASSERT_TRUE(DestroyWindow(component.receiver()));
  EXPECT_EQ(component.receiver(), nullptr);
  EXPECT_FALSE(component.RegisterShortCut(1, kAltCtrlF20));
}

TEST_F(HookHotKeyTest, EachComponentReceivesOnlyItsOwnPresses) {
  std::vector<std::string> seen;
  THookHotKey first(application_, nullptr);
  THookHotKey second(application_, nullptr);
  first.set_on_hot_key([&](THookHotKey& sender, int index) {
    EXPECT_EQ(&sender, &first);
    seen.push_back("first " + std::to_string(index));
  });
  second.set_on_hot_key([&](THookHotKey& sender, int index) {
    EXPECT_EQ(&sender, &second);
    seen.push_back("second " + std::to_string(index));
  });
  ASSERT_TRUE(first.RegisterShortCut(1, kAltCtrlF20));
  ASSERT_TRUE(second.RegisterShortCut(1, kAltCtrlF21));

  Press(first, 1);
  Press(second, 1);
  Press(first, 15);
  ASSERT_TRUE(PumpUntil([&] { return seen.size() == 3; }));
  EXPECT_EQ(seen, (std::vector<std::string>{"first 1", "second 1", "first 15"}));
}

TEST_F(HookHotKeyTest, ForegroundOnPress) {
  struct Case {
    const char* name;
    bool activate;
    bool handler;
    bool owner_in_front;
  };
  const Case cases[] = {
      {"Activate on", true, true, true},
      {"Activate off", false, true, false},
      {"no OnHotKey", true, false, false},
  };
  for (const Case& c : cases) {
    TestWindow owner(L"owner");
    TestWindow other(L"other");
    ASSERT_TRUE(SetForegroundWindow(other.handle)) << c.name;
    ASSERT_EQ(GetForegroundWindow(), other.handle) << c.name;
    const HWND in_front = c.owner_in_front ? owner.handle : other.handle;
    THookHotKey component(application_, owner.handle);
    component.set_activate(c.activate);
    int presses = 0;
    if (c.handler) {
      component.set_on_hot_key([&](THookHotKey&, int) {
        // The owner is in front by the time the handler runs.
        EXPECT_EQ(GetForegroundWindow(), in_front) << c.name;
        ++presses;
      });
    }
    Press(component, 1);
    PumpPending();
    EXPECT_EQ(presses, c.handler ? 1 : 0) << c.name;
    EXPECT_EQ(GetForegroundWindow(), in_front) << c.name;
  }
}

TEST_F(HookHotKeyTest, FailureInTheHandlerGoesToTheApplication) {
  std::vector<std::string> failures;
  application_.set_failure_handler([&](std::exception_ptr failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const Exception& e) {
      failures.push_back(std::string(e.ClassName()) + ": " + e.what());
    } catch (...) {
      failures.push_back("other");
    }
  });
  THookHotKey component(application_, nullptr);
  std::vector<int> handled;
  component.set_on_hot_key([&](THookHotKey&, int index) {
    handled.push_back(index);
    if (index == 1) throw EOtherError("map menu failed");
    if (index == 2) throw 42;
  });
  Press(component, 1);
  Press(component, 2);
  Press(component, 3);
  ASSERT_TRUE(PumpUntil([&] { return handled.size() == 3; }));
  EXPECT_EQ(handled, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(failures, (std::vector<std::string>{"EOtherError: map menu failed", "other"}));
}

}  // namespace
}  // namespace tol
