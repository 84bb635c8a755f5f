#include "serve/status_server.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "monitor/alert_monitor.h"
#include "monitor/geometry.h"
#include "serve/history_snapshot.h"
#include "serve/overlay_page.h"
#include "serve/request_rules.h"
#include "serve/socket_ops.h"
#include "shared/codepage.h"

namespace tol {
namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Workers: one per event stream and a few for everything else.
constexpr int kOtherWorkers = 64;
constexpr int kWorkers = kMaxEventClients + kOtherWorkers;
constexpr auto kHeadTime = 5s;       // from connection (or last answer) to a whole head
constexpr auto kKeepAliveTime = 5s;  // an idle kept-alive connection
constexpr auto kAnswerTime = 60s;    // a whole answer other than an event stream
constexpr auto kPingInterval = 15s;  // comment line on a quiet event stream
constexpr auto kGuardTick = 100ms;
constexpr auto kDispatchTick = 100ms;  // how soon a poll reaches the event streams
constexpr auto kStatusCacheTime = 200ms;
constexpr int kKeepAliveRequests = 100;
constexpr std::size_t kMaxQueuedFrames = 256;  // per event client

const char kJson[] = "application/json; charset=utf-8";
const char kHtml[] = "text/html; charset=utf-8";

// Every connection, with the time by which it must have moved on (its
// answer written, its next head read). A watchdog shuts down the late ones,
// which ends a blocked read or write: a client that trickles or stops
// reading is dropped, and its worker is free.
struct GuardedConnection {
  std::atomic<int64_t> deadline_ns{0};  // SteadyClock
  bool shut = false;                    // the watchdog's own
};

int64_t Ns(SteadyClock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

class ConnectionGuard {
 public:
  ConnectionGuard() : watchdog_([this] { Watch(); }) {}
  ~ConnectionGuard() {
    {
      std::lock_guard lock(mu_);
      quit_ = true;
    }
    cv_.notify_all();
    watchdog_.join();
  }

  GuardedConnection* Register(SocketId socket) {
    std::lock_guard lock(mu_);
    if (stopping_) ShutdownSocket(socket);
    GuardedConnection& c = connections_[socket];
    c.deadline_ns = Ns(SteadyClock::now() + kKeepAliveTime + kHeadTime);
    c.shut = false;
    return &c;
  }
  // Before the socket is closed (so the watchdog never touches a reused one).
  void Unregister(SocketId socket) {
    std::lock_guard lock(mu_);
    connections_.erase(socket);
  }
  // The connection may take until `deadline` (max(): as long as it likes).
  // Its own worker calls this, without a lock.
  static void SetDeadline(GuardedConnection* c, SteadyClock::time_point deadline) {
    if (c) c->deadline_ns.store(Ns(deadline), std::memory_order_relaxed);
  }
  // Closing: every connection is shut down, and so is any that comes.
  void ShutdownAll() {
    std::lock_guard lock(mu_);
    stopping_ = true;
    for (auto& [socket, c] : connections_) ShutdownSocket(socket);
  }
  bool stopping() const { return stopping_; }

 private:
  void Watch() {
    std::unique_lock lock(mu_);
    while (!quit_) {
      cv_.wait_for(lock, kGuardTick);
      const int64_t now = Ns(SteadyClock::now());
      for (auto& [socket, c] : connections_) {
        if (!c.shut && c.deadline_ns.load(std::memory_order_relaxed) <= now) {
          ShutdownSocket(socket);
          c.shut = true;
        }
      }
    }
  }

  std::mutex mu_;
  std::condition_variable cv_;
  bool quit_ = false;
  std::atomic<bool> stopping_{false};
  std::map<SocketId, GuardedConnection> connections_;  // nodes stay put
  std::thread watchdog_;
};

// The connection a worker thread serves, for the handlers that run on it.
thread_local GuardedConnection* t_connection = nullptr;
// Set by a refusal: the connection ends after its answer.
thread_local bool t_close_after = false;

// A connection's stream for the library: its reads come from a buffer of
// the connection's own (the library reads a request head a byte at a time),
// and its reads and writes time out.
class GuardedStream final : public httplib::Stream {
 public:
  explicit GuardedStream(SocketId socket) : socket_(socket), in_(kInCapacity, '\0') {}

  // Whether the next request's head is whole, at most 8 KiB, and came in
  // time: its first bytes within `idle` (a kept-alive connection may wait
  // for its next request), the rest within 5 s. What is read stays in the
  // buffer for the library.
  enum class Head { kWhole, kTooLarge, kGone };
  Head ReadHead(SteadyClock::duration idle) {
    if (in_begin_ > 0) {
      std::memmove(in_.data(), in_.data() + in_begin_, in_end_ - in_begin_);
      in_end_ -= in_begin_;
      in_begin_ = 0;
    }
    if (in_end_ == 0 && !Fill(static_cast<int>(Ms(idle)))) return Head::kGone;
    const auto deadline = SteadyClock::now() + kHeadTime;
    while (true) {
      const std::string_view seen(in_.data(), in_end_);
      const std::size_t crlf = seen.find("\r\n\r\n");
      const std::size_t lf = seen.find("\n\n");
      const std::size_t head = std::min(crlf == std::string_view::npos ? crlf : crlf + 4,
                                        lf == std::string_view::npos ? lf : lf + 2);
      if (head != std::string_view::npos && head <= kMaxRequestHeadBytes) return Head::kWhole;
      if (seen.size() > kMaxRequestHeadBytes) return Head::kTooLarge;
      const auto left = deadline - SteadyClock::now();
      if (left <= SteadyClock::duration::zero() || !Fill(static_cast<int>(Ms(left)) + 1)) {
        return Head::kGone;
      }
    }
  }

  bool is_readable() const override {
    return in_begin_ < in_end_ || WaitReadable(socket_, kIoTimeoutMs);
  }
  bool is_writable() const override { return WaitWritable(socket_, kIoTimeoutMs); }
  ssize_t read(char* ptr, size_t size) override {
    if (in_begin_ == in_end_) {
      in_begin_ = in_end_ = 0;
      if (!Fill(kIoTimeoutMs)) return -1;
    }
    const std::size_t n = std::min(size, in_end_ - in_begin_);
    std::memcpy(ptr, in_.data() + in_begin_, n);
    in_begin_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    const std::string_view data(ptr, size);
    if (held_.empty() && size < kMaxHeldHead && data.starts_with("HTTP/1.") &&
        data.ends_with("\r\n\r\n")) {
      // A response's head waits for its first body bytes: one send, not two.
      held_.assign(data);
      return static_cast<ssize_t>(size);
    }
    if (!held_.empty()) {
      held_.append(data);
      const bool sent = SendWhole(held_);
      held_.clear();
      return sent ? static_cast<ssize_t>(size) : -1;
    }
    return SendNow(ptr, size);
  }
  // After each request: a head without a body (HEAD, an empty answer).
  bool Flush() {
    const bool sent = held_.empty() || SendWhole(held_);
    held_.clear();
    return sent;
  }
  // The addresses don't change: asked once per connection, not per request.
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    if (remote_port_ < 0) SocketAddress(socket_, true, remote_ip_, remote_port_);
    ip = remote_ip_;
    port = remote_port_;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    if (local_port_ < 0) SocketAddress(socket_, false, local_ip_, local_port_);
    ip = local_ip_;
    port = local_port_;
  }
  socket_t socket() const override { return static_cast<socket_t>(socket_); }

 private:
  static constexpr int kIoTimeoutMs = 5000;
  static constexpr std::size_t kMaxHeldHead = 4096;
  // A head at its largest, and one byte more to tell it is too large.
  static constexpr std::size_t kInCapacity = kMaxRequestHeadBytes + 1;

  static int64_t Ms(SteadyClock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
  }
  // Receives what there is into the buffer's free end, waiting up to
  // `timeout_ms` for it; false when nothing came (time-out, closed, error,
  // or no room).
  bool Fill(int timeout_ms) {
    if (in_end_ == in_.size()) return false;
    char* at = in_.data() + in_end_;
    const std::size_t room = in_.size() - in_end_;
    long n = TryReceive(socket_, at, room);
    if (n == kWouldBlock) {
      if (!WaitReadable(socket_, timeout_ms)) return false;
      n = ReceiveSome(socket_, at, room);
    }
    if (n <= 0) return false;
    in_end_ += static_cast<std::size_t>(n);
    return true;
  }
  ssize_t SendNow(const char* ptr, size_t size) {
    const long n = TrySend(socket_, ptr, size);
    if (n != kWouldBlock) return n;
    if (!is_writable()) return -1;
    return SendSome(socket_, ptr, size);
  }
  bool SendWhole(std::string_view data) {
    while (!data.empty()) {
      const ssize_t n = SendNow(data.data(), data.size());
      if (n <= 0) return false;
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  SocketId socket_;
  std::string in_;  // received: [in_begin_, in_end_) not yet read
  std::size_t in_begin_ = 0;
  std::size_t in_end_ = 0;
  std::string held_;
  mutable std::string remote_ip_, local_ip_;
  mutable int remote_port_ = -1, local_port_ = -1;
};

class GuardedHttpServer : public httplib::Server {
 public:
  ConnectionGuard guard;

  // The library listens with a queue of 5, too short for a burst of
  // (re)connecting clients: the ones beyond it wait a second for their
  // connection to be retried. Listening again sets a longer queue.
  void WidenBacklog() { SetListenBacklog(static_cast<SocketId>(svr_sock_.load()), 128); }

 private:
  // The library's connection loop, with the head checked before each
  // request is parsed and the connection registered with the guard.
  bool process_and_close_socket(socket_t sock) override {
    const auto id = static_cast<SocketId>(sock);
    t_connection = guard.Register(id);
    GuardedStream stream(id);
    bool ok = true;
    for (int served = 0; served < kKeepAliveRequests && ok && !guard.stopping(); ++served) {
      const auto head = stream.ReadHead(served == 0 ? kHeadTime : kKeepAliveTime);
      if (head == GuardedStream::Head::kTooLarge) {
        SendAll(id,
                "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 0\r\n"
                "Connection: close\r\n\r\n");
        break;
      }
      if (head == GuardedStream::Head::kGone) break;
      bool closed = false;
      t_close_after = false;
      ok = process_request(stream, served + 1 == kKeepAliveRequests, closed, nullptr);
      ok = stream.Flush() && ok;
      if (closed || t_close_after) break;
      ConnectionGuard::SetDeadline(t_connection,
                                   SteadyClock::now() + kKeepAliveTime + kHeadTime + 1s);
    }
    t_connection = nullptr;
    guard.Unregister(id);
    ShutdownSending(id);
    ShutdownSocket(id);
    CloseSocket(id);
    return ok;
  }
};

// The request line and fields as the client sent them (the library adds
// some of its own, which don't count).
std::size_t HeadBytes(const httplib::Request& req) {
  std::size_t n = req.method.size() + req.target.size() + req.version.size() + 4;
  for (const auto& [name, value] : req.headers) {
    if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
        name == "LOCAL_PORT")
      continue;
    n += name.size() + value.size() + 4;
  }
  return n + 2;
}

// The layouts of the window, for the overlay page.
std::string LayoutsJson() {
  OrderedJson all = OrderedJson::array();
  for (LayoutKind kind : {LayoutKind::kStrip, LayoutKind::kCompact, LayoutKind::kColumn}) {
    const WindowLayout& layout = LayoutOf(kind);
    OrderedJson boxes = OrderedJson::array();
    for (const LayoutBox& b : layout.controls) {
      boxes.push_back(OrderedJson::array({b.left, b.top, b.width, b.height}));
    }
    all.push_back(OrderedJson{{"width", layout.client.width},
                              {"height", layout.client.height},
                              {"boxes", std::move(boxes)}});
  }
  return all.dump();
}

struct EventClient {
  std::deque<std::shared_ptr<const std::string>> frames;
  bool overflow = false;
  bool started = false;
  SteadyClock::time_point next_ping;
};

std::shared_ptr<const std::string> Frame(const char* name, const std::string& json) {
  return std::make_shared<const std::string>(std::string("event: ") + name + "\ndata: " + json +
                                             "\n\n");
}

// What one poll hands from the UI thread to the dispatcher.
struct Published {
  std::shared_ptr<const PollEvent> poll;
  std::vector<std::shared_ptr<const AlertEvent>> alerts;
  bool alerts_on = false;
  int32_t history_hours = 0;
  std::optional<HistoryChange> history;
};

class ServerImpl final : public StatusServer {
 public:
  ServerImpl(int port, const Clock& clock) : clock_(clock), layouts_(LayoutsJson()) {
    Configure();
    if (port == 0) {
      port_ = http_.bind_to_any_port("127.0.0.1");
    } else if (http_.bind_to_port("127.0.0.1", port)) {
      port_ = port;
    }
    if (port_ <= 0) {
      throw std::runtime_error("the status endpoint can't listen on 127.0.0.1:" +
                               std::to_string(port) + " (the port is taken or not allowed)");
    }
    http_.WidenBacklog();
    listener_ = std::thread([this] { http_.listen_after_bind(); });
    dispatcher_ = std::thread([this] { Dispatch(); });
  }

  ~ServerImpl() override {
    {
      std::lock_guard lock(dispatch_mu_);
      dispatch_stop_ = true;
    }
    dispatch_cv_.notify_all();
    if (dispatcher_.joinable()) dispatcher_.join();
    {
      std::lock_guard lock(events_mu_);
      stopping_ = true;
    }
    events_cv_.notify_all();
    http_.guard.ShutdownAll();
    http_.stop();
    if (listener_.joinable()) listener_.join();
  }

  int port() const override { return port_; }

  // The UI thread's part: the events and what changed in the history go to
  // the dispatcher's queue. Waking a thread would be most of the cost, so
  // the UI thread wakes none (unless the queue fills): the next request
  // takes the queue in first (Drain), and while event streams are open the
  // dispatcher looks every kDispatchTick.
  void Publish(const MonitorEvents& events, const AlertMonitor* alerts) override {
    {
      // The server is stuck: this poll is skipped. The history isn't looked
      // at either, so what changed comes with the next poll that goes in.
      // (Only this thread adds to the queue: it can't fill meanwhile.)
      std::lock_guard lock(dispatch_mu_);
      if (dispatch_queue_.size() >= 2 * kMaxQueuedFrames) return;
    }
    Published item;
    item.poll = events.poll;
    item.alerts = events.alerts;
    if (alerts) {
      item.alerts_on = alerts->enabled();
      item.history_hours = static_cast<int32_t>(alerts->history().capacity() / kMaxPollsPerHour);
      item.history = watcher_.Look(alerts->history());
    }
    bool full;
    {
      std::lock_guard lock(dispatch_mu_);
      dispatch_queue_.push_back(std::move(item));
      published_.fetch_add(1, std::memory_order_release);
      full = dispatch_queue_.size() >= kMaxQueuedFrames;
    }
    if (full) dispatch_cv_.notify_one();
  }

 private:
  void Configure() {
    http_.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    http_.set_keep_alive_max_count(kKeepAliveRequests);
    http_.set_keep_alive_timeout(5);
    http_.set_payload_max_length(0);
    http_.set_tcp_nodelay(true);
    http_.set_socket_options([](socket_t sock) { ClaimAddress(static_cast<SocketId>(sock)); });
    // Everything is answered here: the paths are few and fixed, and the
    // library's pattern routes would cost every request a regex match.
    http_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      if (Admit(req, res)) Route(req, res);
      return httplib::Server::HandlerResponse::Handled;
    });
    http_.set_error_handler([](const httplib::Request&, httplib::Response& res) {
      if (res.body.empty()) {
        res.set_content("{\"error\":" + std::to_string(res.status) + "}\n", kJson);
      }
    });
  }

  // The dispatcher thread: takes what the UI thread published into the
  // state the requests read, and hands the frames to every event stream.
  void Dispatch() {
    std::unique_lock lock(dispatch_mu_);
    const auto streams = [&] { return event_clients_.load(std::memory_order_relaxed) > 0; };
    const auto ready = [&] {
      return dispatch_stop_ || dispatch_queue_.size() >= kMaxQueuedFrames ||
             (streams() && !dispatch_queue_.empty());
    };
    while (true) {
      if (streams()) {
        dispatch_cv_.wait_for(lock, kDispatchTick, ready);
      } else {
        // Until a stream comes (StreamsChanged), or the queue fills.
        dispatch_cv_.wait(lock, [&] { return ready() || streams(); });
      }
      if (dispatch_stop_) return;
      if (!ready()) continue;
      lock.unlock();
      Drain();
      lock.lock();
    }
  }
  // After event_clients_ changed: the dispatcher waits by the tick or not.
  // The lock orders this after its look at the count, so the wake-up can't
  // come between that look and its wait.
  void StreamsChanged() {
    { std::lock_guard lock(dispatch_mu_); }
    dispatch_cv_.notify_one();
  }

  // Takes in what was published, in order; any thread.
  void Drain() {
    std::lock_guard take(take_mu_);
    std::deque<Published> batch;
    {
      std::lock_guard lock(dispatch_mu_);
      batch.swap(dispatch_queue_);
    }
    for (const Published& item : batch) Take(item);
  }
  void DrainIfPending() {
    // Drain waits for a batch the dispatcher is taking in, too.
    if (taken_.load(std::memory_order_acquire) < published_.load(std::memory_order_acquire)) {
      Drain();
    }
  }

  void Take(const Published& item) {
    std::shared_ptr<const HistorySnapshot> history;
    if (item.history) history = mirror_.Apply(*item.history);
    std::vector<std::shared_ptr<const std::string>> frames;
    if (item.poll) frames.push_back(Frame("poll", item.poll->json()));
    for (const auto& a : item.alerts) frames.push_back(Frame("alert", a->json()));
    {
      std::lock_guard lock(state_mu_);
      if (item.poll) poll_ = item.poll;
      alerts_on_ = item.alerts_on;
      gen_.fetch_add(1, std::memory_order_release);
      for (const auto& a : item.alerts) {
        recent_alerts_.push_back(a);
        if (recent_alerts_.size() > kRecentAlerts) recent_alerts_.pop_front();
      }
      if (history) history_ = std::move(history);
      history_hours_ = item.history_hours;
    }
    {
      std::lock_guard lock(events_mu_);
      if (item.poll) current_frame_ = frames.front();
      for (auto& [id, client] : clients_) {
        for (const auto& f : frames) {
          if (client->frames.size() >= kMaxQueuedFrames) {
            client->overflow = true;  // a client that stopped reading
            break;
          }
          client->frames.push_back(f);
        }
      }
    }
    events_cv_.notify_all();
    taken_.fetch_add(1, std::memory_order_release);
  }

  void Route(const httplib::Request& req, httplib::Response& res) {
    if (req.path == "/status.json") {
      Status(res);
    } else if (req.path == "/events") {
      Events(req, res);
    } else if (req.path == "/history.json") {
      History(req, res);
    } else if (req.path == "/overlay") {
      Overlay(req, res);
    } else if (req.path == "/") {
      Index(res);
    } else {
      res.status = 404;
      res.set_content("{\"error\":\"not found\"}\n", kJson);
    }
  }

  static void Refuse(httplib::Response& res, int status, const char* message) {
    res.status = status;
    res.set_header("Connection", "close");
    t_close_after = true;
    res.set_content(std::string("{\"error\":\"") + message + "\"}\n", kJson);
  }

  // The checks every request passes before it is routed.
  bool Admit(const httplib::Request& req, httplib::Response& res) {
    ConnectionGuard::SetDeadline(t_connection, SteadyClock::now() + kAnswerTime);
    if (HeadBytes(req) > kMaxRequestHeadBytes) {
      Refuse(res, 431, "request header fields too large");
    } else if (req.method != "GET" && req.method != "HEAD") {
      res.set_header("Allow", "GET, HEAD");
      Refuse(res, 405, "only GET and HEAD");
    } else if (!HostAllowed(req.get_header_value("Host"), port_)) {
      Refuse(res, 421, "Host must be 127.0.0.1:PORT or localhost:PORT");
    } else if (req.has_header("Transfer-Encoding") ||
               (req.has_header("Content-Length") &&
                req.get_header_value("Content-Length") != "0")) {
      Refuse(res, 413, "no request bodies");
    } else {
      res.set_header("Cache-Control", "no-store");
      res.set_header("X-Content-Type-Options", "nosniff");
      return true;
    }
    return false;
  }

  void Index(httplib::Response& res) {
    res.set_content(
        "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\">"
        "<title>Kovun</title></head><body><h1>Kovun</h1><ul>\n"
        "<li><a href=\"/status.json\">/status.json</a>: the last poll</li>\n"
        "<li><a href=\"/events\">/events</a>: Server-Sent Events, poll and alert</li>\n"
        "<li><a href=\"/history.json\">/history.json</a>?hours=N: the history of the world</li>\n"
        "<li><a href=\"/overlay\">/overlay</a>?style=0|1|2&amp;scale=1: the strip for a browser "
        "source</li>\n</ul></body></html>\n",
        kHtml);
  }

  // The body changes with each published poll (gen_) and with the
  // countdown's second: a built body is served for 200 ms of the same
  // publication, without a lock.
  void Status(httplib::Response& res) {
    DrainIfPending();
    const int64_t now_ns = Ns(SteadyClock::now());
    if (const auto cached = status_cache_.load(std::memory_order_acquire);
        cached && now_ns < cached->valid_until_ns &&
        cached->gen == gen_.load(std::memory_order_acquire)) {
      res.set_content(cached->body, kJson);
      return;
    }
    std::shared_ptr<const PollEvent> poll;
    std::deque<std::shared_ptr<const AlertEvent>> alerts;
    bool alerts_on;
    uint64_t gen;
    {
      std::lock_guard lock(state_mu_);
      poll = poll_;
      gen = gen_.load(std::memory_order_relaxed);
      alerts_on = alerts_on_;
      if (alerts_on) alerts = recent_alerts_;
    }
    auto built = std::make_shared<CachedStatus>();
    built->gen = gen;
    built->valid_until_ns = now_ns + Ns(SteadyClock::time_point(kStatusCacheTime));
    if (!poll) {
      built->body = "{\"world\":null,\"outcome\":\"none\"}\n";
    } else {
      const std::optional<int64_t> countdown = poll->CountdownAt(clock_.Now());
      OrderedJson json = OrderedJson::parse(poll->json());
      json.erase("event");
      json["countdown"] = countdown ? OrderedJson(*countdown) : OrderedJson(nullptr);
      if (alerts_on) {
        OrderedJson list = OrderedJson::array();
        for (const auto& a : alerts) list.push_back(OrderedJson::parse(a->json()));
        json["alerts"] = std::move(list);
      }
      built->body = json.dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace) + "\n";
    }
    res.set_content(built->body, kJson);
    status_cache_.store(std::move(built), std::memory_order_release);
  }

  void History(const httplib::Request& req, httplib::Response& res) {
    DrainIfPending();
    std::shared_ptr<const HistorySnapshot> history;
    std::shared_ptr<const PollEvent> poll;
    int32_t max_hours;
    {
      std::lock_guard lock(state_mu_);
      history = history_;
      poll = poll_;
      max_hours = history_hours_;
    }
    int32_t hours = max_hours;
    if (req.has_param("hours")) {
      const auto asked = ParseBoundedInt(req.get_param_value("hours"), 1, 100000);
      if (!asked) {
        res.status = 400;
        res.set_content("{\"error\":\"hours must be a whole number from 1\"}\n", kJson);
        return;
      }
      hours = std::min(*asked, max_hours);
    }
    std::string body = "{\"world\":";
    body += poll ? OrderedJson(Cp932ToUtf8(poll->world)).dump() : "null";
    body += ",\"hours\":" + std::to_string(hours) + ",\"servers\":[";
    for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
      if (slot > 1) body += ',';
      body += OrderedJson(poll ? Cp932ToUtf8(poll->panels[slot - 1].caption) : std::string())
                  .dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace);
    }
    body += "],\"polls\":[";
    if (history && history->size() > 0) {
      const int offset = poll ? poll->utc_offset_minutes : 0;
      const DateTime newest = (*history)[history->size() - 1].time;
      const int64_t span_ms = int64_t{hours} * 3600 * 1000;
      std::size_t from = 0;
      while (from < history->size() &&
             newest.milliseconds() - (*history)[from].time.milliseconds() >= span_ms) {
        ++from;
      }
      for (std::size_t i = from; i < history->size(); ++i) {
        const HistoryPoll& p = (*history)[i];
        if (i > from) body += ',';
        body += "{\"time\":\"" + IsoLocalTime(p.time, offset) + "\",\"states\":[";
        for (std::size_t c = 0; c < p.cells.size(); ++c) {
          if (c) body += ',';
          body += '"';
          body += StateName(p.cells[c].state);
          body += '"';
        }
        body += "],\"status\":[";
        for (std::size_t c = 0; c < p.cells.size(); ++c) {
          if (c) body += ',';
          body += OrderedJson(std::string(p.cells[c].status_word()))
                      .dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace);
        }
        body += "],\"connect_time\":[";
        for (std::size_t c = 0; c < p.cells.size(); ++c) {
          if (c) body += ',';
          body += std::to_string(p.cells[c].connect_time);
        }
        body += "]}";
      }
    }
    body += "]}\n";
    res.set_content(std::move(body), kJson);
  }

  void Overlay(const httplib::Request& req, httplib::Response& res) {
    int32_t style = 0;
    double scale = 1;
    if (req.has_param("style"))
      style = ParseBoundedInt(req.get_param_value("style"), 0, 2).value_or(0);
    if (req.has_param("scale")) scale = ParseScale(req.get_param_value("scale")).value_or(1);
    const std::string config = "{\"style\":" + std::to_string(style) +
                               ",\"scale\":" + OrderedJson(scale).dump() +
                               ",\"layouts\":" + layouts_ + "}";
    std::string page(OverlayPage());
    const std::string_view marker = "/*KOVUN_CONFIG*/null";
    const std::size_t at = page.find(marker);
    if (at != std::string::npos) page.replace(at, marker.size(), config);
    // The page may load nothing but from here.
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                   "connect-src 'self'");
    res.set_content(std::move(page), kHtml);
  }

  void Events(const httplib::Request& req, httplib::Response& res) {
    if (req.method == "HEAD") {
      res.set_content("", "text/event-stream");
      return;
    }
    DrainIfPending();  // the current poll first
    auto client = std::make_shared<EventClient>();
    {
      std::lock_guard lock(events_mu_);
      if (stopping_ || static_cast<int>(clients_.size()) >= kMaxEventClients) {
        Refuse(res, 503, "too many event streams");
        res.set_header("Retry-After", "5");
        return;
      }
      if (current_frame_) client->frames.push_back(current_frame_);
      client->next_ping = SteadyClock::now() + kPingInterval;
      clients_[client.get()] = client;
      event_clients_.store(static_cast<int>(clients_.size()), std::memory_order_relaxed);
    }
    StreamsChanged();
    DrainIfPending();  // a poll published while this stream was being added
    // An event stream may stay: only the write time-outs and the queue's
    // bound end it.
    ConnectionGuard::SetDeadline(t_connection, SteadyClock::time_point::max());
    res.set_header("X-Accel-Buffering", "no");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, client](size_t, httplib::DataSink& sink) { return Stream(*client, sink); },
        [this, client](bool) {
          std::lock_guard lock(events_mu_);
          clients_.erase(client.get());
          event_clients_.store(static_cast<int>(clients_.size()), std::memory_order_relaxed);
        });
  }

  // One turn of an event stream: waits for frames or the next comment line.
  bool Stream(EventClient& client, httplib::DataSink& sink) {
    std::vector<std::shared_ptr<const std::string>> frames;
    bool ping = false;
    {
      std::unique_lock lock(events_mu_);
      if (!client.started) {
        client.started = true;
        ping = true;  // the stream's first bytes: the headers go out now
      } else {
        events_cv_.wait_until(lock, client.next_ping, [&] {
          return stopping_ || client.overflow || !client.frames.empty();
        });
      }
      if (stopping_ || client.overflow) return false;
      frames.assign(client.frames.begin(), client.frames.end());
      client.frames.clear();
      if (frames.empty() && SteadyClock::now() >= client.next_ping) ping = true;
      if (ping || !frames.empty()) client.next_ping = SteadyClock::now() + kPingInterval;
    }
    if (ping) {
      static constexpr char kComment[] = ": kovun\n\n";
      if (!sink.write(kComment, sizeof kComment - 1)) return false;
    }
    for (const auto& f : frames) {
      if (!sink.write(f->data(), f->size())) return false;
    }
    return true;
  }

  int port_ = -1;
  const Clock& clock_;
  const std::string layouts_;
  GuardedHttpServer http_;
  std::thread listener_;
  HistoryWatcher watcher_;  // UI thread only
  HistoryMirror mirror_;    // under take_mu_

  std::mutex dispatch_mu_;
  std::condition_variable dispatch_cv_;
  std::deque<Published> dispatch_queue_;
  bool dispatch_stop_ = false;
  // Publications queued, and taken in: a request sees every one published
  // before it.
  std::atomic<uint64_t> published_{0};
  std::atomic<uint64_t> taken_{0};
  std::mutex take_mu_;                // one Drain at a time: in order
  std::atomic<int> event_clients_{0};
  std::thread dispatcher_;

  std::mutex state_mu_;
  std::shared_ptr<const PollEvent> poll_;
  std::deque<std::shared_ptr<const AlertEvent>> recent_alerts_;
  bool alerts_on_ = false;
  std::shared_ptr<const HistorySnapshot> history_;
  int32_t history_hours_ = 0;

  struct CachedStatus {
    uint64_t gen = 0;
    int64_t valid_until_ns = 0;
    std::string body;
  };
  std::atomic<uint64_t> gen_{0};  // publications taken in
  std::atomic<std::shared_ptr<const CachedStatus>> status_cache_;

  std::mutex events_mu_;
  std::condition_variable events_cv_;
  bool stopping_ = false;
  std::shared_ptr<const std::string> current_frame_;
  std::map<EventClient*, std::shared_ptr<EventClient>> clients_;
};

}  // namespace

std::unique_ptr<StatusServer> StartStatusServer(int port, const Clock& clock) {
  return std::make_unique<ServerImpl>(port, clock);
}

std::unique_ptr<StatusServer> StartConfiguredStatusServer(
    const ServeSettings& settings, const Clock& clock,
    const std::function<void(std::exception_ptr)>& on_failure) {
  if (!settings.enabled()) return nullptr;
  try {
    return StartStatusServer(settings.port, clock);
  } catch (...) {
    if (on_failure) on_failure(std::current_exception());
  }
  return nullptr;
}

}  // namespace tol
