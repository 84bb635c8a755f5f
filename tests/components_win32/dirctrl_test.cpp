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

  bool Run(std::string_view initial_dir, std::string& folder) {
    current = this;
    const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, &Watch, nullptr, GetCurrentThreadId());
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, &Tick);
    const bool result = BrowseForFolder(Narrow(kTitle), initial_dir, folder);
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

// Folders made under the temporary folder; the base first, so that it is made
// first and removed last.
const wchar_t* const kFolders[] = {L"", L"\\Folder A", L"\\出力先", L"\\café"};

class BrowseForFolderTest : public ::testing::Test {
 protected:
  // Wine quirk: the first folder browser of a process now and then opens
  // without the folder it was asked to select. One browser, cancelled, first.
  static void SetUpTestSuite() {
    DialogDriver driver;
    driver.confirm = false;
    std::string folder;
    driver.Run("C:\\", folder);
  }

  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    base_ = std::wstring(temp) + L"tol_browse_test";
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
    std::wstring select;
    bool confirm;
    bool result;
    std::wstring folder;  // also what the status line shows, when it is set
    int selections_sent;
  };
  const std::wstring a = base_ + L"\\Folder A";
  const std::wstring japanese = base_ + L"\\出力先";
  const Case cases[] = {
      {"folder", a, L"", true, true, a, 1},
      {"Japanese name", japanese, L"", true, true, japanese, 1},
      {"drive root", L"C:\\", L"", true, true, L"C:\\", 1},
      {"cancelled", a, L"", false, false, L"", 1},
      // No path this program can spell: not a choice it can use.
      {"name outside code page 932", a, base_ + L"\\café", true, false, L"", 1},
      {"one character", L"C", L"", false, false, L"", 0},
  };
  for (const Case& c : cases) {
    DialogDriver driver;
    driver.confirm = c.confirm;
    driver.select = c.select;
    std::string folder = "earlier text";
    const std::string initial_dir = Narrow(c.initial_dir);
    EXPECT_EQ(driver.Run(initial_dir, folder), c.result) << c.name;
    ASSERT_TRUE(driver.seen) << c.name;
    EXPECT_EQ(folder, Narrow(c.folder)) << c.name;
    EXPECT_EQ(driver.selections_sent, c.selections_sent) << c.name;
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
  std::string folder;
  EXPECT_TRUE(driver.Run(Narrow(base_), folder));
  ASSERT_TRUE(driver.seen);
  EXPECT_EQ(driver.enabled_while_open, (std::vector<bool>{false, false, false, true}));
  std::vector<bool> enabled_after;
  for (const HWND window : windows) enabled_after.push_back(IsWindowEnabled(window) != FALSE);
  EXPECT_EQ(enabled_after, (std::vector<bool>{true, true, false, true}));
  EXPECT_EQ(GetActiveWindow(), active.handle);
}

}  // namespace
}  // namespace tol
