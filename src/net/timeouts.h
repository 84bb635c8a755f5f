#pragma once
// The request time-outs of both programs, kept in one place.
//
// The monitor polls a small status file for a strip that must not freeze
// for long: a stalled status service gives up soon enough for a player to
// see " ( Socket Error )", and every request stays bounded as a whole.
//
// The assistant runs once on demand and fetches larger lists from a slower
// service, over lines that may be poor: a list that keeps coming, however
// slowly, is waited for as long as it takes (no cap on the whole request),
// and only a service that sends nothing at all for half a minute is given
// up. Half a minute rides out several rounds of TCP's resending on a lossy
// line (1, 2, 4 and 8 s) and a slow start of the service's answer, and still
// tells a user about a dead service before they give up themselves.

#include <chrono>
#include <string>

namespace tol {

struct RequestTimeouts {
  // Resolving the name and opening the connection.
  std::chrono::milliseconds connect;
  // Nothing received for this long ends the request.
  std::chrono::milliseconds idle;
  // The whole request, from connecting to the last byte of the body; zero
  // for no cap.
  std::chrono::milliseconds request;
};

inline constexpr RequestTimeouts kMonitorTimeouts{std::chrono::seconds(5), std::chrono::seconds(10),
                                                  std::chrono::seconds(15)};
inline constexpr RequestTimeouts kAssistantTimeouts{
    std::chrono::seconds(15), std::chrono::seconds(30), std::chrono::milliseconds::zero()};

// The message of an idle time-out, the same from every client.
inline std::string IdleTimeoutText(std::chrono::milliseconds idle) {
  return "The request timed out: nothing received for " + std::to_string(idle.count()) + " ms";
}

}  // namespace tol
