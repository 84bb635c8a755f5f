// kovun.exe: the status monitor's Windows program.

#include <windows.h>
// clang-format off
#include <commctrl.h>
// clang-format on

#include <exception>
#include <memory>
#include <string>

#include "components/win32/application.h"
#include "monitor/win32/kovun_form.h"
#include "monitor/win32/settings_dialog.h"
#include "shared/codepage.h"

namespace {

// The program's own path, as the system gives it: never narrowed to code
// page 932, so a folder named in any script still names kovun.ini.
tol::FilePath ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return tol::FilePath::FromSystem(tol::PathString(path.begin(), path.end()));
    }
    path.resize(path.size() * 2);
  }
}

int Run(int show) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);

  tol::Application application;
  application.SetTitle("Kovun");

  // kovun.ini beside the program: its path with the extension replaced.
  const tol::FilePath exe = ExecutablePath();

  // The window's creation runs the start-up sequence, first poll included.
  tol::TKovunForm form(application, exe.WithoutExtension().Join(".ini"), exe);
  std::unique_ptr<tol::TForm2> dialog;
  if (!form.second_copy()) {
    dialog = std::make_unique<tol::TForm2>(application, form.handle());
    form.set_settings_dialog(dialog.get());
    ShowWindow(form.handle(), show);
  }
  // A second copy finds a quit request here once its first poll is over.
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  form.set_settings_dialog(nullptr);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  try {
    return Run(show);
  } catch (const std::exception& failure) {
    // Only the main window's creation can get here: there is no window to
    // go on with.
    const std::u16string text = tol::Cp932ToUtf16(failure.what());
    MessageBoxW(nullptr, std::wstring(text.begin(), text.end()).c_str(), L"Kovun",
                MB_OK | MB_ICONERROR);
  }
  return 1;
}
