#include "sim_content.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "assistant/server_addresses.h"
#include "shared/codepage.h"

namespace tol::sim {
namespace {

// splitmix64: a small, well-mixed generator whose output is the same on every
// platform, which is all the determinism by seed needs.
uint64_t Mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

class Rng {
 public:
  Rng(uint64_t seed, uint64_t salt, uint64_t a, uint64_t b)
      : state_(Mix(seed ^ Mix(salt ^ Mix(a ^ Mix(b))))) {}
  uint64_t Next() { return Mix(state_++); }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }

 private:
  uint64_t state_;
};

constexpr uint64_t kStatusSalt = 0x5354415455530000ull;
constexpr uint64_t kMapSalt = 0x4d41504c49535400ull;

int ConnectTime(Rng& rng) {
  const int u = rng.Below(100);
  if (u < 70) return 200 + rng.Below(2800);
  if (u < 95) return 3000 + rng.Below(12000);
  if (u < 99) return 15000 + rng.Below(15000);
  return 30000 + rng.Below(90000);  // now and then a very slow server
}

std::string StatusLine(Rng& rng, std::string_view key) {
  const char* state = "Good";
  int success = 2;
  int connect = 0;
  const int r = rng.Below(1000);
  if (r < 900) {
    success = rng.Below(100) < 85 ? 2 : 1;
    connect = ConnectTime(rng);
  } else if (r < 940) {
    state = "Closed";
    success = rng.Below(3);
    connect = success > 0 ? ConnectTime(rng) : 0;
  } else {
    state = r < 970 ? "Dead" : "Down";
    success = 0;
  }
  char line[96];
  std::snprintf(line, sizeof line, "%.*s,%s,%d,2,%d\r\n", static_cast<int>(key.size()), key.data(),
                state, success, connect);
  return line;
}

// Display names of the map identifiers: a prefix per ten identifiers and a
// suffix within them. Several prefixes hold characters whose code page 932
// form has 0x5C ("\") as second byte: 表, ソ, 十, 能, 予.
constexpr std::array<const char*, 12> kNamePrefixes = {
    "東", "西", "南", "北", "表", "ソラ", "十字", "能登", "予言の", "霧の", "星降る", "古都"};
constexpr std::array<const char*, 10> kNameSuffixes = {"平原", "森",   "洞窟", "港",     "神殿",
                                                       "砂漠", "湿地", "峡谷", "城下町", "遺跡"};
static_assert(kNamePrefixes.size() * kNameSuffixes.size() >= kMapIds);

}  // namespace

std::optional<ServicePath> ParseServicePath(std::string_view path) {
  auto world_index = [](std::string_view name, std::size_t count) -> std::optional<std::size_t> {
    for (std::size_t i = 0; i < count; ++i) {
      if (kWorldNames[i] == name) return i;
    }
    return std::nullopt;
  };
  if (path.starts_with(kStatusPrefix)) {
    std::string_view rest = path.substr(kStatusPrefix.size());
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const auto world = world_index(rest.substr(0, slash), kWorldNames.size());
    const std::string_view file = rest.substr(slash + 1);
    if (!world) return std::nullopt;
    if (file == "status.txt") return ServicePath{ServicePath::Kind::kStatus, *world};
    if (file == "loadtime.txt") return ServicePath{ServicePath::Kind::kLoadTime, *world};
    return std::nullopt;
  }
  if (path.starts_with(kMapListPrefix) && path.ends_with(kMapListSuffix) &&
      path.size() > kMapListPrefix.size() + kMapListSuffix.size()) {
    const std::string_view name = path.substr(
        kMapListPrefix.size(), path.size() - kMapListPrefix.size() - kMapListSuffix.size());
    if (const auto world = world_index(name, kMapListWorlds)) {
      return ServicePath{ServicePath::Kind::kMapList, *world};
    }
  }
  return std::nullopt;
}

std::string StatusText(uint64_t seed, uint64_t rewrite, std::size_t world) {
  Rng rng(seed, kStatusSalt, rewrite, world);
  std::string text;
  for (const auto key : kStatusKeys) text += StatusLine(rng, key);
  return text;
}

std::string WithServerStatus(std::string_view text, std::string_view key, std::string_view status,
                             int32_t connect) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    end = end == std::string_view::npos ? text.size() : end + 2;
    const std::string_view line = text.substr(at, end - at);
    if (line.starts_with(key) && line.size() > key.size() && line[key.size()] == ',') {
      const bool good = status == "Good";
      out += std::string(key) + "," + std::string(status) + (good ? ",2,2," : ",0,2,") +
             std::to_string(good ? connect : 0) + "\r\n";
    } else {
      out += line;
    }
    at = end;
  }
  return out;
}

std::string LoadTimeText(int64_t seconds) { return std::to_string(seconds) + "\r\n"; }

std::string MapId(int number) {
  char id[16];
  std::snprintf(id, sizeof id, "m%03d", number);
  return id;
}

std::string MapListText(uint64_t seed, int64_t generation, std::size_t world) {
  Rng rng(seed, kMapSalt, static_cast<uint64_t>(generation), world);
  const auto& table = tol::ServerAddressTable();
  struct Line {
    int map;
    std::string text;
  };
  std::vector<Line> lines;
  auto add = [&](const tol::ServerAddress& row, int port, int map) {
    lines.push_back({map, row.address + "," + std::to_string(port) + "," + MapId(map) + "\r\n"});
  };
  // One map each on the patch server, the login server and the world's
  // character-select server.
  const std::size_t block_row = tol::kServerAddressSingleRows +
                                (world % tol::kServerAddressBlocks) * tol::kServerAddressBlockSize;
  add(table[0], 5999, 1 + rng.Below(kMapIds));
  add(table[tol::kServerAddressSingleRows - 1], 5998, 1 + rng.Below(kMapIds));
  add(table[block_row], 6000, 1 + rng.Below(kMapIds));
  // One to four distinct maps on each game server.
  for (int server = 1; server < tol::kServerAddressBlockSize; ++server) {
    const int count = 1 + rng.Below(4);
    std::vector<int> maps;
    while (static_cast<int>(maps.size()) < count) {
      const int map = 1 + rng.Below(kMapIds);
      if (std::find(maps.begin(), maps.end(), map) == maps.end()) maps.push_back(map);
    }
    for (int map : maps) add(table[block_row + server], 6000 + server, map);
  }
  // The lists come sorted by map, so the servers of a world interleave.
  std::stable_sort(lines.begin(), lines.end(),
                   [](const Line& a, const Line& b) { return a.map < b.map; });
  std::string text;
  for (const auto& line : lines) text += line.text;
  return text;
}

std::string TolMapText() {
  std::string utf8 = "[Map]\r\n";
  for (int n = 1; n <= kNamedMapIds; ++n) {
    utf8 += MapId(n) + "=" + kNamePrefixes[(n - 1) / kNameSuffixes.size()] +
            kNameSuffixes[(n - 1) % kNameSuffixes.size()] + "\r\n";
  }
  return tol::Utf8ToCp932(utf8);
}

std::string HttpDate(int64_t unix_seconds) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm tm{};
  if (gmtime_r(&t, &tm) == nullptr) return "Thu, 01 Jan 1970 00:00:00 GMT";
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday],
                tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return text;
}

}  // namespace tol::sim
