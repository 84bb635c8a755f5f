#pragma once
// The fixed table of the nineteen game worlds.
//
// A world's display name is its identity everywhere: the text of the world
// label, the caption of its world-menu entry, the value of [Server] Default
// and, in lower case, the name of its map-name file. Its directory is appended
// to the status service's base URL.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tol {

struct World {
  std::string_view name;       // display name, e.g. "Arvel"
  std::string_view directory;  // lower-case URL directory, e.g. "arvel/"
  bool initially_enabled;      // the world-menu entry's state at start-up
  bool starts_column;          // the world-menu entry starts a new column (bar break)
};

inline constexpr int kWorldCount = 19;
// Sendra, the last row: its menu entry is never enabled.
inline constexpr int kSendraIndex = 18;

// The table in menu order.
std::span<const World> Worlds();

// Index (0-based) of the world whose display name equals `name` exactly
// (case-sensitive); nullopt when none does.
std::optional<int> FindWorld(std::string_view name);

// The label forms of older settings files, "Arvel :", "Bessa :", "Corin :" and
// "Dovan :", become the display names; any other text is returned unchanged.
std::string ConvertOldWorldLabel(std::string_view label);

}  // namespace tol
