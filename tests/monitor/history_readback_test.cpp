// The history log read back: the span and world asked for, from both
// generations, whatever else the files hold; and the monitor's history
// following the world, read in place or installed later.

#include "monitor/history_readback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/alert_monitor.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

using testing::TempDir;

const DateTime kEnd = *DateTime::FromFields({2026, 12, 9, 21, 0, 0, 0});
constexpr int kOffset = 9 * 60;
constexpr int kSlot = 7;  // map server "3"

// The log lines of one poll of `world`, map server 3 down when `down`.
std::string PollLines(DateTime time, const char* world, bool down, int offset = kOffset) {
  ObservedServers servers;
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    servers[slot - 1] = {true, std::string(SlotKey(slot, "PatchServerFV1")), "Good", 2, 2, 900};
  }
  if (down) servers[kSlot - 1].status = "Down";
  const HistoryPoll poll = MakeHistoryPoll(time, -1, &servers, 25000);
  return HistoryCsvLines(poll, offset, world, &servers, "PatchServerFV1");
}

DateTime MinutesBefore(int minutes) { return kEnd.AddMinutes(-minutes); }

class HistoryReadBackTest : public ::testing::Test {
 protected:
  HistoryQuery Query(const char* world, int hours) {
    return {TempDir::PathFrom(path_), world, hours, kEnd, kOffset, "PatchServerFV1"};
  }
  TempDir temp_;
  std::string path_ = temp_.File("history.csv");
};

TEST_F(HistoryReadBackTest, OneWorldsSpanFromBothGenerations) {
  // 30 hours of polls every 10 minutes, Arvel and (a minute later) Bessa;
  // map server 3 of Arvel is down in every other poll. The older 15 hours are
  // in the ".1" file.
  std::string older(kHistoryHeader);
  std::string current(kHistoryHeader);
  for (int m = 30 * 60; m >= 0; m -= 10) {
    std::string& file = m > 15 * 60 ? older : current;
    // The newest poll was written at another offset: an hour less at +08:00.
    file += m == 0 ? PollLines(MinutesBefore(60), "Arvel", true, 8 * 60)
                   : PollLines(MinutesBefore(m), "Arvel", m % 20 == 0);
    if (m > 0) file += PollLines(MinutesBefore(m - 1), "Bessa", false);
    if (m == 600) {
      // What a crash, a power cut or another program may leave.
      file += "garbage\r\n";
      file += "2026-13-09T21:05:00+09:00,Arvel,LoginServer,Good,1,1,1,up\r\n";
      file += "2026-12-09T11:05:00+09:00,Arvel,LoginServer,Good,1,1,1,sideways\r\n";
      file += std::string(300, '\0');
    }
  }
  TempDir::Write(path_ + ".1", older);
  TempDir::Write(path_, current);

  struct Case {
    const char* world;
    int hours;
    std::size_t polls;
    std::size_t malformed;
  } cases[] = {
      {"Arvel", 24, 24 * 6 + 1, 3},  // reaches into the ".1" file
      {"Arvel", 1, 6 + 1, 3},        // the current file alone
      {"Bessa", 2, 12, 3},
      {"Sendra", 24, 0, 3},
  };
  for (const Case& c : cases) {
    const HistoryReadBack read = ReadHistory(Query(c.world, c.hours));
    EXPECT_EQ(read.world, c.world);
    ASSERT_EQ(read.polls.size(), c.polls) << c.world << " " << c.hours;
    EXPECT_EQ(read.malformed, c.malformed) << c.world << " " << c.hours;
    for (std::size_t i = 0; i < read.polls.size(); ++i) {
      const HistoryPoll& poll = read.polls[i];
      EXPECT_GE(poll.time.milliseconds(), kEnd.AddMinutes(-60 * c.hours).milliseconds());
      if (i > 0) {
        EXPECT_GT(poll.time.milliseconds(), read.polls[i - 1].time.milliseconds());
      }
      EXPECT_EQ(poll.cells[0].status_word(), "Good");
    }
  }
  const HistoryReadBack arvel = ReadHistory(Query("Arvel", 24));
  const HistoryPoll& last = arvel.polls[arvel.polls.size() - 1];
  EXPECT_EQ(last.time.milliseconds(), kEnd.milliseconds());
  EXPECT_EQ(last.cells[kSlot - 1].state, ServerState::kDown);
  EXPECT_EQ(last.cells[kSlot - 1].connect_time, 900);
  EXPECT_EQ(last.world, 0);  // Arvel's index in the world table
  EXPECT_EQ(arvel.polls[0].cells[kSlot - 1].state, ServerState::kDown);  // 24 h ago: m = 1440
  EXPECT_EQ(arvel.polls[1].cells[kSlot - 1].state, ServerState::kUp);
}

TEST_F(HistoryReadBackTest, OnlyTheTailOfAHugeFileIsRead) {
  // 3 MiB of another world's lines, then an hour of Arvel: an hour's read
  // starts in the middle of a line and still gets every Arvel poll.
  std::string file(kHistoryHeader);
  const std::string filler = PollLines(MinutesBefore(120), "Bessa", false);
  while (file.size() < (3u << 20)) file += filler;
  for (int m = 50; m >= 0; m -= 10) file += PollLines(MinutesBefore(m), "Arvel", false);
  TempDir::Write(path_, file);
  TempDir::Write(path_ + ".1", PollLines(MinutesBefore(30), "Arvel", true));  // never read
  const HistoryReadBack read = ReadHistory(Query("Arvel", 1));
  EXPECT_EQ(read.polls.size(), 6u);
  EXPECT_EQ(read.malformed, 0u);
  EXPECT_EQ(read.polls[5].cells[kSlot - 1].state, ServerState::kUp);
  std::filesystem::remove(path_);
  std::filesystem::remove(path_ + ".1");
  EXPECT_EQ(ReadHistory(Query("Arvel", 1)).polls.size(), 0u);
}

FinishedPoll Finished(DateTime time, const char* world, ObservedServers& servers) {
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    servers[slot - 1] = {true, std::string(SlotKey(slot, "PatchServerFV1")), "Good", 2, 2, 900};
  }
  FinishedPoll poll;
  poll.time = time;
  poll.utc_offset_minutes = kOffset;
  poll.world = world;
  poll.observed = &servers;
  return poll;
}

TEST_F(HistoryReadBackTest, MonitorHistoryIsTheCurrentWorlds) {
  std::string file(kHistoryHeader);
  for (int m = 120; m >= 10; m -= 10) {
    file += PollLines(MinutesBefore(m), "Arvel", false);
    file += PollLines(MinutesBefore(m - 1), "Bessa", true);
  }
  TempDir::Write(path_, file);
  KovunSettings settings;
  settings.alerts.history_hours = 24;

  // Read in place: at start-up, and at a world switch.
  AlertMonitor in_place(settings.alerts, TempDir::PathFrom(path_));
  in_place.Start("Arvel", kEnd, kOffset, settings.patch, nullptr);
  EXPECT_EQ(in_place.history().size(), 12u);
  ObservedServers servers;
  in_place.Observe(Finished(kEnd, "Bessa", servers), settings, nullptr);
  ASSERT_EQ(in_place.history().size(), 13u);
  EXPECT_EQ(in_place.history()[0].cells[kSlot - 1].state, ServerState::kDown);  // Bessa's
  EXPECT_EQ(in_place.history()[12].cells[kSlot - 1].state, ServerState::kUp);   // the new poll

  // Read elsewhere: the polls taken meanwhile stay the newest, also when the
  // reading already holds them; a reading for a world left is dropped.
  std::vector<HistoryQuery> asked;
  AlertMonitor later(settings.alerts, TempDir::PathFrom(path_),
                     [&asked](HistoryQuery q) { asked.push_back(std::move(q)); });
  later.Start("Arvel", kEnd, kOffset, settings.patch, nullptr);
  EXPECT_EQ(later.history().size(), 0u);
  later.Observe(Finished(kEnd, "Arvel", servers), settings, nullptr);
  later.Observe(Finished(kEnd.AddMinutes(1), "Bessa", servers), settings, nullptr);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].world, "Bessa");
  later.InstallHistory(ReadHistory(asked[0]));  // Arvel's: too late
  EXPECT_EQ(later.history().size(), 1u);
  later.Observe(Finished(kEnd.AddMinutes(2), "Bessa", servers), settings, nullptr);
  asked[1].end = kEnd.AddMinutes(2);  // as if read after the poll was written
  later.InstallHistory(ReadHistory(asked[1]));
  // 12 polls of Bessa, the one `in_place` logged, and the two taken here.
  ASSERT_EQ(later.history().size(), 15u);
  EXPECT_EQ(later.history()[11].cells[kSlot - 1].state, ServerState::kDown);
  EXPECT_EQ(later.history()[14].time.milliseconds(), kEnd.AddMinutes(2).milliseconds());
}

}  // namespace
}  // namespace tol
