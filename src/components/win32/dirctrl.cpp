#include "components/win32/dirctrl.h"

#include <windows.h>
// After <windows.h>, which they need.
#include <objbase.h>
#include <shlobj.h>

#include <cwchar>
#include <vector>

#include "shared/codepage.h"

namespace tol {
namespace {

std::wstring ToWide(std::string_view cp932) {
  const std::u16string wide = Cp932ToUtf16(cp932);
  return std::wstring(wide.begin(), wide.end());
}

// COM for the calling thread, as the shell's folder browser needs it: a
// single-threaded apartment, left again at the end when this call entered
// it. A thread already in the multithreaded apartment stays there (the
// classic browser, without BIF_NEWDIALOGSTYLE, still works).
class ComApartment {
 public:
  ComApartment() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (initialized_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialized_;
};

// The shell's allocator and the memory taken from it.
class ShellAllocator {
 public:
  ShellAllocator() {
    if (FAILED(SHGetMalloc(&malloc_))) malloc_ = nullptr;
  }
  ~ShellAllocator() {
    if (malloc_ != nullptr) malloc_->Release();
  }
  ShellAllocator(const ShellAllocator&) = delete;
  ShellAllocator& operator=(const ShellAllocator&) = delete;

  bool available() const { return malloc_ != nullptr; }
  void* Alloc(std::size_t bytes) { return malloc_->Alloc(bytes); }
  void Free(void* block) {
    if (block != nullptr) malloc_->Free(block);
  }

 private:
  IMalloc* malloc_ = nullptr;
};

// Memory from the shell's allocator, given back at the end of the scope.
class ShellBlock {
 public:
  ShellBlock(ShellAllocator& allocator, void* block) : allocator_(allocator), block_(block) {}
  ~ShellBlock() { allocator_.Free(block_); }
  ShellBlock(const ShellBlock&) = delete;
  ShellBlock& operator=(const ShellBlock&) = delete;

 private:
  ShellAllocator& allocator_;
  void* block_;
};

// Disables the application's visible, enabled top-level windows (this
// process's, on any thread) and enables exactly those again when it ends.
class DisabledTaskWindows {
 public:
  DisabledTaskWindows() {
    EnumWindows(&Collect, reinterpret_cast<LPARAM>(&windows_));
    for (const HWND window : windows_) EnableWindow(window, FALSE);
  }
  ~DisabledTaskWindows() {
    for (const HWND window : windows_) {
      if (IsWindow(window)) EnableWindow(window, TRUE);
    }
  }
  DisabledTaskWindows(const DisabledTaskWindows&) = delete;
  DisabledTaskWindows& operator=(const DisabledTaskWindows&) = delete;

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM list) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && IsWindowEnabled(window)) {
      // Nothing may be thrown through the desktop's enumeration; out of
      // memory, the windows found so far are the ones disabled.
      try {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
      } catch (...) {
        return FALSE;
      }
    }
    return TRUE;
  }

  std::vector<HWND> windows_;
};

// The path of `item`, empty when it has none. The W functions count
// wchar_t: a buffer of MAX_PATH + 1 of them holds any path they return.
std::wstring PathOf(PCIDLIST_ABSOLUTE item) {
  wchar_t path[MAX_PATH + 1] = {};
  if (!SHGetPathFromIDListW(item, path)) return {};
  path[MAX_PATH] = L'\0';
  return path;
}

// What the dialog's events work with: the folder to open on, and the path of
// the dialog's current selection.
struct BrowseState {
  std::wstring initial_dir;
  wchar_t selected[MAX_PATH + 1] = {};
};

// Whether `path` names `folder`: case aside, and trailing separators aside
// except for a drive root ("C:\").
bool SameFolder(const wchar_t* path, const std::wstring& folder) {
  std::size_t length = folder.size();
  while (length > 3 && (folder[length - 1] == L'\\' || folder[length - 1] == L'/')) --length;
  // `path` holds at most MAX_PATH characters, so equal lengths fit an int.
  return wcslen(path) == length &&
         CompareStringOrdinal(path, static_cast<int>(length), folder.data(),
                              static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

// How often, at most, the dialog is asked to select the starting folder.
// Wine's browser finds it by comparing the item IDs of the folders on its path
// with those of its tree, and these IDs hold each folder's times, the last
// access too. A folder on the path that was written to since it was last read
// gets a new access time when the first request reads it, and the tree, filled
// after that, no longer matches: the request leaves the Desktop selected. The
// next request sees the times as they now stay. A folder that isn't there
// costs no more than the repeated requests.
constexpr int kSelectionRequests = 3;

// The dialog's events. Never throws: it runs inside the shell's dialog.
int CALLBACK BrowseCallback(HWND dialog, UINT event, LPARAM parameter, LPARAM data) noexcept {
  auto* state = reinterpret_cast<BrowseState*>(data);
  switch (event) {
    case BFFM_INITIALIZED: {
      // Open on the starting folder; one character or none is no folder.
      if (state->initial_dir.size() > 1) {
        for (int request = 0;
             request < kSelectionRequests && !SameFolder(state->selected, state->initial_dir);
             ++request) {
          SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE,
                       reinterpret_cast<LPARAM>(state->initial_dir.c_str()));
        }
      }
      break;
    }
    case BFFM_SELCHANGED: {
      // The full path of the selection on the status line (empty for an
      // item without one, such as "My Computer").
      wchar_t* path = state->selected;
      if (!SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(parameter), path)) {
        path[0] = L'\0';
      }
      path[MAX_PATH] = L'\0';
      SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
      break;
    }
    default:
      break;
  }
  return 0;
}

}  // namespace

bool BrowseForFolder(std::string_view title_cp932, const FilePath& initial_dir, FilePath& folder) {
  folder = FilePath();
  const ComApartment apartment;
  ShellAllocator allocator;
  if (!allocator.available()) return false;
  // The display name of the chosen item lands here: MAX_PATH wchar_t.
  auto* display_name = static_cast<wchar_t*>(allocator.Alloc(MAX_PATH * sizeof(wchar_t)));
  if (display_name == nullptr) return false;
  const ShellBlock display_name_block(allocator, display_name);
  display_name[0] = L'\0';

  const std::wstring title = ToWide(title_cp932);
  BrowseState state;
  state.initial_dir.assign(initial_dir.system().begin(), initial_dir.system().end());
  BROWSEINFOW request{};
  request.hwndOwner = GetActiveWindow();
  request.pidlRoot = nullptr;  // the desktop
  request.pszDisplayName = display_name;
  request.lpszTitle = title.c_str();
  request.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
  request.lpfn = &BrowseCallback;
  request.lParam = reinterpret_cast<LPARAM>(&state);

  PIDLIST_ABSOLUTE chosen = nullptr;
  {
    const DisabledTaskWindows disabled;
    chosen = SHBrowseForFolderW(&request);
  }
  // The owner was disabled while the dialog closed, so the desktop may have
  // activated some other program's window: give the activation back.
  if (request.hwndOwner != nullptr && IsWindow(request.hwndOwner)) {
    SetActiveWindow(request.hwndOwner);
  }
  if (chosen == nullptr) return false;
  const ShellBlock chosen_block(allocator, chosen);

  // A folder whose path doesn't fit MAX_PATH has none: it counts as not
  // chosen.
  const std::wstring path = PathOf(chosen);
  if (path.empty()) return false;
  folder = FilePath::FromSystem(PathString(path.begin(), path.end()));
  return true;
}

}  // namespace tol
