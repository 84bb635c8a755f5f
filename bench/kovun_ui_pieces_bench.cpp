// What a poll with alerts and history costs kovun.exe's UI thread, piece by
// piece, in this process under Wine: the desktop's notification state, a
// balloon from the notification-area icon, the default beep, the balloon's
// text, and the history window taking a new poll (its update and paint)
// with a full 168-hour history, at the newest and scrolled back. Prints the
// mean and the worst of each; bench/kovun_responsiveness.sh shows the whole
// program's round trips.
//   cmake/wine-test.sh run build/windows build/windows/bench/kovun_ui_pieces_bench.exe

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "components/win32/application.h"
#include "components/win32/taskbar.h"
#include "monitor/alert_balloon.h"
#include "monitor/history.h"
#include "monitor/settings.h"
#include "monitor/win32/history_window.h"
#include "shared/append_file.h"
#include "shared/file_path.h"

namespace {

using Steady = std::chrono::steady_clock;

void Time(const char* name, int rounds, const std::function<void()>& piece) {
  double total = 0, worst = 0;
  for (int i = 0; i < rounds; ++i) {
    const Steady::time_point t = Steady::now();
    piece();
    const double ms = std::chrono::duration<double, std::milli>(Steady::now() - t).count();
    total += ms;
    worst = std::max(worst, ms);
  }
  std::printf("%-48s mean %8.3f ms  worst %8.3f ms  (%d)\n", name, total / rounds, worst, rounds);
}

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

}  // namespace

int main() {
  using namespace tol;
  // The desktop's notification state, as kovun.exe asks it after each poll.
  using Query = HRESULT(WINAPI*)(int*);
  const Query query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(LoadLibraryW(L"shell32.dll"), "SHQueryUserNotificationState")));
  if (query != nullptr) {
    Time("SHQueryUserNotificationState", 1000, [&] {
      int state = 0;
      query(&state);
    });
  }

  std::vector<Alert> alerts(19);
  for (int i = 0; i < 19; ++i) {
    alerts[i].to = i % 2 ? ServerState::kDown : ServerState::kUp;
    alerts[i].text = "Arvel " + std::to_string(i) + ": xxxx";
  }
  Time("balloon text of 19 alerts", 1000, [&] { BalloonForAlerts(alerts); });

  Application application;
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  application.set_main_window(owner);
  {
    TTrayIcon icon(application, owner);
    icon.SetIcon(LoadIconW(nullptr, IDI_APPLICATION));
    icon.SetVisible(true);
    Pump();
    if (icon.added()) {
      Time("balloon from the icon (on the UI thread)", 20, [&] {
        icon.ShowBalloonHelp("Kovun", "Arvel 3: down\nArvel 5: down", 10000,
                             TBalloonIconType::bitWarning,
                             kBalloonNoSound | kBalloonRespectQuietTime);
        Pump();
      });
      Time("icon redrawn (Shell_NotifyIcon modify)", 20, [&] {
        icon.SetIcon(LoadIconW(nullptr, IDI_WARNING));
        Pump();
      });
    } else {
      std::printf("the notification area took no icon: balloon not timed\n");
    }
  }
  Time("MessageBeep(MB_OK)", 5, [] { MessageBeep(MB_OK); });
  {
    // A poll's 19 lines appended to the history file, as the alert monitor
    // does on the UI thread after each poll.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring name = std::wstring(temp) + L"kovun-pieces-history.csv";
    const FilePath path = FilePath::FromSystem(PathString(name.begin(), name.end()));
    std::string lines;
    for (int i = 0; i < 19; ++i) {
      lines += "2026-12-09T21:05:00+09:00,Arvel,GameServer03,Good,2,2,123,up\r\n";
    }
    Time("history file: a poll's lines appended", 200,
         [&] { AppendLines(path, "time,world\r\n", lines, 10u << 20); });
    DeleteFileW(name.c_str());
  }

  HistoryRing ring(168);
  const DateTime start = *DateTime::FromFields({2026, 12, 1, 0, 0, 0});
  const ServerState states[] = {ServerState::kUp, ServerState::kSlow, ServerState::kDown};
  int minute = 0;
  auto add = [&] {
    HistoryPoll poll;
    poll.time = start.AddMinutes(minute);
    poll.world = 0;
    for (int s = 0; s < 19; ++s) poll.cells[s].state = states[(minute / (1 + s % 3) + s) % 3];
    ++minute;
    ring.Add(poll);
  };
  for (int m = 0; m < 168 * 60; ++m) add();
  ColorSettings colors;
  HistorySource source;
  source.history = [&]() -> const HistoryRing& { return ring; };
  source.caption = [](int slot) { return std::to_string(slot); };
  source.colors = [&]() -> const ColorSettings& { return colors; };
  HistoryWindow window(source);
  window.Open(nullptr);
  SetWindowPos(window.handle(), nullptr, 0, 0, 1600, 400, SWP_NOZORDER | SWP_NOACTIVATE);
  UpdateWindow(window.handle());
  auto new_poll = [&] {
    add();
    window.Update();
    UpdateWindow(window.handle());
  };
  Time("history window: a new poll, full week, 1600 wide", 100, new_poll);
  SendMessageW(window.handle(), WM_HSCROLL, SB_PAGELEFT, 0);
  Time("history window: a new poll, scrolled back", 100, new_poll);
  window.Close();
  DestroyWindow(owner);
  return 0;
}
