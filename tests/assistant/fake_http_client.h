#pragma once
// An HttpClient for the assistant's tests: answers are scripted per URL, every
// request is recorded as "HEAD url" or "GET url", and nothing touches a
// network. An unscripted URL answers "HTTP/1.1 404 Not Found".

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "shared/errors.h"

namespace tol::testing {

struct FakeAnswer {
  enum class Failure { kNone, kSocket, kStatus };
  std::optional<DateTime> last_modified;  // HEAD
  std::string body;                       // GET
  Failure head_failure = Failure::kNone;
  Failure get_failure = Failure::kNone;
};

class FakeHttpClient : public HttpClient {
 public:
  void SetProfile(const RequestProfile& profile) override { profile_ = profile; }
  const RequestProfile& profile() const override { return profile_; }

  std::string Get(const std::string& url) override {
    requests.push_back("GET " + url);
    return Answer(url, &FakeAnswer::get_failure).body;
  }
  HeadResult Head(const std::string& url) override {
    requests.push_back("HEAD " + url);
    return HeadResult{Answer(url, &FakeAnswer::head_failure).last_modified};
  }

  std::map<std::string, FakeAnswer> answers;
  std::vector<std::string> requests;

 private:
  const FakeAnswer& Answer(const std::string& url, FakeAnswer::Failure FakeAnswer::*failure) {
    const auto it = answers.find(url);
    if (it == answers.end()) throw EHttpStatusError(404, "HTTP/1.1 404 Not Found");
    switch (it->second.*failure) {
      case FakeAnswer::Failure::kSocket:
        throw ESocketError("Connection refused");
      case FakeAnswer::Failure::kStatus:
        throw EHttpStatusError(500, "HTTP/1.1 500 Internal Server Error");
      case FakeAnswer::Failure::kNone:
        break;
    }
    return it->second;
  }

  RequestProfile profile_;
};

}  // namespace tol::testing
