#pragma once
// A stand-in of a chat service's webhooks under /_hook/ (any path below it
// names a webhook): it records every request with its body and answers in
// the service's shapes:
//   POST /_hook/...            204 without a body; with ?wait=true 200 and
//                              the message object {"id", "channel_id",
//                              "content", "embeds", ...}
//   PATCH /_hook/.../messages/ID  200 and the edited message; 404
//                              {"message": "Unknown Message", "code": 10008}
//                              for an id it doesn't hold
// Faults of /_sim/fault apply to the exact request path as everywhere (a
// stall, a 500); /_sim/hook/limit adds the service's rate limit (429).
//
// Control calls (GET or POST, answers JSON):
//   /_sim/hook/requests[?since=N]  the recorded hook requests: seq, method,
//                                  target, headers, body (as text)
//   /_sim/hook/messages            the messages held, by id
//   /_sim/hook/delete?id=ID        forgets a message (later edits get 404)
//   /_sim/hook/limit?count=N[&retry_after=S][&header=0|1][&body=0|1]
//                                  the next N hook requests get 429 with
//                                  Retry-After: S (default 1; header=0: none)
//                                  and {"retry_after": S, "global": false}
//                                  (body=0: none)
//   /_sim/hook/clear               drops requests, messages and limits

#include <httplib.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim_state.h"

namespace tol::sim {

class WebhookStandIn {
 public:
  // Adds the hook routes and the /_sim/hook/ controls to `server`; call before
  // any catch-all route. `port` is read when a fault needs it.
  void AddRoutes(httplib::Server& server, SimState& state, const int& port);

 private:
  struct Recorded {
    uint64_t seq;
    std::string method, target, body;
    std::vector<std::pair<std::string, std::string>> headers;
  };
  void Handle(const httplib::Request& req, httplib::Response& res, SimState& state, int port);
  nlohmann::json Controls(const std::string& call, const httplib::Request& req, int& status);

  std::mutex mutex_;
  std::vector<Recorded> requests_;                  // the last 1000
  std::map<std::string, nlohmann::json> messages_;  // id -> message object
  uint64_t seq_ = 0;
  uint64_t next_id_ = 1000000000000000001ull;
  int limit_count_ = 0;
  int limit_retry_after_ = 1;
  bool limit_header_ = true;
  bool limit_body_ = true;
};

}  // namespace tol::sim
