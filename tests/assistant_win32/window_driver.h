#pragma once
// Drives a Windows program from a test program the way a user would, from
// outside its process: starts it in a working folder, finds its windows and
// dialogs, reads and sets their texts and presses their buttons through
// messages. Runs under Wine inside Xvfb.

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tol::testing {

// Bound for a broken build, not a timing condition.
inline constexpr auto kWindowBound = std::chrono::seconds(30);

// Polls `done` every few milliseconds until it holds or `bound` passes.
template <typename F>
bool WaitUntil(F done, std::chrono::milliseconds bound = kWindowBound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(5);
  }
  return true;
}

// A Unix path of the build as Wine shows it (drive Z: is the root).
std::wstring WinePath(const std::string& unix_path);

// The text of `window` of another process, through WM_GETTEXT; nullopt when
// the window doesn't answer within the bound.
std::optional<std::wstring> TextOf(HWND window);

// A child window as a test sees it.
struct ChildInfo {
  HWND window;
  std::wstring class_name;
  int id;
  LONG style;
  std::wstring text;
};
std::vector<ChildInfo> ChildrenOf(HWND parent);

// The place of `window` in its parent's client area.
RECT PlaceInParent(HWND window);

// One run of a program, in its own working folder.
class ProgramProcess {
 public:
  // Starts `exe` (a Windows path) with `cwd` as working folder; throws
  // std::runtime_error when it doesn't start.
  ProgramProcess(const std::wstring& exe, const std::wstring& cwd);
  ~ProgramProcess();  // ends the program if it is still running
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  // The first visible top-level window of the program of `class_name`
  // (L"#32770" for dialogs and message boxes), or null.
  HWND FindWindowOf(const wchar_t* class_name) const;
  // Waits up to `bound` for one.
  HWND WaitForWindow(const wchar_t* class_name,
                     std::chrono::milliseconds bound = kWindowBound) const;

  bool running() const;
  // Waits up to `bound` for the program to end: its exit code, or nullopt.
  std::optional<DWORD> WaitForExit(std::chrono::milliseconds bound = kWindowBound) const;

 private:
  PROCESS_INFORMATION info_{};
};

// SendMessageTimeout with the driver's bound; false when it timed out.
bool Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0,
          LRESULT* result = nullptr);

// The metrics of `font` on the screen.
TEXTMETRICW MetricsOf(HFONT font);

// Pixels of a screen rectangle as 0x00RRGGBB values, row by row.
std::vector<COLORREF> ScreenPixels(const RECT& rect);

}  // namespace tol::testing
