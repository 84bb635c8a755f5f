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

// Time labels never overlap one another or the captions.
TEST(HistoryChartTest, LabelsKeepApart) {
  HistoryChartMetrics m = Metrics();
  for (const int label_width : {5, 25, 41}) {
    SCOPED_TRACE(label_width);
    m.label_width = label_width;
    const HistoryChartLayout layout(m, 100, 0);
    int32_t last_left = m.width + 1;
    int labels = 0;
    for (std::size_t p = layout.first_poll() + layout.columns(); p-- > layout.first_poll();) {
      if (!layout.Labelled(p)) continue;
      const int32_t right = layout.Cell(0, p).right;
      EXPECT_LE(right, last_left);
      EXPECT_GE(right - label_width, m.caption_width);
      last_left = right - label_width;
      ++labels;
    }
    EXPECT_EQ(labels, label_width == 5 ? 6 : label_width == 25 ? 2 : 1);
  }
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
