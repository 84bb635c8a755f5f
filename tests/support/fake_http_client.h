#pragma once
// A scripted HttpClient for tests: answers per method and URL, every request
// recorded as "GET <url>" or "HEAD <url>", no network. An unscripted request
// fails as "HTTP/1.1 404 Not Found".

#include <deque>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/http_client.h"
#include "shared/errors.h"

namespace tol::testing {

struct FakeAnswer {
  std::string body;                       // GET
  std::optional<DateTime> last_modified;  // HEAD
  std::exception_ptr error;               // thrown instead of answering
};

inline FakeAnswer Body(std::string body) { return {std::move(body), std::nullopt, nullptr}; }
inline FakeAnswer Modified(std::optional<DateTime> t) { return {"", t, nullptr}; }
template <typename E>
FakeAnswer Fails(E error) {
  return {"", std::nullopt, std::make_exception_ptr(std::move(error))};
}
inline FakeAnswer SocketFailure() { return Fails(ESocketError("Connection refused")); }
inline FakeAnswer NotFound() { return Fails(EHttpStatusError(404, "HTTP/1.1 404 Not Found")); }
inline FakeAnswer ServerError() {
  return Fails(EHttpStatusError(500, "HTTP/1.1 500 Internal Server Error"));
}

class FakeHttpClient : public HttpClient {
 public:
  // Answers to successive requests; the last one repeats.
  void On(const std::string& method, const std::string& url, std::vector<FakeAnswer> answers) {
    scripts_[method + " " + url] = std::deque<FakeAnswer>(answers.begin(), answers.end());
  }
  // A document: HEAD gives `last_modified`, GET gives `body`.
  void Serve(const std::string& url, std::optional<DateTime> last_modified, std::string body) {
    On("HEAD", url, {Modified(last_modified)});
    On("GET", url, {Body(std::move(body))});
  }

  void SetProfile(const RequestProfile& profile) override { profile_ = profile; }
  const RequestProfile& profile() const override { return profile_; }
  std::string Get(const std::string& url) override { return Answer("GET", url).body; }
  HeadResult Head(const std::string& url) override {
    return HeadResult{Answer("HEAD", url).last_modified};
  }
  // Later requests fail as an abandoned real client's do.
  void Abandon() override { abandoned = true; }

  bool abandoned = false;

  std::vector<std::string> requests;

 private:
  FakeAnswer Answer(const std::string& method, const std::string& url) {
    const std::string request = method + " " + url;
    requests.push_back(request);
    if (abandoned) throw EOtherError("The request was abandoned");
    auto it = scripts_.find(request);
    if (it == scripts_.end() || it->second.empty()) std::rethrow_exception(NotFound().error);
    FakeAnswer answer = it->second.front();
    if (it->second.size() > 1) it->second.pop_front();
    if (answer.error) std::rethrow_exception(answer.error);
    return answer;
  }

  RequestProfile profile_;
  std::map<std::string, std::deque<FakeAnswer>> scripts_;
};

}  // namespace tol::testing
