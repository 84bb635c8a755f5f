#pragma once
// The main window's geometry, independent of any toolkit: the three layouts
// as data, edge snapping, and bringing a saved position back onto a monitor.
//
// Every size and position of a layout is in pixels at 96 DPI; the window
// scales them to its own DPI and adds its real frame around the client
// sizes. Snapping and monitor positions are in the desktop's pixels.
//
// Layouts, chosen by [Window] Style: 1 the compact block, 2 the column, any
// other value the strip.
//
//                 client     minimum client  world label  PatH     PatF     Login     Char
//   strip (0)     625 x 25   625 x 25        (6, 7)       (53, 5)  (90, 5)  (127, 5)  (164, 5)
//   compact (1)   163 x 89   163 x 87        (63, 5)      (2, 20)  (2, 37)  (2, 54)   (2, 71)
//   column (2)    100 x 267  100 x 267       (4, 7)       (8, 26)  (8, 43)  (8, 60)   (8, 77)
//
// Map server n (1-15):
//   strip      (202 + 28(n-1), 5): one row, map server 15 at 594
//   compact    rows of five at tops 20, 45, 71, lefts 36 + 25 * column
//   column     servers 1-10 below "Char": (8, 77 + 17n), map server 10 at 247;
//              servers 11-15 in a second column beside servers 1-5:
//              (46, 77 + 17(n-10)), so map server 11 stands beside map
//              server 1. Left 46 keeps 4 pixels from the right edge of the
//              service panels (8 + 34), and the column ends at 71, inside the
//              100-pixel client width: the window keeps its narrow shape and
//              every panel is visible.
//
// The minimum sizes are those of the window as first designed, frame
// included (strip 633 x 52, compact 171 x 114, column 108 x 294), less that
// design's frame of 8 x 27 (the difference between its outer and client
// sizes), so that the window can add the frame of the platform it runs on.
//
// Control sizes: world label 40 x 12, service panels 34 x 17, map panels
// 25 x 17.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace tol {

struct LayoutBox {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  friend bool operator==(const LayoutBox&, const LayoutBox&) = default;
};

struct LayoutSize {
  int32_t width = 0;
  int32_t height = 0;
  friend bool operator==(const LayoutSize&, const LayoutSize&) = default;
};

struct LayoutPoint {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const LayoutPoint&, const LayoutPoint&) = default;
};

// A rectangle by its edges; right and bottom are outside it, as on the
// desktop.
struct ScreenRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

enum class LayoutKind { kStrip, kCompact, kColumn };

// The layout that [Window] Style selects.
LayoutKind LayoutKindOfStyle(int32_t style);

// Index of the world label in WindowLayout::controls; panel n (1-19) is at
// index n.
inline constexpr int kLabel1Index = 0;
inline constexpr int kLayoutControlCount = 20;

struct WindowLayout {
  LayoutKind kind = LayoutKind::kStrip;
  LayoutSize client;
  LayoutSize min_client;
  std::array<LayoutBox, kLayoutControlCount> controls{};

  const LayoutBox& label1() const { return controls[kLabel1Index]; }
  // Panel1-Panel19: Login, PatF, PatH, Char, map servers 1-15.
  const LayoutBox& panel(int n) const { return controls[n]; }
};

const WindowLayout& LayoutOf(LayoutKind kind);
inline const WindowLayout& LayoutForStyle(int32_t style) {
  return LayoutOf(LayoutKindOfStyle(style));
}

// Edge snapping of a window about to move to (`x`, `y`), whose current size
// is `width` x `height`: each edge within `snap` pixels of the same edge of
// `work_area` (both ends included) moves onto it, the left edge first, then
// the right one, then the top, then the bottom, each test on the position as
// the previous one left it; so when both edges of a direction match, the
// right (or bottom) one wins. A negative snap never snaps. The caller passes
// the whole screen when the desktop can't tell its work area.
//
// The arithmetic is done in 64 bits: absurd settings (a snap of two billion,
// a position near the end of the range) snap or don't, but never wrap
// around. A result outside the 32-bit range is clamped to it.
LayoutPoint SnapToWorkArea(const ScreenRect& work_area, int32_t snap, int32_t x, int32_t y,
                           int32_t width, int32_t height);

// The smallest part of a window, per direction, that must lie on a monitor
// for the user to reach it; a smaller window must lie on it whole.
inline constexpr int32_t kMinVisiblePart = 32;

// Where a window with the rectangle `window` should open: where it is when
// some monitor's work area shows a part of it at least kMinVisiblePart wide
// and high (less for a smaller window); otherwise moved by the shortest way
// into the work area nearest to it (the first of equals), its top-left corner
// kept inside when the window is larger than the area. Monitors are given by
// their work areas; with none, the window stays where it is.
LayoutPoint BringOntoMonitor(std::span<const ScreenRect> work_areas, const ScreenRect& window);

// Where a map-server hotkey opens its menu (top-left corner). With the window
// shown: the panel's place in the client area (`panel`) plus the window's
// top-left corner plus PopupOffsetX = window width - client width and
// PopupOffsetY = window height - client height, all as they are when the
// hotkey arrives, so the menu follows the window wherever it has been moved.
// A minimised or hidden window (in the notification area) has no place on
// the screen, a minimised one reports its icon's far off: the menu opens at
// the pointer then.
LayoutPoint HotkeyMenuPlace(bool window_shown, const ScreenRect& window, const LayoutSize& client,
                            const LayoutPoint& panel, const LayoutPoint& pointer);

// Where a window beside the strip (the history window) opens, with its outer
// `size`: always whole on one work area, shrunk to it when larger.
// `work_areas` are the monitors' work areas, the primary monitor's first.
// - Reopened (`remembered`: where the player left it while the program
//   runs): there, moved into the work area that shows most of it.
// - The strip on the screen (`strip`): below it, left edges aligned, or
//   above it when there is no room below, on the work area that shows most
//   of the strip (the nearest when none does).
// - The strip minimised or in the notification area: beside the
//   notification area (`tray`, when the desktop tells where it is), in the
//   corner of its work area nearest to it; else centred on the primary work
//   area.
// With no work area at all the window goes where the strip or the memory
// says, or at the origin.
ScreenRect PlaceBesideStrip(std::span<const ScreenRect> work_areas,
                            const std::optional<ScreenRect>& strip,
                            const std::optional<ScreenRect>& tray, const LayoutSize& size,
                            const std::optional<ScreenRect>& remembered);

}  // namespace tol
