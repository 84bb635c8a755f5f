#include "monitor/win32/settings_dialog.h"

#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <commctrl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "components/win32/dpi_layout.h"
#include "components_win32/desktop_support.h"
#include "monitor/settings.h"
#include "shared/codepage.h"

namespace tol {
namespace {

using ModalResult = TForm2::ModalResult;

std::wstring Text(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

std::string Narrow(const std::wstring& wide) {
  return Utf16ToCp932(std::u16string(wide.begin(), wide.end()));
}

std::wstring Wide(std::string_view cp932) {
  const std::u16string wide = Cp932ToUtf16(cp932);
  return std::wstring(wide.begin(), wide.end());
}

// What the dialog showed while it was open.
struct Seen {
  bool open = false;
  std::wstring caption;
  LONG_PTR style = 0;
  SIZE client{};
  unsigned dpi = 0;
  bool owner_enabled = true;
  int tab_count = 0;
  std::wstring tab_text;
  // Every descendant window's text and its place in its parent's client area.
  std::map<std::wstring, POINT> texts;
  std::vector<std::string> opened;  // addresses the link labels asked to open
  int32_t pressed_link_color = 0;
};

BOOL CALLBACK CollectText(HWND child, LPARAM seen) {
  RECT rect;
  GetWindowRect(child, &rect);
  POINT at{rect.left, rect.top};
  ScreenToClient(GetParent(child), &at);
  reinterpret_cast<Seen*>(seen)->texts[Text(child)] = at;
  return TRUE;
}

// Works the modal dialog from a thread timer, which the dialog's own message
// loop dispatches: once the dialog is shown and `ready` holds (or a bound for
// a broken build has passed), records what it shows, runs `act` (which closes
// it, or not), and stops.
class ModalDriver {
 public:
  ModalDriver(
      TForm2& form, HWND owner, std::function<void(TForm2&)> act,
      std::function<bool()> ready = [] { return true; })
      : form_(form), owner_(owner), act_(std::move(act)), ready_(std::move(ready)) {}

  ModalResult Run() {
    current_ = this;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, &Tick);
    const ModalResult result = form_.ShowModal();
    KillTimer(nullptr, timer);
    current_ = nullptr;
    return result;
  }

  Seen seen;

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
    ModalDriver* driver = current_;
    if (driver == nullptr || driver->done_) return;
    const HWND dialog = driver->form_.handle();
    if (dialog == nullptr || !IsWindowVisible(dialog)) return;
    if (!driver->ready_() && ++driver->waits_ < 100) return;
    driver->done_ = true;
    KillTimer(nullptr, timer);
    driver->Record(dialog);
    driver->act_(driver->form_);
  }

  void Record(HWND dialog) {
    seen.open = true;
    seen.caption = Text(dialog);
    seen.style = GetWindowLongPtrW(dialog, GWL_STYLE);
    RECT client;
    GetClientRect(dialog, &client);
    seen.client = {client.right, client.bottom};
    seen.dpi = WindowDpi(dialog);
    seen.owner_enabled = IsWindowEnabled(owner_) != FALSE;
    const HWND tabs = FindWindowExW(dialog, nullptr, WC_TABCONTROLW, nullptr);
    seen.tab_count = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
    wchar_t tab_text[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = tab_text;
    item.cchTextMax = 64;
    SendMessageW(tabs, TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    seen.tab_text = tab_text;
    EnumChildWindows(dialog, &CollectText, reinterpret_cast<LPARAM>(&seen));
  }

  static ModalDriver* current_;
  TForm2& form_;
  HWND owner_;
  std::function<void(TForm2&)> act_;
  std::function<bool()> ready_;
  int waits_ = 0;
  bool done_ = false;
};
ModalDriver* ModalDriver::current_ = nullptr;

void Click(TForm2& form, int id) { SendMessageW(GetDlgItem(form.handle(), id), BM_CLICK, 0, 0); }

// A key as the user types it, to the control that has the focus.
void PressKey(WPARAM key) {
  const HWND focus = GetFocus();
  PostMessageW(focus, WM_KEYDOWN, key, 1);
  PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { ShowWindow(owner_.handle, SW_SHOWNOACTIVATE); }

  // Popup windows: Wine destroys shown popups without waiting for a window
  // manager.
  TestWindow owner_{L"Kovun", WS_POPUP};
  Application application_;
  TForm2 form_{application_, owner_.handle};
};

TEST_F(SettingsDialogTest, OpensHiddenOnTheVersionPageWithItsTexts) {
  ASSERT_NE(form_.handle(), nullptr);
  EXPECT_FALSE(IsWindowVisible(form_.handle()));
  form_.SelectPage(0);  // a page that isn't built
  EXPECT_EQ(form_.active_page(), TForm2::kVersionPage);

  std::vector<std::string> opened;
  for (TURLLabel* link : {&form_.home_page_link(), &form_.status_site_link()}) {
    link->set_shell_open([&opened](const std::string& address) { opened.push_back(address); });
  }
  ModalDriver pressing(form_, owner_.handle, [&](TForm2& form) {
    for (TURLLabel* link : {&form.home_page_link(), &form.status_site_link()}) {
      SendMessageW(link->handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
      pressing.seen.pressed_link_color = link->font_color();
      SendMessageW(link->handle(), WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
    }
    Click(form, IDOK);
  });
  EXPECT_EQ(pressing.Run(), ModalResult::kOk);
  const Seen& seen = pressing.seen;
  ASSERT_TRUE(seen.open);

  EXPECT_EQ(seen.caption, L"Kovun設定");
  EXPECT_EQ(seen.client.cx, ScaleToDpi(473, seen.dpi));
  EXPECT_EQ(seen.client.cy, ScaleToDpi(301, seen.dpi));
  // A dialog frame: a close box, no minimise or maximise box, fixed size.
  EXPECT_EQ(seen.style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
  EXPECT_EQ(seen.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
  EXPECT_FALSE(seen.owner_enabled);

  EXPECT_EQ(seen.tab_count, 1);
  EXPECT_EQ(seen.tab_text, L"バージョン情報");
  const auto scaled = [&](int x, int y) {
    return std::pair{ScaleToDpi(x, seen.dpi), ScaleToDpi(y, seen.dpi)};
  };
  struct Expected {
    std::wstring text;
    std::pair<int, int> at;  // in the page's (or the dialog's) client area
  };
  const std::wstring home = Wide(kHomepageUrl);
  const std::wstring status_site = Wide(TForm2::kStatusSiteAddress);
  const Expected expected[] = {
      {L"Kovun\u3000- TolvaneOnline Server Checker for Client", scaled(72, 24)},
      {L"Rev. 0.1.0a ( 2005/02/07 )", scaled(224, 48)},
      {L"制作: Kovun 開発者一同", scaled(72, 88)},
      {home, scaled(96, 112)},
      {L"サーバー状態の情報元: Tolvane ステータスサービス", scaled(72, 136)},
      {status_site, scaled(96, 160)},
      {L"OK", scaled(312, 272)},
      {L"Cancel", scaled(392, 272)},
  };
  for (const Expected& e : expected) {
    const auto found = seen.texts.find(e.text);
    ASSERT_NE(found, seen.texts.end()) << Narrow(e.text);
    EXPECT_EQ((std::pair<int, int>{found->second.x, found->second.y}), e.at) << Narrow(e.text);
  }

  EXPECT_EQ(opened,
            (std::vector<std::string>{std::string(kHomepageUrl), TForm2::kStatusSiteAddress}));
  EXPECT_EQ(seen.pressed_link_color, 0x00800080);
  EXPECT_EQ(form_.home_page_link().font_color(), 0x00FF0000);
  EXPECT_FALSE(IsWindowVisible(form_.handle()));
  EXPECT_TRUE(IsWindowEnabled(owner_.handle));
}

TEST_F(SettingsDialogTest, EveryWayOfClosingItEndsTheRunAndChangesNothing) {
  struct Case {
    const char* name;
    std::function<void(TForm2&)> close;
    ModalResult result;
  };
  const Case cases[] = {
      {"OK", [](TForm2& form) { Click(form, IDOK); }, ModalResult::kOk},
      {"Cancel", [](TForm2& form) { Click(form, IDCANCEL); }, ModalResult::kCancel},
      {"frame", [](TForm2& form) { PostMessageW(form.handle(), WM_SYSCOMMAND, SC_CLOSE, 0); },
       ModalResult::kCancel},
      {"Esc", [](TForm2&) { PressKey(VK_ESCAPE); }, ModalResult::kCancel},
      {"Enter", [](TForm2&) { PressKey(VK_RETURN); }, ModalResult::kOk},
  };
  // The owner's timer keeps ticking while the dialog is open.
  static int ticks = 0;
  SetTimer(owner_.handle, 1, 10, [](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });
  for (const Case& c : cases) {
    ticks = 0;
    ModalDriver driver(form_, owner_.handle, c.close, [] { return ticks >= 2; });
    EXPECT_EQ(driver.Run(), c.result) << c.name;
    EXPECT_GE(ticks, 2) << c.name;
    EXPECT_TRUE(driver.seen.open) << c.name;
    EXPECT_FALSE(driver.seen.owner_enabled) << c.name;
    // The same dialog, hidden again, for the next time.
    EXPECT_TRUE(IsWindow(form_.handle())) << c.name;
    EXPECT_FALSE(IsWindowVisible(form_.handle())) << c.name;
    EXPECT_TRUE(IsWindowEnabled(owner_.handle)) << c.name;
    EXPECT_FALSE(form_.showing()) << c.name;
  }
  KillTimer(owner_.handle, 1);
}

TEST_F(SettingsDialogTest, AQuitRequestClosesItAndReachesTheProgramsLoop) {
  ModalDriver driver(form_, owner_.handle, [](TForm2&) { PostQuitMessage(3); });
  EXPECT_EQ(driver.Run(), ModalResult::kCancel);
  EXPECT_FALSE(IsWindowVisible(form_.handle()));
  EXPECT_TRUE(IsWindowEnabled(owner_.handle));
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 3u);
}

TEST_F(SettingsDialogTest, AnOwnerThatDisappearsEndsTheRun) {
  ModalDriver driver(form_, owner_.handle, [this](TForm2&) { DestroyWindow(owner_.handle); });
  EXPECT_EQ(driver.Run(), ModalResult::kCancel);
  EXPECT_EQ(form_.handle(), nullptr);
  EXPECT_EQ(form_.ShowModal(), ModalResult::kCancel);
  owner_.handle = nullptr;
}

}  // namespace
}  // namespace tol
