#pragma once
// The fifteen map-name menus (PopupMenu2 to PopupMenu16): menu n lists the
// maps that map server n hosts in the world shown, read from the world's
// map-name file that the assistant writes.
//
// The file is "<lower-case world name>.ini" in the Zoneroll folder; section
// "GameServer01" to "GameServer15" (two digits, any letter case) fills menu
// 1 to 15 with one entry "key=value" per key, in file order. A missing
// folder, file or section leaves its menus empty. Entries carry no action.
//
// Columns: with P = PopupBreak, every P-th entry (counting from 0, entry 0
// excepted) starts a new column after a bar, so each column holds P entries
// and the last one the rest. A PopupBreak of 0 or below gives one column.
//
// A menu holds at most kMaxMapMenuEntries entries (the first ones of the
// section): no server hosts that many maps, and a system menu of a million
// entries would hold the UI thread for seconds.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/model.h"
#include "shared/file_path.h"

namespace tol {

class ProfileIni;

inline constexpr std::size_t kMaxMapMenuEntries = 1000;

// "GameServer01" .. "GameServer15" for n = 1 .. 15.
std::string MapSectionName(int n);

// The world's map-name file name: ASCII letters of `world_label` in lower
// case (double-byte characters untouched), then ".ini".
std::string MapFileName(std::string_view world_label);

// `folder` joined with MapFileName(world_label); a separator is added unless
// the folder is empty or already ends in one.
FilePath MapFilePath(const FilePath& folder, std::string_view world_label);

// Sets the column-break flags of one menu's entries for PopupBreak `popup_break`.
void ApplyColumnBreaks(std::vector<MenuEntryModel>& entries, int32_t popup_break);

// The fifteen menus from a loaded map-name file. Linear in the file's size.
MapMenus BuildMapMenus(const ProfileIni& map_file, int32_t popup_break);

// BuildMapMenus: replaces all fifteen menus of `model` with those of the
// file of the world named by the world label, in `zoneroll_folder`. The
// file is read and released within the call.
void BuildMapMenus(MonitorModel& model, const FilePath& zoneroll_folder, int32_t popup_break);

}  // namespace tol
