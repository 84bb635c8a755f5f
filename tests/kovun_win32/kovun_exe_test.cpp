// kovun.exe as a user runs it: the real program, copied into a folder of its
// own with a kovun.ini beside it whose [Server] URL points at tolvane-sim,
// started under Wine and driven through window messages the way clicks and
// keys would, its pixels read off the screen.

#include <windows.h>
#include <winsock2.h>
// clang-format off
#include <commctrl.h>
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "shared/clock.h"

namespace tol {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr UINT kTrayCallback = 1224;
constexpr UINT kAbout1Command = 1204;
constexpr UINT kN4Command = 1203;
constexpr UINT kHistoryCommand = 1205;
constexpr UINT kNotifyTestCommand = 1206;

int SimPort() {
  const char* text = std::getenv("KOVUN_SIM_PORT");
  return text ? std::atoi(text) : 0;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_') {
      out += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

bool WaitFor(const std::function<bool()>& condition, milliseconds limit = milliseconds(15000)) {
  const auto end = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() > end) return false;
    Sleep(25);
  }
  return true;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return name;
}

// The top-level windows of process `pid` whose class is `class_name`.
std::vector<HWND> TopWindows(DWORD pid, const std::wstring& class_name) {
  struct Search {
    DWORD pid;
    std::wstring class_name;
    std::vector<HWND> found;
  } search{pid, class_name, {}};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->pid && ClassOf(window) == s->class_name) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring TextOf(HWND window) {
  wchar_t text[512] = L"";
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      2000, &length);
  return text;
}

std::string ReadFile(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD n = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
  CloseHandle(file);
  return bytes;
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD n = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(file);
}

// The colour on the screen inside a window, a few pixels from its corner
// (clear of the frame and of the centred caption).
COLORREF ScreenColor(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  HDC screen = GetDC(nullptr);
  const COLORREF color = GetPixel(screen, rect.left + 3, rect.top + 3);
  ReleaseDC(nullptr, screen);
  return color;
}

// The colour on the screen at a point.
COLORREF ScreenAt(POINT at) {
  HDC screen = GetDC(nullptr);
  const COLORREF color = GetPixel(screen, at.x, at.y);
  ReleaseDC(nullptr, screen);
  return color;
}

class KovunExeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // This process's DPI is taken once, here at the design's 96, before a
    // test sets Wine's LogPixels for the program it starts: a process that
    // first asked at 144 would see every window's place scaled.
    static const int system_dpi = [] {
      HDC screen = GetDC(nullptr);
      const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
      ReleaseDC(nullptr, screen);
      return dpi;
    }();
    (void)system_dpi;
    port_ = SimPort();
    ASSERT_GT(port_, 0) << "run this program through tests/net/with_services.sh";
    control_ = CreateHttpClient(SystemClock());
    Control("reset");
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"kovun-exe-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(GetTickCount()) + L"\\";
    CreateDirectoryW(folder_.c_str(), nullptr);
    // The program under test, by its Linux path through Wine's Z: drive.
    std::wstring source = L"Z:";
    for (const char* p = KOVUN_EXE_PATH; *p; ++p) source += (*p == '/' ? L'\\' : wchar_t(*p));
    ASSERT_TRUE(CopyFileW(source.c_str(), (folder_ + L"kovun.exe").c_str(), FALSE));
  }

  void TearDown() override {
    for (PROCESS_INFORMATION& p : processes_) {
      if (WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT) {
        for (HWND w : TopWindows(p.dwProcessId, L"TKovunForm")) PostMessageW(w, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(p.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(p.hProcess, 9);
      }
      CloseHandle(p.hProcess);
      CloseHandle(p.hThread);
    }
    Control("reset");
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::string Control(const std::string& call) { return control_->Get(Url("/_sim/" + call)); }
  int StatusRequests() {
    const std::string text = Control("requests?format=text&path=/status/arvel/status.txt");
    int n = 0;
    for (std::size_t at = text.find("GET /status"); at != std::string::npos;
         at = text.find("GET /status", at + 1)) {
      ++n;
    }
    return n;
  }

  // kovun.ini: the sim's service, then `more` (further sections).
  void WriteSettings(const std::string& more = "") {
    WriteFile(folder_ + L"kovun.ini", "[Server]\r\nURL=" + Url("/status/") + "\r\n" + more);
  }
  std::string Settings() { return ReadFile(folder_ + L"kovun.ini"); }

  PROCESS_INFORMATION Start() {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + folder_ + L"kovun.exe\"";
    EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder_.c_str(), &startup, &process));
    processes_.push_back(process);
    return process;
  }

  // Starts kovun.exe and waits for its window to show.
  HWND StartWindow() {
    const PROCESS_INFORMATION process = Start();
    HWND window = nullptr;
    WaitFor([&] {
      for (HWND w : TopWindows(process.dwProcessId, L"TKovunForm")) {
        if (IsWindowVisible(w)) window = w;
      }
      return window != nullptr;
    });
    pid_ = process.dwProcessId;
    process_ = process.hProcess;
    return window;
  }

  // Waits for the first poll's caption: it carries the average.
  bool WaitPolled(HWND window) {
    return WaitFor([&] { return TextOf(window).find(L"( Average : ") != std::wstring::npos; });
  }

  bool CloseAndWait(HWND window, milliseconds limit = milliseconds(5000)) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
  }

  int port_ = 0;
  std::unique_ptr<HttpClient> control_;
  std::wstring folder_;
  std::vector<PROCESS_INFORMATION> processes_;
  DWORD pid_ = 0;
  HANDLE process_ = nullptr;
};

// No settings beyond the service: the strip, the first poll's colours on the
// screen, and the close-time save.
TEST_F(KovunExeTest, FirstStartPollsPaintsAndSavesAtClose) {
  Control("content?path=/status/arvel/status.txt&body=" +
          Escape("LoginServer,Good,1,2,1000\r\nGameServer03,Down,0,2,1000\r\n"));
  WriteSettings();
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window)) << "caption";
  EXPECT_NE(TextOf(window).find(L"Kovun Rev. 0.1.0a ( Average : 666 )"), std::wstring::npos);
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 625);
  EXPECT_EQ(client.bottom, 25);
  EXPECT_EQ(TextOf(GetDlgItem(window, 100)), L"Arvel");
  // Login: success count 1 ($006F9F6F); map server 3: Down ($00CFCFFF);
  // PatF: no line, the button face.
  // The screen catches up with the window's paint a little later.
  const struct {
    int id;
    COLORREF color;
  } colors[] = {{101, 0x006F9F6F}, {107, 0x00CFCFFF}, {102, GetSysColor(COLOR_BTNFACE)}};
  for (const auto& c : colors) {
    HWND panel = GetDlgItem(window, c.id);
    EXPECT_TRUE(WaitFor([&] { return ScreenColor(panel) == c.color; }, milliseconds(5000)))
        << "panel " << c.id << ": " << std::hex << ScreenColor(panel);
  }

  // The end of the session saves too (the system ends the process without
  // a close).
  DeleteFileW((folder_ + L"kovun.ini").c_str());
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 5000, &result);
  EXPECT_NE(Settings().find("Default=Arvel\r\n"), std::string::npos);

  ASSERT_TRUE(CloseAndWait(window));
  const std::string saved = Settings();
  for (const char* key : {"[Window]\r\nLeft=210\r\nTop=129\r\nSnap=4\r\n", "Default=Arvel\r\n",
                          "Patch=PatchServerFV1\r\n", "TaskTray=0\r\n", "ReloadTime=0\r\n"}) {
    EXPECT_NE(saved.find(key), std::string::npos) << key << "\n" << saved;
  }
}

// Each layout's client size and the place of map server 15 (Panel19).
TEST_F(KovunExeTest, LayoutsByStyle) {
  struct Case {
    int style;
    LONG width, height, left, top;
  } cases[] = {{1, 163, 89, 136, 71}, {2, 100, 267, 46, 162}, {7, 625, 25, 594, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    WriteSettings("[Window]\r\nStyle=" + std::to_string(c.style) + "\r\n");
    HWND window = StartWindow();
    ASSERT_NE(window, nullptr);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, c.width);
    EXPECT_EQ(client.bottom, c.height);
    RECT panel;
    GetWindowRect(GetDlgItem(window, 119), &panel);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&panel), 2);
    EXPECT_EQ(panel.left, c.left);
    EXPECT_EQ(panel.top, c.top);
    EXPECT_EQ(panel.right - panel.left, 25);
    ASSERT_TRUE(CloseAndWait(window));
  }
}

// The window snaps to the edges of the work area as it is moved, and a
// panel shows its hint as a tooltip when the pointer rests on it.
TEST_F(KovunExeTest, SnapsToTheWorkAreaAndShowsHints) {
  Control("content?path=/status/arvel/status.txt&body=" + Escape("CharSelect,Good,2,2,1234\r\n"));
  WriteSettings();
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window));
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  // 3 pixels from the left edge: within the snap distance of 4.
  SetWindowPos(window, nullptr, work.left + 3, work.top + 200, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT rect;
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.left, work.left);
  EXPECT_EQ(rect.top, work.top + 200);
  // 5 pixels: out of reach.
  SetWindowPos(window, nullptr, work.left + 5, work.top + 200, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.left, work.left + 5);

  RECT panel;
  GetWindowRect(GetDlgItem(window, 104), &panel);  // "Char"
  SetCursorPos(panel.left + 10, panel.top + 8);
  Sleep(50);
  SetCursorPos(panel.left + 12, panel.top + 9);
  std::wstring tip;
  EXPECT_TRUE(WaitFor([&] {
    for (HWND w : TopWindows(pid_, L"tooltips_class32")) {
      if (IsWindowVisible(w)) tip = TextOf(w);
    }
    return !tip.empty();
  }));
  EXPECT_EQ(tip, L"CharSelect : Good ( 2/2:1234 )");
  SetCursorPos(0, 0);
  ASSERT_TRUE(CloseAndWait(window));
}

// Settings no window can follow: the window still opens, on the screen,
// and nothing fails.
TEST_F(KovunExeTest, AbsurdSettingsStillOpenAWindowOnTheScreen) {
  WriteSettings(
      "[Window]\r\nLeft=-99999\r\nTop=2147483647\r\nStyle=-5\r\nSnap=2147483647\r\n"
      "[Option]\r\nPopupBreak=0\r\nHotKey=Ctrl+Nothing\r\n[HotKey]\r\nGameServer1=\r\n");
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window));
  RECT rect, screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, both;
  GetWindowRect(window, &rect);
  EXPECT_TRUE(IntersectRect(&both, &rect, &screen)) << rect.left << "," << rect.top;
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 625);  // the strip
  ASSERT_TRUE(CloseAndWait(window));
  EXPECT_EQ(ReadFile(folder_ + L"kovun_error.txt"), "");
}

// At 144 DPI (Wine's LogPixels) every size is one and a half times the
// design's, the strip's and the history window's.
TEST_F(KovunExeTest, ScalesWithTheDisplaysDpi) {
  HKEY desktop;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &desktop, nullptr),
            ERROR_SUCCESS);
  DWORD dpi = 144;
  RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dpi), sizeof dpi);
  WriteSettings("[Alert]\r\nEnabled=1\r\n");
  HWND window = StartWindow();
  RegDeleteValueW(desktop, L"LogPixels");
  RegCloseKey(desktop);
  ASSERT_NE(window, nullptr);
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 938);  // 625 x 1.5, rounded
  EXPECT_EQ(client.bottom, 38);
  RECT panel;
  GetWindowRect(GetDlgItem(window, 119), &panel);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&panel), 2);
  EXPECT_EQ(panel.left, 891);  // 594 x 1.5
  EXPECT_EQ(panel.right - panel.left, 38);
  // The history window too: its client area once scaled, not twice.
  PostMessageW(window, WM_COMMAND, kHistoryCommand, 0);
  HWND history = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    for (HWND w : TopWindows(pid_, L"TKovunHistory")) {
      if (IsWindowVisible(w)) history = w;
    }
    return history != nullptr;
  }));
  GetClientRect(history, &client);
  EXPECT_EQ(client.right, 960);   // 640 x 1.5
  EXPECT_EQ(client.bottom, 483);  // (16 x 19 rows + 18) x 1.5, above the scroll bar
  ASSERT_TRUE(CloseAndWait(window, milliseconds(15000)));
}

// A status request that never answers: the window goes on answering, and
// closing it ends the program at once with the settings saved.
TEST_F(KovunExeTest, StalledRequestNeitherFreezesNorHoldsTheClose) {
  Control("fault?path=/status/arvel/status.txt&kind=stall&seconds=60");
  WriteSettings("[Option]\r\nReloadTime=9\r\n");
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitFor([&] { return Control("info").find("\"stalled\": 0") == std::string::npos; }));
  milliseconds worst(0);
  const auto end = Clock::now() + milliseconds(2000);
  while (Clock::now() < end) {
    const auto start = Clock::now();
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result));
    worst = std::max(worst, std::chrono::duration_cast<milliseconds>(Clock::now() - start));
    Sleep(20);
  }
  std::printf("worst message round trip during the stall: %lld ms\n",
              static_cast<long long>(worst.count()));
  EXPECT_LT(worst.count(), 500);
  const auto closing = Clock::now();
  ASSERT_TRUE(CloseAndWait(window, milliseconds(3000)));
  std::printf("closed within %lld ms\n",
              static_cast<long long>(
                  std::chrono::duration_cast<milliseconds>(Clock::now() - closing).count()));
  EXPECT_NE(Settings().find("Left=210\r\n"), std::string::npos) << Settings();
  EXPECT_NE(Settings().find("ReloadTime=9\r\n"), std::string::npos);
}

// The session ends (logoff) while the window is minimised and a status
// request hangs: the settings are saved with the edges the window had before
// it was minimised, and the poll given up logs nothing.
TEST_F(KovunExeTest, SessionEndDuringAStalledPollSavesQuietly) {
  Control("fault?path=/status/arvel/status.txt&kind=stall&seconds=60");
  WriteSettings();
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitFor([&] { return Control("info").find("\"stalled\": 0") == std::string::npos; }));
  SetWindowPos(window, nullptr, 300, 140, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(WaitFor([&] { return IsIconic(window) != FALSE; }));
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &result);
  EXPECT_EQ(result, static_cast<DWORD_PTR>(TRUE));
  SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 5000, &result);
  const std::string saved = Settings();
  EXPECT_NE(saved.find("[Window]\r\nLeft=300\r\nTop=140\r\n"), std::string::npos) << saved;
  // Whatever the abandoned request would have reported has arrived by now.
  Sleep(1000);
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
  EXPECT_EQ(ReadFile(folder_ + L"kovun_error.txt"), "");
  ASSERT_TRUE(CloseAndWait(window));
  EXPECT_EQ(ReadFile(folder_ + L"kovun_error.txt"), "");
}

// A second copy runs its start-up to the end and goes, leaving the settings
// file alone.
TEST_F(KovunExeTest, SecondCopyEndsAndSavesNothing) {
  WriteSettings();
  HWND first = StartWindow();
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(WaitPolled(first));
  const std::string before = Settings();
  const int requests = StatusRequests();
  const PROCESS_INFORMATION second = Start();
  ASSERT_EQ(WaitForSingleObject(second.hProcess, 15000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(second.hProcess, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_GT(StatusRequests(), requests);  // its own first poll
  EXPECT_EQ(Settings(), before);
  ASSERT_TRUE(CloseAndWait(first));
}

// Where a map-server hotkey opens its menu with the window shown: the
// panel's place in the client area + the window's corner + the frame
// (window size - client size).
POINT HotkeyMenuPlace(HWND window, int panel_id) {
  RECT outer, client, panel;
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  GetWindowRect(GetDlgItem(window, panel_id), &panel);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&panel), 2);
  return POINT{panel.left + outer.left + (outer.right - outer.left) - client.right,
               panel.top + outer.top + (outer.bottom - outer.top) - client.bottom};
}

// A map-server hotkey opens that server's menu at its panel, one menu at a
// time, and at the pointer while the window is minimised; the refresh hotkey
// polls again. (Wine grabs real hotkeys only while its window is active: the
// test posts what the desktop would.)
TEST_F(KovunExeTest, HotkeysOpenTheMapMenuAtItsPanelAndRefresh) {
  CreateDirectoryW((folder_ + L"Zoneroll").c_str(), nullptr);
  WriteFile(folder_ + L"Zoneroll\\arvel.ini",
            "[GameServer03]\r\nm1=A & B\r\nm2=b\r\nm3=c\r\nm4=d\r\nm5=e\r\nm6=f\r\nm7=g\r\n"
            "[GameServer05]\r\nx=y\r\n");
  WriteSettings("[Option]\r\nPopupBreak=3\r\n");
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window));
  const std::vector<HWND> receivers = TopWindows(pid_, L"TolHookHotKeyReceiver");
  ASSERT_EQ(receivers.size(), 2u);
  const auto hotkey = [&](WPARAM index) {
    for (HWND r : receivers) PostMessageW(r, WM_HOTKEY, index, 0);
  };
  const auto menus = [&] {
    std::vector<HWND> shown;
    for (HWND w : TopWindows(pid_, L"#32768")) {
      if (IsWindowVisible(w)) shown.push_back(w);
    }
    return shown;
  };
  const auto close_menu = [&] {
    PostMessageW(window, WM_CANCELMODE, 0, 0);
    return WaitFor([&] { return menus().empty(); });
  };
  // The window moved after its start: the menu follows it.
  SetWindowPos(window, nullptr, 150, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  hotkey(3);
  ASSERT_TRUE(WaitFor([&] { return menus().size() == 1; }));
  HWND menu = menus()[0];
  RECT popup;
  GetWindowRect(menu, &popup);
  const POINT expected = HotkeyMenuPlace(window, 107);
  EXPECT_EQ(popup.left, expected.x);
  EXPECT_EQ(popup.top, expected.y);
  // Three columns of entries side by side: wider than tall per entry row.
  EXPECT_GT(popup.right - popup.left, 2 * (popup.bottom - popup.top) / 3);

  // More hotkeys while it is open open nothing more, and a poll that
  // finishes meanwhile leaves it as it is; the new entries come with the
  // next opening.
  hotkey(5);
  hotkey(3);
  WriteFile(folder_ + L"Zoneroll\\arvel.ini",
            "[GameServer03]\r\nm1=A\r\nm2=b\r\nm3=c\r\nm4=d\r\nm5=e\r\nm6=f\r\nm7=g\r\n"
            "m8=h\r\nm9=i\r\nm10=j\r\n");
  const int requests = StatusRequests();
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(100, STN_DBLCLK),
               reinterpret_cast<LPARAM>(GetDlgItem(window, 100)));  // Label1DblClick
  ASSERT_TRUE(WaitFor([&] { return StatusRequests() > requests; }));
  ASSERT_TRUE(WaitPolled(window));
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
  EXPECT_EQ(menus(), std::vector<HWND>{menu});
  RECT still;
  GetWindowRect(menu, &still);
  EXPECT_TRUE(EqualRect(&still, &popup));
  ASSERT_TRUE(close_menu());
  hotkey(3);
  ASSERT_TRUE(WaitFor([&] { return menus().size() == 1; }));
  RECT rebuilt;
  GetWindowRect(menus()[0], &rebuilt);
  EXPECT_GT(rebuilt.right - rebuilt.left, popup.right - popup.left);  // a fourth column
  ASSERT_TRUE(close_menu());

  // Minimised, the window's rectangle is far off the screen: the pointer
  // stands in for the panel.
  PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(WaitFor([&] { return IsIconic(window) != FALSE; }));
  SetCursorPos(400, 500);
  hotkey(3);
  ASSERT_TRUE(WaitFor([&] { return menus().size() == 1; }));
  GetWindowRect(menus()[0], &popup);
  EXPECT_EQ(popup.left, 400);
  EXPECT_EQ(popup.top, 500);
  ASSERT_TRUE(close_menu());
  SetCursorPos(0, 0);

  const int before_refresh = StatusRequests();
  hotkey(1);
  EXPECT_TRUE(WaitFor([&] { return StatusRequests() > before_refresh; }));
  ASSERT_TRUE(CloseAndWait(window));
}

// The version entry opens the settings dialog on its one page; Cancel
// changes nothing, and the countdown goes on.
TEST_F(KovunExeTest, VersionEntryOpensTheDialog) {
  WriteSettings();
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window));
  const std::string before = Settings();
  PostMessageW(window, WM_COMMAND, kAbout1Command, 0);
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    EnumWindows(
        [](HWND w, LPARAM found) -> BOOL {
          if (IsWindowVisible(w) && TextOf(w) == L"Kovun設定") *reinterpret_cast<HWND*>(found) = w;
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&dialog));
    return dialog != nullptr;
  }));
  HWND tabs = FindWindowExW(dialog, nullptr, WC_TABCONTROLW, nullptr);
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 1);
  HWND cancel = FindWindowExW(dialog, nullptr, L"Button", L"Cancel");
  ASSERT_NE(cancel, nullptr);
  PostMessageW(cancel, BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(dialog); }));
  const std::wstring caption = TextOf(window);
  EXPECT_TRUE(WaitFor([&] { return TextOf(window) != caption; }, milliseconds(3000)));
  EXPECT_EQ(Settings(), before);
  ASSERT_TRUE(CloseAndWait(window));
}

// Tray mode: minimising hides the taskbar entry and puts the icon up, a
// double click on the icon brings the window back; the mode is saved.
TEST_F(KovunExeTest, TrayModeMinimisesIntoTheIconAndRestores) {
  WriteSettings();
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window));
  PostMessageW(window, WM_COMMAND, kN4Command, 0);
  // The icon is there while the application is minimised.
  PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window); }));
  HWND icon = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    const std::vector<HWND> found = TopWindows(pid_, L"TaskTrayHandle");
    icon = found.empty() ? nullptr : found[0];
    return icon != nullptr;
  }));
  for (LPARAM mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}) {
    PostMessageW(icon, kTrayCallback, 1, mouse);
  }
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) && !IsIconic(window); }));
  ASSERT_TRUE(CloseAndWait(window));
  EXPECT_NE(Settings().find("TaskTray=1\r\n"), std::string::npos);
}

// With alerts on, the icon stays in the notification area with tray mode
// off (the balloons come from it), and the history entry opens a window
// whose newest column shows each poll in its state's colour.
TEST_F(KovunExeTest, AlertsKeepTheIconAndTheHistoryShowsEachPoll) {
  auto status = [&](const char* map3) {
    Control("content?path=/status/arvel/status.txt&body=" +
            Escape(std::string("LoginServer,Good,2,2,10\r\nGameServer03,") + map3 + ",2,2,10\r\n"));
  };
  status("Good");
  WriteSettings("[Alert]\r\nEnabled=1\r\nServers=3\r\nDown=1\r\n");
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window));
  EXPECT_TRUE(WaitFor([&] { return !TopWindows(pid_, L"TaskTrayHandle").empty(); }));

  status("Down,0,2,1000");
  HWND label = GetDlgItem(window, 100);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(100, STN_DBLCLK), reinterpret_cast<LPARAM>(label));
  HWND map3 = GetDlgItem(window, 107);
  ASSERT_TRUE(WaitFor([&] { return ScreenColor(map3) == 0x00CFCFFF; }));

  PostMessageW(window, WM_COMMAND, kHistoryCommand, 0);
  HWND history = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    for (HWND w : TopWindows(pid_, L"TKovunHistory")) {
      if (IsWindowVisible(w)) history = w;
    }
    return history != nullptr;
  }));
  EXPECT_EQ(TextOf(history), L"履歴");
  // Row 7 (map server 3) of 16-pixel rows; 4-pixel columns, newest at the
  // right: Down ($00CFCFFF) after Good ($00CFFFCF).
  RECT client;
  GetClientRect(history, &client);
  POINT newest{client.right - 2, 6 * 16 + 8};
  ClientToScreen(history, &newest);
  EXPECT_TRUE(WaitFor([&] { return ScreenAt(newest) == 0x00CFCFFF; }, milliseconds(5000)))
      << std::hex << ScreenAt(newest);
  EXPECT_EQ(ScreenAt(POINT{newest.x - 4, newest.y}), 0x00CFFFCFu);
  // Closing the history leaves the strip running.
  PostMessageW(history, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(history); }));
  EXPECT_TRUE(IsWindowVisible(window));
  // Wine's notification area, without a window manager under Xvfb, holds
  // the removal of its last icon (this one, at the close) for seconds.
  ASSERT_TRUE(CloseAndWait(window, milliseconds(15000)));
}

// [Notify]: an alert reaches the webhook stand-in as a Discord message, and
// "通知のテスト" sends one more; neither holds up the window.
TEST_F(KovunExeTest, AlertGoesToTheWebhookAndTheTestEntrySendsOne) {
  auto status = [&](const char* map3) {
    Control("content?path=/status/arvel/status.txt&body=" +
            Escape(std::string("LoginServer,Good,2,2,10\r\nGameServer03,") + map3 + ",2,2,10\r\n"));
  };
  status("Good");
  Control("hook/clear");
  WriteSettings("[Alert]\r\nEnabled=1\r\nServers=3\r\nDown=1\r\n[Notify]\r\nWebhook=" +
                Url("/_hook/api/webhooks/5/SecretToken") + "\r\nFormat=discord\r\n");
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window));
  status("Down,0,2,1000");
  HWND label = GetDlgItem(window, 100);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(100, STN_DBLCLK), reinterpret_cast<LPARAM>(label));
  std::string hooks;
  EXPECT_TRUE(WaitFor([&] {
    hooks = Control("hook/requests");
    return hooks.find("Arvel 3: 停止") != std::string::npos;
  })) << hooks;
  EXPECT_NE(hooks.find("allowed_mentions"), std::string::npos);
  EXPECT_NE(hooks.find("application/json; charset=utf-8"), std::string::npos);

  PostMessageW(window, WM_COMMAND, kNotifyTestCommand, 0);
  EXPECT_TRUE(WaitFor([&] {
    hooks = Control("hook/requests");
    return hooks.find("通知のテスト") != std::string::npos;
  })) << hooks;
  EXPECT_EQ(ReadFile(folder_ + L"kovun_error.txt").find("SecretToken"), std::string::npos);
  ASSERT_TRUE(CloseAndWait(window, milliseconds(15000)));
}

// The history window of the process, once it shows.
HWND WaitForHistory(DWORD pid) {
  HWND history = nullptr;
  WaitFor([&] {
    for (HWND w : TopWindows(pid, L"TKovunHistory")) {
      if (IsWindowVisible(w)) history = w;
    }
    return history != nullptr;
  });
  return history;
}

// The history file of an earlier run is read back at the next start: its
// polls stand left of the new one in the history window.
TEST_F(KovunExeTest, HistoryOfAnEarlierRunShowsAfterARestart) {
  auto status = [&](const char* map3) {
    Control("content?path=/status/arvel/status.txt&body=" +
            Escape(std::string("LoginServer,Good,2,2,10\r\nGameServer03,") + map3 + ",2,2,10\r\n"));
  };
  const std::string settings =
      "[Alert]\r\nEnabled=1\r\nServers=3\r\n[History]\r\nFile=history.csv\r\n";
  status("Down,0,2,1000");
  WriteSettings(settings);
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window));
  ASSERT_TRUE(CloseAndWait(window, milliseconds(15000)));

  status("Good");
  WriteSettings(settings);
  window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window));
  PostMessageW(window, WM_COMMAND, kHistoryCommand, 0);
  HWND history = WaitForHistory(pid_);
  ASSERT_NE(history, nullptr);
  // Row 7 (map server 3) of 16-pixel rows, 4-pixel columns: this run's Good
  // ($00CFFFCF) at the right, the earlier run's Down ($00CFCFFF) before it.
  RECT client;
  GetClientRect(history, &client);
  POINT newest{client.right - 2, 6 * 16 + 8};
  ClientToScreen(history, &newest);
  EXPECT_TRUE(WaitFor(
      [&] {
        return ScreenAt(newest) == 0x00CFFFCF &&
               ScreenAt(POINT{newest.x - 4, newest.y}) == 0x00CFCFFF;
      },
      milliseconds(5000)))
      << std::hex << ScreenAt(newest) << " " << ScreenAt(POINT{newest.x - 4, newest.y});
  PostMessageW(history, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(history); }));
  ASSERT_TRUE(CloseAndWait(window, milliseconds(15000)));
}

// The history window opens whole on the work area: above a strip at the
// bottom edge, and from a strip minimised into the notification area; it
// reopens where the player left it.
TEST_F(KovunExeTest, HistoryWindowOpensOnTheScreen) {
  WriteSettings("[Alert]\r\nEnabled=1\r\n");
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window));
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT strip;
  GetWindowRect(window, &strip);
  SetWindowPos(window, nullptr, work.left + 100, work.bottom - (strip.bottom - strip.top), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  GetWindowRect(window, &strip);
  ASSERT_EQ(strip.bottom, work.bottom);
  auto on_work_area = [&](const RECT& r) {
    return r.left >= work.left && r.top >= work.top && r.right <= work.right &&
           r.bottom <= work.bottom && r.right > r.left && r.bottom > r.top;
  };

  PostMessageW(window, WM_COMMAND, kHistoryCommand, 0);
  HWND history = WaitForHistory(pid_);
  ASSERT_NE(history, nullptr);
  RECT rect;
  GetWindowRect(history, &rect);
  EXPECT_TRUE(on_work_area(rect)) << rect.left << "," << rect.top << "," << rect.right << ","
                                  << rect.bottom;
  EXPECT_EQ(rect.bottom, strip.top) << "right above the strip";
  EXPECT_EQ(rect.left, strip.left);

  // Moved and resized by the player, closed, opened again: as it was left.
  SetWindowPos(history, nullptr, work.left + 40, work.top + 30, 500, 300,
               SWP_NOZORDER | SWP_NOACTIVATE);
  PostMessageW(history, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(history); }));
  PostMessageW(window, WM_COMMAND, kHistoryCommand, 0);
  history = WaitForHistory(pid_);
  ASSERT_NE(history, nullptr);
  GetWindowRect(history, &rect);
  EXPECT_EQ(rect.left, work.left + 40);
  EXPECT_EQ(rect.top, work.top + 30);
  EXPECT_EQ(rect.right - rect.left, 500);
  EXPECT_EQ(rect.bottom - rect.top, 300);
  PostMessageW(history, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(history); }));
  ASSERT_TRUE(CloseAndWait(window, milliseconds(15000)));

  // Tray mode, minimised into the notification area: the strip has no place
  // on the screen, the window opens on the work area all the same.
  WriteSettings("[Alert]\r\nEnabled=1\r\n[Option]\r\nTaskTray=1\r\n");
  window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window));
  PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window); }));
  PostMessageW(window, WM_COMMAND, kHistoryCommand, 0);
  history = WaitForHistory(pid_);
  ASSERT_NE(history, nullptr);
  GetWindowRect(history, &rect);
  EXPECT_TRUE(on_work_area(rect)) << rect.left << "," << rect.top << "," << rect.right << ","
                                  << rect.bottom;
  ASSERT_TRUE(CloseAndWait(window, milliseconds(15000)));
}

// A port that was free a moment ago, and a raw connection to it.
int FreeLoopbackPort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int n = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  closesocket(s);
  return ntohs(a.sin_port);
}

// Reads from `s` until `until` has come (or 15 s pass); all that came.
std::string ReadUntil(SOCKET s, std::string& received, const std::string& until) {
  const auto end = Clock::now() + milliseconds(15000);
  while (received.find(until) == std::string::npos && Clock::now() < end) {
    WSAPOLLFD p{s, POLLRDNORM, 0};
    if (WSAPoll(&p, 1, 500) <= 0) continue;
    char chunk[4096];
    const int n = recv(s, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    received.append(chunk, n);
  }
  return received;
}

// [Serve] Port: kovun.exe serves the same status and event stream as the
// terminal monitor, on 127.0.0.1 through Winsock.
TEST_F(KovunExeTest, ServesStatusAndEvents) {
  WSADATA wsa;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  auto status = [&](const char* map3) {
    Control("content?path=/status/arvel/status.txt&body=" +
            Escape(std::string("LoginServer,Good,2,2,10\r\nGameServer03,") + map3 + "\r\n"));
  };
  status("Good,2,2,10");
  const int serve_port = FreeLoopbackPort();
  WriteSettings("[Alert]\r\nEnabled=1\r\nServers=3\r\nDown=1\r\n[Serve]\r\nPort=" +
                std::to_string(serve_port) + "\r\n");
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window));
  const std::string base = "http://127.0.0.1:" + std::to_string(serve_port);
  std::string json;
  ASSERT_TRUE(WaitFor([&] {
    try {
      json = control_->Get(base + "/status.json");
    } catch (const std::exception&) {
      return false;
    }
    return json.find("\"panels\"") != std::string::npos;
  }));
  EXPECT_NE(json.find("\"world\":\"Arvel\""), std::string::npos) << json;
  EXPECT_NE(json.find("{\"slot\":7,\"caption\":\"3\",\"color\":\"$009FCF9F\",\"rgb\":\"#9FCF9F\""),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"alerts\":[]"), std::string::npos) << json;

  SOCKET events = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(serve_port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(events, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  const std::string request =
      "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(serve_port) + "\r\n\r\n";
  send(events, request.data(), static_cast<int>(request.size()), 0);
  std::string received;
  EXPECT_NE(ReadUntil(events, received, "event: poll\n").find("text/event-stream"),
            std::string::npos);
  status("Down,0,2,1000");
  HWND label = GetDlgItem(window, 100);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(100, STN_DBLCLK), reinterpret_cast<LPARAM>(label));
  ReadUntil(events, received, "\"to\":\"down\"");
  EXPECT_NE(received.find("event: alert\ndata: {\"event\":\"alert\""), std::string::npos)
      << received;
  EXPECT_NE(received.find("\"server\":\"3\",\"from\":\"up\",\"to\":\"down\""), std::string::npos);

  // Closing the window ends the stream too.
  ASSERT_TRUE(CloseAndWait(window, milliseconds(15000)));
  std::string rest;
  ReadUntil(events, rest, std::string("\0never", 6));
  closesocket(events);
  WSACleanup();
}

// The names in `folder` (ending in "\\"), sorted.
std::vector<std::wstring> NamesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  const HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

// kovun.exe kept in a folder whose name code page 932 can't spell: it reads
// its kovun.ini there, logs there and saves there. (Wine would also find
// files by a narrowed name, its "?" matching any character; Windows would
// not, so the names are checked beside the program too.)
TEST_F(KovunExeTest, FolderCodePage932CantSpellHoldsItsFiles) {
  const std::wstring home = folder_ + L"Zo\u00EB \uD55C\\";
  ASSERT_TRUE(CreateDirectoryW(home.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW((folder_ + L"kovun.exe").c_str(), (home + L"kovun.exe").c_str(), FALSE));
  const std::wstring outside = folder_;
  folder_ = home;
  Control("content?path=/status/arvel/status.txt&body=" +
          Escape("LoginServer,Good,1,2,1000\r\nGameServer03,Down,0,2,1000\r\n"));
  // An export into a folder that doesn't exist: a failure for the error log.
  WriteSettings("[status.txt]\r\nEnabled=1\r\nPath=C:\\kovun-missing-folder\\\r\n");
  HWND window = StartWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitPolled(window)) << "caption";
  EXPECT_NE(TextOf(window).find(L"( Average : 666 )"), std::wstring::npos);
  EXPECT_TRUE(WaitFor([&] {
    return ReadFile(home + L"kovun_error.txt").find("EFCreateError") != std::string::npos;
  })) << "error log";
  ASSERT_TRUE(CloseAndWait(window));
  EXPECT_NE(Settings().find("Default=Arvel\r\n"), std::string::npos) << Settings();

  // Nothing went anywhere else.
  EXPECT_EQ(NamesIn(outside), (std::vector<std::wstring>{L"Zo\u00EB \uD55C", L"kovun.exe"}));
  EXPECT_EQ(NamesIn(home),
            (std::vector<std::wstring>{L"kovun.exe", L"kovun.ini", L"kovun_error.txt"}));
}

}  // namespace
}  // namespace tol
