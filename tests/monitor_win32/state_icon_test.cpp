// The state-coloured notification-area icon, drawn and read back pixel by
// pixel, alone and as kovun.exe's window shows it with alerts on.

#include "monitor/win32/state_icon.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "components/win32/application.h"
#include "components/win32/taskbar.h"
#include "monitor/win32/kovun_form.h"
#include "monitor_win32/icon_support.h"

namespace tol {
namespace {

// An icon drawn onto white, read back.
class IconImage {
 public:
  IconImage(HICON icon, int size) : size_(size) {
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    bitmap_ = CreateCompatibleBitmap(screen, size, size);
    ReleaseDC(nullptr, screen);
    old_ = SelectObject(dc_, bitmap_);
    PatBlt(dc_, 0, 0, size, size, WHITENESS);
    DrawIconEx(dc_, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  }
  ~IconImage() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  COLORREF at(int x, int y) const { return GetPixel(dc_, x, y); }
  int size() const { return size_; }

 private:
  int size_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

constexpr COLORREF kEdge = RGB(0x40, 0x40, 0x40);
constexpr COLORREF kGrey = RGB(0xA0, 0xA0, 0xA0);

// Each worst state in its panel colour (those of the settings, not fixed
// ones), with a dark edge, in both sizes; unreachable grey with a cross
// through the middle that no panel colour has.
TEST(StateIconTest, EachStateInItsColourInBothSizes) {
  ColorSettings colors;
  colors.good = 0x0000FF00;     // $00BBGGRR
  colors.average = 0x0000FFFF;  // yellow
  colors.down = 0x000000FF;     // red
  struct Case {
    ServerState state;
    COLORREF middle;     // the centre of the icon
    COLORREF off_cross;  // halfway between centre and top edge
  };
  const Case cases[] = {
      {ServerState::kUp, RGB(0, 255, 0), RGB(0, 255, 0)},
      {ServerState::kSlow, RGB(255, 255, 0), RGB(255, 255, 0)},
      {ServerState::kDown, RGB(255, 0, 0), RGB(255, 0, 0)},
      {ServerState::kUnreachable, kEdge, kGrey},
  };
  for (const int size : {16, 32}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(StateName(c.state)) + " " + std::to_string(size));
      HICON icon = CreateStateIcon(c.state, colors, size);
      ASSERT_NE(icon, nullptr);
      EXPECT_EQ(IconWidth(icon), size);
      const IconImage image(icon, size);
      EXPECT_EQ(image.at(0, 0), kEdge);
      EXPECT_EQ(image.at(size - 1, size / 2), kEdge);
      EXPECT_EQ(image.at(size / 2, size / 2), c.middle);
      EXPECT_EQ(image.at(size / 2, size / 8 + 1), c.off_cross);
      DestroyIcon(icon);
    }
  }
  EXPECT_EQ(StateIconSize(96), 16);
  EXPECT_EQ(StateIconSize(192), 32);
}

// kovun.exe's window against a closed port of loopback: every poll fails,
// so with alerts on (one failed poll confirming) the service is confirmed
// unreachable after the first poll. The icon then sits in the notification
// area, grey with the cross, though tray mode is off; without [Alert] the
// window keeps no icon there, as before.
TEST(StateIconTest, TheWindowsIconFollowsTheWorstState) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder =
      std::wstring(temp) + L"kovun-icon-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring ini = folder + L"kovun.ini";
  struct Case {
    const char* name;
    std::string alert_section;
    bool icon_shown;
  };
  const Case cases[] = {
      {"alerts on", "[Alert]\r\nEnabled=1\r\nDown=1\r\n", true},
      {"no [Alert]", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE file = CreateFileW(ini.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const std::string text = "[Server]\r\nURL=http://127.0.0.1:9/status/\r\n" + c.alert_section;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    Application application;
    auto form = std::make_unique<TKovunForm>(
        application, FilePath::FromSystem(std::u16string(ini.begin(), ini.end())),
        FilePath::FromText("kovun.exe"));
    // The first poll ends on the worker and comes back as a message.
    const DWORD deadline = GetTickCount() + 10000;
    while (GetTickCount() < deadline && form->tray_icon().icon() == nullptr) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      Sleep(20);
      if (!c.icon_shown && GetTickCount() + 8000 > deadline) break;  // two seconds do
    }
    EXPECT_EQ(form->tray_icon().added(), c.icon_shown);
    if (c.icon_shown) {
      ASSERT_NE(form->tray_icon().icon(), nullptr);
      const int size = IconWidth(form->tray_icon().icon());
      EXPECT_EQ(size, StateIconSize(96));
      const IconImage image(form->tray_icon().icon(), size);
      EXPECT_EQ(image.at(size / 2, size / 2), kEdge);
      EXPECT_EQ(image.at(size / 2, size / 8 + 1), kGrey);
    } else {
      EXPECT_EQ(form->tray_icon().icon(), nullptr);
    }
    form.reset();
    for (const wchar_t* name : {L"kovun.ini", L"kovun_error.txt"}) {
      DeleteFileW((folder + name).c_str());
    }
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace tol
