#include "monitor/map_menus.h"

#include <cstdio>

#include "shared/profile_ini.h"
#include "shared/text.h"

namespace tol {

std::string MapSectionName(int n) {
  char name[16];
  std::snprintf(name, sizeof name, "GameServer%02d", n);
  return name;
}

std::string MapFileName(std::string_view world_label) {
  std::string name;
  name.reserve(world_label.size() + 4);
  for (std::size_t i = 0; i < world_label.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(world_label[i]);
    if (IsLeadByte(c) && i + 1 < world_label.size()) {
      name += world_label.substr(i, 2);
      ++i;
    } else {
      name += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    }
  }
  return name + ".ini";
}

FilePath MapFilePath(const FilePath& folder, std::string_view world_label) {
  FilePath path = folder;
  if (!path.empty() && path.Folder() != path) path = path.Join("/");
  return path.Join(MapFileName(world_label));
}

void ApplyColumnBreaks(std::vector<MenuEntryModel>& entries, int32_t popup_break) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].column_break =
        popup_break > 0 && i > 0 && i % static_cast<std::size_t>(popup_break) == 0;
  }
}

MapMenus BuildMapMenus(const ProfileIni& map_file, int32_t popup_break) {
  MapMenus menus;
  for (int n = 1; n <= kMapMenuCount; ++n) {
    std::vector<MenuEntryModel>& menu = menus[n - 1];
    auto lines = map_file.ReadSection(MapSectionName(n), kMaxMapMenuEntries);
    menu.reserve(lines.size());
    for (auto& [key, value] : lines) {
      std::string caption = std::move(key);
      caption += '=';
      caption += value;
      menu.push_back(MenuEntryModel{std::move(caption), true, false});
    }
    ApplyColumnBreaks(menu, popup_break);
  }
  return menus;
}

void BuildMapMenus(MonitorModel& model, const FilePath& zoneroll_folder, int32_t popup_break) {
  // The old entries go first, whatever the reading does.
  for (auto& menu : model.map_menus) menu.clear();
  const ProfileIni map_file = ProfileIni::Load(MapFilePath(zoneroll_folder, model.label1));
  model.map_menus = BuildMapMenus(map_file, popup_break);
}

}  // namespace tol
