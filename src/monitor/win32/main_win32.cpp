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

std::wstring ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string Cp932(const std::wstring& text) {
  return tol::Utf16ToCp932(std::u16string(text.begin(), text.end()));
}

int Run(int show) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);

  tol::Application application;
  application.SetTitle("Kovun");

  // kovun.ini beside the program: its path with the extension replaced.
  const std::wstring exe = ExecutablePath();
  const std::size_t slash = exe.find_last_of(L"\\/");
  const std::wstring name = exe.substr(slash == std::wstring::npos ? 0 : slash + 1);
  const std::size_t dot = name.rfind(L'.');
  const std::wstring stem = exe.substr(0, exe.size() - name.size()) +
                            (dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot));

  // The window's creation runs the start-up sequence, first poll included.
  tol::TKovunForm form(application, Cp932(stem + L".ini"), Cp932(name));
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
