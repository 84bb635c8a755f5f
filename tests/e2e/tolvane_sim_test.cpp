// What the other tests and the demo take from tolvane-sim: the formats of the
// two services, their times, determinism by seed, the fault kinds, the
// written TolMap.ini and a clean stop.

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "assistant/server_addresses.h"
#include "shared/codepage.h"
#include "shared/date_time.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

using testing::SimProcess;

const char* const kWorlds[] = {"arvel",  "bessa",  "corin", "dovan",  "elmira", "fennet",  "garvo",
                               "hollis", "istra",  "jorun", "kestel", "lumbra", "morvane", "nessa",
                               "orwin",  "pellam", "quint", "rosk",   "sendra"};
constexpr int64_t kEpoch = 1700000000;  // Tue, 14 Nov 2023 22:13:20 GMT

// Lines of a CR LF text; a last line without its CR LF is marked.
std::vector<std::string> Lines(const std::string& body) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < body.size();) {
    const std::size_t end = body.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(body.substr(start) + "<no CR LF>");
      break;
    }
    lines.push_back(body.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

httplib::Result Get(SimProcess& sim, const std::string& path) {
  return httplib::Client("127.0.0.1", sim.port()).Get(path);
}
httplib::Result Head(SimProcess& sim, const std::string& path) {
  return httplib::Client("127.0.0.1", sim.port()).Head(path);
}

// Last-Modified of an answer as Unix seconds.
std::optional<int64_t> LastModified(const httplib::Result& res) {
  if (!res || !res->has_header("Last-Modified")) return std::nullopt;
  auto t = DateTime::FromHttpDate(res->get_header_value("Last-Modified"));
  if (!t) return std::nullopt;
  constexpr int64_t kUnixEpochMs = 25569LL * 86400000;  // 1970-01-01 on the day scale
  return (t->milliseconds() - kUnixEpochMs) / 1000;
}

TEST(TolvaneSimTest, StatusTextsHaveOneWellFormedLinePerServer) {
  SimProcess sim({"--seed", "5"});
  std::vector<std::string> keys = {"LoginServer",    "PatchServerH",   "PatchServerFV1",
                                   "PatchServerFV2", "PatchServerFV3", "PatchServerFV4",
                                   "CharSelect"};
  for (int n = 1; n <= 15; ++n) {
    keys.push_back((n < 10 ? "GameServer0" : "GameServer") + std::to_string(n));
  }
  const std::regex line(R"((\w+),(Good|Closed|Dead|Down),[0-2],2,(0|[1-9]\d*))");
  for (const char* world : kWorlds) {
    SCOPED_TRACE(world);
    const std::string dir = std::string("/status/") + world + "/";
    auto status = Get(sim, dir + "status.txt");
    ASSERT_TRUE(status && status->status == 200);
    const auto lines = Lines(status->body);
    ASSERT_EQ(lines.size(), keys.size()) << status->body;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::smatch m;
      EXPECT_TRUE(std::regex_match(lines[i], m, line) && m[1] == keys[i]) << lines[i];
    }
    auto loadtime = Get(sim, dir + "loadtime.txt");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(loadtime->body, m, std::regex(R"((\d{1,3})\r\n)")));
    EXPECT_TRUE(std::stoi(m[1]) >= 1 && std::stoi(m[1]) <= 180) << loadtime->body;
    auto head = Head(sim, dir + "status.txt");
    EXPECT_TRUE(head && head->status == 200 && head->body.empty());
    ASSERT_TRUE(LastModified(status)) << "Last-Modified missing or unreadable";
    EXPECT_EQ(LastModified(head), LastModified(status));
    EXPECT_EQ(LastModified(loadtime), LastModified(status));
  }
  EXPECT_EQ(Get(sim, "/status/nowhere/status.txt")->status, 404);
}

TEST(TolvaneSimTest, SameSeedSameTexts) {
  SimProcess a({"--seed", "42"}), b({"--seed", "42"}), c({"--seed", "43"});
  bool seed_matters = false;
  for (const char* world : kWorlds) {
    const std::string path = std::string("/status/") + world + "/status.txt";
    EXPECT_EQ(Get(a, path)->body, Get(b, path)->body) << world;
    seed_matters |= Get(a, path)->body != Get(c, path)->body;
  }
  EXPECT_TRUE(seed_matters);
}

TEST(TolvaneSimTest, TimesFollowTheSimClock) {
  SimProcess sim({"--epoch", std::to_string(kEpoch), "--period", "180", "--map-period", "3600"});
  struct Case {
    int64_t now, status_time;
    const char* loadtime;
    int64_t list_time;
  } cases[] = {
      {kEpoch, kEpoch, "180\r\n", kEpoch},
      {kEpoch + 100, kEpoch, "80\r\n", kEpoch},
      {kEpoch + 180, kEpoch + 180, "180\r\n", kEpoch},
      {kEpoch + 3599, kEpoch + 3420, "1\r\n", kEpoch},
      {kEpoch + 3600, kEpoch + 3600, "180\r\n", kEpoch + 3600},
  };
  std::string last_list;
  for (const auto& c : cases) {
    SCOPED_TRACE("now = epoch + " + std::to_string(c.now - kEpoch));
    sim.SetClock(c.now);
    EXPECT_EQ(LastModified(Head(sim, "/status/corin/status.txt")), c.status_time);
    EXPECT_EQ(Get(sim, "/status/corin/loadtime.txt")->body, c.loadtime);
    auto list = Get(sim, "/cgi-bin/iplist/map.corin.lst");
    EXPECT_EQ(LastModified(list), c.list_time);
    if (c.list_time != kEpoch) {
      EXPECT_NE(list->body, last_list) << "a new list generation";
    }
    last_list = list->body;
  }
}

TEST(TolvaneSimTest, MapListsNameServersOfTheAddressTable) {
  SimProcess sim;
  for (int w = 0; w < 18; ++w) {
    SCOPED_TRACE(kWorlds[w]);
    auto list = Get(sim, std::string("/cgi-bin/iplist/map.") + kWorlds[w] + ".lst");
    ASSERT_TRUE(list && list->status == 200);
    EXPECT_TRUE(LastModified(list));
    std::set<std::string> game_servers;
    for (const auto& line : Lines(list->body)) {
      std::smatch m;
      ASSERT_TRUE(std::regex_match(line, m, std::regex(R"(([\d.]+),\d+,m(\d{3}))"))) << line;
      const auto key = ServerKeyForAddress(m[1].str());
      ASSERT_TRUE(key) << "address not in the table: " << line;
      if (key->starts_with("GameServer")) game_servers.insert(std::string(*key));
      EXPECT_TRUE(std::stoi(m[2]) >= 1 && std::stoi(m[2]) <= 120) << line;
    }
    EXPECT_EQ(game_servers.size(), 15u);
  }
  EXPECT_EQ(Get(sim, "/cgi-bin/iplist/map.sendra.lst")->status, 404);
}

TEST(TolvaneSimTest, WritesAMatchingTolMap) {
  testing::TempDir dir;
  const std::string path = dir.File("TolMap.ini");
  const std::string command =
      "'" + SimProcess::ExecutablePath() + "' --write-tolmap '" + path + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string text = testing::TempDir::Read(path);
  ASSERT_TRUE(text.starts_with("[Map]\r\nm001=")) << text.substr(0, 40);
  EXPECT_EQ(Lines(text).size(), 1u + 118u);
  // Names whose second bytes are "\": 表 is 0x95 0x5C, ソ is 0x83 0x5C.
  EXPECT_NE(text.find("\x95\x5C"), std::string::npos);
  EXPECT_NE(text.find("\x83\x5C"), std::string::npos);
  EXPECT_NE(Cp932ToUtf8(text).find("=表"), std::string::npos);
}

TEST(TolvaneSimTest, FaultKinds) {
  SimProcess sim;
  const std::string path = "/status/dovan/status.txt";
  const std::string normal = Get(sim, path)->body;
  struct Case {
    const char* kind;
    const char* extra;
    int status;          // 0: the request fails
    bool last_modified;  // on a 200 answer
    const char* header;  // a header the answer must carry
  } cases[] = {
      {"404", "", 404, false, nullptr},
      {"500", "", 500, false, nullptr},
      {"503", "", 503, false, nullptr},
      {"redirect", "location=/elsewhere", 302, false, "Location"},
      {"nolastmod", "", 200, false, nullptr},
      {"needcookie", "", 200, true, "Set-Cookie"},  // the first answer hands it out
      {"short", "extra=50", 0, false, nullptr},
      {"reset", "partial=10", 0, false, nullptr},
      {"trickle", "interval_ms=1", 200, true, nullptr},
      {"huge", "size=300000&mode=chunked", 200, true, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    sim.SetFault(path, c.kind, c.extra);
    auto res = Get(sim, path);
    if (c.status == 0) {
      EXPECT_FALSE(res) << "status " << res->status;
      continue;
    }
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, c.status);
    if (c.status == 200) {
      EXPECT_EQ(bool(LastModified(res)), c.last_modified);
    }
    if (c.header) {
      EXPECT_TRUE(res->has_header(c.header));
    }
  }
  EXPECT_EQ(Get(sim, path)->body.size(), 300000u) << "a fault lasts until cleared";
  // count=N: the next N requests only; other paths are untouched.
  sim.SetFault(path, "500", "count=2");
  EXPECT_EQ(Get(sim, "/status/dovan/loadtime.txt")->status, 200);
  EXPECT_EQ(Get(sim, path)->status, 500);
  EXPECT_EQ(Get(sim, path)->status, 500);
  EXPECT_EQ(Get(sim, path)->body, normal);
  // "*" covers every path without a fault of its own.
  sim.SetFault("*", "404");
  EXPECT_EQ(Get(sim, "/cgi-bin/iplist/map.arvel.lst")->status, 404);
  sim.ClearFaults();
  EXPECT_EQ(Get(sim, "/cgi-bin/iplist/map.arvel.lst")->status, 200);
}

// The line of `key` in Arvel's status text at the sim's frozen time `t`.
std::string ServerLine(SimProcess& sim, const std::string& key, int64_t t) {
  sim.SetClock(t);
  auto res = Get(sim, "/status/arvel/status.txt");
  if (!res) return "<no answer>";
  for (const std::string& line : Lines(res->body)) {
    if (line.starts_with(key + ",")) return line;
  }
  return "<no line>";
}

TEST(TolvaneSimTest, ServerControlSetsAndFlapsOneServer) {
  SimProcess sim({"--epoch", std::to_string(kEpoch), "--period", "1000"});
  const std::string key = "GameServer03";
  sim.SetClock(kEpoch);
  sim.SetServer("arvel", key, "Good", "connect=1200");
  sim.SetServer("arvel", key, "Down", "at=" + std::to_string(kEpoch + 10));
  sim.SetServer("arvel", key, "Dead", "at=" + std::to_string(kEpoch + 20) + "&flap=3");
  struct Case {
    int64_t t;
    const char* line;
  } cases[] = {
      {0, "GameServer03,Good,2,2,1200"},  {9, "GameServer03,Good,2,2,1200"},
      {10, "GameServer03,Down,0,2,0"},    {19, "GameServer03,Down,0,2,0"},
      {20, "GameServer03,Dead,0,2,0"},    {22, "GameServer03,Dead,0,2,0"},
      {23, "GameServer03,Good,2,2,1000"}, {26, "GameServer03,Dead,0,2,0"},
  };
  for (const Case& c : cases) EXPECT_EQ(ServerLine(sim, key, kEpoch + c.t), c.line) << c.t;
  // Other worlds and servers are the generated ones.
  sim.SetClock(kEpoch + 10);
  SimProcess twin({"--epoch", std::to_string(kEpoch), "--period", "1000"});
  twin.SetClock(kEpoch + 10);
  EXPECT_EQ(Get(sim, "/status/bessa/status.txt")->body,
            Get(twin, "/status/bessa/status.txt")->body);
  EXPECT_EQ(ServerLine(sim, "GameServer04", kEpoch + 10),
            ServerLine(twin, "GameServer04", kEpoch + 10));
  // Clearing gives the generated line back.
  httplib::Client("127.0.0.1", sim.port()).Get("/_sim/server/clear?world=arvel");
  EXPECT_EQ(ServerLine(sim, key, kEpoch + 10), ServerLine(twin, key, kEpoch + 10));
  for (const char* bad : {"/_sim/server?world=nowhere&key=GameServer03&status=Down",
                          "/_sim/server?world=arvel&key=GameServer99&status=Down",
                          "/_sim/server?world=arvel&key=GameServer03&status=a,b",
                          "/_sim/server?world=arvel&key=GameServer03&status=Down&flap=0"}) {
    auto res = httplib::Client("127.0.0.1", sim.port()).Get(bad);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400) << bad;
  }
}

TEST(TolvaneSimTest, SigtermEndsItWhileARequestStalls) {
  SimProcess sim;
  sim.SetFault("/status/istra/status.txt", "stall", "seconds=600");
  bool answered = true;
  std::thread stalled([&] {
    httplib::Client client("127.0.0.1", sim.port());
    client.set_read_timeout(120, 0);
    answered = static_cast<bool>(client.Get("/status/istra/status.txt"));
  });
  for (int i = 0; i < 2000 && sim.StalledRequests() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(sim.StalledRequests(), 1);
  EXPECT_EQ(sim.Stop(), std::optional<int>(0));
  stalled.join();
  EXPECT_FALSE(answered) << "a stalled request is closed without an answer";
}

}  // namespace
}  // namespace tol
