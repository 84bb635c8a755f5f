#pragma once
// The request time-outs of both programs, kept in one place.
//
// The monitor polls on the window's thread, so a stalled status service must
// give up soon enough for a player to see " ( Socket Error )" rather than a
// frozen strip. The assistant runs once on demand and fetches larger lists
// from a slower service; it waits longer, but not for ever.

#include <chrono>

namespace tol {

struct RequestTimeouts {
  std::chrono::milliseconds connect;
  // The whole request, from connecting to the last byte of the body.
  std::chrono::milliseconds request;
};

inline constexpr RequestTimeouts kMonitorTimeouts{std::chrono::seconds(5),
                                                  std::chrono::seconds(15)};
inline constexpr RequestTimeouts kAssistantTimeouts{std::chrono::seconds(15),
                                                    std::chrono::seconds(60)};

}  // namespace tol
