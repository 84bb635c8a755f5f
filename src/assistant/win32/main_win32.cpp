// Zoneroll.exe: the assistant's window program.
//
// Sets the application title, creates the window (which loads its settings
// from Zoneroll.ini in the working directory), shows it and runs the message
// loop until the window closes. The map-list service is [Zoneroll.exe] Host of
// that file (read only; the service's own host when it is missing).

#include <windows.h>
// After <windows.h>, which it needs.
#include <commctrl.h>

#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "assistant/assistant_settings.h"
#include "assistant/fetch_run.h"
#include "assistant/win32/zoneroll_form.h"
#include "components/win32/application.h"
#include "net/http_client.h"
#include "shared/clock.h"
#include "shared/codepage.h"
#include "shared/file_path.h"

namespace tol {
namespace {

std::wstring Wide(std::string_view cp932) {
  const std::u16string wide = Cp932ToUtf16(cp932);
  return std::wstring(wide.begin(), wide.end());
}

// The folder of this executable with a trailing "\", as code page 932 text
// for the output folder's edit: a folder that code page 932 can't spell is
// given by its short name when it has one that it can (FilePath::ExactText);
// nullopt when it has neither or the system doesn't tell.
std::optional<std::string> ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::nullopt;
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // cut short: try a larger buffer
  }
  const FilePath folder = FilePath::FromSystem(PathString(path.begin(), path.end())).Folder();
  return folder.ExactText();
}

void ShowFailure(const Application& application, std::exception_ptr failure) {
  std::string message = "Unknown failure.";
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
  }
  const HWND owner = application.main_window();
  MessageBoxW(owner != nullptr && IsWindow(owner) ? owner : nullptr,
              Wide(ErrorBoxText(message)).c_str(), application.title().c_str(),
              MB_OK | MB_ICONERROR);
}

int Run(int show_command) {
  Application application;
  application.SetTitle(kApplicationTitle);
  try {
    // The themed controls of the version 6 common controls (the manifest
    // asks for them).
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    std::unique_ptr<HttpClient> http = CreateHttpClient(SystemClock());
    http->SetProfile(AssistantRequestProfile());
    TForm1 form(application, *http, SystemClock(), ProgramFolder());
    application.set_main_window(form.handle());
    application.set_failure_handler(
        [&application](std::exception_ptr failure) { ShowFailure(application, failure); });
    form.Show(show_command);

    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0 && got != -1) {
      // Tab and the arrow keys move between the controls.
      const HWND window = form.handle();
      if (window != nullptr && IsDialogMessageW(window, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    application.set_main_window(nullptr);
    return got == -1 ? 1 : static_cast<int>(message.wParam);
  } catch (...) {
    ShowFailure(application, std::current_exception());
    return 1;
  }
}

}  // namespace
}  // namespace tol

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command) {
  return tol::Run(show_command);
}
