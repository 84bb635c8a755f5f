#pragma once
// TKovunForm: the monitor's main window. It owns the monitor core and its
// ports on Windows (WinHTTP, the window's own timers, a worker thread for the
// network steps of a poll), draws the core's model (world label, nineteen
// panels with their colours and hints, caption, menus) and turns the user's
// input into the core's operations. No rule of the monitor lives here.
//
// Layout, snapping and the off-screen correction come from monitor/geometry.h;
// every size is scaled from 96 DPI to the window's DPI. Everything runs on
// the UI thread that created the window, except the network steps, which
// touch only the poll and the HTTP client and come back as a posted message.

#include <functional>
#include <memory>

#include "components/win32/application.h"
#include "monitor/alert_balloon.h"
#include "shared/file_path.h"

struct HWND__;  // HWND, without <windows.h>

namespace tol {

class HttpClient;
class TForm2;
class TTrayIcon;

// What the window reaches the system through, each replaceable for a test;
// an empty one is the system's own.
struct KovunFormPorts {
  std::unique_ptr<HttpClient> http;  // WinHTTP
  // SHQueryUserNotificationState: busy, a full-screen Direct3D program and
  // presentation mode hold alerts; quiet time lets the balloon go silently.
  std::function<NotificationState()> notification_state;
  std::function<void()> alert_beep;  // MessageBeep(MB_OK)
};

class TKovunForm {
 public:
  // Creates the window hidden and runs the start-up sequence (settings,
  // single-copy rule, layout, tray and hotkeys, first poll). `settings_path`
  // is kovun.ini beside the executable, `module_path` the executable's path
  // (the error log is named after it). Throws EOtherError when the desktop
  // refuses the window.
  TKovunForm(Application& application, const FilePath& settings_path, const FilePath& module_path,
             KovunFormPorts ports = {});
  ~TKovunForm();
  TKovunForm(const TKovunForm&) = delete;
  TKovunForm& operator=(const TKovunForm&) = delete;

  // The settings dialog, created by the program right after this window.
  void set_settings_dialog(TForm2* dialog);

  HWND__* handle() const;
  // Another copy runs: this one ends once its first poll is over, without
  // showing the window and without the close-time save.
  bool second_copy() const;
  // The notification-area icon, for tests.
  const TTrayIcon& tray_icon() const;
  // The history window's handle while it is open (null otherwise).
  HWND__* history_window() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tol
