// The HTTP client on libcurl, for POSIX builds.
//
// One easy handle lives as long as the client: its cookie engine keeps the
// cookies that services set. It runs inside a multi handle of its own (which
// keeps the connections for reuse), so that Abandon() from another thread can
// wake the wait and end the transfer at once. Every request sets all the
// options it depends on, so nothing of one request leaks into the next one.
//
// The idle time-out is kept here rather than by libcurl's low-speed limit,
// which averages the speed over seconds and so would end a line that brings
// a byte every second and a half: the callbacks note when data last came,
// and the wait in Run() looks at it.

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "net/http_client.h"
#include "net/http_client_curl_testing.h"
#include "shared/errors.h"
#include "shared/text.h"

namespace tol {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Longest status line kept for an error message.
constexpr std::size_t kMaxStatusLineBytes = 200;
// What an answer's headers may hold in Send's answer.
constexpr std::size_t kMaxAnswerHeaders = 100;
constexpr std::size_t kMaxHeaderBytes = 1000;
// The longest the wait sleeps without looking at the idle time-out.
constexpr std::chrono::milliseconds kLongestPoll{1000};

void GlobalInitOnce() {
  // curl_global_init isn't thread-safe in this libcurl; a function-local
  // static runs it exactly once.
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (init != CURLE_OK) throw EOtherError("libcurl could not be initialised");
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// What one transfer gathers through the callbacks. Callbacks never throw into
// libcurl: they record what went wrong and let the transfer stop.
struct Transfer {
  std::size_t max_body_bytes = 0;
  std::string body;
  bool body_over_cap = false;
  bool out_of_memory = false;
  // Send: keep the first max_body_bytes and stop there, without failing.
  bool cut_body = false;
  std::string status_line;
  std::string last_modified;
  std::vector<HttpHeader> headers;
  // The empty line that ends the headers has come.
  bool headers_complete = false;
  // The request is out on a connection (the idle time-out counts from then),
  // and when something last came: the request going out, a header line or a
  // piece of the body.
  bool sent = false;
  SteadyClock::time_point last_received;

  void Received() { last_received = SteadyClock::now(); }
};

int RequestGoesOut(void* user, char*, char*, int, int) {
  auto* transfer = static_cast<Transfer*>(user);
  transfer->sent = true;
  transfer->Received();
  return CURL_PREREQFUNC_OK;
}

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  transfer->Received();
  // This libcurl stops a body of unannounced size only here: returning
  // less than it was given aborts the transfer with CURLE_WRITE_ERROR.
  if (bytes > transfer->max_body_bytes - transfer->body.size()) {
    transfer->body_over_cap = true;
    if (transfer->cut_body) {
      transfer->body.append(data, transfer->max_body_bytes - transfer->body.size());
    }
    return 0;
  }
  try {
    transfer->body.append(data, bytes);
  } catch (const std::bad_alloc&) {
    transfer->out_of_memory = true;
    return 0;
  }
  return bytes;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

size_t ReadHeader(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  transfer->Received();
  std::string_view line(data, bytes);
  try {
    if (StartsWithNoCase(line, "HTTP/")) {
      // A new answer begins (after a 407 or a 100 Continue): forget the last.
      transfer->status_line = std::string(CutToBytes(TrimRight(line), kMaxStatusLineBytes));
      transfer->last_modified.clear();
      transfer->headers.clear();
      transfer->headers_complete = false;
    } else if (line == "\r\n" || line == "\n") {
      transfer->headers_complete = true;
    } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
      if (StartsWithNoCase(line, "Last-Modified:")) {
        transfer->last_modified = std::string(Trim(line.substr(14)));
      }
      if (transfer->headers.size() < kMaxAnswerHeaders) {
        transfer->headers.push_back(
            HttpHeader{std::string(Trim(line.substr(0, colon))),
                       std::string(CutToBytes(Trim(line.substr(colon + 1)), kMaxHeaderBytes))});
      }
    }
  } catch (const std::bad_alloc&) {
    transfer->out_of_memory = true;
    return 0;
  }
  return bytes;
}

std::string OverCapMessage(const Transfer& transfer) {
  return "The answer is larger than " + std::to_string(transfer.max_body_bytes) + " bytes";
}

// Sorts a libcurl failure into the kinds the callers catch.
[[noreturn]] void ThrowCurlError(CURLcode code, const Transfer& transfer, const char* detail) {
  std::string message = *detail != '\0' ? detail : curl_easy_strerror(code);
  switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:  // among them a reset connection
      throw ESocketError(message);
    // A connection closed before its answer was complete, like one closed
    // within the body (CURLE_PARTIAL_FILE), is no socket failure: the
    // service was reached and ended the exchange.
    case CURLE_GOT_NOTHING:         // closed before any byte of the answer
    case CURLE_WEIRD_SERVER_REPLY:  // closed within the status line
      throw EOtherError(message);
    case CURLE_WRITE_ERROR:
      if (transfer.out_of_memory) throw EOtherError("Out of memory");
      throw EOtherError(transfer.body_over_cap ? OverCapMessage(transfer) : message);
    case CURLE_FILESIZE_EXCEEDED:  // the announced size is over the cap
      throw EOtherError(OverCapMessage(transfer));
    default:  // CURLE_PARTIAL_FILE (body cut short) and everything else
      throw EOtherError(message);
  }
}

void AppendHeader(std::unique_ptr<curl_slist, SlistDeleter>& list, const std::string& name,
                  const std::string& value) {
  // "Name:" with nothing after it removes a header libcurl would add itself.
  const std::string line = value.empty() ? name + ":" : name + ": " + value;
  curl_slist* head = curl_slist_append(list.get(), line.c_str());
  if (!head) throw EOtherError("Out of memory");
  (void)list.release();  // `head` is the same list, one entry longer
  list.reset(head);
}

std::chrono::milliseconds AtLeastOneMs(std::chrono::milliseconds duration) {
  return std::max(duration, std::chrono::milliseconds(1));
}

long Milliseconds(std::chrono::milliseconds duration) {
  return static_cast<long>(
      std::min<std::chrono::milliseconds::rep>(duration.count(), std::numeric_limits<long>::max()));
}

class CurlHttpClient final : public HttpClient {
 public:
  CurlHttpClient(const Clock& clock, std::string ca_file)
      : clock_(clock), ca_file_(std::move(ca_file)) {
    GlobalInitOnce();
    easy_.reset(curl_easy_init());
    multi_.reset(curl_multi_init());
    if (!easy_ || !multi_) throw EOtherError("libcurl could not create a handle");
    // An empty file name switches the cookie engine on without reading a
    // file; the cookies then live as long as this handle.
    curl_easy_setopt(easy_.get(), CURLOPT_COOKIEFILE, "");
  }

  void SetProfile(const RequestProfile& profile) override { profile_ = profile; }
  const RequestProfile& profile() const override { return profile_; }

  void Abandon() override {
    abandoned_ = true;
    curl_multi_wakeup(multi_.get());
  }

  std::string Get(const std::string& url) override {
    Transfer transfer = Perform(url, /*head=*/false);
    return std::move(transfer.body);
  }

  HttpAnswer Send(const HttpRequest& request) override {
    Transfer transfer = Perform(request.url, /*head=*/false, &request);
    HttpAnswer answer;
    long status = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
    answer.status = static_cast<int>(status);
    answer.headers = std::move(transfer.headers);
    answer.body = std::move(transfer.body);
    answer.body_cut = transfer.body_over_cap;
    return answer;
  }

  HeadResult Head(const std::string& url) override {
    Transfer transfer = Perform(url, /*head=*/true);
    HeadResult result;
    if (auto utc = DateTime::FromHttpDate(transfer.last_modified)) {
      result.last_modified = clock_.UtcToLocal(*utc);
    }
    return result;
  }

 private:
  // GET or HEAD of the status services, or (`send`) the request with its
  // body, whose answer is returned whatever its status.
  Transfer Perform(const std::string& url, bool head, const HttpRequest* send = nullptr) {
    CURL* easy = easy_.get();
    Transfer transfer;
    transfer.max_body_bytes = profile_.max_body_bytes;
    transfer.cut_body = send != nullptr;
    char error[CURL_ERROR_SIZE] = "";

    std::unique_ptr<curl_slist, SlistDeleter> headers;
    if (send) {
      // Nothing of the status service's profile but the User-Agent; no
      // "Expect: 100-continue" wait before a larger body.
      AppendHeader(headers, "Accept", "");
      AppendHeader(headers, "Expect", "");
      for (const HttpHeader& h : send->headers) AppendHeader(headers, h.name, h.value);
    } else {
      AppendHeader(headers, "Accept", profile_.accept);
      AppendHeader(headers, "Content-Type", profile_.content_type);
    }

    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error);
    // Time-outs without SIGALRM: the client may run on any thread.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    // The system's store of authorities (or the test's own file); the
    // certificate and the host name are always checked.
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!ca_file_.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, ca_file_.c_str());
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
    if (head) {
      curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (send) {
      curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
      curl_easy_setopt(easy, CURLOPT_POST, 1L);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(send->body.size()));
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, send->body.data());
      if (send->method != "POST")
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, send->method.c_str());
    } else {
      curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy, CURLOPT_REFERER,
                     profile_.referer.empty() || send ? nullptr : profile_.referer.c_str());
    curl_easy_setopt(easy, CURLOPT_USERAGENT,
                     profile_.user_agent.empty() ? nullptr : profile_.user_agent.c_str());

    // Zero means "no limit" to libcurl: connecting stays bounded always,
    // the whole request only when the profile caps it.
    const bool capped = profile_.request_timeout.count() > 0;
    const std::chrono::milliseconds connect = AtLeastOneMs(profile_.connect_timeout);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS,
                     capped ? Milliseconds(profile_.request_timeout) : 0L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     Milliseconds(capped ? std::min(connect, profile_.request_timeout) : connect));
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, RequestGoesOut);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &transfer);

    // An announced size over the cap fails before the body is read; the
    // write callback catches the rest.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     send ? curl_off_t{0}
                          : static_cast<curl_off_t>(std::min<std::uintmax_t>(
                                profile_.max_body_bytes, std::numeric_limits<curl_off_t>::max())));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, ReadHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);

    SetProxy(easy);

    const CURLcode code = Run(easy, transfer);
    // The header list and the error buffer die with this call.
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
    // A body cut at the cap ends Send's transfer early, as it should.
    const bool cut =
        send && code == CURLE_WRITE_ERROR && transfer.body_over_cap && !transfer.out_of_memory;
    if (code != CURLE_OK && !cut) ThrowCurlError(code, transfer, error);
    // This libcurl takes a connection closed within the headers for the
    // end of a complete answer.
    if (!transfer.headers_complete) {
      throw EOtherError("The connection closed within the answer's headers");
    }

    if (send) return transfer;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
      std::string line = transfer.status_line;
      if (line.empty()) line = "HTTP/1.1 " + std::to_string(status);
      throw EHttpStatusError(static_cast<int>(status), line);
    }
    return transfer;
  }

  // The transfer, inside the multi handle, until it ends, is abandoned or
  // receives nothing for the idle time-out.
  CURLcode Run(CURL* easy, const Transfer& transfer) {
    if (abandoned_) ThrowAbandoned();
    CURLM* multi = multi_.get();
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
      throw EOtherError("libcurl could not start the request");
    }
    const std::chrono::milliseconds idle = AtLeastOneMs(profile_.idle_timeout);
    CURLcode result = CURLE_OK;
    bool done = false;
    bool idle_out = false;
    while (!done && !abandoned_) {
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) {
        result = CURLE_OUT_OF_MEMORY;
        break;
      }
      int queued = 0;
      while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
          result = message->data.result;
          done = true;
        }
      }
      if (done) break;
      // Connect and whole-request time-outs are the transfer's own; the
      // wait sleeps until there is something to do, Abandon() wakes it, or
      // the idle time-out is due.
      std::chrono::milliseconds sleep = kLongestPoll;
      if (transfer.sent) {
        const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(
            SteadyClock::now() - transfer.last_received);
        if (quiet >= idle) {
          idle_out = true;
          break;
        }
        sleep = std::min(sleep, idle - quiet);
      }
      curl_multi_poll(multi, nullptr, 0, static_cast<int>(sleep.count()), nullptr);
    }
    curl_multi_remove_handle(multi, easy);
    if (idle_out) throw ESocketError(IdleTimeoutText(idle));
    if (!done) ThrowAbandoned();
    return result;
  }

  [[noreturn]] static void ThrowAbandoned() { throw EOtherError("The request was abandoned"); }

  void SetProxy(CURL* easy) {
    if (profile_.proxy_host.empty()) {
      // An empty proxy also keeps http_proxy and friends from the
      // environment out: only the configured proxy is ever used.
      curl_easy_setopt(easy, CURLOPT_PROXY, "");
      return;
    }
    curl_easy_setopt(easy, CURLOPT_PROXY, profile_.proxy_host.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYPORT, static_cast<long>(profile_.proxy_port));
    curl_easy_setopt(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, profile_.proxy_user.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, profile_.proxy_password.c_str());
    // Credentials go out only when the proxy asks (407), in the scheme it asks for.
    curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
  }

  const Clock& clock_;
  const std::string ca_file_;  // empty: the system's store
  RequestProfile profile_;
  std::unique_ptr<CURL, EasyDeleter> easy_;
  std::unique_ptr<CURLM, MultiDeleter> multi_;
  std::atomic<bool> abandoned_{false};
};

}  // namespace

std::unique_ptr<HttpClient> CreateHttpClient(const Clock& clock) {
  return std::make_unique<CurlHttpClient>(clock, std::string());
}

std::unique_ptr<HttpClient> CreateCurlHttpClientTrusting(const Clock& clock,
                                                         const std::string& ca_file) {
  return std::make_unique<CurlHttpClient>(clock, ca_file);
}

}  // namespace tol
