#pragma once
// Faults that the sim plays on demand for one request path (or for every
// service path, "*"), set through the control interface.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tol::sim {

enum class FaultKind {
  kStatus,      // an error status ("404", "500", any 400-599): small body, no content
  kRedirect,    // 302 with Location
  kStall,       // never answer; the connection is closed after `seconds` or on release
  kReset,       // headers and `partial` bytes of the body, then a TCP reset
  kShort,       // Content-Length `extra` bytes larger than the body sent, then close
  kClose,       // the connection closed (FIN) before any answer, or within its headers
  kHuge,        // a body of `size` bytes, announced, chunked or close-delimited
  kTrickle,     // the body one byte every `interval_ms` milliseconds
  kNoLastMod,   // the normal answer without Last-Modified
  kNeedCookie,  // first answer sets "sim=<token>"; later ones want it back or get 403
};

enum class HugeMode { kLength, kChunked, kClose };

struct Fault {
  FaultKind kind = FaultKind::kStatus;
  int status = 404;
  int count = 0;  // the next `count` requests only; 0 = until cleared
  std::string location;
  uint64_t size = 64ull << 20;
  HugeMode mode = HugeMode::kLength;
  int64_t partial = -1;  // -1 = half the body
  int64_t extra = 100;
  int interval_ms = 300;
  int seconds = 60;
  bool close_in_headers = false;  // kClose: "at=headers" instead of "at=request"
  // State of kNeedCookie: the cookie handed out ("sim=..."), empty until then;
  // `cookie_new` marks the copy of the request that hands it out.
  std::string cookie;
  bool cookie_new = false;
};

// A whole decimal number in [min, max]; nullopt for anything else.
std::optional<int64_t> ParseNumber(const std::string& text, int64_t min, int64_t max);

// Reads a fault from control parameters: kind (required), count, location,
// size, mode (length|chunked|close), partial, extra, interval_ms, seconds,
// at (request|headers).
// Values are range-checked; on error returns nullopt and sets `*error`.
std::optional<Fault> ParseFault(const std::multimap<std::string, std::string>& params,
                                std::string* error);

}  // namespace tol::sim
