#include "assistant/server_addresses.h"

#include <array>
#include <cstdio>
#include <unordered_map>

namespace tol {
namespace {

struct SingleRow {
  const char* address;
  const char* key;
};

// Networks: A 192.0.2.0/24, B 198.51.100.0/24, C 203.0.113.0/24,
// D 10.52.7.0/24, E 10.52.12.0/24.
constexpr std::array<SingleRow, kServerAddressSingleRows> kSingleRows = {{
    {"192.0.2.5", "PatchServerH"},
    {"198.51.100.21", "PatchServerFV1"},
    {"198.51.100.23", "PatchServerFV2"},
    {"198.51.100.37", "PatchServerFV3"},
    {"198.51.100.52", "PatchServerFV4"},
    {"203.0.113.70", "PatchServerFV5"},
    {"203.0.113.72", "PatchServerFV6"},
    {"203.0.113.75", "PatchServerFV7"},
    {"203.0.113.90", "PatchServerFV8"},
    {"192.0.2.10", "LoginServer"},
}};

struct BlockStart {
  const char* network;  // the first three octets with their dots
  int first;            // last octet of the block's first address
};

// Each block covers first .. first + 15 of its network, with unlisted
// addresses between neighbouring blocks.
constexpr std::array<BlockStart, kServerAddressBlocks> kBlocks = {{
    {"192.0.2.", 16},
    {"192.0.2.", 33},
    {"192.0.2.", 50},
    {"192.0.2.", 80},
    {"192.0.2.", 97},
    {"192.0.2.", 128},
    {"192.0.2.", 150},
    {"192.0.2.", 176},
    {"192.0.2.", 224},
    {"10.52.7.", 64},
    {"10.52.7.", 96},
    {"10.52.12.", 8},
    {"10.52.12.", 32},
    {"10.52.12.", 56},
    {"10.52.12.", 80},
    {"10.52.12.", 120},
    {"10.52.12.", 160},
    {"10.52.12.", 200},
}};

static_assert([] {
  for (const auto& b : kBlocks) {
    if (b.first < 0 || b.first + kServerAddressBlockSize - 1 > 255) return false;
  }
  return true;
}());

std::string BlockKey(int index) {
  if (index == 0) return "CharSelect";
  char key[16];
  std::snprintf(key, sizeof key, "GameServer%02d", index);
  return key;
}

struct Table {
  std::vector<ServerAddress> rows;
  std::unordered_map<std::string_view, std::string_view> by_address;

  Table() {
    rows.reserve(kServerAddressRows);
    for (const auto& r : kSingleRows) rows.push_back({r.address, r.key});
    for (const auto& b : kBlocks) {
      for (int i = 0; i < kServerAddressBlockSize; ++i) {
        rows.push_back({std::string(b.network) + std::to_string(b.first + i), BlockKey(i)});
      }
    }
    // The views point into `rows`, which is never changed again.
    by_address.reserve(rows.size());
    for (const auto& r : rows) by_address.emplace(r.address, r.key);
  }
};

const Table& TheTable() {
  static const Table table;
  return table;
}

}  // namespace

const std::vector<ServerAddress>& ServerAddressTable() { return TheTable().rows; }

std::optional<std::string_view> ServerKeyForAddress(std::string_view address) {
  const auto& map = TheTable().by_address;
  auto it = map.find(address);
  if (it == map.end()) return std::nullopt;
  return it->second;
}

}  // namespace tol
