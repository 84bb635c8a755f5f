#include "sim_server.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "answer.h"
#include "connection_socket.h"
#include "sim_content.h"

namespace tol::sim {
namespace {

using nlohmann::json;

constexpr std::string_view kControlPrefix = "/_sim/";
// A stalled or trickling request holds a worker for its whole life.
constexpr std::size_t kWorkerThreads = 64;
constexpr std::size_t kMaxRecordedHeaders = 100;
constexpr std::size_t kMaxRecordedHeaderBytes = 4096;
constexpr int64_t kMaxUnixSeconds = 253402300799;  // 9999-12-31 23:59:59

std::optional<std::string> Param(const httplib::Request& req, const char* name) {
  if (!req.has_param(name)) return std::nullopt;
  return req.get_param_value(name);
}

void SendJson(httplib::Response& res, const json& body, int status = 200) {
  res.status = status;
  // Recorded headers may hold any bytes; invalid UTF-8 becomes U+FFFD.
  res.set_content(body.dump(2, ' ', false, json::error_handler_t::replace) + "\n",
                  "application/json");
}

void SendError(httplib::Response& res, const std::string& message, int status = 400) {
  SendJson(res, json{{"error", message}}, status);
}

bool IsPseudoHeader(const std::string& name) {
  // httplib adds the connection's addresses to the request headers.
  return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
         name == "LOCAL_PORT";
}

json RequestJson(const RecordedRequest& r) {
  json headers = json::array();
  for (const auto& [name, value] : r.headers) headers.push_back(json::array({name, value}));
  return json{{"seq", r.seq},       {"time", r.time},       {"method", r.method}, {"path", r.path},
              {"target", r.target}, {"version", r.version}, {"headers", headers}};
}

// "seq N METHOD TARGET VERSION", the headers as "Name: value", an empty line.
std::string RequestText(const RecordedRequest& r) {
  std::string text =
      "seq " + std::to_string(r.seq) + " " + r.method + " " + r.target + " " + r.version + "\r\n";
  for (const auto& [name, value] : r.headers) text += name + ": " + value + "\r\n";
  return text + "\r\n";
}

}  // namespace

SimServer::SimServer(SimState& state) : state_(state) {
  server_.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  // Short idle keep-alive so that shutdown never waits long for idle clients.
  // Headers and body go out in separate writes: without TCP_NODELAY, Nagle's
  // algorithm would hold the body back until the client's delayed ACK (about
  // 40 ms on a kept-alive connection). Accepted sockets inherit the option.
  server_.set_tcp_nodelay(true);
  server_.set_keep_alive_timeout(2);
  server_.set_read_timeout(5);
  server_.set_write_timeout(5);
  server_.set_payload_max_length(16u << 20);

  server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
    if (!req.path.starts_with(kControlPrefix)) {
      RecordedRequest r;
      r.method = req.method;
      r.path = req.path;
      r.target = req.target;
      r.version = req.version;
      for (const auto& [name, value] : req.headers) {
        if (IsPseudoHeader(name)) continue;
        if (r.headers.size() == kMaxRecordedHeaders) break;
        r.headers.emplace_back(name, value.substr(0, kMaxRecordedHeaderBytes));
      }
      state_.Record(std::move(r));
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server_.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "unknown failure";
        try {
          std::rethrow_exception(ep);
        } catch (const std::exception& e) {
          what = e.what();
        } catch (...) {
        }
        SendError(res, what, 500);
      });

  // The webhook stand-in's routes go before the catch-all ones.
  webhooks_.AddRoutes(server_, state_, port_);
  AddControlRoutes();
  // GET and HEAD of everything else; HEAD goes through the GET handlers.
  server_.Get(".*",
              [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); });
}

int SimServer::Bind(int port) {
  if (port == 0) {
    port_ = server_.bind_to_any_port("127.0.0.1");
  } else {
    port_ = server_.bind_to_port("127.0.0.1", port) ? port : -1;
  }
  return port_;
}

bool SimServer::Run() { return server_.listen_after_bind(); }

void SimServer::Stop() {
  state_.Stop();
  server_.stop();
  // Idle keep-alive connections would otherwise hold their workers until
  // the keep-alive time-out.
  ShutdownAllConnections(port_);
}

void SimServer::Serve(const httplib::Request& req, httplib::Response& res) {
  Answer answer;
  if (auto fixed = state_.Content(req.path)) {
    answer.body = std::move(fixed->body);
    answer.last_modified = fixed->last_modified;
  } else if (auto service = ParseServicePath(req.path)) {
    switch (service->kind) {
      case ServicePath::Kind::kStatus: {
        const StatusSchedule s = state_.Status();
        answer.body = StatusText(state_.seed(), s.rewrite, service->world);
        for (const auto key : kStatusKeys) {
          if (auto set = state_.ServerStatusAt(service->world, std::string(key), s.now)) {
            answer.body = WithServerStatus(answer.body, key, set->first, set->second);
          }
        }
        answer.last_modified = s.last_rewrite;
        break;
      }
      case ServicePath::Kind::kLoadTime: {
        const StatusSchedule s = state_.Status();
        answer.body = LoadTimeText(s.next_rewrite - s.now);
        answer.last_modified = s.last_rewrite;
        break;
      }
      case ServicePath::Kind::kMapList: {
        const MapSchedule m = state_.Maps();
        answer.body = MapListText(state_.seed(), m.generation, service->world);
        answer.last_modified = m.last_modified;
        break;
      }
    }
  } else {
    answer.status = 404;
    answer.body = "Not Found\r\n";
  }

  const std::string fixed_cookie = state_.FixedCookie();
  if (!fixed_cookie.empty()) res.set_header("Set-Cookie", fixed_cookie);
  if (auto fault = state_.TakeFault(req.path)) {
    RespondWithFault(*fault, answer, req, port_, state_, res);
  } else {
    Respond(answer, res);
  }
}

void SimServer::Control(const std::string& pattern, httplib::Server::Handler handler) {
  // GET as well as POST: the programs' own HTTP clients know only GET and
  // HEAD, and tests may steer the sim with them.
  server_.Get(pattern, handler);
  server_.Post(pattern, std::move(handler));
}

void SimServer::AddControlRoutes() {
  Control("/_sim/info", [this](const httplib::Request&, httplib::Response& res) {
    const StatusSchedule s = state_.Status();
    const MapSchedule m = state_.Maps();
    SendJson(res, json{{"port", port_},
                       {"seed", state_.seed()},
                       {"period", state_.period()},
                       {"map_period", state_.map_period()},
                       {"now", s.now},
                       {"rewrite", s.rewrite},
                       {"last_rewrite", s.last_rewrite},
                       {"next_rewrite", s.next_rewrite},
                       {"map_generation", m.generation},
                       {"map_last_modified", m.last_modified},
                       {"stalled", state_.ActiveStalls()},
                       {"last_seq", state_.LastSeq()}});
  });

  Control("/_sim/requests", [this](const httplib::Request& req, httplib::Response& res) {
    uint64_t since = 0;
    if (auto text = Param(req, "since")) {
      auto value = ParseNumber(*text, 0, INT64_MAX);
      if (!value) return SendError(res, "since must be a sequence number");
      since = static_cast<uint64_t>(*value);
    }
    const auto requests = state_.Requests(since, Param(req, "path"));
    if (Param(req, "format") == "text") {
      std::string text;
      for (const auto& r : requests) text += RequestText(r);
      res.set_content(text, "text/plain");
      return;
    }
    json list = json::array();
    for (const auto& r : requests) list.push_back(RequestJson(r));
    SendJson(res, json{{"last_seq", state_.LastSeq()}, {"requests", list}});
  });

  Control("/_sim/fault", [this](const httplib::Request& req, httplib::Response& res) {
    auto path = Param(req, "path");
    if (!path || path->empty()) return SendError(res, "path is missing");
    std::string error;
    auto fault = ParseFault(req.params, &error);
    if (!fault) return SendError(res, error);
    if (!state_.SetFault(*path, std::move(*fault))) return SendError(res, "too many faults");
    SendJson(res, json{{"ok", true}});
  });

  Control("/_sim/fault/clear", [this](const httplib::Request& req, httplib::Response& res) {
    state_.ClearFaults(Param(req, "path"));
    SendJson(res, json{{"ok", true}});
  });

  Control("/_sim/content", [this](const httplib::Request& req, httplib::Response& res) {
    auto path = Param(req, "path");
    if (!path || path->empty()) return SendError(res, "path is missing");
    FixedContent content{Param(req, "body").value_or(req.body), state_.Now()};
    if (auto lastmod = Param(req, "lastmod")) {
      if (*lastmod == "none") {
        content.last_modified.reset();
      } else if (auto value = ParseNumber(*lastmod, 0, kMaxUnixSeconds)) {
        content.last_modified = *value;
      } else {
        return SendError(res, "lastmod must be Unix seconds or none");
      }
    }
    if (!state_.SetContent(*path, std::move(content))) return SendError(res, "too many contents");
    SendJson(res, json{{"ok", true}});
  });

  Control("/_sim/content/clear", [this](const httplib::Request& req, httplib::Response& res) {
    state_.ClearContent(Param(req, "path"));
    SendJson(res, json{{"ok", true}});
  });

  Control("/_sim/cookie", [this](const httplib::Request& req, httplib::Response& res) {
    state_.SetFixedCookie(Param(req, "value").value_or(""));
    SendJson(res, json{{"ok", true}});
  });

  Control("/_sim/rewrite", [this](const httplib::Request&, httplib::Response& res) {
    const StatusSchedule s = state_.ForceRewrite();
    SendJson(res, json{{"rewrite", s.rewrite}, {"last_rewrite", s.last_rewrite}});
  });

  Control("/_sim/clock", [this](const httplib::Request& req, httplib::Response& res) {
    if (auto set = Param(req, "set")) {
      auto value = ParseNumber(*set, 0, kMaxUnixSeconds);
      if (!value) return SendError(res, "set must be Unix seconds");
      state_.SetClock(*value);
    } else if (auto advance = Param(req, "advance")) {
      auto value = ParseNumber(*advance, -kMaxUnixSeconds, kMaxUnixSeconds);
      if (!value) return SendError(res, "advance must be a number of seconds");
      state_.AdvanceClock(*value);
    } else if (req.has_param("resume")) {
      state_.ResumeClock();
    } else {
      return SendError(res, "one of set, advance, resume is needed");
    }
    SendJson(res, json{{"now", state_.Now()}});
  });

  // One server's line in one world: its status word from a moment on, or
  // flapping between that word and "Good".
  Control("/_sim/server", [this](const httplib::Request& req, httplib::Response& res) {
    std::optional<std::size_t> world;
    const std::string world_name = Param(req, "world").value_or("");
    for (std::size_t i = 0; i < kWorldNames.size(); ++i) {
      if (kWorldNames[i] == world_name) world = i;
    }
    if (!world) return SendError(res, "world must be a world's directory name, e.g. arvel");
    const std::string key = Param(req, "key").value_or("");
    if (std::find(kStatusKeys.begin(), kStatusKeys.end(), key) == kStatusKeys.end()) {
      return SendError(res, "key must be a status key, e.g. GameServer03");
    }
    ServerChange change;
    change.status = Param(req, "status").value_or("");
    if (change.status.empty() || change.status.find_first_of(",\r\n") != std::string::npos) {
      return SendError(res, "status must be a word, e.g. Down");
    }
    const int64_t now = state_.Now();
    change.at = now;
    if (auto at = Param(req, "at")) {
      auto value = ParseNumber(*at, 0, kMaxUnixSeconds);
      if (!value) return SendError(res, "at must be Unix seconds");
      change.at = *value;
    } else if (auto after = Param(req, "after")) {
      auto value = ParseNumber(*after, 0, kMaxUnixSeconds - now);
      if (!value) return SendError(res, "after must be a number of seconds");
      change.at = now + *value;
    }
    if (auto flap = Param(req, "flap")) {
      auto value = ParseNumber(*flap, 1, 86400);
      if (!value) return SendError(res, "flap must be 1 to 86400 seconds");
      change.flap = *value;
    }
    if (auto connect = Param(req, "connect")) {
      auto value = ParseNumber(*connect, 0, INT32_MAX);
      if (!value) return SendError(res, "connect must be a connect time");
      change.connect = static_cast<int32_t>(*value);
    }
    const int64_t at = change.at;
    if (!state_.AddServerChange(*world, key, std::move(change))) {
      return SendError(res, "too many server changes");
    }
    SendJson(res, json{{"ok", true}, {"at", at}, {"now", now}});
  });

  Control("/_sim/server/clear", [this](const httplib::Request& req, httplib::Response& res) {
    std::optional<std::size_t> world;
    if (auto name = Param(req, "world")) {
      for (std::size_t i = 0; i < kWorldNames.size(); ++i) {
        if (kWorldNames[i] == *name) world = i;
      }
      if (!world) return SendError(res, "no such world");
    }
    state_.ClearServerChanges(world, Param(req, "key"));
    SendJson(res, json{{"ok", true}});
  });

  Control("/_sim/reset", [this](const httplib::Request&, httplib::Response& res) {
    state_.Reset();
    SendJson(res, json{{"ok", true}});
  });

  Control("/_sim/.*", [](const httplib::Request&, httplib::Response& res) {
    SendError(res, "no such control call", 404);
  });
  // Other POSTs have no meaning.
  server_.Post(".*", [](const httplib::Request&, httplib::Response& res) {
    res.status = 405;
    res.set_content("Method Not Allowed\r\n", "text/plain");
  });
}

}  // namespace tol::sim
