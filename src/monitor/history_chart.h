#pragma once
// Where the history chart puts things: one row per server with its caption
// at the left, one column per poll with the newest at the right edge, the
// times in a strip along the bottom. Only the polls that fit are laid out,
// so drawing costs the same however long the history is. Pixel sizes are
// the caller's, already scaled to its DPI.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitor/history.h"

namespace tol {

struct HistoryChartMetrics {
  int32_t width = 0, height = 0;  // the whole chart
  int32_t caption_width = 0;      // the captions' column at the left
  int32_t axis_height = 0;        // the times' strip at the bottom
  int32_t cell_width = 1, row_height = 1;
  int32_t label_width = 1;  // room one time label needs
  int32_t rows = 0;         // servers
};

struct ChartRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const ChartRect&, const ChartRect&) = default;
};

// A time label under the chart: a round clock time, written from the left
// edge of the column of the first poll at or after it.
struct ChartLabel {
  std::size_t poll = 0;
  DateTime time;         // the round clock time
  bool seconds = false;  // "21:05:30" rather than "21:05"
  ChartRect place;       // within the times' strip
  friend bool operator==(const ChartLabel&, const ChartLabel&) = default;
};

struct ChartHit {
  int32_t row = 0;
  std::size_t poll = 0;  // index into the history, oldest first
  friend bool operator==(const ChartHit&, const ChartHit&) = default;
};

class HistoryChartLayout {
 public:
  // `polls`: the history's length; `scroll`: how many of the newest polls
  // are scrolled out at the right (cut to what there is).
  HistoryChartLayout(const HistoryChartMetrics& metrics, std::size_t polls, std::size_t scroll);

  // The polls shown: [first_poll(), first_poll() + columns()).
  std::size_t first_poll() const { return first_; }
  std::size_t columns() const { return columns_; }
  // How many polls fit side by side.
  std::size_t capacity() const { return capacity_; }
  std::size_t scroll() const { return scroll_; }

  // The cell of a poll shown, in a row.
  ChartRect Cell(int32_t row, std::size_t poll) const;
  // The caption's place of a row.
  ChartRect Caption(int32_t row) const;
  // The cell under a point, if a poll shown is there.
  std::optional<ChartHit> HitTest(int32_t x, int32_t y) const;
  // The time labels of the polls shown: clock times on a fixed step (5,
  // 10, 15, 30 seconds; 1, 2, 5, 10, 15, 30 minutes; 1, 2, 3, 6, 12, 24
  // hours), the finest whose labels keep apart, so they stay on the same
  // times as polls come and the chart moves. None overlaps another or the
  // captions, or runs past the right edge. With no round time in view
  // (the first minute of a history), the newest poll's own time stands at
  // the right edge. `time_of` gives a poll's time (any index below the
  // history's length).
  std::vector<ChartLabel> Labels(const std::function<DateTime(std::size_t)>& time_of) const;
  int32_t grid_bottom() const { return grid_bottom_; }

 private:
  HistoryChartMetrics m_;
  std::size_t polls_, scroll_, capacity_, columns_, first_;
  int32_t grid_bottom_;
};

// A label's text: "21:05", or "21:05:30".
std::string ChartLabelText(const ChartLabel& label);

// How many of the newest polls a view scrolled back must scroll out so that
// the poll of time `newest_shown` (or the newest before it) stays its
// newest: the view stays put as polls come, the oldest go, or a poll adds
// nothing.
std::size_t ScrollKeeping(const HistoryRing& ring, DateTime newest_shown);

// The tooltip of a cell: "12/09 21:05:00 Good 123ms"; a poll with no
// status word (an unreachable service) gives the state in words instead.
std::string HistoryCellTip(const HistoryPoll& poll, int slot);

}  // namespace tol
