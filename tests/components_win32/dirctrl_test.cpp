#include "components/win32/dirctrl.h"

#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "components_win32/desktop_support.h"
#include "shared/codepage.h"

namespace tol {
namespace {

std::string Narrow(const std::wstring& wide) {
  return Utf16ToCp932(std::u16string(wide.begin(), wide.end()));
}

const std::wstring kTitle = L"出力先ディレクトリを選択";

// Works the folder browser from a thread timer, which its modal loop
// dispatches: records what the dialog shows and which of `watched` are
// enabled, then confirms or cancels.
struct DialogDriver {
  bool confirm = true;
  std::wstring select;  // a folder to choose in the dialog before confirming
  std::vector<HWND> watched;

  bool initialized = false;
  bool seen = false;
  std::vector<std::wstring> texts;
  std::vector<bool> enabled_while_open;
  int selections_sent = 0;

  static DialogDriver* current;

  static BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (IsWindowVisible(window) && std::wstring(name) == L"#32770") {
      *reinterpret_cast<HWND*>(found) = window;
      return FALSE;
    }
    return TRUE;
  }

  static BOOL CALLBACK CollectText(HWND child, LPARAM texts) {
    wchar_t text[MAX_PATH * 2] = {};
    GetWindowTextW(child, text, MAX_PATH * 2);
    reinterpret_cast<std::vector<std::wstring>*>(texts)->push_back(text);
    return TRUE;
  }

  static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
    if (current == nullptr || !current->initialized) return;
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr) return;
    KillTimer(nullptr, timer);
    current->seen = true;
    if (!current->select.empty()) {
      // The driver's own choice doesn't count as a preselection.
      const int sent = current->selections_sent;
      SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE,
                   reinterpret_cast<LPARAM>(current->select.c_str()));
      current->selections_sent = sent;
    }
    EnumChildWindows(dialog, &CollectText, reinterpret_cast<LPARAM>(&current->texts));
    for (const HWND window : current->watched) {
      current->enabled_while_open.push_back(IsWindowEnabled(window) != FALSE);
    }
    PostMessageW(dialog, WM_COMMAND, current->confirm ? IDOK : IDCANCEL, 0);
  }

  // Counts the requests to open the browser on a folder and sees the dialog's
  // initialisation end: Wine shows the dialog and dispatches messages (the
  // timer's too) while it is still filling it.
  static LRESULT CALLBACK Watch(int code, WPARAM wparam, LPARAM lparam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
    if (code == HC_ACTION && current != nullptr) {
      if (call->message == BFFM_SETSELECTIONW) ++current->selections_sent;
      if (call->message == WM_INITDIALOG) current->initialized = true;
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }

  bool Run(const std::wstring& initial_dir, std::wstring& folder) {
    current = this;
    const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, &Watch, nullptr, GetCurrentThreadId());
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, &Tick);
    FilePath chosen = FilePath::FromText("earlier choice");
    const bool result = BrowseForFolder(
        Narrow(kTitle), FilePath::FromSystem(PathString(initial_dir.begin(), initial_dir.end())),
        chosen);
    folder.assign(chosen.system().begin(), chosen.system().end());
    KillTimer(nullptr, timer);
    UnhookWindowsHookEx(hook);
    current = nullptr;
    return result;
  }

  bool Shows(const std::wstring& text) const {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  }
};
DialogDriver* DialogDriver::current = nullptr;

// Folders made for the tests; the base first, so that it is made first and
// removed last.
const wchar_t* const kFolders[] = {L"", L"\\Folder A", L"\\出力先", L"\\café"};

// Makes `folder` look written to since it was last read, as a folder is that
// has gained an entry since anyone listed it: its access time an hour before
// its last write. The next read gives it a new access time (on relatime and
// strictatime mounts).
void MarkUnreadSinceWritten(const std::wstring& folder) {
  const HANDLE handle = CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  FILETIME written{};
  EXPECT_TRUE(GetFileTime(handle, nullptr, nullptr, &written));
  ULARGE_INTEGER accessed{};
  accessed.LowPart = written.dwLowDateTime;
  accessed.HighPart = written.dwHighDateTime;
  accessed.QuadPart -= 36'000'000'000ULL;  // an hour in 100 ns units
  const FILETIME access_time{accessed.LowPart, accessed.HighPart};
  EXPECT_TRUE(SetFileTime(handle, nullptr, &access_time, nullptr));
  CloseHandle(handle);
}

class BrowseForFolderTest : public ::testing::Test {
 protected:
  // The base sits at the root of the system drive, not in the temporary
  // folder, which the test programs that run alongside keep writing to: Wine's
  // folder browser compares the folders on the starting folder's path by
  // their item IDs, times included, so a folder on the path that changes
  // while the browser opens can leave it on the Desktop. Only this test
  // writes to the base.
  void SetUp() override {
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 2u);
    base_ = std::wstring(windows, 3) + L"tol_browse_test";
    for (const wchar_t* name : kFolders) CreateDirectoryW((base_ + name).c_str(), nullptr);
  }
  void TearDown() override {
    for (auto it = std::rbegin(kFolders); it != std::rend(kFolders); ++it) {
      RemoveDirectoryW((base_ + *it).c_str());
    }
  }

  std::wstring base_;
};

TEST_F(BrowseForFolderTest, ReturnsTheConfirmedFolder) {
  struct Case {
    const char* name;
    std::wstring initial_dir;
    bool base_unread;  // the base written to since it was last read
    std::wstring select;
    bool confirm;
    bool result;
    std::wstring folder;  // also what the status line shows, when it is set
    bool preselects;
  };
  const std::wstring a = base_ + L"\\Folder A";
  const std::wstring japanese = base_ + L"\\出力先";
  const std::wstring cafe = base_ + L"\\café";
  const Case cases[] = {
      // Its parent written to since it was last read: Wine's browser, asked
      // once, stays on the Desktop.
      {"folder", a, true, L"", true, true, a, true},
      {"Japanese name", japanese, false, L"", true, true, japanese, true},
      {"drive root", L"C:\\", false, L"", true, true, L"C:\\", true},
      {"cancelled", a, false, L"", false, false, L"", true},
      // Names code page 932 can't spell go in and come out as they are.
      {"name outside code page 932", a, false, cafe, true, true, cafe, true},
      {"opened on a name outside code page 932", cafe, false, L"", true, true, cafe, true},
      {"one character", L"C", false, L"", false, false, L"", false},
  };
  for (const Case& c : cases) {
    if (c.base_unread) MarkUnreadSinceWritten(base_);
    DialogDriver driver;
    driver.confirm = c.confirm;
    driver.select = c.select;
    std::wstring folder;
    EXPECT_EQ(driver.Run(c.initial_dir, folder), c.result) << c.name;
    ASSERT_TRUE(driver.seen) << c.name;
    EXPECT_EQ(folder, c.folder) << c.name;
    EXPECT_EQ(driver.selections_sent > 0, c.preselects) << c.name;
    EXPECT_TRUE(driver.Shows(kTitle)) << c.name;
    if (c.result) {
      EXPECT_TRUE(driver.Shows(c.folder)) << c.name << ": status line";
    }
  }
}

TEST_F(BrowseForFolderTest, DisablesTheVisibleEnabledWindowsWhileOpen) {
  // Popups: Wine destroys shown popups without waiting for a window manager.
  TestWindow active(L"active", WS_POPUP);  // the browser's owner
  TestWindow other(L"other", WS_POPUP);
  TestWindow disabled(L"disabled", WS_POPUP);
  TestWindow hidden(L"hidden", WS_POPUP);
  for (const HWND window : {active.handle, other.handle, disabled.handle}) {
    ShowWindow(window, SW_SHOWNOACTIVATE);
  }
  EnableWindow(disabled.handle, FALSE);
  SetActiveWindow(active.handle);
  const std::vector<HWND> windows = {active.handle, other.handle, disabled.handle, hidden.handle};

  DialogDriver driver;
  driver.watched = windows;
  std::wstring folder;
  EXPECT_TRUE(driver.Run(base_, folder));
  ASSERT_TRUE(driver.seen);
  EXPECT_EQ(driver.enabled_while_open, (std::vector<bool>{false, false, false, true}));
  std::vector<bool> enabled_after;
  for (const HWND window : windows) enabled_after.push_back(IsWindowEnabled(window) != FALSE);
  EXPECT_EQ(enabled_after, (std::vector<bool>{true, true, false, true}));
  EXPECT_EQ(GetActiveWindow(), active.handle);
}

}  // namespace
}  // namespace tol
