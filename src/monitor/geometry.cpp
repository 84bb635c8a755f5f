#include "monitor/geometry.h"

#include <algorithm>
#include <limits>

namespace tol {
namespace {

constexpr LayoutSize kLabelSize{40, 12};
constexpr LayoutSize kServicePanelSize{34, 17};
constexpr LayoutSize kMapPanelSize{25, 17};

// The service panels by their place from the top (or left): PatH, PatF,
// Login, Char.
constexpr std::array<int, 4> kServicePanels = {3, 2, 1, 4};
constexpr int kFirstMapPanel = 5;  // map server n is panel n + 4
constexpr int kMapServerCount = 15;

struct Placement {
  LayoutPoint label;
  std::array<LayoutPoint, 4> service;  // in the order of kServicePanels
  std::array<LayoutPoint, kMapServerCount> map;
};

WindowLayout Build(LayoutKind kind, LayoutSize client, LayoutSize min_client,
                   const Placement& place) {
  WindowLayout layout;
  layout.kind = kind;
  layout.client = client;
  layout.min_client = min_client;
  layout.controls[kLabel1Index] = {place.label.x, place.label.y, kLabelSize.width,
                                   kLabelSize.height};
  for (std::size_t i = 0; i < kServicePanels.size(); ++i) {
    layout.controls[kServicePanels[i]] = {place.service[i].x, place.service[i].y,
                                          kServicePanelSize.width, kServicePanelSize.height};
  }
  for (int n = 1; n <= kMapServerCount; ++n) {
    const LayoutPoint at = place.map[n - 1];
    layout.controls[kFirstMapPanel + n - 1] = {at.x, at.y, kMapPanelSize.width,
                                               kMapPanelSize.height};
  }
  return layout;
}

WindowLayout StripLayout() {
  Placement place{{6, 7}, {{{53, 5}, {90, 5}, {127, 5}, {164, 5}}}, {}};
  for (int n = 1; n <= kMapServerCount; ++n) place.map[n - 1] = {202 + 28 * (n - 1), 5};
  return Build(LayoutKind::kStrip, {625, 25}, {625, 25}, place);
}

WindowLayout CompactLayout() {
  Placement place{{63, 5}, {{{2, 20}, {2, 37}, {2, 54}, {2, 71}}}, {}};
  constexpr int kRowTops[] = {20, 45, 71};
  for (int n = 1; n <= kMapServerCount; ++n) {
    place.map[n - 1] = {36 + 25 * ((n - 1) % 5), kRowTops[(n - 1) / 5]};
  }
  return Build(LayoutKind::kCompact, {163, 89}, {163, 87}, place);
}

WindowLayout ColumnLayout() {
  Placement place{{4, 7}, {{{8, 26}, {8, 43}, {8, 60}, {8, 77}}}, {}};
  for (int n = 1; n <= 10; ++n) place.map[n - 1] = {8, 77 + 17 * n};
  // The second column, beside map servers 1-5.
  for (int n = 11; n <= kMapServerCount; ++n) place.map[n - 1] = {46, 77 + 17 * (n - 10)};
  return Build(LayoutKind::kColumn, {100, 267}, {100, 267}, place);
}

int32_t Clamp32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

bool Within(int64_t value, int64_t edge, int64_t snap) {
  return edge - snap <= value && value <= edge + snap;
}

// The length two ranges share (0 when they don't meet).
int64_t Overlap(int64_t begin1, int64_t end1, int64_t begin2, int64_t end2) {
  return std::max<int64_t>(0, std::min(end1, end2) - std::max(begin1, begin2));
}

// The gap between two ranges (0 when they meet).
int64_t Gap(int64_t begin1, int64_t end1, int64_t begin2, int64_t end2) {
  return std::max<int64_t>({0, begin2 - end1, begin1 - end2});
}

// The start that moves a range [begin, begin + length) the shortest way into
// [area_begin, area_end); a range longer than the area keeps its start in it.
int64_t MoveInto(int64_t begin, int64_t length, int64_t area_begin, int64_t area_end) {
  return std::max(area_begin, std::min(begin, area_end - length));
}

}  // namespace

LayoutKind LayoutKindOfStyle(int32_t style) {
  switch (style) {
    case 1:
      return LayoutKind::kCompact;
    case 2:
      return LayoutKind::kColumn;
    default:
      return LayoutKind::kStrip;
  }
}

const WindowLayout& LayoutOf(LayoutKind kind) {
  static const WindowLayout strip = StripLayout();
  static const WindowLayout compact = CompactLayout();
  static const WindowLayout column = ColumnLayout();
  switch (kind) {
    case LayoutKind::kCompact:
      return compact;
    case LayoutKind::kColumn:
      return column;
    case LayoutKind::kStrip:
      break;
  }
  return strip;
}

LayoutPoint SnapToWorkArea(const ScreenRect& work_area, int32_t snap, int32_t x, int32_t y,
                           int32_t width, int32_t height) {
  int64_t left = x;
  int64_t top = y;
  if (Within(left, work_area.left, snap)) left = work_area.left;
  if (Within(left + width, work_area.right, snap)) left = int64_t{work_area.right} - width;
  if (Within(top, work_area.top, snap)) top = work_area.top;
  if (Within(top + height, work_area.bottom, snap)) top = int64_t{work_area.bottom} - height;
  return {Clamp32(left), Clamp32(top)};
}

LayoutPoint BringOntoMonitor(std::span<const ScreenRect> work_areas, const ScreenRect& window) {
  const int64_t width = int64_t{window.right} - window.left;
  const int64_t height = int64_t{window.bottom} - window.top;
  const int64_t need_x = std::min<int64_t>(kMinVisiblePart, std::max<int64_t>(width, 1));
  const int64_t need_y = std::min<int64_t>(kMinVisiblePart, std::max<int64_t>(height, 1));
  const ScreenRect* nearest = nullptr;
  double nearest_distance = 0;
  for (const ScreenRect& area : work_areas) {
    const int64_t shown_x = Overlap(window.left, window.right, area.left, area.right);
    const int64_t shown_y = Overlap(window.top, window.bottom, area.top, area.bottom);
    if (shown_x >= need_x && shown_y >= need_y) return {window.left, window.top};
    const int64_t gap_x = Gap(window.left, window.right, area.left, area.right);
    const int64_t gap_y = Gap(window.top, window.bottom, area.top, area.bottom);
    // Squares of gaps between 32-bit edges overflow 64-bit integers.
    const double distance = static_cast<double>(gap_x) * static_cast<double>(gap_x) +
                            static_cast<double>(gap_y) * static_cast<double>(gap_y);
    if (nearest == nullptr || distance < nearest_distance) {
      nearest = &area;
      nearest_distance = distance;
    }
  }
  if (nearest == nullptr) return {window.left, window.top};
  return {Clamp32(MoveInto(window.left, width, nearest->left, nearest->right)),
          Clamp32(MoveInto(window.top, height, nearest->top, nearest->bottom))};
}

LayoutPoint HotkeyMenuPlace(bool window_shown, const ScreenRect& window, const LayoutSize& client,
                            const LayoutPoint& panel, const LayoutPoint& pointer) {
  if (!window_shown) return pointer;
  const int64_t offset_x = int64_t{window.right} - window.left - client.width;
  const int64_t offset_y = int64_t{window.bottom} - window.top - client.height;
  return {Clamp32(int64_t{panel.x} + window.left + offset_x),
          Clamp32(int64_t{panel.y} + window.top + offset_y)};
}

namespace {

// The work area that shows most of `rect`; the nearest when none shows any.
const ScreenRect* AreaHolding(std::span<const ScreenRect> work_areas, const ScreenRect& rect) {
  const ScreenRect* best = nullptr;
  int64_t best_shown = 0;
  double best_distance = 0;
  for (const ScreenRect& area : work_areas) {
    const int64_t shown = Overlap(rect.left, rect.right, area.left, area.right) *
                          Overlap(rect.top, rect.bottom, area.top, area.bottom);
    const int64_t gap_x = Gap(rect.left, rect.right, area.left, area.right);
    const int64_t gap_y = Gap(rect.top, rect.bottom, area.top, area.bottom);
    const double distance = static_cast<double>(gap_x) * static_cast<double>(gap_x) +
                            static_cast<double>(gap_y) * static_cast<double>(gap_y);
    if (best == nullptr || shown > best_shown ||
        (shown == 0 && best_shown == 0 && distance < best_distance)) {
      best = &area;
      best_shown = shown;
      best_distance = distance;
    }
  }
  return best;
}

// `rect` moved (and shrunk when it must be) to lie whole on `area`.
ScreenRect ClampInto(const ScreenRect& area, int64_t left, int64_t top, int64_t width,
                     int64_t height) {
  width = std::clamp<int64_t>(width, 0, std::max<int64_t>(int64_t{area.right} - area.left, 0));
  height = std::clamp<int64_t>(height, 0, std::max<int64_t>(int64_t{area.bottom} - area.top, 0));
  left = std::clamp<int64_t>(left, area.left, std::max<int64_t>(area.right - width, area.left));
  top = std::clamp<int64_t>(top, area.top, std::max<int64_t>(area.bottom - height, area.top));
  return {Clamp32(left), Clamp32(top), Clamp32(left + width), Clamp32(top + height)};
}

}  // namespace

ScreenRect PlaceBesideStrip(std::span<const ScreenRect> work_areas,
                            const std::optional<ScreenRect>& strip,
                            const std::optional<ScreenRect>& tray, const LayoutSize& size,
                            const std::optional<ScreenRect>& remembered) {
  if (remembered) {
    const ScreenRect& r = *remembered;
    const ScreenRect* area = AreaHolding(work_areas, r);
    if (area == nullptr) return r;
    return ClampInto(*area, r.left, r.top, int64_t{r.right} - r.left, int64_t{r.bottom} - r.top);
  }
  if (strip) {
    const ScreenRect* area = AreaHolding(work_areas, *strip);
    int64_t top = strip->bottom;
    if (area == nullptr) {
      return {strip->left, strip->bottom, Clamp32(int64_t{strip->left} + size.width),
              Clamp32(top + size.height)};
    }
    // No room below: above the strip.
    if (top + size.height > area->bottom && int64_t{strip->top} - size.height >= area->top) {
      top = int64_t{strip->top} - size.height;
    }
    return ClampInto(*area, strip->left, top, size.width, size.height);
  }
  if (work_areas.empty()) return {0, 0, size.width, size.height};
  if (tray) {
    const ScreenRect* area = AreaHolding(work_areas, *tray);
    // The corner of the work area nearest to the notification area's centre.
    const int64_t x = (int64_t{tray->left} + tray->right) / 2;
    const int64_t y = (int64_t{tray->top} + tray->bottom) / 2;
    const bool right = 2 * x >= int64_t{area->left} + area->right;
    const bool bottom = 2 * y >= int64_t{area->top} + area->bottom;
    return ClampInto(*area, right ? int64_t{area->right} - size.width : area->left,
                     bottom ? int64_t{area->bottom} - size.height : area->top, size.width,
                     size.height);
  }
  const ScreenRect& primary = work_areas.front();
  return ClampInto(primary, (int64_t{primary.left} + primary.right - size.width) / 2,
                   (int64_t{primary.top} + primary.bottom - size.height) / 2, size.width,
                   size.height);
}

}  // namespace tol
