// The endpoint in this process, fed by Publish as the UI thread feeds it:
// an event stream whose client stops reading while polls keep coming is
// dropped, and the endpoint goes on serving everyone else.

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "monitor/events.h"
#include "serve/socket_ops.h"
#include "serve/status_server.h"
#include "shared/clock.h"

namespace tol {
namespace {

using namespace std::chrono_literals;

// A client on a plain socket with a small receive buffer, so that a client
// that stops reading holds back the endpoint's writes soon. It sends a GET
// of `path`, or nothing when `path` is empty.
class StreamClient {
 public:
  StreamClient(int port, const std::string& path)
      : sock_(static_cast<SocketId>(socket(AF_INET, SOCK_STREAM, 0))) {
    const int small = 4096;
    setsockopt(Native(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                                std::to_string(port) + "\r\n\r\n";
    ok_ = connect(Native(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (ok_ && !path.empty()) SendAll(sock_, request);
  }
  ~StreamClient() { CloseSocket(sock_); }
  void Send(const std::string& bytes) { SendAll(sock_, bytes); }

  // Reads until `done()` holds, the endpoint closes, or `limit` passes.
  template <typename Done>
  bool Read(Done done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (ok_ && !done()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      if (!WaitReadable(sock_, 100)) continue;
      char chunk[16384];
      const long n = ReceiveSome(sock_, chunk, sizeof chunk);
      if (n <= 0) {
        closed_ = true;
        return done();
      }
      received_.append(chunk, static_cast<std::size_t>(n));
    }
    return ok_;
  }
  // Until `until` has come (looked for in what is new only).
  bool ReadUntil(const std::string& until, std::chrono::milliseconds limit) {
    std::size_t from = 0;
    return Read(
        [&] {
          const bool found = received_.find(until, from) != std::string::npos;
          from = received_.size() < until.size() ? 0 : received_.size() - until.size();
          return found;
        },
        limit);
  }
  bool closed() const { return closed_; }
  const std::string& received() const { return received_; }

 private:
  socket_t Native() const { return static_cast<socket_t>(sock_); }

  SocketId sock_;
  bool ok_ = false;
  bool closed_ = false;
  std::string received_;
};

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A poll event of about 40 KB (long hints), named by its world.
MonitorEvents Poll(const std::string& world) {
  auto poll = std::make_shared<PollEvent>();
  poll->world = world;
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    poll->panels[slot - 1].slot = slot;
    poll->panels[slot - 1].hint = std::string(2000, 'h');
  }
  return MonitorEvents{std::move(poll), {}};
}

TEST(StatusServer, AStreamThatStopsReadingIsDroppedAndTheRestServed) {
  auto server = StartStatusServer(0, SystemClock());
  const int port = server->port();
  ASSERT_GT(port, 0);

  StreamClient stalled(port, "/events");
  ASSERT_TRUE(stalled.ReadUntil(": kovun\n\n", 5s)) << "the stream never began";
  // Far more than the stream's queue and the sockets' buffers hold, all
  // taken in while the client reads nothing: a request takes in what was
  // published before it, so the status shows the last once all are in.
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(10);
  constexpr int kPolls = 600;
  for (int i = 0; i < kPolls; ++i) {
    server->Publish(Poll("W" + std::to_string(i)), nullptr);
    if (i % 100 == 99) {
      const auto status = client.Get("/status.json");
      ASSERT_TRUE(status);
      ASSERT_NE(status->body.find("\"world\":\"W" + std::to_string(i) + "\""), std::string::npos);
    }
  }

  // Reading again finds the stream ended, well short of every poll: the
  // endpoint let go of it rather than keep the rest for it.
  EXPECT_FALSE(stalled.ReadUntil("\"world\":\"W" + std::to_string(kPolls - 1) + "\"", 20s));
  EXPECT_TRUE(stalled.closed()) << "the stream is still open";
  EXPECT_LT(Count(stalled.received(), "event: poll\n"), static_cast<std::size_t>(kPolls));

  // Everyone else is still served: a new stream gets the next poll, and the
  // status follows it.
  StreamClient reader(port, "/events");
  ASSERT_TRUE(reader.ReadUntil(": kovun\n\n", 5s));
  server->Publish(Poll("After"), nullptr);
  EXPECT_TRUE(reader.ReadUntil("\"world\":\"After\"", 10s));
  const auto status = client.Get("/status.json");
  ASSERT_TRUE(status);
  EXPECT_EQ(status->status, 200);
  EXPECT_NE(status->body.find("\"world\":\"After\""), std::string::npos);
}

// How requests arrive on the wire: several in one packet, one in pieces,
// too large, or too slowly. Each is answered as it should be, in order.
TEST(StatusServer, RequestHeadsAsTheyArrive) {
  auto server = StartStatusServer(0, SystemClock());
  const int port = server->port();
  server->Publish(Poll("Arvel"), nullptr);
  const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
  const std::string get = "GET /status.json HTTP/1.1\r\n" + host + "\r\n";
  const std::string foreign = "GET /status.json HTTP/1.1\r\nHost: example.org:80\r\n\r\n";
  const std::string big = "GET / HTTP/1.1\r\n" + host + "X-Filler: " + std::string(9000, 'x');
  const struct {
    const char* name;
    std::vector<std::string> pieces;  // sent 300 ms apart
    std::vector<const char*> answers;
    bool closed;                      // the endpoint closes after them
  } cases[] = {
      {"pipelined", {get + get + get}, {"200", "200", "200"}, false},
      {"in pieces", {get.substr(0, 10), get.substr(10, 20), get.substr(30)}, {"200"}, false},
      {"then refused", {get + foreign + get}, {"200", "421"}, true},
      {"too large", {big}, {"431"}, true},
      {"too large in pieces", {big.substr(0, 4000), big.substr(4000)}, {"431"}, true},
  };
  for (const auto& c : cases) {
    StreamClient client(port, "");
    for (std::size_t i = 0; i < c.pieces.size(); ++i) {
      if (i > 0) std::this_thread::sleep_for(300ms);
      client.Send(c.pieces[i]);
    }
    client.Read([&] { return Count(client.received(), "HTTP/1.1 ") >= c.answers.size(); }, 5s);
    std::vector<std::string> got;
    for (auto at = client.received().find("HTTP/1.1 "); at != std::string::npos;
         at = client.received().find("HTTP/1.1 ", at + 1)) {
      got.push_back(client.received().substr(at + 9, 3));
    }
    EXPECT_EQ(got, std::vector<std::string>(c.answers.begin(), c.answers.end())) << c.name;
    client.ReadUntil(std::string("\0never", 6), c.closed ? 5s : 500ms);
    EXPECT_EQ(client.closed(), c.closed) << c.name;
  }
}

}  // namespace
}  // namespace tol
