#pragma once
// The HTTP client port of both programs: GET and HEAD over plain HTTP/1.1
// for the status and map-list services, and Send (POST, PATCH, any method
// with a body) for the webhooks; used on the caller's thread, one request at
// a time.
//
// Implementations: http_client_curl.cpp (libcurl, POSIX builds) and
// http_client_winhttp.cpp (WinHTTP, Windows builds); CreateHttpClient()
// returns the one the build carries. Tests may plug in their own.
//
// Contract shared by every implementation:
// - Every request sends the profile's Accept, Content-Type, Referer and
//   User-Agent headers.
// - Cookies that a service sets are kept for the life of the client object and
//   sent back with later requests.
// - Redirects are never followed: a 3xx answer is an EHttpStatusError, like
//   every answer outside 2xx. Its message is the answer's status line, e.g.
//   "HTTP/1.1 404 Not Found"; status() is the code.
// - ESocketError: the name doesn't resolve, the connection is refused or
//   reset, or a time-out of the profile expires:
//   - connect: resolving the name and opening the connection;
//   - idle: once the request is out, nothing received for this long: no
//     answer headers that long after sending, or no further piece of the
//     body that long after the last one. A body that keeps coming, however
//     slowly, never trips it;
//   - request (when set): the whole request, from connecting to the last
//     byte of the body, however steadily it comes.
// - EOtherError: anything else, e.g. the peer closes the connection before its
//   answer is complete (before any byte of it, within the headers, or before
//   the announced end of the body), or the body exceeds max_body_bytes (the
//   transfer stops there; memory stays bounded by the cap).
// - With a proxy host set, requests go through that HTTP proxy; a 407 demand
//   is answered with the proxy user name and password on every request. A
//   proxy that still refuses (407, or 401 as some answer wrong credentials)
//   is an EHttpStatusError like any other answer outside 2xx. No proxy is
//   ever taken from the environment or the system's settings.
// - The proxy is part of the connection setup: a profile with another proxy
//   may start a new cookie store (WinHTTP fixes the proxy per session).
// - https URLs verify the server's certificate and host name against the
//   system's store of trusted authorities; nothing turns that off. A
//   certificate that fails is an EOtherError.
//
// Send differs from GET and HEAD in what it sends and what it returns:
// - It sends only the request's own headers and the profile's User-Agent
//   (no Accept, Content-Type or Referer of the profile), and the body.
// - Every answer comes back, whatever its status (3xx and 4xx and 5xx too):
//   its status code, its headers and at most max_body_bytes of its body (the
//   rest is not read; `body_cut` tells). Only failures to get an answer
//   throw, by the same kinds as above.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/timeouts.h"
#include "shared/clock.h"
#include "shared/date_time.h"
#include "shared/errors.h"
#include "shared/text.h"

namespace tol {

struct RequestProfile {
  std::string accept = "text/html, */*";
  std::string content_type = "text/html";
  std::string referer;
  std::string user_agent;
  // Empty host: no proxy.
  std::string proxy_host;
  int proxy_port = 0;
  std::string proxy_user;
  std::string proxy_password;
  // Time-outs, see the contract above; timeouts.h holds the values of each
  // program. Connect and idle are bounded always (a value below 1 ms counts
  // as 1 ms), so no request waits for ever on a silent peer.
  std::chrono::milliseconds connect_timeout = kMonitorTimeouts.connect;
  std::chrono::milliseconds idle_timeout = kMonitorTimeouts.idle;
  // Zero (or below): no cap on the whole request.
  std::chrono::milliseconds request_timeout = kMonitorTimeouts.request;
  std::size_t max_body_bytes = 8 * 1024 * 1024;
};

struct HeadResult {
  // The answer's Last-Modified time converted to local time by the client's
  // clock; empty when the answer had no usable Last-Modified header.
  std::optional<DateTime> last_modified;
};

struct HttpHeader {
  std::string name;
  std::string value;
};

struct HttpRequest {
  std::string method = "POST";
  std::string url;
  std::vector<HttpHeader> headers;  // sent as they stand, after User-Agent
  std::string body;
};

struct HttpAnswer {
  int status = 0;
  std::vector<HttpHeader> headers;  // in the order they came
  std::string body;
  bool body_cut = false;  // the body was longer than max_body_bytes
  // The first header of that name (letter case ignored), or nullopt.
  std::optional<std::string> Header(std::string_view name) const {
    for (const HttpHeader& h : headers) {
      if (SameText(h.name, name)) return h.value;
    }
    return std::nullopt;
  }
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  virtual void SetProfile(const RequestProfile& profile) = 0;
  virtual const RequestProfile& profile() const = 0;
  // The body of a 2xx answer, bytes as they came.
  virtual std::string Get(const std::string& url) = 0;
  virtual HeadResult Head(const std::string& url) = 0;
  // Any method with a body; see the contract above. A client without it
  // throws EOtherError.
  virtual HttpAnswer Send(const HttpRequest&) {
    throw EOtherError("This HTTP client sends no requests with a body");
  }
  // Any thread, any time: the request in flight ends at once, and so does
  // every later one, with EOtherError. For a program that is ending and
  // must not wait for a slow service; the client can't be used after it.
  virtual void Abandon() = 0;
};

// The platform's client. `clock` converts Last-Modified to local time and must
// outlive the client.
std::unique_ptr<HttpClient> CreateHttpClient(const Clock& clock);

}  // namespace tol
