#include "monitor/worlds.h"

#include <array>

namespace tol {
namespace {

constexpr std::array<World, kWorldCount> kWorlds = {{
    {"Arvel", "arvel/", true, false},     {"Bessa", "bessa/", true, false},
    {"Corin", "corin/", true, false},     {"Dovan", "dovan/", true, false},
    {"Elmira", "elmira/", true, false},   {"Fennet", "fennet/", true, false},
    {"Garvo", "garvo/", true, false},     {"Hollis", "hollis/", true, false},
    {"Istra", "istra/", true, false},     {"Jorun", "jorun/", true, false},
    {"Kestel", "kestel/", true, false},   {"Lumbra", "lumbra/", true, true},
    {"Morvane", "morvane/", true, false}, {"Nessa", "nessa/", true, false},
    {"Orwin", "orwin/", true, false},     {"Pellam", "pellam/", true, false},
    {"Quint", "quint/", true, false},     {"Rosk", "rosk/", true, false},
    {"Sendra", "sendra/", false, false},
}};

}  // namespace

std::span<const World> Worlds() { return kWorlds; }

std::optional<int> FindWorld(std::string_view name) {
  for (int i = 0; i < kWorldCount; ++i) {
    if (kWorlds[i].name == name) return i;
  }
  return std::nullopt;
}

std::string ConvertOldWorldLabel(std::string_view label) {
  for (std::string_view old_name : {"Arvel", "Bessa", "Corin", "Dovan"}) {
    if (label.size() == old_name.size() + 2 && label.substr(0, old_name.size()) == old_name &&
        label.substr(old_name.size()) == " :") {
      return std::string(old_name);
    }
  }
  return std::string(label);
}

}  // namespace tol
