// kovun.exe's main window and its window classes, in this process, with the
// program's resources linked in.

#include "monitor/win32/kovun_form.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "components/win32/application.h"
#include "components/win32/window_class.h"
#include "monitor_win32/icon_support.h"
#include "shared/codepage.h"
#include "shared/errors.h"

namespace tol {
namespace {

LRESULT CALLBACK OtherProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window, message, wparam, lparam);
}

// A class registered twice: accepted when it is the same class, a failure
// when the second registration asks for other attributes (the window would
// silently get the first ones).
TEST(WindowClassTest, RegisteringAgainNeedsTheSameAttributes) {
  WNDCLASSEXW first{};
  first.lpfnWndProc = DefWindowProcW;
  first.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  first.lpszClassName = L"TolWindowClassTest";
  RegisterWindowClass(first, "first");
  struct Case {
    const char* name;
    void (*change)(WNDCLASSEXW&);
    bool accepted;
  };
  const Case cases[] = {
      {"same", [](WNDCLASSEXW&) {}, true},
      {"other procedure", [](WNDCLASSEXW& c) { c.lpfnWndProc = OtherProcedure; }, false},
      {"other style", [](WNDCLASSEXW& c) { c.style = CS_DBLCLKS; }, false},
      {"an icon", [](WNDCLASSEXW& c) { c.hIcon = LoadIconW(nullptr, IDI_APPLICATION); }, false},
      {"no cursor", [](WNDCLASSEXW& c) { c.hCursor = nullptr; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WNDCLASSEXW again = first;
    c.change(again);
    if (c.accepted) {
      EXPECT_NO_THROW(RegisterWindowClass(again, "again"));
    } else {
      EXPECT_THROW(RegisterWindowClass(again, "again"), EOtherError);
    }
  }
  UnregisterClassW(first.lpszClassName, GetModuleHandleW(nullptr));
}

// The main window of a monitor whose service is a closed port of loopback:
// its first poll fails at once.
class KovunFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"kovun-form-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder_.c_str(), nullptr);
    const std::wstring ini = folder_ + L"kovun.ini";
    HANDLE file = CreateFileW(ini.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const std::string text = "[Server]\r\nURL=http://127.0.0.1:9/status/\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    form_ = Create();
  }
  std::unique_ptr<TKovunForm> Create() {
    const std::wstring ini = folder_ + L"kovun.ini";
    const std::wstring exe = folder_ + L"kovun.exe";
    return std::make_unique<TKovunForm>(application_,
                                        FilePath::FromSystem(PathString(ini.begin(), ini.end())),
                                        FilePath::FromSystem(PathString(exe.begin(), exe.end())));
  }
  void TearDown() override {
    form_.reset();
    for (const wchar_t* name : {L"kovun.ini", L"kovun_error.txt"}) {
      DeleteFileW((folder_ + name).c_str());
    }
    RemoveDirectoryW(folder_.c_str());
  }

  Application application_;
  std::wstring folder_;
  std::unique_ptr<TKovunForm> form_;
};

// The program's icon in both sizes, from the class and from the window: the
// large one for Alt+Tab, the small one for the title bar and the taskbar.
TEST_F(KovunFormTest, CarriesTheProgramsIconInBothSizes) {
  HWND window = form_->handle();
  ASSERT_NE(window, nullptr);
  const int large = GetSystemMetrics(SM_CXICON), small = GetSystemMetrics(SM_CXSMICON);
  EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON))), large);
  EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICONSM))), small);
  EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0))),
            large);
  EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0))),
            small);
}

// A panel drawn into someone else's DC (WM_PRINTCLIENT, as the paint does
// into its own) shows its colour and gives the DC back as it came: a font
// left selected could not be deleted when a DPI change replaces it.
TEST_F(KovunFormTest, PanelDrawingLeavesTheDcAsItCame) {
  HWND panel = GetDlgItem(form_->handle(), 107);  // map server 3
  ASSERT_NE(panel, nullptr);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 64, 64);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
  const HGDIOBJ font = GetStockObject(ANSI_FIXED_FONT);
  const HGDIOBJ old_font = SelectObject(dc, font);
  SetBkMode(dc, OPAQUE);
  SetTextColor(dc, RGB(1, 2, 3));
  SendMessageW(panel, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  EXPECT_EQ(GetPixel(dc, 4, 8), GetSysColor(COLOR_BTNFACE));  // no status yet: neutral
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
  SelectObject(dc, old_font);
  SelectObject(dc, old_bitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// The main windows of this thread.
int MainWindows() {
  int count = 0;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM count) -> BOOL {
        wchar_t name[32] = L"";
        GetClassNameW(window, name, 32);
        if (std::wstring(name) == L"TKovunForm") ++*reinterpret_cast<int*>(count);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

// A part of the window that the desktop refuses after the window itself
// exists (here the hotkey receivers): the creation fails and leaves no window
// behind that would lead to the freed object.
TEST_F(KovunFormTest, FailedCreationLeavesNoWindow) {
  form_.reset();
  ASSERT_EQ(MainWindows(), 0);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  constexpr const wchar_t* kReceiver = L"TolHookHotKeyReceiver";
  WNDCLASSEXW saved{};
  saved.cbSize = sizeof(saved);
  ASSERT_TRUE(GetClassInfoExW(instance, kReceiver, &saved));
  ASSERT_TRUE(UnregisterClassW(kReceiver, instance));
  WNDCLASSEXW refusing{};
  refusing.cbSize = sizeof(refusing);
  refusing.hInstance = instance;
  refusing.lpszClassName = kReceiver;
  refusing.lpfnWndProc = [](HWND window, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
    return message == WM_NCCREATE ? FALSE : DefWindowProcW(window, message, wparam, lparam);
  };
  ASSERT_NE(RegisterClassExW(&refusing), 0);
  EXPECT_THROW(Create(), EOtherError);
  EXPECT_EQ(MainWindows(), 0);
  EXPECT_EQ(application_.main_window(), nullptr);
  UnregisterClassW(kReceiver, instance);
  saved.lpszClassName = kReceiver;
  ASSERT_NE(RegisterClassExW(&saved), 0);
  form_ = Create();  // the classes work again
  EXPECT_EQ(MainWindows(), 1);
}

}  // namespace
}  // namespace tol
