// The history window with a full history (168 hours at one poll a minute,
// nineteen servers whose states change often): the time from the menu
// command to a painted window, and one paint of the chart at a wide and a
// narrow size. Prints the figures; run under Wine:
//   cmake/wine-test.sh run build/windows build/windows/bench/history_window_bench.exe

#include <windows.h>

#include <chrono>
#include <cstdio>

#include "components/win32/ui_font.h"
#include "monitor/history.h"
#include "monitor/settings.h"
#include "monitor/win32/history_window.h"

namespace {

using Steady = std::chrono::steady_clock;

double Ms(Steady::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main() {
  using namespace tol;
  HistoryRing ring(168);
  const DateTime start = *DateTime::FromFields({2026, 12, 1, 0, 0, 0});
  const ServerState states[] = {ServerState::kUp, ServerState::kSlow, ServerState::kDown,
                                ServerState::kUnreachable};
  for (int m = 0; m < 168 * 60; ++m) {
    HistoryPoll poll;
    poll.time = start.AddMinutes(m);
    poll.world = 0;
    // A change every few polls in every row: the worst case for the runs
    // of equal cells the paint merges.
    for (int s = 0; s < 19; ++s) poll.cells[s].state = states[(m / (1 + s % 3) + s) % 4];
    ring.Add(poll);
  }
  ColorSettings colors;
  HistorySource source;
  source.history = [&]() -> const HistoryRing& { return ring; };
  source.caption = [](int slot) { return std::to_string(slot); };
  source.colors = [&]() -> const ColorSettings& { return colors; };
  HistoryWindow window(source);

  std::printf("polls in the history: %zu\n", ring.size());
  {
    // What kovun.exe's strip has done before its menu can open the window:
    // its UI font chosen.
    const Steady::time_point t = Steady::now();
    UiFont strip_font(96);
    std::printf("the strip's UI font (once per process): %.2f ms\n", Ms(Steady::now() - t));
  }
  // The first opening of the process pays for the window class and the
  // tooltips' set-up; the later ones are what a player sees each time.
  for (const char* which : {"first", "again"}) {
    const Steady::time_point open_start = Steady::now();
    window.Open(nullptr);
    UpdateWindow(window.handle());  // the first paint, as the message loop would
    std::printf("open to painted window (%s): %.2f ms\n", which, Ms(Steady::now() - open_start));
    if (which[0] == 'f') window.Close();
  }

  HDC screen = GetDC(nullptr);
  for (const int width : {1600, 640}) {
    const int height = 340;
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(dc, bitmap);
    constexpr int kRounds = 200;
    window.PaintInto(dc, width, height);  // warm-up
    const Steady::time_point t = Steady::now();
    for (int i = 0; i < kRounds; ++i) window.PaintInto(dc, width, height);
    std::printf("paint %dx%d: %.3f ms\n", width, height, Ms(Steady::now() - t) / kRounds);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  ReleaseDC(nullptr, screen);
  window.Close();
  return 0;
}
