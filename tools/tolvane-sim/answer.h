#pragma once
// Turning what a service path holds into an HTTP answer, with or without one
// of the faults of fault.h.

#include <httplib.h>

#include <cstdint>
#include <optional>
#include <string>

#include "fault.h"
#include "sim_state.h"

namespace tol::sim {

// The normal answer to a service request before any fault.
struct Answer {
  int status = 200;
  std::string body;
  std::optional<int64_t> last_modified;  // Unix seconds; nullopt: no header
};

// Fills `res` with `answer` as it stands.
void Respond(const Answer& answer, httplib::Response& res);

// Fills `res` with `answer` changed by `fault`. May block (stall) and may
// leave content providers in `res` that use `state` while the answer is
// written. `port` is the sim's own port, for redirect locations.
void RespondWithFault(const Fault& fault, const Answer& answer, const httplib::Request& req,
                      int port, SimState& state, httplib::Response& res);

}  // namespace tol::sim
