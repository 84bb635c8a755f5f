#include "webhook.h"

#include <algorithm>

#include "answer.h"

namespace tol::sim {
namespace {

using nlohmann::json;

constexpr std::size_t kMaxRecorded = 1000;

void SendJson(httplib::Response& res, const json& body, int status) {
  res.status = status;
  res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), "application/json");
}

// The message id of ".../messages/ID", or empty.
std::string MessageId(const std::string& path) {
  const std::size_t at = path.rfind("/messages/");
  if (at == std::string::npos) return "";
  return path.substr(at + 10);
}

}  // namespace

void WebhookStandIn::AddRoutes(httplib::Server& server, SimState& state, const int& port) {
  auto hook = [this, &state, &port](const httplib::Request& req, httplib::Response& res) {
    Handle(req, res, state, port);
  };
  server.Post("/_hook/.*", hook);
  server.Patch("/_hook/.*", hook);
  server.Delete("/_hook/.*", hook);
  auto control = [this](const httplib::Request& req, httplib::Response& res) {
    int status = 200;
    const json body = Controls(req.path.substr(std::string("/_sim/hook/").size()), req, status);
    SendJson(res, body, status);
  };
  server.Get("/_sim/hook/.*", control);
  server.Post("/_sim/hook/.*", control);
}

void WebhookStandIn::Handle(const httplib::Request& req, httplib::Response& res, SimState& state,
                            int port) {
  Answer answer;
  bool limited = false;
  {
    std::lock_guard lock(mutex_);
    Recorded r{++seq_, req.method, req.target, req.body, {}};
    for (const auto& [name, value] : req.headers) {
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
          name == "LOCAL_PORT") {
        continue;
      }
      r.headers.emplace_back(name, value);
    }
    if (requests_.size() == kMaxRecorded) requests_.erase(requests_.begin());
    requests_.push_back(std::move(r));

    if (limit_count_ > 0) {
      --limit_count_;
      limited = true;
      res.status = 429;
      if (limit_header_) res.set_header("Retry-After", std::to_string(limit_retry_after_));
      json body = {{"message", "You are being rate limited."}, {"global", false}};
      if (limit_body_) body["retry_after"] = limit_retry_after_;
      SendJson(res, body, 429);
    } else if (req.method == "PATCH" || req.method == "DELETE") {
      const std::string id = MessageId(req.path);
      auto it = messages_.find(id);
      if (it == messages_.end()) {
        answer.status = 404;
        answer.body = json{{"message", "Unknown Message"}, {"code", 10008}}.dump();
      } else if (req.method == "DELETE") {
        messages_.erase(it);
        answer.status = 204;
      } else {
        const json edit = json::parse(req.body, nullptr, false);
        if (edit.is_object()) {
          for (const auto& [key, value] : edit.items()) it->second[key] = value;
          answer.body = it->second.dump();
        } else {
          answer.status = 400;
          answer.body = json{{"message", "Cannot send an empty message"}, {"code", 50006}}.dump();
        }
      }
    } else {
      const json message = json::parse(req.body, nullptr, false);
      if (message.is_discarded()) {
        answer.status = 400;
        answer.body =
            json{{"message", "The request body contains invalid JSON."}, {"code", 50109}}.dump();
      } else if (req.get_param_value("wait") == "true") {
        json stored = message.is_object() ? message : json::object();
        stored["id"] = std::to_string(next_id_++);
        stored["channel_id"] = "1";
        stored["webhook_id"] = "1";
        messages_[stored["id"]] = stored;
        answer.body = stored.dump();
      } else {
        answer.status = 204;
      }
    }
  }
  if (limited) return;
  if (auto fault = state.TakeFault(req.path)) {
    RespondWithFault(*fault, answer, req, port, state, res);
    return;
  }
  res.status = answer.status;
  if (answer.status != 204) res.set_content(answer.body, "application/json");
}

json WebhookStandIn::Controls(const std::string& call, const httplib::Request& req, int& status) {
  std::lock_guard lock(mutex_);
  auto param = [&req](const char* name, const std::string& fallback) {
    return req.has_param(name) ? req.get_param_value(name) : fallback;
  };
  try {
    if (call == "requests") {
      const uint64_t since = std::stoull(param("since", "0"));
      json list = json::array();
      for (const Recorded& r : requests_) {
        if (r.seq <= since) continue;
        json headers = json::array();
        for (const auto& [name, value] : r.headers) headers.push_back(json::array({name, value}));
        list.push_back(json{{"seq", r.seq},
                            {"method", r.method},
                            {"target", r.target},
                            {"headers", headers},
                            {"body", r.body}});
      }
      return list;
    }
    if (call == "messages") {
      json all = json::object();
      for (const auto& [id, message] : messages_) all[id] = message;
      return all;
    }
    if (call == "delete") {
      const bool erased = messages_.erase(param("id", "")) > 0;
      return json{{"ok", erased}};
    }
    if (call == "limit") {
      limit_count_ = std::stoi(param("count", "1"));
      limit_retry_after_ = std::stoi(param("retry_after", "1"));
      limit_header_ = param("header", "1") != "0";
      limit_body_ = param("body", "1") != "0";
      return json{{"ok", true}};
    }
    if (call == "clear") {
      requests_.clear();
      messages_.clear();
      limit_count_ = 0;
      return json{{"ok", true}};
    }
  } catch (const std::exception& e) {
    status = 400;
    return json{{"error", std::string("bad parameter: ") + e.what()}};
  }
  status = 404;
  return json{{"error", "no such control call"}};
}

}  // namespace tol::sim
