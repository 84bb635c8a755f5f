// The terminal monitor started on a terminal (a pseudo-terminal here) with a
// history file that an earlier run left: its history chart shows those polls
// from the start, for the world shown only.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

using testing::SimProcess;
using testing::TempDir;

constexpr int kEarlierPolls = 37;

// "2026-12-09T21:05:00+09:00" for `t`, local time.
std::string IsoLocal(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
  const long offset = tm.tm_gmtoff / 60;
  char zone[8];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', std::labs(offset) / 60,
                std::labs(offset) % 60);
  return std::string(text) + zone;
}

// An earlier run's file: a poll a minute up to a minute ago, map server 3
// down in every poll of Arvel; Bessa's polls between them have it up.
std::string EarlierHistory() {
  std::string csv = "time,world,server,status,success,check,connect_time,state\r\n";
  const std::time_t now = std::time(nullptr);
  for (int i = kEarlierPolls; i >= 1; --i) {
    for (const char* world : {"Arvel", "Bessa"}) {
      const bool arvel = world[0] == 'A';
      const std::string head = IsoLocal(now - i * 60 - (arvel ? 0 : 30)) + "," + world + ",";
      for (int n = 1; n <= 15; ++n) {
        char key[16];
        std::snprintf(key, sizeof key, "GameServer%02d", n);
        const bool down = arvel && n == 3;
        csv += head + key + (down ? ",Down,0,2,0,down\r\n" : ",Good,2,2,900,up\r\n");
      }
    }
  }
  return csv;
}

// The longest run of '-' in `text`.
std::size_t LongestDashRun(const std::string& text) {
  std::size_t best = 0;
  std::size_t run = 0;
  for (char c : text) {
    run = c == '-' ? run + 1 : 0;
    best = std::max(best, run);
  }
  return best;
}

TEST(KovunHistoryTest, ChartShowsTheEarlierRunsPollsOfItsWorld) {
  SimProcess sim;
  sim.SetServer("arvel", "GameServer03", "Good");
  TempDir temp;
  const std::string ini = temp.File("kovun.ini");
  TempDir::Write(ini, "[Server]\r\nURL=" + sim.StatusBase() +
                          "\r\n[Option]\r\nMultiApp=1\r\n[History]\r\nFile=history.csv\r\n");
  TempDir::Write(temp.File("history.csv"), EarlierHistory());

  winsize size{};
  size.ws_row = 40;
  size.ws_col = 120;
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, &size);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const char* argv[] = {KOVUN_PATH, "--ini", ini.c_str(), nullptr};
    const char* env[] = {"TERM=vt100", "LANG=C.UTF-8", nullptr};
    execve(KOVUN_PATH, const_cast<char**>(argv), const_cast<char**>(env));
    _exit(127);
  }
  std::string screen;
  auto read_for = [&](std::chrono::milliseconds span) {
    const auto until = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < until) {
      pollfd p{terminal, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      char chunk[4096];
      const ssize_t n = read(terminal, chunk, sizeof chunk);
      if (n <= 0) break;
      screen.append(chunk, static_cast<std::size_t>(n));
    }
  };
  read_for(std::chrono::milliseconds(1000));
  ASSERT_EQ(write(terminal, "h", 1), 1);
  read_for(std::chrono::milliseconds(1500));
  ASSERT_EQ(write(terminal, "q", 1), 1);
  read_for(std::chrono::milliseconds(500));
  EXPECT_EQ(testing::WaitForExit(pid, std::chrono::seconds(5)), 0);
  close(terminal);
  // Map server 3's row: the earlier run's down polls of Arvel, one cell
  // each, then this run's (up) polls; Bessa's polls are not Arvel's.
  EXPECT_EQ(LongestDashRun(screen), static_cast<std::size_t>(kEarlierPolls));
}

}  // namespace
}  // namespace tol
