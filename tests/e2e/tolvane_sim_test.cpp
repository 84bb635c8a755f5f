// tolvane-sim as the tests and the demo see it: the two services' formats,
// the schedule of their times, faults on demand and the recorded requests.

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "assistant/server_addresses.h"
#include "shared/codepage.h"
#include "shared/date_time.h"
#include "support/sim_process.h"

namespace tol {
namespace {

using testing::SimProcess;

const char* const kWorlds[] = {"arvel",  "bessa",  "corin", "dovan",  "elmira", "fennet",  "garvo",
                               "hollis", "istra",  "jorun", "kestel", "lumbra", "morvane", "nessa",
                               "orwin",  "pellam", "quint", "rosk",   "sendra"};
constexpr int64_t kEpoch = 1700000000;  // Tue, 14 Nov 2023 22:13:20 GMT

std::vector<std::string> SplitCrLf(const std::string& body) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < body.size()) {
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

std::vector<std::string> SplitCommas(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma - start));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

std::optional<int> Integer(const std::string& text) {
  int value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

class TolvaneSimTest : public ::testing::Test {
 protected:
  httplib::Result Get(SimProcess& sim, const std::string& path,
                      const httplib::Headers& headers = {}) {
    httplib::Client client("127.0.0.1", sim.port());
    return client.Get(path, headers);
  }
  httplib::Result Head(SimProcess& sim, const std::string& path) {
    httplib::Client client("127.0.0.1", sim.port());
    return client.Head(path);
  }
  // Last-Modified of an answer as Unix seconds.
  std::optional<int64_t> LastModified(const httplib::Result& res) {
    if (!res || !res->has_header("Last-Modified")) return std::nullopt;
    auto t = DateTime::FromHttpDate(res->get_header_value("Last-Modified"));
    if (!t) return std::nullopt;
    constexpr int64_t kUnixEpochMs = 25569LL * 86400000;  // 1970-01-01 on the day scale
    return (t->milliseconds() - kUnixEpochMs) / 1000;
  }
};

TEST_F(TolvaneSimTest, StatusTextsHaveOneWellFormedLinePerServer) {
  SimProcess sim({"--seed", "5"});
  std::vector<std::string> keys = {"LoginServer",    "PatchServerH",   "PatchServerFV1",
                                   "PatchServerFV2", "PatchServerFV3", "PatchServerFV4",
                                   "CharSelect"};
  for (int n = 1; n <= 15; ++n)
    keys.push_back((n < 10 ? "GameServer0" : "GameServer") + std::to_string(n));
  const std::set<std::string> states = {"Good", "Closed", "Dead", "Down"};

  for (const char* world : kWorlds) {
    SCOPED_TRACE(world);
    const std::string dir = std::string("/status/") + world + "/";
    auto status = Get(sim, dir + "status.txt");
    ASSERT_TRUE(status);
    ASSERT_EQ(status->status, 200);
    const auto lines = SplitCrLf(status->body);
    ASSERT_EQ(lines.size(), keys.size()) << status->body;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const auto f = SplitCommas(lines[i]);
      ASSERT_EQ(f.size(), 5u) << lines[i];
      EXPECT_EQ(f[0], keys[i]);
      EXPECT_TRUE(states.count(f[1])) << lines[i];
      const auto success = Integer(f[2]), check = Integer(f[3]), connect = Integer(f[4]);
      ASSERT_TRUE(success && check && connect) << lines[i];
      EXPECT_TRUE(*success >= 0 && *success <= 2) << lines[i];
      EXPECT_EQ(*check, 2) << lines[i];
      EXPECT_GE(*connect, 0) << lines[i];
    }
    auto loadtime = Get(sim, dir + "loadtime.txt");
    ASSERT_TRUE(loadtime);
    const auto load_lines = SplitCrLf(loadtime->body);
    ASSERT_EQ(load_lines.size(), 1u) << loadtime->body;
    const auto seconds = Integer(load_lines[0]);
    ASSERT_TRUE(seconds);
    EXPECT_TRUE(*seconds >= 1 && *seconds <= 180) << *seconds;

    auto head = Head(sim, dir + "status.txt");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_TRUE(head->body.empty());
    ASSERT_TRUE(LastModified(status)) << "Last-Modified missing or unreadable";
    EXPECT_EQ(LastModified(head), LastModified(status));
    EXPECT_EQ(LastModified(loadtime), LastModified(status));
  }
  EXPECT_EQ(Get(sim, "/status/nowhere/status.txt")->status, 404);
  EXPECT_EQ(Get(sim, "/status/arvel/other.txt")->status, 404);
}

TEST_F(TolvaneSimTest, SameSeedSameTextsAndEverySimItsOwnPort) {
  SimProcess a({"--seed", "42"}), b({"--seed", "42"}), c({"--seed", "43"});
  EXPECT_NE(a.port(), b.port());
  EXPECT_NE(a.port(), c.port());
  bool seed_matters = false;
  for (const char* world : kWorlds) {
    const std::string path = std::string("/status/") + world + "/status.txt";
    EXPECT_EQ(Get(a, path)->body, Get(b, path)->body) << world;
    seed_matters |= Get(a, path)->body != Get(c, path)->body;
  }
  EXPECT_TRUE(seed_matters);

  // A rewrite gives new texts, the same ones on every sim of that seed.
  const std::string arvel = "/status/arvel/status.txt";
  const std::string before = Get(a, arvel)->body;
  a.ForceRewrite();
  b.ForceRewrite();
  EXPECT_NE(Get(a, arvel)->body, before);
  EXPECT_EQ(Get(a, arvel)->body, Get(b, arvel)->body);
}

TEST_F(TolvaneSimTest, TimesFollowTheSimClock) {
  SimProcess sim({"--epoch", std::to_string(kEpoch), "--period", "180", "--map-period", "3600"});
  struct Case {
    int64_t now;
    int64_t status_time;
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

TEST_F(TolvaneSimTest, MapListsNameServersOfTheAddressTable) {
  SimProcess sim;
  for (int w = 0; w < 18; ++w) {
    SCOPED_TRACE(kWorlds[w]);
    auto list = Get(sim, std::string("/cgi-bin/iplist/map.") + kWorlds[w] + ".lst");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->status, 200);
    EXPECT_TRUE(LastModified(list));
    std::set<std::string> game_servers;
    for (const auto& line : SplitCrLf(list->body)) {
      const auto f = SplitCommas(line);
      ASSERT_EQ(f.size(), 3u) << line;
      const auto key = ServerKeyForAddress(f[0]);
      ASSERT_TRUE(key) << "address not in the table: " << line;
      if (key->starts_with("GameServer")) game_servers.insert(std::string(*key));
      ASSERT_EQ(f[2].size(), 4u) << line;
      const auto id = Integer(f[2].substr(1));
      EXPECT_TRUE(f[2][0] == 'm' && id && *id >= 1 && *id <= 120) << line;
    }
    EXPECT_EQ(game_servers.size(), 15u);
  }
  EXPECT_EQ(Get(sim, "/cgi-bin/iplist/map.sendra.lst")->status, 404);
}

TEST_F(TolvaneSimTest, WritesAMatchingTolMap) {
  const auto path =
      std::filesystem::temp_directory_path() / ("tolmap_" + std::to_string(getpid()) + ".ini");
  std::vector<std::string> args_text = {SimProcess::ExecutablePath(), "--write-tolmap",
                                        path.string()};
  std::vector<char*> argv;
  for (auto& a : args_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), nullptr), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(path);
  ASSERT_TRUE(text.starts_with("[Map]\r\n"));
  const auto lines = SplitCrLf(text);
  EXPECT_EQ(lines.size(), 1u + 118u);
  EXPECT_THAT(lines, ::testing::Contains(::testing::StartsWith("m001=")));
  // Names whose second bytes are "\": 表 is 0x95 0x5C, ソ is 0x83 0x5C.
  EXPECT_NE(text.find("\x95\x5C"), std::string::npos);
  EXPECT_NE(text.find("\x83\x5C"), std::string::npos);
  EXPECT_NE(Cp932ToUtf8(text).find("=表"), std::string::npos);
}

TEST_F(TolvaneSimTest, FaultsChangeTheAnswer) {
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
      {"short", "extra=50", 0, false, nullptr},
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

TEST_F(TolvaneSimTest, NeedCookieWantsTheHandedOutCookieBack) {
  SimProcess sim;
  const std::string path = "/cgi-bin/iplist/map.elmira.lst";
  sim.SetFault(path, "needcookie");
  auto first = Get(sim, path);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 200);
  const std::string set_cookie = first->get_header_value("Set-Cookie");
  ASSERT_TRUE(set_cookie.starts_with("sim=")) << set_cookie;
  const std::string cookie = set_cookie.substr(0, set_cookie.find(';'));
  struct Case {
    const char* name;
    std::string header;  // empty: no Cookie header
    int status;
  } cases[] = {
      {"none", "", 403},
      {"other cookie", "other=1", 403},
      {"wrong value", cookie + "x", 403},
      {"alone", cookie, 200},
      {"among others", "a=b; " + cookie + "; c=d", 200},
  };
  for (const auto& c : cases) {
    httplib::Headers headers;
    if (!c.header.empty()) headers.emplace("Cookie", c.header);
    EXPECT_EQ(Get(sim, path, headers)->status, c.status) << c.name;
  }
}

TEST_F(TolvaneSimTest, ResetBreaksOffTheBodyWithATcpReset) {
  SimProcess sim;
  sim.SetFault("/status/fennet/status.txt", "reset", "partial=10");
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  timeval limit{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(sim.port()));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const std::string request = "GET /status/fennet/status.txt HTTP/1.1\r\nHost: x\r\n\r\n";
  ASSERT_EQ(send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  std::string received;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) received.append(buffer, n);
  const int error = errno;
  close(fd);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(error, ECONNRESET);
  ASSERT_NE(received.find("\r\n\r\n"), std::string::npos) << received;
  EXPECT_EQ(received.size() - received.find("\r\n\r\n") - 4, 10u) << "ten bytes of the body";
}

TEST_F(TolvaneSimTest, FixedContentIsServedExactly) {
  SimProcess sim;
  struct Case {
    const char* name;
    std::string path;
    std::string body;
    std::optional<int64_t> last_modified;
  } cases[] = {
      {"status", "/status/garvo/status.txt", "LoginServer,Good,2,2,120\r\nx", kEpoch},
      {"map list", "/cgi-bin/iplist/map.garvo.lst", "10.0.0.1,1,m001\r\n\x95\x5C", kEpoch + 1},
      {"any path, no time", "/t/empty.txt", "", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim.SetContent(c.path, c.body, c.last_modified);
    auto res = Get(sim, c.path);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, c.body);
    EXPECT_EQ(LastModified(res), c.last_modified);
  }
  sim.Reset();
  EXPECT_NE(Get(sim, "/status/garvo/status.txt")->body, cases[0].body);
  EXPECT_EQ(Get(sim, "/t/empty.txt")->status, 404);
}

TEST_F(TolvaneSimTest, RecordsEveryServiceRequestWithItsHeaders) {
  SimProcess sim;
  const std::string path = "/status/hollis/status.txt";
  httplib::Headers headers = {{"Accept", "text/html, */*"},
                              {"Content-Type", "text/html"},
                              {"Referer", "http://kovun.example/"},
                              {"User-Agent", "Kovun/0.1.0a (test)"}};
  httplib::Client client("127.0.0.1", sim.port());
  ASSERT_TRUE(client.Get(path, headers));
  ASSERT_TRUE(client.Head(path, headers));
  sim.SetFixedCookie("fixed=1");
  ASSERT_TRUE(client.Get("/nowhere"));

  const auto requests = sim.Requests(path);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[1].method, "HEAD");
  for (const auto& r : requests) {
    for (const auto& [name, value] : headers) EXPECT_EQ(r.Header(name), value) << name;
    EXPECT_FALSE(r.Header("REMOTE_ADDR")) << "only what the client sent";
  }
  const auto all = sim.Requests();
  ASSERT_EQ(all.size(), 3u) << "control calls are not recorded";
  EXPECT_EQ(all[2].path, "/nowhere");
  EXPECT_EQ(Get(sim, path)->get_header_value("Set-Cookie"), "fixed=1");
}

TEST_F(TolvaneSimTest, SigtermEndsItWhileARequestStalls) {
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
