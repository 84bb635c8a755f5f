// The HTTP client on WinHTTP, for Windows builds.
//
// WinHTTP runs in asynchronous mode, so that the caller's thread keeps every
// time-out itself: it starts one operation at a time and waits for its
// completion, at most until the whole request's deadline (when the profile
// sets one) and until the idle time-out has passed since the last sign of
// the answer (the request going out, the answer's headers coming in, a piece
// of the body). Before the request is out, connecting and sending have the
// connect time-out and the idle time-out together. When the wait runs out it
// closes the request handle, which cancels the operation, and reports a
// time-out. WinHTTP's own time-outs are set to the same values, so that a
// wait inside WinHTTP never outlasts its bound either.
//
// Wine's WinHTTP completes a send only once the answer's headers are in, so
// the wait can't take the send's completion for the request going out: it
// takes WinHTTP's "request sent" notice, which both give.
//
// One session handle lives as long as the client (it holds the cookies).
// WinHTTP takes the proxy only when the session is opened, so a profile with
// another proxy opens a new session, and starts a new cookie store with it.

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/http_client.h"
#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/text.h"

namespace tol {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Longest status line kept for an error message.
constexpr std::size_t kMaxStatusLineBytes = 200;
constexpr DWORD kReadChunkBytes = 16 * 1024;

std::wstring Wide(std::string_view cp932) {
  std::u16string utf16 = Cp932ToUtf16(cp932);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string Narrow(std::wstring_view wide) {
  return Utf16ToCp932(std::u16string(wide.begin(), wide.end()));
}

struct HandleCloser {
  void operator()(void* handle) const { WinHttpCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// What the caller and WinHTTP's callback share for one request. The caller
// waits for one completion at a time on `done`, and is woken on `sent` too,
// since the request going out shortens its wait. Two owners: the caller, and
// WinHTTP until it reports the request handle closing, so that a completion
// arriving after a time-out never writes into freed memory.
class AsyncState {
 public:
  AsyncState()
      : done_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
        sent_event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!done_ || !sent_event_) {
      if (done_) CloseHandle(done_);
      if (sent_event_) CloseHandle(sent_event_);
      throw EOtherError("Could not create an event");
    }
  }
  ~AsyncState() {
    CloseHandle(done_);
    CloseHandle(sent_event_);
  }
  AsyncState(const AsyncState&) = delete;
  AsyncState& operator=(const AsyncState&) = delete;

  void Release() {
    if (refs_.fetch_sub(1) == 1) delete this;
  }

  // Called before an operation starts.
  void Arm() {
    error_ = 0;
    bytes_ = 0;
    Progress();
    ResetEvent(done_);
  }
  // Called from WinHTTP's thread on a sign of the answer.
  void Progress() { last_progress_ = SteadyClock::now().time_since_epoch().count(); }
  void Sent() {
    Progress();
    sent_ = true;
    SetEvent(sent_event_);
  }
  bool sent() const { return sent_; }
  // Before a send (again, after a 407): the request is not out yet.
  void Sending() { sent_ = false; }
  SteadyClock::time_point last_progress() const {
    return SteadyClock::time_point(SteadyClock::duration(last_progress_.load()));
  }
  // Called from WinHTTP's thread (or inside the call that started it).
  void Complete(DWORD error, DWORD bytes) {
    error_ = error;
    bytes_ = bytes;
    SetEvent(done_);
  }
  // WAIT_OBJECT_0 on completion, WAIT_OBJECT_0 + 1 when `abandon` is
  // signalled first, WAIT_OBJECT_0 + 2 when the request went out first,
  // WAIT_TIMEOUT when `timeout` passes first.
  DWORD Wait(std::chrono::milliseconds timeout, HANDLE abandon) {
    const HANDLE handles[] = {done_, abandon, sent_event_};
    return WaitForMultipleObjects(3, handles, FALSE, static_cast<DWORD>(timeout.count()));
  }
  DWORD error() const { return error_; }
  DWORD bytes() const { return bytes_; }
  char* buffer() { return buffer_; }

 private:
  std::atomic<int> refs_{2};
  std::atomic<bool> sent_{false};
  std::atomic<SteadyClock::rep> last_progress_{0};
  HANDLE done_;
  HANDLE sent_event_;
  DWORD error_ = 0;
  DWORD bytes_ = 0;
  char buffer_[kReadChunkBytes];
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD length) {
  // Connect handles and the request before its context is set carry none.
  auto* state = reinterpret_cast<AsyncState*>(context);
  if (!state) return;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_REQUEST_SENT:
      state->Sent();
      break;
    case WINHTTP_CALLBACK_STATUS_RESPONSE_RECEIVED:
      state->Progress();
      break;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      state->Complete(0, 0);
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      state->Complete(0, *static_cast<DWORD*>(info));
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      state->Complete(0, length);
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
      DWORD error = static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError;
      state->Complete(error != 0 ? error : ERROR_WINHTTP_INTERNAL_ERROR, 0);
      break;
    }
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      state->Release();
      break;
    default:
      break;
  }
}

// Sorts a WinHTTP failure into the kinds the callers catch.
[[noreturn]] void ThrowWinHttpError(DWORD error, const char* what) {
  std::string message = std::string(what) + " failed (WinHTTP error " + std::to_string(error);
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      throw ESocketError(message + ": host name not resolved)");
    case ERROR_WINHTTP_CANNOT_CONNECT:
      throw ESocketError(message + ": cannot connect)");
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_RESEND_REQUEST:
    // Wine passes some socket errors on as they stand.
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENETRESET:
      throw ESocketError(message + ": connection reset)");
    case WSAECONNREFUSED:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
      throw ESocketError(message + ": cannot connect)");
    case WSAHOST_NOT_FOUND:
      throw ESocketError(message + ": host name not resolved)");
    case WSAETIMEDOUT:
    case ERROR_WINHTTP_TIMEOUT:
      throw ESocketError(message + ": timed out)");
    default:
      throw EOtherError(message + ")");
  }
}

[[noreturn]] void ThrowTimeout() { throw ESocketError("The request timed out"); }
[[noreturn]] void ThrowAbandoned() { throw EOtherError("The request was abandoned"); }

std::optional<std::wstring> QueryHeader(HINTERNET request, DWORD level) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, level, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (!WinHttpQueryHeaders(request, level, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  value.resize(size / sizeof(wchar_t));
  return value;
}

// The announced body size; nullopt when none is announced (or it isn't a
// plain number). Values past the cap saturate, so any cap compares right.
std::optional<std::uint64_t> ContentLength(HINTERNET request) {
  if (QueryHeader(request, WINHTTP_QUERY_TRANSFER_ENCODING)) return std::nullopt;
  std::optional<std::wstring> text = QueryHeader(request, WINHTTP_QUERY_CONTENT_LENGTH);
  if (!text || text->empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (wchar_t c : *text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = std::min<std::uint64_t>(value * 10 + (c - L'0'), UINT64_MAX / 16);
  }
  return value;
}

std::string StatusLine(HINTERNET request, DWORD status) {
  std::string line = Narrow(QueryHeader(request, WINHTTP_QUERY_VERSION).value_or(L"HTTP/1.1"));
  line += " " + std::to_string(status);
  std::string text = Narrow(QueryHeader(request, WINHTTP_QUERY_STATUS_TEXT).value_or(L""));
  if (!text.empty()) line += " " + text;
  return std::string(CutToBytes(line, kMaxStatusLineBytes));
}

// The answer's headers, one "Name: value" per line after the status line.
std::vector<HttpHeader> AnswerHeaders(HINTERNET request) {
  std::vector<HttpHeader> headers;
  const std::string raw =
      Narrow(QueryHeader(request, WINHTTP_QUERY_RAW_HEADERS_CRLF).value_or(L""));
  std::size_t start = raw.find("\r\n");  // past the status line
  while (start != std::string::npos && headers.size() < 100) {
    start += 2;
    const std::size_t end = raw.find("\r\n", start);
    std::string_view line(raw.data() + start,
                          (end == std::string::npos ? raw.size() : end) - start);
    if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
      headers.push_back(HttpHeader{std::string(Trim(line.substr(0, colon))),
                                   std::string(CutToBytes(Trim(line.substr(colon + 1)), 1000))});
    }
    start = end;
  }
  return headers;
}

struct Target {
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;  // path and query
  bool secure = false;
};

Target CrackUrl(const std::string& url) {
  std::wstring wide = Wide(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
      parts.dwHostNameLength == 0) {
    throw EOtherError("Not an HTTP URL: " + url);
  }
  Target target;
  target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  target.port = parts.nPort;
  target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  if (parts.lpszUrlPath) target.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) {
    std::wstring_view extra(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    target.path += extra.substr(0, extra.find(L'#'));  // a fragment isn't sent
  }
  if (target.path.empty()) target.path = L"/";
  return target;
}

int ClampMs(std::chrono::milliseconds duration) {
  return static_cast<int>(
      std::clamp<std::chrono::milliseconds::rep>(duration.count(), 1, INT32_MAX));
}

// The deadline of the whole request, when the profile caps it.
std::optional<SteadyClock::time_point> DeadlineOf(const RequestProfile& profile) {
  if (profile.request_timeout.count() <= 0) return std::nullopt;
  return SteadyClock::now() + std::chrono::milliseconds(ClampMs(profile.request_timeout));
}

// One request on its own request handle: the deadline, the shared state and
// the operations, each started and waited for.
class Exchange {
 public:
  // `send`: Send's request, whose headers and body go out instead of the
  // profile's headers.
  Exchange(HINTERNET connect, const Target& target, const wchar_t* verb,
           const RequestProfile& profile, HANDLE abandon, const HttpRequest* send = nullptr)
      : profile_(profile),
        send_(send),
        abandon_(abandon),
        connect_(ClampMs(profile.connect_timeout)),
        idle_(ClampMs(profile.idle_timeout)),
        deadline_(DeadlineOf(profile)),
        state_(new AsyncState) {
    request_.reset(WinHttpOpenRequest(connect, verb, target.path.c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      target.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request_) {
      DWORD error = GetLastError();
      state_->Release();  // WinHTTP never took its share
      state_->Release();
      ThrowWinHttpError(error, "WinHttpOpenRequest");
    }
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(state_);
    if (!WinHttpSetOption(request_.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context,
                          sizeof(context))) {
      DWORD error = GetLastError();
      request_.reset();
      state_->Release();
      state_->Release();
      ThrowWinHttpError(error, "WinHttpSetOption");
    }
  }

  ~Exchange() {
    // Closing the handle cancels what is still running; WinHTTP then
    // releases its share of the state when it reports the handle closing.
    request_.reset();
    state_->Release();
  }
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;

  HINTERNET request() const { return request_.get(); }

  void Configure() {
    HINTERNET request = request_.get();
    // Redirects are answers to report, never to follow.
    DWORD disable = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof(disable));
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));

    std::wstring headers;
    auto add = [&headers](const wchar_t* name, const std::string& value) {
      if (!value.empty()) headers += std::wstring(name) + L": " + Wide(value) + L"\r\n";
    };
    if (send_) {
      add(L"User-Agent", profile_.user_agent);
      for (const HttpHeader& h : send_->headers) add(Wide(h.name).c_str(), h.value);
    } else {
      add(L"Accept", profile_.accept);
      add(L"Content-Type", profile_.content_type);
      add(L"Referer", profile_.referer);
      add(L"User-Agent", profile_.user_agent);
    }
    if (!headers.empty() &&
        !WinHttpAddRequestHeaders(request, headers.c_str(), static_cast<DWORD>(-1L),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
      ThrowWinHttpError(GetLastError(), "WinHttpAddRequestHeaders");
    }

    if (!profile_.proxy_host.empty() && !profile_.proxy_user.empty()) {
      // WinHTTP keeps proxy credentials for one request only: every request
      // gets them again.
      std::wstring user = Wide(profile_.proxy_user);
      std::wstring password = Wide(profile_.proxy_password);
      WinHttpSetOption(request, WINHTTP_OPTION_PROXY_USERNAME, user.data(),
                       static_cast<DWORD>(user.size()));
      WinHttpSetOption(request, WINHTTP_OPTION_PROXY_PASSWORD, password.data(),
                       static_cast<DWORD>(password.size()));
    }
  }

  // Sends the request and waits for the answer's headers; answers a 407 once
  // with the proxy credentials. Returns the final status code.
  DWORD SendAndReceive() {
    bool credentials_sent = false;
    for (;;) {
      SetTimeouts();
      state_->Sending();
      Run("WinHttpSendRequest", [this] {
        // The body stays alive in `send_` until the exchange ends, as the
        // asynchronous send needs.
        void* data = send_ && !send_->body.empty() ? const_cast<char*>(send_->body.data())
                                                   : WINHTTP_NO_REQUEST_DATA;
        const DWORD size = send_ ? static_cast<DWORD>(send_->body.size()) : 0;
        return WinHttpSendRequest(request_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, size,
                                  size, 0);
      });
      SetTimeouts();
      Run("WinHttpReceiveResponse",
          [this] { return WinHttpReceiveResponse(request_.get(), nullptr); });

      DWORD status = 0;
      DWORD size = sizeof(status);
      if (!WinHttpQueryHeaders(
              request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
              WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        ThrowWinHttpError(GetLastError(), "WinHttpQueryHeaders");
      }
      if (status != HTTP_STATUS_PROXY_AUTH_REQ || credentials_sent || profile_.proxy_user.empty() ||
          !SetProxyCredentials()) {
        return status;
      }
      credentials_sent = true;
    }
  }

  // Reads the body up to the cap; with `cut`, a longer body is cut there
  // (and *cut set) instead of failing.
  std::string ReadBody(bool* cut = nullptr) {
    const std::size_t cap = profile_.max_body_bytes;
    const std::optional<std::uint64_t> announced = ContentLength(request_.get());
    if (announced && *announced > cap && !cut) ThrowOverCap();
    std::string body;
    for (;;) {
      // Ask what has arrived, then read only that: a read of more than has
      // arrived may block the calling thread until it is filled (Wine does),
      // out of reach of the time-outs. Each piece of the body has the idle
      // time-out from the one before.
      SetTimeouts();
      Run("WinHttpQueryDataAvailable",
          [this] { return WinHttpQueryDataAvailable(request_.get(), nullptr); });
      const DWORD available = state_->bytes();
      if (available == 0) break;
      if (available > cap - body.size()) {
        if (!cut) ThrowOverCap();
        *cut = true;
        if (body.size() == cap) return body;
      }
      const DWORD want = static_cast<DWORD>(
          std::min<std::size_t>({available, kReadChunkBytes, cap - body.size()}));
      Run("WinHttpReadData", [this, want] {
        return WinHttpReadData(request_.get(), state_->buffer(), want, nullptr);
      });
      const DWORD got = state_->bytes();
      if (got == 0) break;
      body.append(state_->buffer(), got);
    }
    // WinHTTP reports a connection closed early as the end of the body.
    if (announced && body.size() < *announced && !(cut && *cut)) {
      throw EOtherError("The connection closed after " + std::to_string(body.size()) + " of " +
                        std::to_string(*announced) + " bytes");
    }
    return body;
  }

 private:
  [[noreturn]] void ThrowOverCap() const {
    throw EOtherError("The answer is larger than " + std::to_string(profile_.max_body_bytes) +
                      " bytes");
  }

  // `bound` cut to what is left of the whole request, when it is capped.
  std::chrono::milliseconds Within(std::chrono::milliseconds bound) const {
    if (!deadline_) return bound;
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ - SteadyClock::now());
    if (left.count() <= 0) ThrowTimeout();
    return std::min(bound, left);
  }

  // WinHTTP's own time-outs: connecting, then sending and each receive.
  void SetTimeouts() {
    const int connect = ClampMs(Within(connect_));
    const int idle = ClampMs(Within(idle_));
    WinHttpSetTimeouts(request_.get(), connect, connect, idle, idle);
  }

  // Starts one asynchronous operation and waits for it, until the whole
  // request's deadline and the idle time-out after the last sign of the
  // answer (see the top of the file).
  template <typename Start>
  void Run(const char* what, Start start) {
    Within(idle_);  // the deadline may have passed already
    const SteadyClock::time_point started = SteadyClock::now();
    state_->Arm();
    if (!start()) ThrowWinHttpError(GetLastError(), what);
    for (;;) {
      const bool sent = state_->sent();
      SteadyClock::time_point until =
          sent ? state_->last_progress() + idle_ : started + connect_ + idle_;
      const bool capped = deadline_ && *deadline_ < until;
      if (capped) until = *deadline_;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - SteadyClock::now());
      // The destructor closes the request handle, which cancels the
      // operation on time-out and on Abandon() alike.
      if (left.count() <= 0) {
        if (sent && !capped) throw ESocketError(IdleTimeoutText(idle_));
        ThrowTimeout();
      }
      const DWORD waited = state_->Wait(left, abandon_);
      if (waited == WAIT_OBJECT_0 + 1) ThrowAbandoned();
      if (waited == WAIT_OBJECT_0) break;
      // The request went out, or the time is up unless a sign of the
      // answer came meanwhile: look again.
    }
    if (state_->error() != 0) ThrowWinHttpError(state_->error(), what);
  }

  bool SetProxyCredentials() {
    DWORD supported = 0;
    DWORD first = 0;
    DWORD target = 0;
    if (!WinHttpQueryAuthSchemes(request_.get(), &supported, &first, &target)) return false;
    std::wstring user = Wide(profile_.proxy_user);
    std::wstring password = Wide(profile_.proxy_password);
    for (DWORD scheme : {first, static_cast<DWORD>(WINHTTP_AUTH_SCHEME_BASIC),
                         static_cast<DWORD>(WINHTTP_AUTH_SCHEME_DIGEST)}) {
      if ((supported & scheme) &&
          WinHttpSetCredentials(request_.get(), WINHTTP_AUTH_TARGET_PROXY, scheme, user.c_str(),
                                password.c_str(), nullptr)) {
        return true;
      }
    }
    return false;
  }

  const RequestProfile& profile_;
  const HttpRequest* const send_;
  const HANDLE abandon_;
  const std::chrono::milliseconds connect_;
  const std::chrono::milliseconds idle_;
  const std::optional<SteadyClock::time_point> deadline_;
  AsyncState* state_;
  Handle request_;
};

class WinHttpClient final : public HttpClient {
 public:
  explicit WinHttpClient(const Clock& clock)
      : clock_(clock), abandon_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!abandon_) throw EOtherError("Could not create an event");
  }
  ~WinHttpClient() override { CloseHandle(abandon_); }
  WinHttpClient(const WinHttpClient&) = delete;
  WinHttpClient& operator=(const WinHttpClient&) = delete;

  void SetProfile(const RequestProfile& profile) override { profile_ = profile; }
  const RequestProfile& profile() const override { return profile_; }
  void Abandon() override { SetEvent(abandon_); }

  std::string Get(const std::string& url) override {
    std::string body;
    Perform(url, L"GET", [&body](Exchange& exchange) { body = exchange.ReadBody(); });
    return body;
  }

  HttpAnswer Send(const HttpRequest& request) override {
    if (WaitForSingleObject(abandon_, 0) == WAIT_OBJECT_0) ThrowAbandoned();
    const Target target = CrackUrl(request.url);
    HINTERNET session = Session();
    Handle connect(WinHttpConnect(session, target.host.c_str(), target.port, 0));
    if (!connect) ThrowWinHttpError(GetLastError(), "WinHttpConnect");
    const std::wstring verb = Wide(request.method);
    Exchange exchange(connect.get(), target, verb.c_str(), profile_, abandon_, &request);
    exchange.Configure();
    HttpAnswer answer;
    answer.status = static_cast<int>(exchange.SendAndReceive());
    answer.headers = AnswerHeaders(exchange.request());
    answer.body = exchange.ReadBody(&answer.body_cut);
    return answer;
  }

  HeadResult Head(const std::string& url) override {
    HeadResult result;
    Perform(url, L"HEAD", [this, &result](Exchange& exchange) {
      std::optional<std::wstring> text =
          QueryHeader(exchange.request(), WINHTTP_QUERY_LAST_MODIFIED);
      if (!text) return;
      if (auto utc = DateTime::FromHttpDate(Narrow(*text))) {
        result.last_modified = clock_.UtcToLocal(*utc);
      }
    });
    return result;
  }

 private:
  template <typename OnSuccess>
  void Perform(const std::string& url, const wchar_t* verb, OnSuccess on_success) {
    if (WaitForSingleObject(abandon_, 0) == WAIT_OBJECT_0) ThrowAbandoned();
    const Target target = CrackUrl(url);
    HINTERNET session = Session();
    Handle connect(WinHttpConnect(session, target.host.c_str(), target.port, 0));
    if (!connect) ThrowWinHttpError(GetLastError(), "WinHttpConnect");
    Exchange exchange(connect.get(), target, verb, profile_, abandon_);
    exchange.Configure();
    const DWORD status = exchange.SendAndReceive();
    if (status < 200 || status > 299) {
      throw EHttpStatusError(static_cast<int>(status), StatusLine(exchange.request(), status));
    }
    on_success(exchange);
  }

  std::wstring ProxyName() const {
    if (profile_.proxy_host.empty()) return L"";
    std::wstring name = Wide(profile_.proxy_host);
    if (profile_.proxy_port > 0) name += L":" + std::to_wstring(profile_.proxy_port);
    return name;
  }

  HINTERNET Session() {
    std::wstring proxy = ProxyName();
    if (session_ && proxy == session_proxy_) return session_.get();
    session_.reset();
    // No user agent here: each request sends the profile's. No proxy but the
    // configured one: the system's proxy settings don't apply.
    // "<-loopback>" keeps WinHTTP from bypassing the proxy for local hosts.
    session_.reset(WinHttpOpen(
        nullptr, proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
        proxy.empty() ? WINHTTP_NO_PROXY_NAME : proxy.c_str(),
        proxy.empty() ? WINHTTP_NO_PROXY_BYPASS : L"<-loopback>", WINHTTP_FLAG_ASYNC));
    if (!session_) ThrowWinHttpError(GetLastError(), "WinHttpOpen");
    if (WinHttpSetStatusCallback(
            session_.get(), OnStatus,
            WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES |
                WINHTTP_CALLBACK_FLAG_SEND_REQUEST | WINHTTP_CALLBACK_FLAG_RECEIVE_RESPONSE,
            0) == WINHTTP_INVALID_STATUS_CALLBACK) {
      DWORD error = GetLastError();
      session_.reset();
      ThrowWinHttpError(error, "WinHttpSetStatusCallback");
    }
    // TLS 1.2 and later: older WinHTTP (Windows 7 and 8, Wine) offers only
    // TLS 1.0 by default, which services such as the webhooks' refuse. A
    // system that knows no TLS 1.3 refuses that flag: then TLS 1.2 alone.
    for (DWORD protocols :
         {DWORD{WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3},
          DWORD{WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2}}) {
      if (WinHttpSetOption(session_.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                           sizeof(protocols))) {
        break;
      }
    }
    session_proxy_ = proxy;
    return session_.get();
  }

  const Clock& clock_;
  HANDLE abandon_;  // manual reset: once set, every request ends at once
  RequestProfile profile_;
  Handle session_;
  std::wstring session_proxy_;
};

}  // namespace

std::unique_ptr<HttpClient> CreateHttpClient(const Clock& clock) {
  return std::make_unique<WinHttpClient>(clock);
}

}  // namespace tol
