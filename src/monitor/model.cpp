#include "monitor/model.h"

namespace tol {

MonitorModel::MonitorModel() {
  for (int slot = 1; slot <= kSlotCount; ++slot) panel(slot).caption = PanelCaption(slot);
  const auto worlds = Worlds();
  for (int i = 0; i < kWorldCount; ++i) {
    world_entries[i] = {std::string(worlds[i].name), worlds[i].initially_enabled,
                        worlds[i].starts_column};
  }
  for (int i = 0; i < kPatchEntryCount; ++i) {
    patch_entries[i] = {std::string(kPatchKeys[i]), true, i == 0};
  }
}

void MonitorModel::ResetPanels() {
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    panel(slot).color = kNeutralColor;
    panel(slot).hint_shown = false;
  }
}

void MonitorModel::NeutralPanels() {
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) panel(slot).color = kNeutralColor;
}

void MonitorModel::SelectPatchEntry(std::string_view patch) {
  for (MenuEntryModel& e : patch_entries) e.enabled = e.caption != patch;
}

void ApplySettingsToModel(MonitorModel& model, const KovunSettings& settings) {
  model.label1 = settings.default_world;
  model.set_window_pos = settings.set_window_pos;
  model.last_modified = settings.last_modified;
  model.task_tray = settings.task_tray;
  model.SelectPatchEntry(settings.patch);
}

}  // namespace tol
