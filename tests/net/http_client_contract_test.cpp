// The contract of the HTTP client, run against the build's own implementation
// (libcurl natively, WinHTTP under Wine) and the local services that
// with_services.sh starts around this program: tolvane-sim and an HTTP proxy
// that demands Basic credentials, both on 127.0.0.1. The script also points
// the proxy environment variables at a dead port, so every direct request
// here checks that the client takes no proxy from the environment.
//
// The sim is steered through its control paths with a second client of the
// same kind; it records the requests it serves.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/http_client.h"
#include "shared/date_time.h"
#include "shared/errors.h"
#include "shared/fixed_clock.h"

namespace tol {
namespace {

using std::chrono::milliseconds;
using ::testing::HasSubstr;

constexpr int kJapanMinutes = 9 * 60;
// A time-out of this much must end a request well within kLateBound: the
// bound catches a client that waits for the server instead of its deadline,
// and leaves room for a slow machine.
constexpr milliseconds kShortTimeout{2000};
constexpr milliseconds kLateBound{6000};

int EnvNumber(const char* name) {
  const char* text = std::getenv(name);
  return text ? std::atoi(text) : 0;
}

std::string EnvText(const char* name) {
  const char* text = std::getenv(name);
  return text ? text : "";
}

// `text` as a query parameter value: every byte but letters and digits in
// %XX form.
std::string QueryEscape(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c)) {
      out += static_cast<char>(c);
    } else {
      out += {'%', kHex[c >> 4], kHex[c & 15]};
    }
  }
  return out;
}

// One request as the sim recorded it.
struct Recorded {
  std::string method;
  std::map<std::string, std::string> headers;  // later duplicates win

  std::string Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? "" : it->second;
  }
};

// Runs `request` and returns the failure it raised with the time it took;
// fails the test when it raised nothing or something else.
template <typename Failure, typename Request>
std::pair<std::optional<Failure>, milliseconds> Expect(Request request) {
  const auto start = std::chrono::steady_clock::now();
  std::optional<Failure> failure;
  try {
    request();
    ADD_FAILURE() << "no failure";
  } catch (const Failure& e) {
    failure = e;
  } catch (const Exception& e) {
    ADD_FAILURE() << e.ClassName() << ": " << e.what();
  }
  return {failure,
          std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start)};
}

class HttpClientContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_port_ = EnvNumber("KOVUN_SIM_PORT");
    ASSERT_GT(sim_port_, 0) << "run this program through tests/net/with_services.sh";
    control_ = CreateHttpClient(clock_);
    Control("reset");
    client_ = CreateHttpClient(clock_);
    client_->SetProfile(Profile());
  }

  void TearDown() override {
    // Releases stalled answers and forgets faults for the next test.
    if (control_) Control("reset");
  }

  static RequestProfile Profile() {
    RequestProfile profile;
    profile.referer = "http://kovun.example/";
    profile.user_agent = "Kovun/0.1.0a (test; http://kovun.example/)";
    profile.connect_timeout = milliseconds(5000);
    profile.request_timeout = milliseconds(10000);
    return profile;
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(sim_port_) + path;
  }

  std::string Control(const std::string& call) { return control_->Get(Url("/_sim/" + call)); }

  void Serve(const std::string& path, const std::string& body,
             const std::string& lastmod = "784887151") {
    Control("content?path=" + path + "&lastmod=" + lastmod + "&body=" + QueryEscape(body));
  }

  void Fault(const std::string& path, const std::string& params) {
    Control("fault?path=" + path + "&" + params);
  }

  // The requests for `path` the sim has served, oldest first.
  std::vector<Recorded> Requests(const std::string& path) {
    std::istringstream text(Control("requests?format=text&path=" + path));
    std::vector<Recorded> requests;
    std::string line;
    while (std::getline(text, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("seq ", 0) == 0) {
        std::istringstream first(line.substr(4));
        std::string seq;
        requests.emplace_back();
        first >> seq >> requests.back().method;
      } else if (auto colon = line.find(": "); colon != std::string::npos && !requests.empty()) {
        requests.back().headers[line.substr(0, colon)] = line.substr(colon + 2);
      }
    }
    return requests;
  }

  void SetProxy(const std::string& user, const std::string& password) {
    RequestProfile profile = Profile();
    // "localhost" and not 127.0.0.1: Wine's WinHTTP takes a proxy whose name
    // equals the server's for no proxy at all.
    profile.proxy_host = "localhost";
    profile.proxy_port = EnvNumber("KOVUN_PROXY_PORT");
    profile.proxy_user = user;
    profile.proxy_password = password;
    client_->SetProfile(profile);
  }

  FixedClock clock_{DateTime(), kJapanMinutes};
  int sim_port_ = 0;
  std::unique_ptr<HttpClient> control_;
  std::unique_ptr<HttpClient> client_;
};

TEST_F(HttpClientContractTest, GetReturnsTheBodyAsItCame) {
  Serve("/t/body.txt", "LoginServer,Good,2,2,120\r\n\x82\xA0");
  EXPECT_EQ(client_->Get(Url("/t/body.txt")), "LoginServer,Good,2,2,120\r\n\x82\xA0");
}

TEST_F(HttpClientContractTest, EveryRequestSendsTheProfileHeaders) {
  Serve("/t/headers.txt", "x");
  client_->Get(Url("/t/headers.txt"));
  client_->Head(Url("/t/headers.txt"));

  const std::vector<Recorded> requests = Requests("/t/headers.txt");
  ASSERT_EQ(requests.size(), 2u);
  const char* methods[] = {"GET", "HEAD"};
  for (std::size_t i = 0; i < requests.size(); ++i) {
    SCOPED_TRACE(methods[i]);
    const Recorded& r = requests[i];
    EXPECT_EQ(r.method, methods[i]);
    EXPECT_EQ(r.Header("Accept"), "text/html, */*");
    EXPECT_EQ(r.Header("Content-Type"), "text/html");
    EXPECT_EQ(r.Header("Referer"), "http://kovun.example/");
    EXPECT_EQ(r.Header("User-Agent"), "Kovun/0.1.0a (test; http://kovun.example/)");
  }
}

TEST_F(HttpClientContractTest, CookiesComeBackForTheLifeOfTheClient) {
  // The first answer hands out a cookie; later requests without it get 403.
  Serve("/t/cookie.txt", "x");
  Fault("/t/cookie.txt", "kind=needcookie");
  client_->Get(Url("/t/cookie.txt"));
  client_->Get(Url("/t/cookie.txt"));
  client_->Head(Url("/t/cookie.txt"));

  const std::vector<Recorded> requests = Requests("/t/cookie.txt");
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].Header("Cookie"), "");
  EXPECT_THAT(requests[1].Header("Cookie"), HasSubstr("sim="));
  EXPECT_EQ(requests[2].Header("Cookie"), requests[1].Header("Cookie"));
}

TEST_F(HttpClientContractTest, HeadGivesLastModifiedInLocalTime) {
  struct Case {
    const char* name;
    const char* lastmod;  // Unix seconds, or "none" for no header
    std::optional<DateTimeFields> local;
  };
  const Case cases[] = {
      // 1994-11-15 08:12:31 UTC is 17:12:31 in Japan.
      {"present", "784887151", DateTimeFields{1994, 11, 15, 17, 12, 31, 0}},
      // 23:30 UTC on New Year's Eve is already the next year in Japan.
      {"across a year", "1704065400", DateTimeFields{2024, 1, 1, 8, 30, 0, 0}},
      {"absent", "none", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Serve("/t/lastmod.txt", "x", c.lastmod);
    const HeadResult result = client_->Head(Url("/t/lastmod.txt"));
    if (c.local) {
      ASSERT_TRUE(result.last_modified.has_value());
      EXPECT_EQ(*result.last_modified, *DateTime::FromFields(*c.local));
    } else {
      EXPECT_FALSE(result.last_modified.has_value());
    }
  }
}

TEST_F(HttpClientContractTest, AnswersOutside2xxAreStatusFailures) {
  struct Case {
    const char* fault;
    int status;
    const char* status_line;
  };
  const Case cases[] = {
      {"kind=404", 404, "HTTP/1.1 404 Not Found"},
      {"kind=500", 500, "HTTP/1.1 500 Internal Server Error"},
      // A redirect is reported, not followed.
      {"kind=redirect&location=/t/elsewhere.txt", 302, "HTTP/1.1 302 Found"},
  };
  Serve("/t/status.txt", "x");
  Serve("/t/elsewhere.txt", "x");
  for (const Case& c : cases) {
    Fault("/t/status.txt", c.fault);
    for (bool head : {false, true}) {
      SCOPED_TRACE(std::string(c.fault) + (head ? " HEAD" : " GET"));
      auto [failure, took] = Expect<EHttpStatusError>([&] {
        if (head) {
          client_->Head(Url("/t/status.txt"));
        } else {
          client_->Get(Url("/t/status.txt"));
        }
      });
      ASSERT_TRUE(failure.has_value());
      EXPECT_EQ(failure->status(), c.status);
      EXPECT_STREQ(failure->what(), c.status_line);
    }
  }
  EXPECT_TRUE(Requests("/t/elsewhere.txt").empty());
}

TEST_F(HttpClientContractTest, UnreachableOrSilentServersAreSocketFailures) {
  struct Case {
    const char* name;
    const char* fault;  // on /t/slow.txt; nullptr: a port nobody listens on
  };
  const Case cases[] = {
      {"refused", nullptr},
      {"stalled", "kind=stall&seconds=60"},
      // Each byte comes soon enough for a per-read time-out; the whole
      // request still runs out of time.
      {"trickle", "kind=trickle&interval_ms=200"},
  };
  RequestProfile profile = Profile();
  profile.request_timeout = kShortTimeout;
  client_->SetProfile(profile);
  Serve("/t/slow.txt", std::string(100, 'x'));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Nothing listens on port 1 of the loopback.
    std::string url = "http://127.0.0.1:1/t/slow.txt";
    if (c.fault) {
      Fault("/t/slow.txt", c.fault);
      url = Url("/t/slow.txt");
    }
    auto [failure, took] = Expect<ESocketError>([&] { client_->Get(url); });
    EXPECT_TRUE(failure.has_value());
    EXPECT_LT(took, kLateBound);
    Control("fault/clear");
  }
}

// Without a cap on the whole request only silence ends it: a body that keeps
// coming takes as long as it takes, while no answer, or no next piece of the
// body, within the idle time-out is a socket failure.
TEST_F(HttpClientContractTest, IdleTimeOutEndsSilenceNotASlowBody) {
  constexpr milliseconds kIdle{1000};
  const std::string body(30, 'x');  // trickled: about 3 s, three idle time-outs
  struct Case {
    const char* name;
    const char* fault;
    milliseconds cap;  // zero: none
    bool completes;
  };
  const Case cases[] = {
      {"trickle, no cap", "kind=trickle&interval_ms=100", milliseconds(0), true},
      {"trickle, capped", "kind=trickle&interval_ms=100", milliseconds(1500), false},
      {"no answer", "kind=stall&seconds=60", milliseconds(0), false},
      {"gap within the body", "kind=trickle&interval_ms=4000", milliseconds(0), false},
  };
  Serve("/t/idle.txt", body);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RequestProfile profile = Profile();
    profile.idle_timeout = kIdle;
    profile.request_timeout = c.cap;
    client_->SetProfile(profile);
    Fault("/t/idle.txt", c.fault);
    const auto start = std::chrono::steady_clock::now();
    if (c.completes) {
      EXPECT_EQ(client_->Get(Url("/t/idle.txt")), body);
      EXPECT_GT(std::chrono::steady_clock::now() - start, 2 * kIdle);
    } else {
      auto [failure, took] = Expect<ESocketError>([&] { client_->Get(Url("/t/idle.txt")); });
      EXPECT_TRUE(failure.has_value());
      // It waited for its time-out, and no longer.
      EXPECT_GT(took, (c.cap.count() > 0 ? c.cap : kIdle) / 2);
      EXPECT_LT(took, kLateBound);
    }
    Control("fault/clear");
  }
}

TEST_F(HttpClientContractTest, IncompleteAnswersOrOversizedBodiesAreOtherFailures) {
  struct Case {
    const char* name;
    const char* fault;
  };
  // A service that closes the connection before its answer is complete was
  // reached: no socket failure, wherever the answer breaks off.
  const Case cases[] = {
      {"closed before any byte", "kind=close&at=request"},
#ifndef _WIN32
      // Wine's WinHTTP takes a header block cut off by the connection's end
      // for a complete answer with an empty body, and leaves no trace of the
      // cut to see (Windows' own reports an invalid answer, EOtherError).
      {"closed within the headers", "kind=close&at=headers"},
#endif
      {"cut short within the body", "kind=short&extra=100"},
      {"announced over the cap", "kind=huge&size=1000000000&mode=length"},
      {"chunked over the cap", "kind=huge&size=1000000000&mode=chunked"},
      {"unannounced over the cap", "kind=huge&size=1000000000&mode=close"},
  };
  RequestProfile profile = Profile();
  profile.max_body_bytes = 64 * 1024;
  client_->SetProfile(profile);
  Serve("/t/body.txt", std::string(1000, 'x'));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fault("/t/body.txt", c.fault);
    // The transfer stops at the cap instead of reading a gigabyte.
    auto [failure, took] = Expect<EOtherError>([&] { client_->Get(Url("/t/body.txt")); });
    EXPECT_TRUE(failure.has_value());
    EXPECT_LT(took, kLateBound);
    Control("fault/clear");
  }
}

// Abandon() from another thread ends a request that waits on a silent
// service at once, and every later request too.
TEST_F(HttpClientContractTest, AbandonEndsTheRequestInFlight) {
  Fault("/t/stall.txt", "kind=stall&seconds=60");
  std::thread abandon([this] {
    std::this_thread::sleep_for(milliseconds(300));
    client_->Abandon();
  });
  auto [failure, took] = Expect<EOtherError>([&] { client_->Get(Url("/t/stall.txt")); });
  abandon.join();
  EXPECT_TRUE(failure.has_value());
  EXPECT_LT(took, milliseconds(1500));  // the profile's time-out is 10 s
  Serve("/t/body.txt", "x");
  EXPECT_TRUE(Expect<EOtherError>([&] { client_->Get(Url("/t/body.txt")); }).first.has_value());
  EXPECT_TRUE(Requests("/t/body.txt").empty());
}

TEST_F(HttpClientContractTest, BodyExactlyAtTheCapIsAccepted) {
  Serve("/t/cap.txt", std::string(1000, 'x'));
  RequestProfile profile = Profile();
  profile.max_body_bytes = 1000;
  client_->SetProfile(profile);
  EXPECT_EQ(client_->Get(Url("/t/cap.txt")).size(), 1000u);

  profile.max_body_bytes = 999;
  client_->SetProfile(profile);
  EXPECT_TRUE(Expect<EOtherError>([&] { client_->Get(Url("/t/cap.txt")); }).first.has_value());
}

TEST_F(HttpClientContractTest, ProxyWithRightCredentialsCarriesTheRequest) {
  Serve("/t/proxy.txt", "via proxy");
  SetProxy(EnvText("KOVUN_PROXY_USER"), EnvText("KOVUN_PROXY_PASSWORD"));
  EXPECT_EQ(client_->Get(Url("/t/proxy.txt")), "via proxy");
  // Credentials are kept for every request, not only the first.
  EXPECT_TRUE(client_->Head(Url("/t/proxy.txt")).last_modified.has_value());

  const std::vector<Recorded> requests = Requests("/t/proxy.txt");
  ASSERT_EQ(requests.size(), 2u);
  for (const Recorded& r : requests) {
    EXPECT_THAT(r.Header("Via"), HasSubstr("tinyproxy"));
    EXPECT_EQ(r.Header("User-Agent"), "Kovun/0.1.0a (test; http://kovun.example/)");
  }
}

TEST_F(HttpClientContractTest, ProxyRefusalIsAStatusFailure) {
  // The proxy answers 407 to a request without credentials and, being
  // tinyproxy, 401 to wrong ones; either is the proxy's status to report.
  struct Case {
    const char* name;
    std::string user;
    std::string password;
  };
  const Case cases[] = {
      {"no credentials", "", ""},
      {"wrong password", EnvText("KOVUN_PROXY_USER"), "wrong"},
  };
  Serve("/t/proxy.txt", "x");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetProxy(c.user, c.password);
    auto [failure, took] = Expect<EHttpStatusError>([&] { client_->Get(Url("/t/proxy.txt")); });
    ASSERT_TRUE(failure.has_value());
    EXPECT_THAT(failure->status(), ::testing::AnyOf(401, 407));
    EXPECT_THAT(failure->what(), HasSubstr(std::to_string(failure->status())));
  }
  EXPECT_TRUE(Requests("/t/proxy.txt").empty());
}

// Send: the webhooks' requests, against the sim's webhook stand-in.
class HttpClientSendTest : public HttpClientContractTest {
 protected:
  nlohmann::json HookRequests() {
    return nlohmann::json::parse(control_->Get(Url("/_sim/hook/requests")));
  }
  static std::string HeaderOf(const nlohmann::json& request, const std::string& name) {
    for (const auto& h : request["headers"]) {
      if (h[0] == name) return h[1];
    }
    return "";
  }
  void SetUp() override {
    HttpClientContractTest::SetUp();
    Control("hook/clear");
  }
};

TEST_F(HttpClientSendTest, PostAndPatchCarryTheirBodyAndHeadersAndLeaveGetAsItWas) {
  const std::string hook = "/_hook/api/webhooks/7/tok";
  HttpRequest post;
  post.url = Url(hook + "?wait=true");
  post.headers = {{"Content-Type", "application/json; charset=utf-8"}, {"X-Extra", "yes"}};
  post.body = "{\"content\":\"\xE7\x8A\xB6\xE6\x85\x8B\"}";
  const HttpAnswer posted = client_->Send(post);
  ASSERT_EQ(posted.status, 200);
  EXPECT_THAT(posted.Header("content-type").value_or(""), HasSubstr("application/json"));
  const std::string id = nlohmann::json::parse(posted.body)["id"];

  HttpRequest patch = post;
  patch.method = "PATCH";
  patch.url = Url(hook + "/messages/" + id);
  patch.body = "{\"content\":\"edited\"}";
  EXPECT_EQ(client_->Send(patch).status, 200);
  patch.url = Url(hook + "/messages/1");  // unknown: an answer, not a failure
  const HttpAnswer unknown = client_->Send(patch);
  EXPECT_EQ(unknown.status, 404);
  EXPECT_THAT(unknown.body, HasSubstr("Unknown Message"));

  // A GET after them is the plain GET of the profile.
  Serve("/t/after.txt", "x");
  EXPECT_EQ(client_->Get(Url("/t/after.txt")), "x");
  const std::vector<Recorded> get = Requests("/t/after.txt");
  ASSERT_EQ(get.size(), 1u);
  EXPECT_EQ(get[0].method, "GET");
  EXPECT_EQ(get[0].Header("Content-Type"), "text/html");
  EXPECT_EQ(get[0].Header("Content-Length"), "");

  const nlohmann::json recorded = HookRequests();
  ASSERT_EQ(recorded.size(), 3u);
  EXPECT_EQ(recorded[0]["method"], "POST");
  EXPECT_EQ(recorded[0]["body"], post.body);
  EXPECT_EQ(recorded[1]["method"], "PATCH");
  EXPECT_EQ(recorded[1]["target"], hook + "/messages/" + id);
  EXPECT_EQ(recorded[1]["body"], "{\"content\":\"edited\"}");
  for (const auto& r : recorded) {
    EXPECT_EQ(HeaderOf(r, "X-Extra"), "yes");
    EXPECT_EQ(HeaderOf(r, "Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(HeaderOf(r, "User-Agent"), "Kovun/0.1.0a (test; http://kovun.example/)");
    EXPECT_EQ(HeaderOf(r, "Referer"), "");
  }
}

TEST_F(HttpClientSendTest, AnswersOfAnyStatusComeBackWithHeadersAndACutBody) {
  const std::string hook = "/_hook/api/webhooks/8/tok";
  HttpRequest post;
  post.url = Url(hook);
  post.body = "[]";
  Control("hook/limit?count=1&retry_after=7");
  const HttpAnswer limited = client_->Send(post);
  EXPECT_EQ(limited.status, 429);
  EXPECT_EQ(limited.Header("Retry-After").value_or(""), "7");
  EXPECT_THAT(limited.body, HasSubstr("\"retry_after\":7"));

  Fault(hook, "kind=503&count=1");
  EXPECT_EQ(client_->Send(post).status, 503);
  EXPECT_EQ(client_->Send(post).status, 204);

  RequestProfile profile = Profile();
  profile.max_body_bytes = 1000;
  client_->SetProfile(profile);
  Fault(hook, "kind=huge&size=100000&count=1");
  post.url = Url(hook + "?wait=true");
  const HttpAnswer huge = client_->Send(post);
  EXPECT_EQ(huge.status, 200);
  EXPECT_EQ(huge.body.size(), 1000u);
  EXPECT_TRUE(huge.body_cut);
}

TEST_F(HttpClientSendTest, NoAnswerIsAFailureAndAbandonEndsIt) {
  HttpRequest post;
  post.url = "http://127.0.0.1:1/_hook/x";
  Expect<ESocketError>([&] { client_->Send(post); });

  const std::string hook = "/_hook/api/webhooks/9/tok";
  Fault(hook, "kind=stall&seconds=30");
  post.url = Url(hook);
  std::thread abandon([this] {
    std::this_thread::sleep_for(milliseconds(300));
    client_->Abandon();
  });
  const auto [failure, took] = Expect<EOtherError>([&] { client_->Send(post); });
  abandon.join();
  EXPECT_LT(took, milliseconds(1500));
}

}  // namespace
}  // namespace tol
