#include "monitor/history_chart.h"

#include <gtest/gtest.h>

#include <string>

#include "monitor/texts.h"

namespace tol {
namespace {

// A chart 100 wide with captions 40 wide: 60 pixels of grid, 6 cells of 10.
HistoryChartMetrics Metrics() {
  HistoryChartMetrics m;
  m.width = 100;
  m.height = 80;
  m.caption_width = 40;
  m.axis_height = 20;
  m.cell_width = 10;
  m.row_height = 10;
  m.label_width = 25;  // every third column
  m.rows = 5;
  return m;
}

// Which polls show where, and which one the pointer is over: the newest at
// the right edge, the grid's edges and the gaps exact to the pixel.
TEST(HistoryChartTest, CellsAndHits) {
  struct Case {
    const char* name;
    std::size_t polls, scroll;
    std::size_t first, columns;
    int x, y;
    std::optional<ChartHit> hit;
  };
  const Case cases[] = {
      {"empty", 0, 0, 0, 0, 95, 5, std::nullopt},
      {"few polls stand at the right", 2, 0, 0, 2, 79, 5, std::nullopt},
      {"the older of two", 2, 0, 0, 2, 80 + 9, 15, ChartHit{1, 0}},
      {"the newest, last pixel", 2, 0, 0, 2, 99, 49, ChartHit{4, 1}},
      {"long history: only the newest that fit", 10080, 0, 10074, 6, 40, 0, ChartHit{0, 10074}},
      {"left of the grid", 10080, 0, 10074, 6, 39, 0, std::nullopt},
      {"below the rows", 10080, 0, 10074, 6, 60, 50, std::nullopt},
      {"scrolled back", 10080, 100, 9974, 6, 99, 0, ChartHit{0, 9979}},
      {"scrolled past the oldest", 8, 50, 0, 0, 99, 0, std::nullopt},
      {"scrolled to the oldest", 8, 2, 0, 6, 45, 0, ChartHit{0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HistoryChartLayout layout(Metrics(), c.polls, c.scroll);
    EXPECT_EQ(layout.first_poll(), c.first);
    EXPECT_EQ(layout.columns(), c.columns);
    EXPECT_EQ(layout.HitTest(c.x, c.y), c.hit);
    if (c.hit) {
      const ChartRect cell = layout.Cell(c.hit->row, c.hit->poll);
      EXPECT_TRUE(c.x >= cell.left && c.x < cell.right && c.y >= cell.top && c.y < cell.bottom);
    }
  }
}

DateTime At(int hour, int minute, int second) {
  return *DateTime::FromFields({2026, 12, 9, hour, minute, second});
}

// Time labels sit on round clock times, the finest step that keeps them
// apart, and stay on them as a new poll moves the chart.
TEST(HistoryChartTest, LabelsOnFixedClockTimes) {
  struct Case {
    const char* name;
    std::size_t polls;
    int every_seconds;
    int32_t label_width;
    std::vector<ChartLabel> labels;
  };
  // One poll a minute from 21:00:30: the last six of 100 run from 22:34:30,
  // of 101 from 22:35:30. Every two seconds from 21:00:01.
  const Case cases[] = {
      {"a minute apart: 5-minute step",
       100,
       60,
       25,
       {{95, At(22, 35, 0), false, {50, 50, 75, 80}}}},
      {"one poll later: the same time, a column left",
       101,
       60,
       25,
       {{95, At(22, 35, 0), false, {40, 50, 65, 80}}}},
      {"narrow labels: every minute",
       100,
       60,
       10,
       {{94, At(22, 34, 0), false, {40, 50, 50, 80}},
        {95, At(22, 35, 0), false, {50, 50, 60, 80}},
        {96, At(22, 36, 0), false, {60, 50, 70, 80}},
        {97, At(22, 37, 0), false, {70, 50, 80, 80}},
        {98, At(22, 38, 0), false, {80, 50, 90, 80}},
        {99, At(22, 39, 0), false, {90, 50, 100, 80}}}},
      {"few polls: seconds", 6, 2, 10, {{2, At(21, 0, 5), true, {60, 50, 75, 80}}}},
      {"one poll: no round time passed, its own time at the edge",
       1,
       60,
       10,
       {{0, At(21, 0, 30), true, {85, 50, 100, 80}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HistoryChartMetrics m = Metrics();
    m.label_width = c.label_width;
    const DateTime start = c.every_seconds == 60 ? At(21, 0, 30) : At(21, 0, 1);
    const HistoryChartLayout layout(m, c.polls, 0);
    const std::vector<ChartLabel> labels = layout.Labels([&](std::size_t p) {
      return DateTime::FromMilliseconds(start.milliseconds() +
                                        static_cast<int64_t>(p) * c.every_seconds * 1000);
    });
    EXPECT_EQ(labels, c.labels);
  }
  EXPECT_EQ(ChartLabelText({0, At(22, 35, 0), false, {}}), "22:35");
  EXPECT_EQ(ChartLabelText({0, At(21, 0, 5), true, {}}), "21:00:05");
}

// A view scrolled back keeps its newest poll as polls come, the oldest go,
// or a poll adds nothing.
TEST(HistoryChartTest, ScrollKeepsTheViewsNewestPoll) {
  HistoryRing ring(1);  // one hour: at most 60 polls
  auto add = [&](int minute) {
    HistoryPoll poll;
    poll.time = At(21, 0, 0).AddMinutes(minute);
    ring.Add(poll);
  };
  EXPECT_EQ(ScrollKeeping(ring, At(21, 5, 0)), 0u);  // nothing yet
  for (int m = 0; m < 10; ++m) add(m);
  struct Case {
    const char* name;
    DateTime kept;
    std::size_t scroll;
  };
  const Case before[] = {
      {"the newest", At(21, 9, 0), 0},
      {"three back", At(21, 6, 0), 3},
      {"between polls: the one before", At(21, 6, 30), 3},
      {"before the oldest: the oldest", At(20, 0, 0), 9},
  };
  for (const Case& c : before) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ScrollKeeping(ring, c.kept), c.scroll);
  }
  add(10);  // a new poll: one more to the right
  EXPECT_EQ(ScrollKeeping(ring, At(21, 6, 0)), 4u);
  for (int m = 11; m < 70; ++m) add(m);  // the first ten went
  ASSERT_EQ(ring[0].time, At(21, 10, 0));
  EXPECT_EQ(ScrollKeeping(ring, At(21, 30, 0)), 39u);
}

TEST(HistoryChartTest, CellTip) {
  HistoryPoll poll;
  poll.time = *DateTime::FromFields({2026, 12, 9, 21, 5, 7});
  poll.cells[2].state = ServerState::kUp;
  poll.cells[2].word_length = 4;
  std::copy_n("Good", 4, poll.cells[2].word);
  poll.cells[2].connect_time = 123;
  poll.cells[3].state = ServerState::kUnreachable;
  EXPECT_EQ(HistoryCellTip(poll, 3), "12/09 21:05:07 Good 123ms");
  EXPECT_EQ(HistoryCellTip(poll, 4), "12/09 21:05:07 " + kStateUnreachableText.bytes());
}

}  // namespace
}  // namespace tol
