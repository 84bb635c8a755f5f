#pragma once
// What the simulated services serve: the status texts of the nineteen
// worlds, the map lists of the first eighteen, and a matching TolMap.ini.
// Every text is a pure function of its inputs, so two sims with the same seed
// serve the same bytes.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tol::sim {

inline constexpr std::array<std::string_view, 19> kWorldNames = {
    "arvel",  "bessa",  "corin",   "dovan", "elmira", "fennet", "garvo", "hollis", "istra", "jorun",
    "kestel", "lumbra", "morvane", "nessa", "orwin",  "pellam", "quint", "rosk",   "sendra"};
// The map-list service knows the first eighteen worlds only.
inline constexpr std::size_t kMapListWorlds = 18;

// The server keys of a status text, in the order of its lines.
inline constexpr std::array<std::string_view, 22> kStatusKeys = {
    "LoginServer",    "PatchServerH", "PatchServerFV1", "PatchServerFV2", "PatchServerFV3",
    "PatchServerFV4", "CharSelect",   "GameServer01",   "GameServer02",   "GameServer03",
    "GameServer04",   "GameServer05", "GameServer06",   "GameServer07",   "GameServer08",
    "GameServer09",   "GameServer10", "GameServer11",   "GameServer12",   "GameServer13",
    "GameServer14",   "GameServer15"};

inline constexpr std::string_view kStatusPrefix = "/status/";
inline constexpr std::string_view kMapListPrefix = "/cgi-bin/iplist/map.";
inline constexpr std::string_view kMapListSuffix = ".lst";

// Map identifiers run from "m001" to "m120"; TolMap.ini names all but the
// last two, so converted lists also show entries without a display name.
inline constexpr int kMapIds = 120;
inline constexpr int kNamedMapIds = 118;

// A request path of the services, taken apart.
struct ServicePath {
  enum class Kind { kStatus, kLoadTime, kMapList };
  Kind kind;
  std::size_t world;  // index into kWorldNames
};
std::optional<ServicePath> ParseServicePath(std::string_view path);

// Status text of one world after rewrite number `rewrite`: one line
// "key,status,success,check,connecttime" per key of kStatusKeys, each ending
// in CR LF.
std::string StatusText(uint64_t seed, uint64_t rewrite, std::size_t world);

// `text` with the line of `key` saying `status`: "key,Good,2,2,<connect>"
// for "Good", "key,<status>,0,2,0" for any other word. Unchanged when it has
// no such line.
std::string WithServerStatus(std::string_view text, std::string_view key, std::string_view status,
                             int32_t connect);

// Seconds until the next rewrite, as the load-time file carries it.
std::string LoadTimeText(int64_t seconds);

// Map list of one of the first eighteen worlds in map generation
// `generation`: lines "address,port,mapid" CR LF, addresses from the server
// address table (the world's own block of game servers, plus patch, login and
// character-select rows).
std::string MapListText(uint64_t seed, int64_t generation, std::size_t world);

// "m001" .. "m120".
std::string MapId(int number);

// TolMap.ini in code page 932: section [Map], "mapid=display name" lines.
std::string TolMapText();

// IMF-fixdate, e.g. "Sun, 06 Nov 1994 08:49:37 GMT".
std::string HttpDate(int64_t unix_seconds);

}  // namespace tol::sim
