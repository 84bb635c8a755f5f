#include "monitor/history_chart.h"

#include <algorithm>

#include "shared/int_text.h"

namespace tol {

HistoryChartLayout::HistoryChartLayout(const HistoryChartMetrics& metrics, std::size_t polls,
                                       std::size_t scroll)
    : m_(metrics), polls_(polls) {
  m_.cell_width = std::max<int32_t>(m_.cell_width, 1);
  m_.row_height = std::max<int32_t>(m_.row_height, 1);
  const int32_t grid_width = std::max<int32_t>(m_.width - m_.caption_width, 0);
  capacity_ = static_cast<std::size_t>(grid_width / m_.cell_width);
  scroll_ = std::min(scroll, polls_);
  columns_ = std::min(capacity_, polls_ - scroll_);
  first_ = polls_ - scroll_ - columns_;
  grid_bottom_ =
      std::min(m_.rows * m_.row_height, std::max<int32_t>(m_.height - m_.axis_height, 0));
}

ChartRect HistoryChartLayout::Cell(int32_t row, std::size_t poll) const {
  // The newest shown poll's right edge is the chart's.
  const std::size_t from_right = first_ + columns_ - poll;  // 1 for the newest shown
  const int32_t right = m_.width - static_cast<int32_t>(from_right - 1) * m_.cell_width;
  const int32_t top = row * m_.row_height;
  return {right - m_.cell_width, top, right, top + m_.row_height};
}

ChartRect HistoryChartLayout::Caption(int32_t row) const {
  const int32_t top = row * m_.row_height;
  return {0, top, m_.caption_width, top + m_.row_height};
}

std::optional<ChartHit> HistoryChartLayout::HitTest(int32_t x, int32_t y) const {
  if (y < 0 || y >= grid_bottom_ || x >= m_.width || columns_ == 0) return std::nullopt;
  const int32_t from_right = (m_.width - 1 - x) / m_.cell_width;  // 0: the newest shown
  if (static_cast<std::size_t>(from_right) >= columns_) return std::nullopt;
  const int32_t row = y / m_.row_height;
  if (row >= m_.rows) return std::nullopt;
  return ChartHit{row, first_ + columns_ - 1 - static_cast<std::size_t>(from_right)};
}

namespace {

// Label steps in seconds, finest first.
constexpr int64_t kLabelSteps[] = {5,   10,   15,   30,   60,    120,   300,   600,
                                   900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

}  // namespace

std::vector<ChartLabel> HistoryChartLayout::Labels(
    const std::function<DateTime(std::size_t)>& time_of) const {
  std::vector<ChartLabel> labels;
  if (columns_ == 0) return labels;
  const std::size_t end = first_ + columns_;
  // The round time a poll's step begins with.
  auto bucket = [&](std::size_t p, int64_t step_ms) {
    return FloorDiv(time_of(p).milliseconds(), step_ms);
  };
  for (const int64_t step : kLabelSteps) {
    const int64_t step_ms = step * 1000;
    const bool seconds = step < 60;
    const int32_t width = seconds ? m_.label_width * 3 / 2 : m_.label_width;
    const bool last = step == kLabelSteps[std::size(kLabelSteps) - 1];
    labels.clear();
    bool apart = true;
    int32_t free_from = m_.caption_width;  // where the next label may begin
    // The step is chosen by how far apart its round times fall, drawn or
    // not (at the edges), so it stays as the chart moves with each poll.
    std::optional<int32_t> boundary_before;
    int64_t previous = first_ > 0 ? bucket(first_ - 1, step_ms) : 0;
    for (std::size_t p = first_; p < end; ++p) {
      const int64_t b = bucket(p, step_ms);
      const bool starts = p > 0 && b != previous;
      previous = b;
      if (!starts) continue;
      const int32_t left = Cell(0, p).left;
      const bool crowded = boundary_before && left < *boundary_before + width;
      boundary_before = left;
      if (crowded && !last) {
        apart = false;
        break;
      }
      // Past the coarsest step, one that would overlap is left out.
      if (left < free_from || left + width > m_.width) continue;
      labels.push_back(ChartLabel{p, DateTime::FromMilliseconds(b * step_ms), seconds,
                                  ChartRect{left, grid_bottom_, left + width, m_.height}});
      free_from = left + width;
    }
    if (apart || last) break;
  }
  // No round time in view yet (the first minute of a history, a narrow
  // window): the newest poll's own time, at the right edge.
  if (labels.empty()) {
    const int32_t width = m_.label_width * 3 / 2;
    if (m_.width - width >= m_.caption_width) {
      const std::size_t newest = end - 1;
      labels.push_back(ChartLabel{
          newest, DateTime::FromMilliseconds(FloorDiv(time_of(newest).milliseconds(), 1000) * 1000),
          true, ChartRect{m_.width - width, grid_bottom_, m_.width, m_.height}});
    }
  }
  return labels;
}

std::string ChartLabelText(const ChartLabel& label) {
  const DateTimeFields f = label.time.Fields();
  auto two = [](int n) { return std::string(n < 10 ? "0" : "") + IntToText(n); };
  std::string text = two(f.hour) + ":" + two(f.minute);
  if (label.seconds) text += ":" + two(f.second);
  return text;
}

std::size_t ScrollKeeping(const HistoryRing& ring, DateTime newest_shown) {
  if (ring.size() == 0) return 0;
  // The first poll after the one kept.
  std::size_t low = 0, high = ring.size();
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (ring[mid].time <= newest_shown) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  // Every poll newer than the one kept lies right of the view; with none
  // kept (it was the oldest and went), the oldest there is stands for it.
  return ring.size() - std::max<std::size_t>(low, 1);
}

std::string HistoryCellTip(const HistoryPoll& poll, int slot) {
  const DateTimeFields f = poll.time.Fields();
  auto two = [](int n) { return std::string(n < 10 ? "0" : "") + IntToText(n); };
  std::string tip = two(f.month) + "/" + two(f.day) + " " + two(f.hour) + ":" + two(f.minute) +
                    ":" + two(f.second) + " ";
  const HistoryCell& cell = poll.cells[slot - 1];
  if (!cell.status_word().empty()) {
    tip += std::string(cell.status_word()) + " " + IntToText(cell.connect_time) + "ms";
  } else {
    tip += StateWord(cell.state);
  }
  return tip;
}

}  // namespace tol
