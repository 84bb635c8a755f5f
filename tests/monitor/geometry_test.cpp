#include "monitor/geometry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace tol {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

bool Overlaps(const LayoutBox& a, const LayoutBox& b) {
  return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
         b.top < a.top + a.height;
}

TEST(LayoutTest, StyleChoosesTheLayoutAndItsSizes) {
  struct Case {
    int32_t style;
    LayoutKind kind;
    LayoutSize client;
    LayoutSize min_client;
    LayoutBox label1;
    LayoutBox pat_h;  // Panel3
    LayoutBox map1;   // Panel5
    LayoutBox map10;  // Panel14
    LayoutBox map15;  // Panel19
  };
  const Case cases[] = {
      {0,
       LayoutKind::kStrip,
       {625, 25},
       {625, 25},
       {6, 7, 40, 12},
       {53, 5, 34, 17},
       {202, 5, 25, 17},
       {454, 5, 25, 17},
       {594, 5, 25, 17}},
      {1,
       LayoutKind::kCompact,
       {163, 89},
       {163, 87},
       {63, 5, 40, 12},
       {2, 20, 34, 17},
       {36, 20, 25, 17},
       {136, 45, 25, 17},
       {136, 71, 25, 17}},
      {2,
       LayoutKind::kColumn,
       {100, 267},
       {100, 267},
       {4, 7, 40, 12},
       {8, 26, 34, 17},
       {8, 94, 25, 17},
       {8, 247, 25, 17},
       {46, 162, 25, 17}},
      {7,
       LayoutKind::kStrip,
       {625, 25},
       {625, 25},
       {6, 7, 40, 12},
       {53, 5, 34, 17},
       {202, 5, 25, 17},
       {454, 5, 25, 17},
       {594, 5, 25, 17}},
      {-1,
       LayoutKind::kStrip,
       {625, 25},
       {625, 25},
       {6, 7, 40, 12},
       {53, 5, 34, 17},
       {202, 5, 25, 17},
       {454, 5, 25, 17},
       {594, 5, 25, 17}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    const WindowLayout& layout = LayoutForStyle(c.style);
    EXPECT_EQ(layout.kind, c.kind);
    EXPECT_EQ(layout.client, c.client);
    EXPECT_EQ(layout.min_client, c.min_client);
    EXPECT_EQ(layout.label1(), c.label1);
    EXPECT_EQ(layout.panel(3), c.pat_h);
    EXPECT_EQ(layout.panel(5), c.map1);
    EXPECT_EQ(layout.panel(14), c.map10);
    EXPECT_EQ(layout.panel(19), c.map15);
  }
}

TEST(LayoutTest, EveryPanelIsVisibleAndNoneCoversAnother) {
  for (LayoutKind kind : {LayoutKind::kStrip, LayoutKind::kCompact, LayoutKind::kColumn}) {
    const WindowLayout& layout = LayoutOf(kind);
    SCOPED_TRACE(static_cast<int>(kind));
    EXPECT_LE(layout.min_client.width, layout.client.width);
    EXPECT_LE(layout.min_client.height, layout.client.height);
    for (int i = 0; i < kLayoutControlCount; ++i) {
      const LayoutBox& box = layout.controls[i];
      EXPECT_GE(box.left, 0) << i;
      EXPECT_GE(box.top, 0) << i;
      EXPECT_LE(box.left + box.width, layout.client.width) << i;
      EXPECT_LE(box.top + box.height, layout.client.height) << i;
      for (int j = 1; j < i; ++j) EXPECT_FALSE(Overlaps(box, layout.controls[j])) << i << " " << j;
    }
  }
}

TEST(LayoutTest, ColumnShowsTheLastMapServersBesideTheFirst) {
  const WindowLayout& column = LayoutOf(LayoutKind::kColumn);
  for (int n = 11; n <= 15; ++n) {
    SCOPED_TRACE(n);
    const LayoutBox& beside = column.panel(n + 4);
    EXPECT_EQ(beside.top, column.panel(n - 10 + 4).top);
    // Right of the widest panel of the first column.
    EXPECT_GT(beside.left, column.panel(3).left + column.panel(3).width);
  }
}

TEST(SnapToWorkAreaTest, MovesEdgesWithinTheSnapDistanceOntoTheWorkArea) {
  const ScreenRect work{0, 0, 1280, 1000};
  struct Case {
    const char* name;
    ScreenRect area;
    int32_t snap;
    int32_t x, y, width, height;
    LayoutPoint result;
  };
  const Case cases[] = {
      {"near left", work, 4, 3, 300, 633, 52, {0, 300}},
      {"left, outside by snap", work, 4, -4, 300, 633, 52, {0, 300}},
      {"left, beyond snap", work, 4, -5, 300, 633, 52, {-5, 300}},
      {"right edge at 1283", work, 4, 650, 300, 633, 52, {647, 300}},
      {"right edge at 1277", work, 4, 644, 300, 633, 52, {647, 300}},
      {"right edge at 1275", work, 4, 642, 300, 633, 52, {642, 300}},
      {"bottom at 997", work, 4, 300, 945, 633, 52, {300, 948}},
      {"top", work, 4, 300, -4, 633, 52, {300, 0}},
      {"corner", work, 4, 1, 946, 633, 52, {0, 948}},
      {"full width, both edges", work, 4, 2, 300, 1280, 52, {0, 300}},
      {"right wins over left", work, 4, 1, 300, 1278, 52, {2, 300}},
      {"bottom wins over top", work, 4, 300, 3, 633, 1000, {300, 0}},
      {"bottom wins over top, taller", work, 4, 300, -3, 633, 1001, {300, -1}},
      {"snap 0 on the edge", work, 0, 0, 948, 633, 52, {0, 948}},
      {"snap 0 one pixel off", work, 0, 1, 947, 633, 52, {1, 947}},
      {"negative snap", work, -1, 0, 948, 633, 52, {0, 948}},
      {"negative snap near", work, -3, 2, 946, 633, 52, {2, 946}},
      {"work area off the origin", {-1280, 40, 0, 1064}, 4, -1283, 43, 633, 52, {-1280, 40}},
      {"huge snap", work, kMax, 99999, -99999, 633, 52, {647, 948}},
      {"most negative snap", work, kMin, 0, 0, 633, 52, {0, 0}},
      {"edge near the end of the range",
       {0, 0, kMax, kMax},
       20,
       kMax - 640,
       kMax - 60,
       633,
       52,
       {kMax - 633, kMax - 52}},
      {"far off", work, 4, kMin, kMax, 633, 52, {kMin, kMax}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SnapToWorkArea(c.area, c.snap, c.x, c.y, c.width, c.height), c.result) << c.name;
  }
}

TEST(BringOntoMonitorTest, MovesAWindowThatNoMonitorShowsOntoTheNearest) {
  const ScreenRect primary{0, 0, 1280, 984};
  const ScreenRect left_monitor{-1920, -200, 0, 880};
  const std::vector<ScreenRect> one = {primary};
  const std::vector<ScreenRect> two = {primary, left_monitor};
  struct Case {
    const char* name;
    const std::vector<ScreenRect>* areas;
    ScreenRect window;
    LayoutPoint result;
  };
  const std::vector<ScreenRect> none;
  const Case cases[] = {
      {"inside", &one, {100, 100, 733, 152}, {100, 100}},
      {"partly off, enough shown", &one, {1248, 900, 1881, 952}, {1248, 900}},
      {"only 31 pixels shown", &one, {1249, 900, 1882, 952}, {647, 900}},
      {"below the work area", &one, {100, 2000, 733, 2052}, {100, 932}},
      {"minimised position", &one, {-32000, -32000, -31367, -31948}, {0, 0}},
      {"on the second monitor", &two, {-1000, 0, -367, 52}, {-1000, 0}},
      {"left of the second monitor", &two, {-5000, 100, -4367, 152}, {-1920, 100}},
      {"above both, nearer the second", &two, {-900, -900, -267, -848}, {-900, -200}},
      // Touches both: the first one takes it.
      {"across both, shown by neither enough", &two, {-20, 870, 20, 900}, {0, 870}},
      {"larger than the area, shown", &one, {-5000, -5000, 5000, 5000}, {-5000, -5000}},
      {"larger and off", &one, {3000, 3000, 5000, 5000}, {0, 0}},
      {"small window shown whole", &one, {1270, 974, 1280, 984}, {1270, 974}},
      {"no monitors", &none, {-32000, -32000, -31367, -31948}, {-32000, -32000}},
      {"end of the range", &one, {kMax - 10, kMax - 10, kMax, kMax}, {1270, 974}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BringOntoMonitor(*c.areas, c.window), c.result) << c.name;
  }
}

TEST(HotkeyMenuPlaceTest, PanelPlusWindowCornerPlusFrameOrThePointer) {
  struct Case {
    const char* name;
    bool shown;
    ScreenRect window;
    LayoutSize client;
    LayoutPoint panel, result;
  };
  const LayoutPoint pointer{700, 20};
  const Case cases[] = {
      // 633 x 52 around a 625 x 25 client: offsets 8 and 27.
      {"strip, map server 3", true, {210, 129, 843, 181}, {625, 25}, {258, 5}, {476, 161}},
      {"moved to the top-left corner", true, {0, 0, 633, 52}, {625, 25}, {258, 5}, {266, 32}},
      {"left monitor", true, {-1500, -40, -867, 12}, {625, 25}, {202, 5}, {-1290, -8}},
      {"column, other frame", true, {100, 100, 212, 400}, {100, 267}, {46, 162}, {158, 295}},
      {"minimised", false, {-32000, -32000, -31840, -31973}, {0, 0}, {258, 5}, pointer},
      {"range end", true, {kMax - 10, kMax - 10, kMax, kMax}, {0, 0}, {50, 50}, {kMax, kMax}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HotkeyMenuPlace(c.shown, c.window, c.client, c.panel, pointer), c.result) << c.name;
  }
}

// The history window opens whole on the work area of the strip's monitor,
// beside the strip, or beside the notification area (or centred) when the
// strip is minimised or in it; a remembered place is kept, brought back
// onto a monitor that went away.
TEST(PlaceBesideStripTest, WholeOnTheStripsWorkArea) {
  const ScreenRect primary{0, 0, 1280, 994}, right{1280, 0, 3200, 1080};
  const std::vector<ScreenRect> one{primary}, two{primary, right};
  const LayoutSize size{660, 360};
  struct Case {
    const char* name;
    std::vector<ScreenRect> areas;
    std::optional<ScreenRect> strip, tray, remembered;
    LayoutSize size;
    ScreenRect place;
  };
  const Case cases[] = {
      {"below the strip", one, ScreenRect{210, 129, 843, 181}, {}, {}, size, {210, 181, 870, 541}},
      {"strip at the bottom edge: above it",
       one,
       ScreenRect{210, 942, 843, 994},
       {},
       {},
       size,
       {210, 582, 870, 942}},
      {"strip at the right edge: moved left",
       one,
       ScreenRect{1000, 100, 1633, 152},
       {},
       {},
       size,
       {620, 152, 1280, 512}},
      {"on the second monitor's bottom edge",
       two,
       ScreenRect{1500, 1040, 2133, 1080},
       {},
       {},
       size,
       {1500, 680, 2160, 1040}},
      {"strip off every monitor: the nearest",
       two,
       ScreenRect{5000, 5000, 5633, 5052},
       {},
       {},
       size,
       {2540, 720, 3200, 1080}},
      {"larger than the work area: shrunk",
       one,
       ScreenRect{210, 129, 843, 181},
       {},
       {},
       LayoutSize{2000, 2000},
       {0, 0, 1280, 994}},
      {"minimised, tray unknown: centred on the primary",
       two,
       {},
       {},
       {},
       size,
       {310, 317, 970, 677}},
      {"minimised, tray at the bottom right",
       two,
       {},
       ScreenRect{1180, 994, 1280, 1024},
       {},
       size,
       {620, 634, 1280, 994}},
      {"minimised, taskbar at the top",
       {ScreenRect{0, 30, 1280, 1024}},
       {},
       ScreenRect{1180, 0, 1280, 30},
       {},
       size,
       {620, 30, 1280, 390}},
      {"remembered: kept",
       two,
       ScreenRect{210, 129, 843, 181},
       {},
       ScreenRect{1400, 50, 2000, 450},
       size,
       {1400, 50, 2000, 450}},
      {"remembered on a monitor now gone",
       one,
       {},
       {},
       ScreenRect{1500, 100, 2160, 460},
       size,
       {620, 100, 1280, 460}},
      {"no monitors: below the strip",
       {},
       ScreenRect{10, 10, 110, 40},
       {},
       {},
       size,
       {10, 40, 670, 400}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PlaceBesideStrip(c.areas, c.strip, c.tray, c.size, c.remembered), c.place);
  }
}

}  // namespace
}  // namespace tol
