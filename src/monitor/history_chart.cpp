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
  label_every_ = static_cast<std::size_t>((m_.label_width + m_.cell_width - 1) / m_.cell_width);
  label_every_ = std::max<std::size_t>(label_every_, 1);
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

bool HistoryChartLayout::Labelled(std::size_t poll) const {
  const std::size_t newest = first_ + columns_ - 1;
  if (columns_ == 0 || poll < first_ || poll > newest) return false;
  // Right-aligned to its column: the newest's ends at the chart's edge, and
  // none runs into the captions.
  return (newest - poll) % label_every_ == 0 &&
         Cell(0, poll).right - m_.label_width >= m_.caption_width;
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
