#pragma once
// What the monitor's main window shows, independent of any toolkit. The core
// changes it; front-ends draw it and never compute a colour, caption or
// period themselves.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "monitor/settings.h"
#include "monitor/status.h"
#include "monitor/worlds.h"
#include "shared/date_time.h"

namespace tol {

struct PanelModel {
  std::string caption;            // fixed: "Login", "PatF", ..., "15"; "" for slot 20
  int32_t color = kNeutralColor;  // $00BBGGRR, or $FF0000nn for a system colour
  std::string hint;
  bool hint_shown = false;
};

struct MenuEntryModel {
  std::string caption;
  bool enabled = true;
  bool column_break = false;  // starts a new column (bar break)
};

// The map-name menus of map servers 1-15 (index n - 1).
inline constexpr int kMapMenuCount = 15;
using MapMenus = std::array<std::vector<MenuEntryModel>, kMapMenuCount>;

inline constexpr int kPatchEntryCount = 4;
// Captions of the patch-server entries.
inline constexpr std::array<std::string_view, kPatchEntryCount> kPatchKeys = {
    "PatchServerFV1", "PatchServerFV2", "PatchServerFV3", "PatchServerFV4"};

struct MonitorModel {
  MonitorModel();

  // The world label's text: the current world.
  std::string label1 = std::string(kDefaultWorldLabel);
  // Panels of slots 1-20 (index slot - 1); slot 20 is never shown.
  std::array<PanelModel, kSlotCount> panels;
  std::string caption = "Kovun";
  // The caption as the last poll (or the update-time toggle) left it; the
  // countdown builds on it.
  std::string saved_caption;

  // Main context menu: the world entries in table order, the patch entries.
  std::array<MenuEntryModel, kWorldCount> world_entries;
  std::array<MenuEntryModel, kPatchEntryCount> patch_entries;
  // Check marks of "always in front", "show update time", "task tray".
  bool set_window_pos = false;
  bool last_modified = false;
  bool task_tray = false;

  // Map-name menus, rebuilt by every poll; empty until the first one.
  MapMenus map_menus;

  // Kept between polls.
  int32_t poll_interval = 120000;  // the refresh timer's period, ms
  int32_t load_time = 0;           // seconds
  DateTime last_modified_time;     // local; zero before the first poll
  std::string average_text;
  std::string update_text;
  std::string update_value;  // U: UpdateText during a poll, then the suffix

  PanelModel& panel(int slot) { return panels[slot - 1]; }
  const PanelModel& panel(int slot) const { return panels[slot - 1]; }

  // Panels 1-19 neutral, their hints switched off (texts kept).
  void ResetPanels();
  // Panels 1-19 neutral, hints untouched (failure captions).
  void NeutralPanels();
  // Disables the patch entry whose caption equals `patch`, enables the others.
  void SelectPatchEntry(std::string_view patch);
};

// The model after the settings have been read: world label, check marks and
// patch entries as the start-up sequence sets them.
void ApplySettingsToModel(MonitorModel& model, const KovunSettings& settings);

}  // namespace tol
