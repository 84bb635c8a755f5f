#pragma once
// The fixed table that maps a server address of the map lists to the server
// key that names its section in a per-world map-name file.
//
// 298 rows in a fixed order: "PatchServerH", "PatchServerFV1" to
// "PatchServerFV8", "LoginServer", then 18 blocks of 16 consecutive addresses,
// each mapped in order to "CharSelect" and "GameServer01" to "GameServer15".
// All addresses are distinct. Both the assistant and the local test services
// take their addresses from here.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tol {

struct ServerAddress {
  std::string address;  // IPv4 dotted decimal, e.g. "192.0.2.16"
  std::string key;      // e.g. "GameServer07"
};

inline constexpr int kServerAddressSingleRows = 10;
inline constexpr int kServerAddressBlocks = 18;
inline constexpr int kServerAddressBlockSize = 16;
inline constexpr int kServerAddressRows =
    kServerAddressSingleRows + kServerAddressBlocks * kServerAddressBlockSize;  // 298

// The whole table in row order, built on first use.
const std::vector<ServerAddress>& ServerAddressTable();

// The server key of the row whose address equals `address` byte for byte;
// nullopt when no row does. No normalisation: " 192.0.2.16" or "192.0.2.016"
// match nothing. The view stays valid for the life of the program.
std::optional<std::string_view> ServerKeyForAddress(std::string_view address);

}  // namespace tol
