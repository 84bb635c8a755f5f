// `kovun --watch` with [Serve] Port, run whole against tolvane-sim: what the
// local status endpoint serves, what it refuses, and how it holds up against
// slow, greedy and vanished clients. The overlay page is loaded in headless
// Chromium when it is installed.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/program_run.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using testing::FreeLoopbackPort;
using testing::ProgramRun;
using testing::SimProcess;
using testing::TempDir;

// A raw connection to the endpoint, for what an HTTP client won't send.
class RawClient {
 public:
  explicit RawClient(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~RawClient() { close(fd_); }
  bool connected() const { return connected_; }
  bool Send(const std::string& bytes) {
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // Reads until `until` appears, the peer closes, or `limit` passes.
  std::string ReadUntil(const std::string& until, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (received_.find(until) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char chunk[4096];
      const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) {
        closed_ = true;
        break;
      }
      received_.append(chunk, static_cast<std::size_t>(n));
    }
    return received_;
  }
  // Whether the server has closed the connection within `limit`.
  bool ClosedWithin(std::chrono::milliseconds limit) {
    ReadUntil(std::string(1, '\0') + "never", limit);
    return closed_;
  }
  const std::string& received() const { return received_; }

 private:
  int fd_;
  bool connected_ = false;
  bool closed_ = false;
  std::string received_;
};

std::string Get(int port, const std::string& path, const std::string& extra = "") {
  return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + extra +
         "\r\n";
}

class KovunServeTest : public ::testing::Test {
 protected:
  KovunServeTest() : sim_({"--period", "2"}) {}

  // Starts `kovun --watch` with the endpoint on a free port and waits until
  // it has a poll to show.
  void Start() {
    port_ = FreeLoopbackPort();
    TempDir::Write(ini_, "[Server]\r\nURL=" + sim_.StatusBase() +
                             "\r\n[Option]\r\nMultiApp=1\r\n[Alert]\r\nEnabled=1\r\nServers=3\r\n"
                             "Down=1\r\n[Serve]\r\nPort=" +
                             std::to_string(port_) + "\r\n");
    run_.emplace(KOVUN_PATH, std::vector<std::string>{"--watch", "--ini", ini_},
                 ProgramRun::Output::kNone);
    ASSERT_TRUE(run_->started());
    for (int i = 0; i < 100; ++i) {
      auto res = Client().Get("/status.json");
      if (res && res->status == 200 && json::parse(res->body).contains("panels")) return;
      std::this_thread::sleep_for(100ms);
    }
    FAIL() << "the endpoint never showed a poll";
  }

  httplib::Client Client() {
    httplib::Client client("127.0.0.1", port_);
    client.set_connection_timeout(2);
    client.set_read_timeout(10);
    return client;
  }

  json Status() {
    auto res = Client().Get("/status.json");
    return res && res->status == 200 ? json::parse(res->body) : json();
  }

  // A 700 x 80 screenshot of `url` with a transparent background. Chromium
  // takes it once the page has loaded, so the page around the overlay holds
  // an image that the sim keeps back: until the overlay's event stream is
  // connected, `meanwhile` has run and two seconds more have passed (or a
  // minute, on a machine too busy to get there).
  void Screenshot(
      const std::string& url, const std::string& png, const std::string& name,
      const std::function<void()>& meanwhile = [] {});
  // Connections to the endpoint that are open now (its side, ESTABLISHED).
  int OpenConnections() const;

  SimProcess sim_;
  TempDir temp_;
  const std::string ini_ = temp_.File("kovun.ini");
  std::optional<ProgramRun> run_;
  int port_ = 0;
};

TEST_F(KovunServeTest, StatusAgreesWithOnceJson) {
  sim_.SetClock(1700000000);  // the same texts for both runs
  Start();
  const std::string once_ini = temp_.File("once.ini");
  TempDir::Write(once_ini,
                 "[Server]\r\nURL=" + sim_.StatusBase() + "\r\n[Option]\r\nMultiApp=1\r\n");
  std::string out;
  {
    FILE* pipe = popen((std::string(KOVUN_PATH) + " --once --json --ini " + once_ini).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char chunk[4096];
    for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
    pclose(pipe);
  }
  const json once = json::parse(out);
  const json served = Status();
  ASSERT_TRUE(served.contains("panels"));
  for (const char* key : {"world", "caption", "average", "update_text", "load_time", "outcome"}) {
    EXPECT_EQ(served[key], once[key]) << key;
  }
  ASSERT_EQ(served["panels"].size(), 19u);
  for (std::size_t i = 0; i < 19; ++i) {
    for (const char* key : {"slot", "caption", "color", "rgb", "hint", "hint_shown"}) {
      EXPECT_EQ(served["panels"][i][key], once["panels"][i][key]) << i << " " << key;
    }
  }
  EXPECT_TRUE(served["countdown"].is_number());
  EXPECT_TRUE(served["alerts"].is_array());  // alerts are on
  auto index = Client().Get("/");
  ASSERT_TRUE(index);
  EXPECT_THAT(index->body, ::testing::HasSubstr("/overlay"));
  auto history = Client().Get("/history.json?hours=1");
  ASSERT_TRUE(history);
  const json h = json::parse(history->body);
  EXPECT_EQ(h["world"], "Arvel");
  ASSERT_GE(h["polls"].size(), 1u);
  EXPECT_EQ(h["polls"][0]["states"].size(), 19u);
}

TEST_F(KovunServeTest, EventsDeliverPollsAndAlerts) {
  sim_.SetServer("arvel", "GameServer03", "Good");
  Start();
  RawClient events(port_);
  ASSERT_TRUE(events.Send(Get(port_, "/events")));
  EXPECT_THAT(events.ReadUntil("event: poll\n"), ::testing::HasSubstr("text/event-stream"));
  sim_.SetServer("arvel", "GameServer03", "Down");
  kill(run_->pid(), SIGUSR1);
  const std::string stream = events.ReadUntil("event: alert\n", 15s);
  ASSERT_THAT(stream, ::testing::HasSubstr("event: alert\ndata: {\"event\":\"alert\""));
  const std::size_t at = stream.find("event: alert\ndata: ") + 19;
  const json alert = json::parse(stream.substr(at, stream.find('\n', at) - at));
  EXPECT_EQ(alert["server"], "3");
  EXPECT_EQ(alert["to"], "down");
  // The alert's poll came first, and /status.json lists the alert.
  EXPECT_LT(stream.rfind("event: poll\n"), stream.find("event: alert\n"));
  const json status = Status();
  ASSERT_FALSE(status["alerts"].empty());
  EXPECT_EQ(status["alerts"].back()["to"], "down");
}

TEST_F(KovunServeTest, RefusesWhatItDoesNotServe) {
  Start();
  const std::string host = "127.0.0.1:" + std::to_string(port_);
  const std::string big(300, 'x');
  std::string many;
  for (int i = 0; i < 40; ++i) many += "X-Filler-" + std::to_string(i) + ": " + big + "\r\n";
  struct Case {
    const char* name;
    std::string request;
    const char* status;
  } cases[] = {
      {"foreign host",
       "GET /status.json HTTP/1.1\r\nHost: attacker.example:" + std::to_string(port_) + "\r\n\r\n",
       "421"},
      {"no port", "GET /status.json HTTP/1.1\r\nHost: localhost\r\n\r\n", "421"},
      {"localhost",
       "GET /status.json HTTP/1.1\r\nHost: LocalHost:" + std::to_string(port_) + "\r\n\r\n", "200"},
      {"post", "POST /status.json HTTP/1.1\r\nHost: " + host + "\r\nContent-Length: 4\r\n\r\nabcd",
       "405"},
      {"delete", "DELETE / HTTP/1.1\r\nHost: " + host + "\r\n\r\n", "405"},
      {"body", "GET / HTTP/1.1\r\nHost: " + host + "\r\nContent-Length: 2\r\n\r\nab", "413"},
      {"headers past 8 KiB", "GET / HTTP/1.1\r\nHost: " + host + "\r\n" + many + "\r\n", "431"},
      {"unknown path", Get(port_, "/nothing"), "404"},
  };
  for (const Case& c : cases) {
    RawClient client(port_);
    ASSERT_TRUE(client.connected()) << c.name;
    client.Send(c.request);
    const std::string answer = client.ReadUntil("\r\n\r\n");
    EXPECT_EQ(answer.substr(0, 12), std::string("HTTP/1.1 ") + c.status) << c.name;
    EXPECT_THAT(answer, ::testing::Not(::testing::HasSubstr("Access-Control-Allow-Origin")));
    EXPECT_THAT(answer, ::testing::Not(::testing::HasSubstr("Set-Cookie")));
  }
  // Bound to 127.0.0.1 and nothing else: one listening socket on the port.
  std::ifstream tcp("/proc/net/tcp");
  char port_hex[8];
  std::snprintf(port_hex, sizeof port_hex, ":%04X", port_);
  std::vector<std::string> listening;
  for (std::string line; std::getline(tcp, line);) {
    std::istringstream fields(line);
    std::string sl, local, remote, state;
    fields >> sl >> local >> remote >> state;
    if (state == "0A" && local.size() > 8 && local.substr(8) == port_hex)
      listening.push_back(local);
  }
  EXPECT_EQ(listening, std::vector<std::string>{std::string("0100007F") + port_hex});
  std::ifstream tcp6("/proc/net/tcp6");
  std::string all6((std::istreambuf_iterator<char>(tcp6)), std::istreambuf_iterator<char>());
  EXPECT_THAT(all6, ::testing::Not(::testing::HasSubstr(
                        std::string(port_hex) + " 00000000000000000000000000000000:0000 0A")));
}

TEST_F(KovunServeTest, SlowAndGreedyClientsAreBounded) {
  Start();
  // A client that sends its head a byte at a time is dropped; others are
  // served meanwhile.
  RawClient slow(port_);
  const std::string head = Get(port_, "/status.json");
  const auto began = std::chrono::steady_clock::now();
  bool dropped = false;
  for (std::size_t i = 0; i < head.size() - 2 && !dropped; ++i) {
    dropped = !slow.Send(head.substr(i, 1)) || slow.ClosedWithin(400ms);
    if (i == 3) {
      auto res = Client().Get("/status.json");
      ASSERT_TRUE(res);
      EXPECT_EQ(res->status, 200);
    }
  }
  EXPECT_TRUE(dropped);
  EXPECT_LT(std::chrono::steady_clock::now() - began, 8s);

  // 32 event streams at once; the 33rd is refused, the rest still served.
  std::vector<std::unique_ptr<RawClient>> streams;
  for (int i = 0; i < 32; ++i) {
    streams.push_back(std::make_unique<RawClient>(port_));
    streams.back()->Send(Get(port_, "/events"));
    ASSERT_THAT(streams.back()->ReadUntil(": kovun\n"), ::testing::StartsWith("HTTP/1.1 200"))
        << "stream " << i;
  }
  RawClient extra(port_);
  extra.Send(Get(port_, "/events"));
  EXPECT_THAT(extra.ReadUntil("\r\n\r\n"), ::testing::StartsWith("HTTP/1.1 503"));
  auto res = Client().Get("/status.json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  // A stream given up frees its place.
  streams.pop_back();
  bool freed = false;  // once the next poll's write finds it gone
  for (int i = 0; i < 30 && !freed; ++i) {
    std::this_thread::sleep_for(500ms);
    auto again = std::make_unique<RawClient>(port_);
    again->Send(Get(port_, "/events"));
    freed = again->ReadUntil("\r\n\r\n").rfind("HTTP/1.1 200", 0) == 0;
    if (freed) streams.push_back(std::move(again));
  }
  EXPECT_TRUE(freed);

  // Ending the program closes every stream within a second.
  const auto stop = std::chrono::steady_clock::now();
  EXPECT_EQ(run_->Stop(2s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - stop, 1500ms);
  for (auto& s : streams) EXPECT_TRUE(s->ClosedWithin(1s));
}

TEST_F(KovunServeTest, TakenPortIsLoggedOnceAndTheMonitorGoesOn) {
  const int port = FreeLoopbackPort();
  const int holder = socket(AF_INET, SOCK_STREAM, 0);
  // Held as another copy of a program built on the same library would: the
  // port must still count as taken.
  const int yes = 1;
  setsockopt(holder, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(holder, 1), 0);
  TempDir::Write(ini_, "[Server]\r\nURL=" + sim_.StatusBase() +
                           "\r\n[Option]\r\nMultiApp=1\r\n[Serve]\r\nPort=" + std::to_string(port) +
                           "\r\n");
  run_.emplace(KOVUN_PATH, std::vector<std::string>{"--watch", "--ini", ini_});
  // It polls on: two caption lines come.
  ASSERT_TRUE(run_->NextLine());
  ASSERT_TRUE(run_->NextLine());
  close(holder);
  const std::string log = TempDir::Read(temp_.File("kovun_error.txt"));
  const std::string what = "127.0.0.1:" + std::to_string(port);
  const std::size_t first = log.find(what);
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(what, first + 1), std::string::npos) << "logged once";
}

// The pixels of a PNG as RGBA rows (8-bit RGBA or RGB, not interlaced: what
// Chromium writes).
struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* At(int x, int y) const {
    return &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
  }
};

uint32_t Be32(const std::string& s, std::size_t at) {
  return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
         (uint32_t(uint8_t(s[at + 2])) << 8) | uint8_t(s[at + 3]);
}

Image DecodePng(const std::string& png) {
  Image image;
  std::string idat;
  int channels = 4;
  for (std::size_t at = 8; at + 8 <= png.size();) {
    const uint32_t length = Be32(png, at);
    const std::string type = png.substr(at + 4, 4);
    if (type == "IHDR") {
      image.width = static_cast<int>(Be32(png, at + 8));
      image.height = static_cast<int>(Be32(png, at + 12));
      channels = png[at + 17] == 6 ? 4 : 3;
    } else if (type == "IDAT") {
      idat += png.substr(at + 8, length);
    }
    at += 12 + length;
  }
  const std::size_t stride = static_cast<std::size_t>(image.width) * channels;
  std::vector<uint8_t> raw((stride + 1) * image.height);
  uLongf raw_size = raw.size();
  if (uncompress(raw.data(), &raw_size, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) !=
      Z_OK) {
    return {};
  }
  std::vector<uint8_t> prev(stride, 0), row(stride);
  image.rgba.resize(static_cast<std::size_t>(image.width) * image.height * 4);
  for (int y = 0; y < image.height; ++y) {
    const uint8_t filter = raw[y * (stride + 1)];
    const uint8_t* in = &raw[y * (stride + 1) + 1];
    for (std::size_t i = 0; i < stride; ++i) {
      const int a = i >= static_cast<std::size_t>(channels) ? row[i - channels] : 0;
      const int b = prev[i];
      const int c = i >= static_cast<std::size_t>(channels) ? prev[i - channels] : 0;
      int p = 0;
      switch (filter) {
        case 1:
          p = a;
          break;
        case 2:
          p = b;
          break;
        case 3:
          p = (a + b) / 2;
          break;
        case 4: {
          const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
          p = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
      }
      row[i] = static_cast<uint8_t>(in[i] + p);
    }
    for (int x = 0; x < image.width; ++x) {
      uint8_t* out = &image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
      for (int k = 0; k < 3; ++k) out[k] = row[x * channels + k];
      out[3] = channels == 4 ? row[x * channels + 3] : 255;
    }
    prev = row;
  }
  return image;
}

std::string Chromium() {
  for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
    if (std::filesystem::exists(path)) return path;
  }
  return {};
}

// Runs headless Chromium on `url` for `ms` and returns its standard output.
std::string RunChromium(const std::string& args, const std::string& profile) {
  const std::string command =
      Chromium() +
      " --headless --no-sandbox --disable-gpu "
      "--disable-background-networking --disable-component-update "
      "--disable-sync --no-first-run --disable-site-isolation-trials "
      "--run-all-compositor-stages-before-draw "
      "--disable-features=IsolateOrigins,site-per-process --user-data-dir=" +
      profile + " " + args + " 2>/dev/null";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char chunk[4096];
  for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  pclose(pipe);
  return out;
}

int KovunServeTest::OpenConnections() const {
  char local[16];
  std::snprintf(local, sizeof local, ":%04X", port_);
  std::ifstream tcp("/proc/net/tcp");
  std::string line;
  int open = 0;
  std::getline(tcp, line);  // the heading
  while (std::getline(tcp, line)) {
    std::istringstream fields(line);
    std::string slot, from, to, state;
    fields >> slot >> from >> to >> state;
    open += from.ends_with(local) && state == "01";
  }
  return open;
}

void KovunServeTest::Screenshot(const std::string& url, const std::string& png,
                                const std::string& name, const std::function<void()>& meanwhile) {
  const std::string held = "/held" + name + ".png";
  sim_.SetFault(held, "stall", "seconds=60");
  const std::string around = temp_.File("around" + name + ".html");
  TempDir::Write(around, "<!DOCTYPE html><body style=\"margin:0\"><iframe src=\"" + url +
                             "\" style=\"border:0;width:700px;height:80px;display:block\">"
                             "</iframe><img src=\"http://" +
                             sim_.HostPort() + held + "\"></body>");
  std::thread browser([&] {
    RunChromium(
        "--default-background-color=00000000 --hide-scrollbars --window-size=700,80 "
        "--screenshot=" +
            png + " 'file://" + around + "'",
        temp_.File("profile" + name));
  });
  // The overlay holds its event stream open once its script runs.
  for (int i = 0; i < 600 && OpenConnections() == 0; ++i) std::this_thread::sleep_for(100ms);
  std::this_thread::sleep_for(1s);
  meanwhile();
  std::this_thread::sleep_for(2s);
  sim_.ClearFaults();  // the page loads, and Chromium takes its picture
  browser.join();
}

TEST_F(KovunServeTest, OverlayInABrowser) {
  if (Chromium().empty()) GTEST_SKIP() << "chromium is not installed";
  // The sim's clock held: its texts stay as the first screenshot saw them.
  sim_.SetClock(1700000000);
  sim_.SetServer("arvel", "GameServer03", "Good");
  Start();
  const std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/overlay";
  // The strip at scale 1, on a transparent background.
  const std::string shot = temp_.File("overlay.png");
  Image image;
  for (int attempt = 0; attempt < 2; ++attempt) {  // once more if nothing was drawn
    Screenshot(url + "?style=0&scale=1", shot, "1-" + std::to_string(attempt));
    image = DecodePng(TempDir::Read(shot));
    if (image.width != 700 || image.At(55, 6)[3] != 0) break;
  }
  ASSERT_EQ(image.width, 700);
  const json status = Status();
  EXPECT_EQ(image.At(690, 75)[3], 0) << "transparent background";
  // Each panel's middle in the strip layout (see src/monitor/geometry.h) in
  // its colour: service panels at 53, 90, 127, 164 (34 wide), map servers
  // from 202 every 28 (25 wide), all 17 high from top 5.
  const int service_left[4] = {127, 90, 53, 164};  // Login, PatF, PatH, Char
  for (int slot = 1; slot <= 19; ++slot) {
    // Inside the border, beside the caption.
    const int x = (slot <= 4 ? service_left[slot - 1] : 202 + 28 * (slot - 5)) + 2;
    const uint8_t* px = image.At(x, 6);
    const std::string rgb = status["panels"][slot - 1]["rgb"];
    char seen[8];
    std::snprintf(seen, sizeof seen, "#%02X%02X%02X", px[0], px[1], px[2]);
    EXPECT_EQ(seen, rgb) << "panel " << slot;
    EXPECT_EQ(px[3], 255) << "panel " << slot;
  }

  // One page load across a change: the flipped server's new colour shows
  // without a reload (the page read /status.json once, before the change,
  // with its event stream open). A screenshot in which Chromium drew
  // nothing of the page at all tells nothing: the server is flipped back and
  // it is tried once more.
  std::string before = status["panels"][6]["rgb"];  // map server 3
  for (int attempt = 0; attempt < 2; ++attempt) {
    const bool down = attempt % 2 == 0;
    const std::string shot2 = temp_.File("overlay2.png");
    json now;
    Screenshot(url, shot2, "2-" + std::to_string(attempt), [&] {
      sim_.SetClock(1700000100 + 100 * attempt);  // a rewrite, with the server flipped
      sim_.SetServer("arvel", "GameServer03", down ? "Down" : "Good");
      kill(run_->pid(), SIGUSR1);
      for (int i = 0; i < 100 && (now = Status())["panels"][6]["state"] == (down ? "up" : "down");
           ++i) {
        std::this_thread::sleep_for(100ms);
      }
    });
    const std::string after = now["panels"][6]["rgb"];
    ASSERT_NE(after, before);
    const Image changed = DecodePng(TempDir::Read(shot2));
    ASSERT_EQ(changed.width, 700);
    const uint8_t* px = changed.At(202 + 28 * 2 + 2, 6);
    if (px[3] == 0 && attempt == 0) {
      before = after;
      continue;
    }
    char seen[8];
    std::snprintf(seen, sizeof seen, "#%02X%02X%02X", px[0], px[1], px[2]);
    EXPECT_EQ(seen, after) << "alpha " << int{px[3]};
    break;
  }
}

// The overlay page turned away (503 while 32 streams are open, which ends
// an EventSource for good) tries again by itself and goes on updating. The
// page is the monitor's own, served here by a stand-in that turns its first
// stream away; Chromium runs it on virtual time, so its 5 s wait passes at
// once (a screenshot's real time stops the page's timers while the load is
// held).
TEST_F(KovunServeTest, OverlayTurnedAwayTriesAgain) {
  if (Chromium().empty()) GTEST_SKIP() << "chromium is not installed";
  Start();
  const auto page = Client().Get("/overlay");
  ASSERT_TRUE(page);
  json status = Status();
  ASSERT_TRUE(status.contains("panels"));
  json changed = status;
  changed["panels"][6]["rgb"] = "#123456";
  httplib::Server standin;
  std::atomic<int> streams{0};
  standin.Get("/overlay", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(page->body, "text/html; charset=utf-8");
  });
  standin.Get("/status.json", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(status.dump(), "application/json");
  });
  standin.Get("/events", [&](const httplib::Request&, httplib::Response& res) {
    if (streams++ == 0) {
      res.status = 503;
      res.set_content("{\"error\":\"too many event streams\"}", "application/json");
      return;
    }
    // One poll, and the end of the stream (it would hold virtual time).
    res.set_content("event: poll\ndata: " + changed.dump() + "\n\n", "text/event-stream");
  });
  const int port = standin.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { standin.listen_after_bind(); });
  const std::string dom = RunChromium(
      "--virtual-time-budget=20000 --dump-dom http://127.0.0.1:" + std::to_string(port) +
          "/overlay",
      temp_.File("profile-away"));
  standin.stop();
  serving.join();
  EXPECT_GE(streams.load(), 2) << "the page never asked again";
  EXPECT_NE(dom.find("id=\"panel7\""), std::string::npos) << "the page was not drawn";
  EXPECT_NE(dom.find("data-rgb=\"#123456\""), std::string::npos) << "map server 3 kept its colour";
}

}  // namespace
}  // namespace tol
