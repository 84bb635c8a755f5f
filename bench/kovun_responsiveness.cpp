// kovun.exe's window round trips while it polls every 2 s with every alert
// on, its history file appended and its history window open, against
// tolvane-sim on loopback: the real program, started as a player would,
// asked SendMessageTimeout(WM_NULL) every 10 ms. Prints the worst, the
// median and the high percentiles, and where the slow ones fell relative to
// the polls.
//
//   kovun_responsiveness KOVUN_EXE [SECONDS] [--no-history-window]
//                        [--no-alerts] [--no-history-file] [--no-flap]
//
// KOVUN_SIM_PORT names the sim's port (bench/kovun_responsiveness.sh starts
// it and Wine). The status text changes at every poll: map servers go down
// and come back in turn, and map server 3 flaps on the sim's own schedule,
// so most polls raise alerts.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "net/http_client.h"
#include "shared/clock.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT kHistoryCommand = 1205;

std::string Escape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_') {
      out += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD n = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(file);
}

// The status text of step `k`: two map servers down, a different pair at
// every step.
std::string StatusText(int k) {
  std::string text =
      "LoginServer,Good,2,2,100\r\nPatchServerH,Good,2,2,100\r\nPatchServerFV1,Good,2,2,100\r\n"
      "CharSelect,Good,2,2,100\r\n";
  for (int n = 1; n <= 15; ++n) {
    const bool down = n == 1 + k % 15 || n == 1 + (k * 7 + 3) % 15;
    char line[64];
    std::snprintf(line, sizeof line, "GameServer%02d,%s,%d,2,%d\r\n", n, down ? "Down" : "Good",
                  down ? 0 : 2, 80 + (k * n) % 400);
    text += line;
  }
  return text;
}

HWND FindTop(DWORD pid, const wchar_t* class_name) {
  struct Search {
    DWORD pid;
    const wchar_t* name;
    HWND found;
  } search{pid, class_name, nullptr};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t name[64] = L"";
        GetClassNameW(window, name, 64);
        if (owner == s->pid && wcscmp(name, s->name) == 0 && IsWindowVisible(window)) {
          s->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t i =
      std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())));
  return values[i];
}

// A window on a thread of its own that does nothing but answer: its round
// trips, taken beside kovun.exe's, show what the machine and Wine alone
// cost (a busy machine delays every wake-up).
class IdleWindow {
 public:
  IdleWindow() {
    thread_ = std::thread([this] {
      HWND window = CreateWindowExW(0, L"STATIC", L"idle", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
      window_ = window;
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
      DestroyWindow(window);
    });
    while (window_ == nullptr) Sleep(1);
    thread_id_ = GetWindowThreadProcessId(window_, nullptr);
  }
  ~IdleWindow() {
    PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
    thread_.join();
  }
  HWND handle() const { return window_; }

 private:
  std::thread thread_;
  HWND volatile window_ = nullptr;
  DWORD thread_id_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: %s KOVUN_EXE [SECONDS] [--no-history-window] [--no-alerts] "
                 "[--no-history-file] [--no-flap]\n",
                 argv[0]);
    return 2;
  }
  int seconds = 60;
  bool history_window = true, alerts = true, history_file = true, flap = true;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--no-history-window") {
      history_window = false;
    } else if (arg == "--no-alerts") {
      alerts = false;
    } else if (arg == "--no-history-file") {
      history_file = false;
    } else if (arg == "--no-flap") {
      flap = false;
    } else {
      seconds = std::atoi(arg.c_str());
    }
  }
  const char* port_text = std::getenv("KOVUN_SIM_PORT");
  const int port = port_text ? std::atoi(port_text) : 0;
  if (port <= 0) {
    std::fprintf(stderr, "KOVUN_SIM_PORT is not set (run through bench/kovun_responsiveness.sh)\n");
    return 2;
  }
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  auto control = tol::CreateHttpClient(tol::SystemClock());
  auto call = [&](const std::string& what) {
    try {
      control->Get(base + "/_sim/" + what);
    } catch (...) {
      std::fprintf(stderr, "sim control failed: %s\n", what.c_str());
    }
  };
  call("reset");
  // A poll every 2 s: the load time the service announces, with ReloadTime 0.
  call("content?path=/status/arvel/loadtime.txt&body=2");
  int step = 0;
  call("content?path=/status/arvel/status.txt&body=" + Escape(StatusText(step)));

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"kovun-responsiveness-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount()) + L"\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring source;
  for (const char* p = argv[1]; *p; ++p) source += (*p == '/' ? L'\\' : wchar_t(*p));
  if (source.size() > 1 && source[0] == L'\\') source = L"Z:" + source;
  if (!CopyFileW(source.c_str(), (folder + L"kovun.exe").c_str(), FALSE)) {
    std::fprintf(stderr, "can't copy %s\n", argv[1]);
    return 1;
  }
  std::string ini = "[Server]\r\nURL=" + base + "/status/\r\n[Option]\r\nReloadTime=0\r\n";
  if (alerts) ini += "[Alert]\r\nEnabled=1\r\nServers=all\r\nDown=1\r\nUp=1\r\nSound=1\r\n";
  if (history_file) ini += "[History]\r\nFile=history.csv\r\nHours=168\r\n";
  WriteFileBytes(folder + L"kovun.ini", ini);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + folder + L"kovun.exe\"";
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &startup, &process)) {
    std::fprintf(stderr, "kovun.exe doesn't start\n");
    return 1;
  }
  HWND window = nullptr;
  for (int i = 0; i < 600 && window == nullptr; ++i) {
    Sleep(25);
    window = FindTop(process.dwProcessId, L"TKovunForm");
  }
  if (window == nullptr) {
    std::fprintf(stderr, "no window\n");
    TerminateProcess(process.hProcess, 1);
    return 1;
  }
  if (flap) call("server?world=arvel&key=GameServer03&status=Down&flap=3");
  if (history_window && (alerts || history_file)) {
    PostMessageW(window, WM_COMMAND, kHistoryCommand, 0);
    HWND history = nullptr;
    for (int i = 0; i < 200 && history == nullptr; ++i) {
      Sleep(25);
      history = FindTop(process.dwProcessId, L"TKovunHistory");
    }
    RECT outer{}, client{};
    GetWindowRect(history, &outer);
    GetClientRect(history, &client);
    std::printf("history window at (%ld,%ld)-(%ld,%ld), client %ldx%ld\n", outer.left, outer.top,
                outer.right, outer.bottom, client.right, client.bottom);
  }

  IdleWindow idle;
  std::vector<double> trips, idle_trips, times;
  double worst = 0;
  double worst_at = 0;
  const auto start = Clock::now();
  auto next_change = start;
  int timeouts = 0;
  while (Clock::now() - start < std::chrono::seconds(seconds)) {
    if (Clock::now() >= next_change) {
      // A new text just after the program's poll period: every poll sees
      // another one.
      call("content?path=/status/arvel/status.txt&body=" + Escape(StatusText(++step)));
      next_change += std::chrono::seconds(2);
    }
    const auto sent = Clock::now();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) ++timeouts;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    trips.push_back(ms);
    times.push_back(std::chrono::duration<double>(sent - start).count());
    const auto idle_sent = Clock::now();
    SendMessageTimeoutW(idle.handle(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
    idle_trips.push_back(
        std::chrono::duration<double, std::milli>(Clock::now() - idle_sent).count());
    if (ms > worst) {
      worst = ms;
      worst_at = std::chrono::duration<double>(sent - start).count();
    }
    Sleep(10);
  }
  std::printf(
      "kovun.exe round trips over %d s (%zu samples, %d status texts, alerts %s, "
      "history file %s, history window %s)\n",
      seconds, trips.size(), step, alerts ? "on" : "off", history_file ? "on" : "off",
      history_window ? "open" : "closed");
  std::printf(
      "worst %.2f ms (at %.1f s)  median %.3f ms  p99 %.2f ms  p99.9 %.2f ms  "
      "over 16 ms: %zu  time-outs: %d\n",
      worst, worst_at, Percentile(trips, 0.5), Percentile(trips, 0.99), Percentile(trips, 0.999),
      static_cast<std::size_t>(
          std::count_if(trips.begin(), trips.end(), [](double t) { return t > 16; })),
      timeouts);
  // The slow ones: whether the idle window was slow too within 50 ms.
  std::size_t slow = 0, slow_with_idle = 0;
  for (std::size_t i = 0; i < trips.size(); ++i) {
    if (trips[i] <= 16) continue;
    ++slow;
    for (std::size_t j = 0; j < trips.size(); ++j) {
      if (std::abs(times[j] - times[i]) <= 0.05 && idle_trips[j] > 8) {
        ++slow_with_idle;
        break;
      }
    }
  }
  std::printf(
      "an idle window beside it: worst %.2f ms  median %.3f ms  p99 %.2f ms  "
      "p99.9 %.2f ms; of kovun.exe's round trips over 16 ms, %zu of %zu came with one "
      "over 8 ms of the idle window\n",
      *std::max_element(idle_trips.begin(), idle_trips.end()), Percentile(idle_trips, 0.5),
      Percentile(idle_trips, 0.99), Percentile(idle_trips, 0.999), slow_with_idle, slow);
  PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
  }
  if (history_file) {
    // One line per poll and server (19), after the header.
    HANDLE file =
        CreateFileW((folder + L"history.csv").c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    std::size_t lines = 0;
    char buffer[65536];
    DWORD n = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &n, nullptr) &&
           n > 0) {
      lines += static_cast<std::size_t>(std::count(buffer, buffer + n, '\n'));
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    std::printf("polls logged: %zu\n", lines > 0 ? (lines - 1) / 19 : 0);
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  call("reset");
  return 0;
}
