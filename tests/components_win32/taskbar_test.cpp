#include "components/win32/taskbar.h"

#include <gtest/gtest.h>
#include <windows.h>

// After <windows.h>, which they build on.
#include <commctrl.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "components_win32/desktop_support.h"

namespace tol {
namespace {

// Whether the notification area holds an icon of `window` with id 1: a
// modify of it succeeds only then.
bool InNotificationArea(HWND window) {
  NOTIFYICONDATAW probe{};
  probe.cbSize = NOTIFYICONDATAW_V2_SIZE;
  probe.hWnd = window;
  probe.uID = 1;
  return window != nullptr && Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

// The notification area forgets the icon, as when the shell restarts.
void ForgetIcon(HWND window) {
  NOTIFYICONDATAW probe{};
  probe.cbSize = NOTIFYICONDATAW_V2_SIZE;
  probe.hWnd = window;
  probe.uID = 1;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &probe));
}

// A mouse message of the notification area (or the tracker) to the icon.
void Mouse(TTrayIcon& icon, intptr_t lparam, intptr_t wparam = 1) {
  ASSERT_TRUE(PostMessageW(icon.entry().window(), kTrayCallbackMessage, static_cast<WPARAM>(wparam),
                           lparam));
}

// Wine's notification area hides its window when the last icon goes, and
// waits two seconds for a window manager that Xvfb doesn't have. One icon
// kept for the whole run spares each test that wait.
class KeeperIcon : public ::testing::Environment {
 public:
  void SetUp() override {
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    record_.cbSize = NOTIFYICONDATAW_V2_SIZE;
    record_.hWnd = window_;
    record_.uID = 1;
    record_.uFlags = NIF_ICON;
    record_.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    Shell_NotifyIconW(NIM_ADD, &record_);
  }
  void TearDown() override {
    Shell_NotifyIconW(NIM_DELETE, &record_);
    DestroyWindow(window_);
  }

 private:
  HWND window_ = nullptr;
  NOTIFYICONDATAW record_{};
};
[[maybe_unused]] ::testing::Environment* const kKeeperIcon =
    ::testing::AddGlobalTestEnvironment(new KeeperIcon);

class RecordingMenu : public TrayPopupMenu {
 public:
  void Popup(TTrayIcon&, int, int) override { ++popups; }
  int popups = 0;
};

// Counts its popups in a counter that outlives it.
class CountingMenu : public TrayPopupMenu {
 public:
  explicit CountingMenu(int& popups) : popups_(popups) {}
  void Popup(TTrayIcon&, int, int) override { ++popups_; }

 private:
  int& popups_;
};

class TrayIconTest : public ::testing::Test {
 protected:
  Application application_;
};

TEST_F(TrayIconTest, AddModifyDeleteAndTheRecord) {
  TTrayIcon icon(application_, nullptr);
  icon.BeginLoading();
  icon.SetTipHelp("Kovun");
  EXPECT_FALSE(icon.added());  // nothing while loading
  icon.Loaded();
  ASSERT_TRUE(icon.added());
  const HWND window = icon.entry().window();
  EXPECT_TRUE(InNotificationArea(window));

  const TTaskTrayIcon::RecordView record = icon.entry().record();
  ASSERT_TRUE(icon.entry().extended_record());  // Wine's shell is 6.0
  EXPECT_EQ(record.size, NOTIFYICONDATAW_V2_SIZE);
  EXPECT_EQ(record.flags, 7u);
  EXPECT_EQ(record.callback_message, 1224u);
  EXPECT_EQ(record.id, 1u);
  EXPECT_EQ(record.state, 2u);
  EXPECT_EQ(record.state_mask, 0u);
  EXPECT_EQ(record.tip, u"Kovun");

  struct Case {
    const char* name;
    std::string tip;
    std::u16string record_tip;
  };
  const std::string kanji_pair = "\x8a\xc4";  // 監, two bytes
  std::string kanji_tip;
  for (int i = 0; i < 70; ++i) kanji_tip += kanji_pair;
  const Case cases[] = {
      {"long text cut to 127 bytes", std::string(200, 'a'), std::u16string(127, u'a')},
      {"a double-byte character is never split", "x" + kanji_tip,
       u"x" + std::u16string(63, u'\u76e3')},
      {"line breaks stay", "a\r\nb", u"a\r\nb"},
      {"empty", "", u""},
  };
  for (const Case& c : cases) {
    icon.SetTipHelp(c.tip);
    EXPECT_EQ(icon.entry().record().tip, c.record_tip) << c.name;
    EXPECT_TRUE(InNotificationArea(window)) << c.name;
  }

  icon.SetVisible(false);
  EXPECT_FALSE(icon.added());
  EXPECT_FALSE(InNotificationArea(window));
}

// A balloon shows only from an icon in the notification area, with its
// data cut to the record's fields, and only the one modify carries the
// balloon flag: a later tip or icon change must not show it again.
TEST_F(TrayIconTest, BalloonFromTheAddedIconOnce) {
  TTrayIcon icon(application_, nullptr);
  icon.BeginLoading();
  icon.SetVisible(false);
  icon.Loaded();
  EXPECT_FALSE(icon.ShowBalloonHelp("Kovun", "x", 10000, TBalloonIconType::bitInfo));
  EXPECT_EQ(icon.entry().balloons_shown(), 0);

  icon.SetVisible(true);
  ASSERT_TRUE(icon.added());
  const std::string stop = "Arvel 3: \x92\xe2\x8e\x7e";  // 停止
  struct Case {
    std::string title, text;
    TBalloonIconType type;
    std::u16string record_title, record_text;
    uint32_t info_flags;
  };
  const Case cases[] = {
      {"Kovun", stop, TBalloonIconType::bitWarning, u"Kovun", u"Arvel 3: \u505c\u6b62", 2},
      {"Kovun", "Arvel 3", TBalloonIconType::bitInfo, u"Kovun", u"Arvel 3", 1},
      {std::string(80, 't'), std::string(300, 'a'), TBalloonIconType::bitInfo,
       std::u16string(63, u't'), std::u16string(255, u'a'), 1},
  };
  int shown = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 10));
    EXPECT_TRUE(icon.ShowBalloonHelp(c.title, c.text, 10000, c.type));
    EXPECT_EQ(icon.entry().balloons_shown(), ++shown);
    const TTaskTrayIcon::RecordView record = icon.entry().record();
    EXPECT_EQ(record.flags, 7u);  // the balloon flag went with that modify only
    EXPECT_EQ(record.info_title, c.record_title);
    EXPECT_EQ(record.info, c.record_text);
    EXPECT_EQ(record.info_flags, c.info_flags);
    EXPECT_EQ(record.timeout, 10000u);
  }
  EXPECT_TRUE(InNotificationArea(icon.entry().window()));
}

TEST_F(TrayIconTest, MinimizeToTray) {
  TestWindow main_window(L"Kovun", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  application_.set_main_window(main_window.handle);
  TestWindow other(L"other");
  TTrayIcon icon(application_, main_window.handle);
  icon.SetHideOnTaskBar(true);
  icon.OnDblClick = [this](TTrayIcon&) { application_.Restore(); };

  // Switching the mode on at start-up shows nothing until the application is
  // minimised.
  icon.SetMinimized(true);
  icon.SetVisible(true);
  icon.SetTipHelp("Kovun [ 12 ]");
  EXPECT_FALSE(icon.added());

  application_.Minimize();
  ASSERT_TRUE(icon.added());
  EXPECT_TRUE(InNotificationArea(icon.entry().window()));
  EXPECT_FALSE(IsWindowVisible(main_window.handle)) << "taskbar entry hidden";

  // A double click on the icon restores: the icon goes, the owner comes to
  // the front with its taskbar entry.
  ASSERT_TRUE(SetForegroundWindow(other.handle));
  Mouse(icon, kTrayLeftDown);
  Mouse(icon, kTrayLeftUp);
  Mouse(icon, kTrayLeftDoubleClick);
  ASSERT_TRUE(PumpUntil([&] { return !application_.minimized(); }));
  EXPECT_FALSE(icon.added());
  EXPECT_TRUE(IsWindowVisible(main_window.handle));
  EXPECT_EQ(GetForegroundWindow(), main_window.handle);

  // Switching the mode off removes an icon at once.
  application_.Minimize();
  ASSERT_TRUE(icon.added());
  icon.SetMinimized(false);
  EXPECT_TRUE(icon.added());  // an ordinary icon now
  icon.SetVisible(false);
  EXPECT_FALSE(icon.added());
  const HWND window = icon.entry().window();
  EXPECT_FALSE(InNotificationArea(window));
  application_.Restore();
}

TEST_F(TrayIconTest, HiddenWindowsShareOneClassWhileAnyLives) {
  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  HWND first_window;
  {
    TTrayIcon first(application_, nullptr);
    first_window = first.entry().EnsureWindow();
    {
      TTrayIcon second(application_, nullptr);
      second.entry().EnsureWindow();
      wchar_t name[32] = {};
      GetClassNameW(second.entry().window(), name, 32);
      EXPECT_STREQ(name, L"TaskTrayHandle");
      EXPECT_FALSE(IsWindowVisible(second.entry().window()));
      EXPECT_TRUE(GetWindowLongW(second.entry().window(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    }
    EXPECT_TRUE(GetClassInfoExW(instance, L"TaskTrayHandle", &info));
    // The remaining entry still gets its messages.
    EXPECT_EQ(SendMessageW(first_window, WM_QUERYENDSESSION, 0, 0), 1);
  }
  EXPECT_FALSE(IsWindow(first_window));
  EXPECT_FALSE(GetClassInfoExW(instance, L"TaskTrayHandle", &info));
  TTrayIcon again(application_, nullptr);
  again.Loaded();
  EXPECT_TRUE(again.added());
}

TEST_F(TrayIconTest, TaskbarCreatedAddsTheIconAgain) {
  TTrayIcon shown(application_, nullptr);
  shown.Loaded();
  ASSERT_TRUE(shown.added());
  TTrayIcon hidden(application_, nullptr);
  hidden.SetVisible(false);
  hidden.entry().EnsureWindow();
  ASSERT_NE(TaskbarCreatedMessage(), 0u);

  ForgetIcon(shown.entry().window());
  ASSERT_FALSE(InNotificationArea(shown.entry().window()));
  // Wine doesn't broadcast the message when its tray starts again: send it.
  SendMessageW(shown.entry().window(), TaskbarCreatedMessage(), 0, 0);
  SendMessageW(hidden.entry().window(), TaskbarCreatedMessage(), 0, 0);
  EXPECT_TRUE(shown.added());
  EXPECT_TRUE(InNotificationArea(shown.entry().window()));
  EXPECT_FALSE(hidden.added());
  EXPECT_FALSE(InNotificationArea(hidden.entry().window()));
}

TEST_F(TrayIconTest, MenusPopUpOnThePress) {
  TTrayIcon icon(application_, nullptr);
  icon.Loaded();
  auto right_menu = std::make_shared<RecordingMenu>();
  icon.SetRButtonPopupMenu(right_menu);
  std::vector<std::string> events;
  icon.OnMouseDown = [&](TTrayIcon&, TrayButton button, TShiftState shift, int, int) {
    events.push_back("down " + std::to_string(static_cast<int>(button)) + " shift " +
                     std::to_string(shift));
  };
  icon.OnRDblClick = [&](TTrayIcon&) { events.push_back("rdbl"); };

  Mouse(icon, kTrayRightDown);
  ASSERT_TRUE(PumpUntil([&] { return right_menu->popups == 1; }));
  // A right double click pops the menu up again through the press the
  // tracker re-posts.
  Mouse(icon, kTrayRightUp);
  Mouse(icon, kTrayRightDoubleClick);
  ASSERT_TRUE(PumpUntil([&] { return right_menu->popups == 2; }));
  Mouse(icon, kTrayRightUp);
  // The left button has no menu: its press is an event.
  Mouse(icon, kTrayLeftDown);
  ASSERT_TRUE(PumpUntil([&] { return events.size() == 2; }));
  EXPECT_EQ(events, (std::vector<std::string>{"rdbl", "down 0 shift 1"}));

  // Without AutoPopup, or once the menu is gone, the press is an event.
  icon.set_auto_popup(false);
  Mouse(icon, kTrayRightDown);
  icon.set_auto_popup(true);
  right_menu.reset();
  Mouse(icon, kTrayRightDown);
  ASSERT_TRUE(PumpUntil([&] { return events.size() == 4; }));
  EXPECT_EQ(events[2], "down 1 shift 2");
  EXPECT_EQ(events[3], "down 1 shift 2");
}

TEST_F(TrayIconTest, ClicksAreToldFromDoubleClicks) {
  const UINT saved = GetDoubleClickTime();
  ASSERT_TRUE(SetDoubleClickTime(60));
  struct Case {
    const char* name;
    bool check_single_double_click;
    std::vector<intptr_t> messages;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {"single click, delayed", true, {kTrayLeftDown, kTrayLeftUp}, {"down", "up", "click 0"}},
      // The second press is the one the tracker re-posts.
      {"double click: no single click",
       true,
       {kTrayLeftDown, kTrayLeftUp, kTrayLeftDoubleClick, kTrayLeftUp},
       {"down", "up", "dbl", "down", "up"}},
      // The tracker sees the release before the component does.
      {"right click at once", false, {kTrayRightDown, kTrayRightUp}, {"click 1", "up"}},
  };
  for (const Case& c : cases) {
    TTrayIcon icon(application_, nullptr);
    icon.Loaded();
    icon.set_check_single_double_click(c.check_single_double_click);
    std::vector<std::string> events;
    icon.OnMouseUp = [&](TTrayIcon&, TrayButton, TShiftState, int, int) { events.push_back("up"); };
    icon.OnMouseDown = [&](TTrayIcon&, TrayButton button, TShiftState, int, int) {
      if (button == TrayButton::kLeft) events.push_back("down");
    };
    icon.OnDblClick = [&](TTrayIcon&) { events.push_back("dbl"); };
    icon.OnMouseClick = [&](TTrayIcon&, TrayButton button, TShiftState shift, int, int) {
      EXPECT_EQ(shift, kShiftNone) << c.name;
      events.push_back("click " + std::to_string(static_cast<int>(button)));
    };
    for (intptr_t message : c.messages) {
      Mouse(icon, message);
      PumpPending();
    }
    // Well past the double-click time, so a click would have come.
    PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(events, c.events) << c.name;
  }
  SetDoubleClickTime(saved);
}

TEST_F(TrayIconTest, EnterAndLeave) {
  const COLORREF normal_background = GetSysColor(COLOR_INFOBK);
  const COLORREF normal_text = GetSysColor(COLOR_INFOTEXT);
  struct Case {
    const char* name;
    bool use_default;
    uint32_t background, text;              // the style's colours
    COLORREF shown_background, shown_text;  // the tooltip's while inside
  };
  const Case cases[] = {
      {"default tooltip colours", true, 0x00123456, 0x00654321, normal_background, normal_text},
      {"own colours", false, 0x00123456, 0x00654321, 0x00123456, 0x00654321},
      // A top byte of $FF names a system colour by its low byte.
      {"system colours", false, 0xFF000000 | COLOR_HIGHLIGHT, 0xFF000000 | COLOR_HIGHLIGHTTEXT,
       GetSysColor(COLOR_HIGHLIGHT), GetSysColor(COLOR_HIGHLIGHTTEXT)},
  };
  for (const Case& c : cases) {
    TTrayIcon icon(application_, nullptr);
    icon.Loaded();
    TToolTipStyle& style = icon.tool_tip_style();
    const HWND tooltip = style.tooltip_window();
    ASSERT_NE(tooltip, nullptr) << "Wine's notification area has its tooltip";
    const auto colors = [tooltip] {
      return std::pair(static_cast<COLORREF>(SendMessageW(tooltip, TTM_GETTIPBKCOLOR, 0, 0)),
                       static_cast<COLORREF>(SendMessageW(tooltip, TTM_GETTIPTEXTCOLOR, 0, 0)));
    };
    style.set_use_default(c.use_default);
    style.set_background_color(c.background);
    style.set_text_color(c.text);
    std::vector<std::string> events;
    icon.OnMouseEnter = [&](TTrayIcon&) { events.push_back("enter"); };
    icon.OnMouseExit = [&](TTrayIcon&) { events.push_back("exit"); };

    ASSERT_TRUE(SetCursorPos(100, 100));
    Mouse(icon, kTrayMouseMove);
    ASSERT_TRUE(PumpUntil([&] { return events.size() == 1; })) << c.name;
    EXPECT_TRUE(style.watcher_running()) << c.name;
    EXPECT_EQ(colors(), std::pair(c.shown_background, c.shown_text)) << c.name;
    // Moving within the tracking rectangle is no exit.
    ASSERT_TRUE(SetCursorPos(110, 110));
    Mouse(icon, kTrayMouseMove);
    PumpUntil([] { return false; }, std::chrono::milliseconds(250));
    EXPECT_EQ(events, std::vector<std::string>{"enter"}) << c.name;
    // Leaving it is, and the watcher stops polling.
    ASSERT_TRUE(SetCursorPos(400, 300));
    ASSERT_TRUE(PumpUntil([&] { return events.size() == 2; })) << c.name;
    EXPECT_EQ(events[1], "exit") << c.name;
    EXPECT_EQ(colors(), std::pair(normal_background, normal_text)) << c.name;
    ASSERT_TRUE(PumpUntil([&] { return !style.watcher_running(); })) << c.name;
  }
}

TEST_F(TrayIconTest, AnimationPacesOnTheUiThread) {
  TTrayIcon icon(application_, nullptr);
  icon.Loaded();
  const DWORD ui_thread = GetCurrentThreadId();
  int steps = 0;
  icon.OnIconAnimation = [&](TTrayIcon&) {
    EXPECT_EQ(GetCurrentThreadId(), ui_thread);
    ++steps;
  };
  icon.SetInterval(10);
  EXPECT_EQ(icon.interval(), 50u);
  ASSERT_TRUE(icon.animation_running());
  ASSERT_TRUE(PumpUntil([&] { return steps >= 3; }));
  icon.SetInterval(0);
  EXPECT_FALSE(icon.animation_running());
  // Destruction joins a running animation as well (next scope end).
  icon.SetInterval(60);
  EXPECT_TRUE(icon.animation_running());
}

TEST_F(TrayIconTest, AnimationStepsAtOnceThenWaits) {
  TTrayIcon icon(application_, nullptr);
  icon.Loaded();
  int steps = 0;
  icon.OnIconAnimation = [&](TTrayIcon&) { ++steps; };
  // A minute between steps: the first comes at once, the second not within
  // this test.
  icon.SetInterval(60000);
  ASSERT_TRUE(PumpUntil([&] { return steps == 1; }));
  PumpUntil([] { return false; }, std::chrono::milliseconds(200));
  EXPECT_EQ(steps, 1);
  // Shown again, the icon starts with a step again.
  icon.SetVisible(false);
  icon.SetVisible(true);
  ASSERT_TRUE(PumpUntil([&] { return steps == 2; }));
}

TEST_F(TrayIconTest, ResourceIconsAndTheirAnimation) {
  TTrayIcon icon(application_, nullptr);
  icon.SetResourceIconList({"FRAME1", "FRAME2"});
  icon.Loaded();
  ASSERT_TRUE(icon.added());
  HICON__* const application_icon = icon.entry().record().icon;

  icon.SetResourceIconID(7);  // beyond the list: the last one
  EXPECT_EQ(icon.resource_icon_id(), 1);
  HICON__* const second = icon.entry().record().icon;
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, application_icon);
  icon.SetResourceIconID(0);
  HICON__* const first = icon.entry().record().icon;
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first, second);
  EXPECT_TRUE(InNotificationArea(icon.entry().window()));

  // Without an OnIconAnimation handler, each step takes the next icon,
  // wrapping to the first.
  std::vector<int> ids;
  icon.SetInterval(50);
  ASSERT_TRUE(PumpUntil([&] {
    if (ids.empty() || ids.back() != icon.resource_icon_id())
      ids.push_back(icon.resource_icon_id());
    return ids.size() >= 3;
  }));
  EXPECT_EQ(ids, (std::vector<int>{0, 1, 0}));
  icon.SetInterval(0);

  // A name the executable doesn't have gives no icon: nothing to show.
  TTrayIcon missing(application_, nullptr);
  missing.SetResourceIconList({"NOSUCHICON"});
  missing.SetResourceIconID(0);
  missing.Loaded();
  EXPECT_FALSE(missing.added());
}

TEST_F(TrayIconTest, AHandlerMayDestroyTheIcon) {
  // Every path that calls out to a handler or processes messages meets a
  // handler that destroys the icon; none may touch it afterwards, nor pop up
  // its menu for it.
  struct Case {
    const char* name;
    // Sets `icon` up so that `destroy` runs from the path under test, and
    // sets that path off.
    std::function<void(TTrayIcon& icon, const std::function<void()>& destroy)> start;
  };
  int late_events = 0;  // events of the icon after its destruction
  const Case cases[] = {
      {
          "a click reported on the release, before the release's own event",
          [&](TTrayIcon& icon, const std::function<void()>& destroy) {
            icon.set_check_single_double_click(false);
            icon.OnMouseUp = [&](TTrayIcon&, TrayButton, TShiftState, int, int) { ++late_events; };
            icon.OnMouseClick = [destroy](TTrayIcon&, TrayButton, TShiftState, int, int) {
              destroy();
            };
            SendMessageW(icon.entry().window(), kTrayCallbackMessage, 1, kTrayLeftDown);
            SendMessageW(icon.entry().window(), kTrayCallbackMessage, 1, kTrayLeftUp);
          },
      },
      {"the mouse leaving, reported from the watcher's check",
       [](TTrayIcon& icon, const std::function<void()>& destroy) {
         // Entering moves the cursor away: the next check reports the exit.
         icon.OnMouseEnter = [](TTrayIcon&) { SetCursorPos(400, 300); };
         icon.OnMouseExit = [destroy](TTrayIcon&) { destroy(); };
         SetCursorPos(100, 100);
         Mouse(icon, kTrayMouseMove);
       }},
      {"an animation step",
       [](TTrayIcon& icon, const std::function<void()>& destroy) {
         icon.OnIconAnimation = [destroy](TTrayIcon&) { destroy(); };
         icon.SetInterval(50);
       }},
      {"a message processed before the menu pops up",
       [](TTrayIcon& icon, const std::function<void()>& destroy) {
         icon.OnMouseExit = [destroy](TTrayIcon&) { destroy(); };
         PostMessageW(icon.entry().window(), kTrayCallbackMessage, 0, kTrayMouseLeft);
         SendMessageW(icon.entry().window(), kTrayCallbackMessage, 1, kTrayRightDown);
       }},
  };
  for (const Case& c : cases) {
    auto icon = std::make_unique<TTrayIcon>(application_, nullptr);
    icon->Loaded();
    int popups = 0;
    auto menu = std::make_shared<CountingMenu>(popups);
    icon->SetRButtonPopupMenu(menu);
    const HWND window = icon->entry().window();
    c.start(*icon, [&] { icon.reset(); });
    ASSERT_TRUE(PumpUntil([&] { return icon == nullptr; })) << c.name;
    PumpPending();
    EXPECT_FALSE(IsWindow(window)) << c.name;
    EXPECT_EQ(popups, 0) << c.name;
    EXPECT_EQ(late_events, 0) << c.name;
  }
}

TEST_F(TrayIconTest, HiddenWindowAnswersOtherMessagesWithZero) {
  TTrayIcon icon(application_, nullptr);
  icon.Loaded();
  const HWND window = icon.entry().window();
  int double_clicks = 0;
  icon.OnDblClick = [&](TTrayIcon&) { ++double_clicks; };
  // A close request (taskkill without /F posts one) must not take the
  // window from an icon that is still in the notification area.
  EXPECT_EQ(SendMessageW(window, WM_CLOSE, 0, 0), 0);
  EXPECT_EQ(SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0), 0);
  ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
  PumpPending();
  ASSERT_TRUE(IsWindow(window));
  // Nor does the default procedure answer for it otherwise.
  EXPECT_EQ(SendMessageW(window, WM_QUERYOPEN, 0, 0), 0);
  EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), 1);
  Mouse(icon, kTrayLeftDoubleClick);
  ASSERT_TRUE(PumpUntil([&] { return double_clicks == 1; }));
  EXPECT_TRUE(InNotificationArea(window));
}

TEST_F(TrayIconTest, HandlerFailuresReachTheApplication) {
  std::vector<std::string> failures;
  application_.set_failure_handler([&](std::exception_ptr failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      failures.push_back(e.what());
    }
  });
  TTrayIcon icon(application_, nullptr);
  icon.Loaded();
  int double_clicks = 0;
  icon.OnDblClick = [&](TTrayIcon&) {
    ++double_clicks;
    throw std::runtime_error("restore failed");
  };
  Mouse(icon, kTrayLeftDoubleClick);
  Mouse(icon, kTrayLeftDoubleClick);
  ASSERT_TRUE(PumpUntil([&] { return double_clicks == 2; }));
  EXPECT_EQ(failures, (std::vector<std::string>{"restore failed", "restore failed"}));
}

}  // namespace
}  // namespace tol
