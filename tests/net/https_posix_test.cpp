// HTTPS through the libcurl client: a loopback TLS server whose certificate
// comes from a test authority made here by openssl. Only a client given that
// authority's file (the test seam) trusts it; the system's store doesn't, and
// a certificate for another name fails even with the authority.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "net/http_client.h"
#include "net/http_client_curl_testing.h"
#include "shared/errors.h"
#include "shared/fixed_clock.h"

namespace tol {
namespace {

namespace fs = std::filesystem;

// A test authority and two server certificates signed by it: one for
// 127.0.0.1, one for another name.
class TestAuthority {
 public:
  TestAuthority() {
    dir_ = fs::temp_directory_path() / ("kovun-tls-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    const std::string d = dir_.string();
    const std::string script =
        "cd '" + d + "' && " +
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=KovunTestCA "
        "-keyout ca.key -out ca.pem && " +
        Leaf("good", "IP:127.0.0.1") + " && " + Leaf("wrong", "DNS:wrong.example") +
        " 2>/dev/null >/dev/null";
    ok_ = std::system(("(" + script + ") >/dev/null 2>&1").c_str()) == 0;
  }
  ~TestAuthority() { fs::remove_all(dir_); }
  bool ok() const { return ok_; }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }

 private:
  static std::string Leaf(const std::string& name, const std::string& san) {
    return "openssl req -newkey rsa:2048 -nodes -subj /CN=" + name + " -keyout " + name +
           ".key -out " + name + ".csr && printf 'subjectAltName=" + san + "' > " + name +
           ".ext && openssl x509 -req -in " + name + ".csr -CA ca.pem -CAkey ca.key " +
           "-CAcreateserial -days 2 -extfile " + name + ".ext -out " + name + ".pem";
  }
  fs::path dir_;
  bool ok_ = false;
};

TEST(HttpsTest, OnlyTheGivenAuthorityAndTheRightNameAreTrusted) {
  TestAuthority ca;
  ASSERT_TRUE(ca.ok()) << "openssl could not make the test certificates";
  struct Case {
    const char* cert;
    bool trust_test_ca;
    bool succeeds;
  } cases[] = {
      {"good", true, true},    // the test's authority, the right name
      {"good", false, false},  // the system's store doesn't know it
      {"wrong", true, false},  // a certificate for another name
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cert) + (c.trust_test_ca ? " with the test CA" : " system store"));
    httplib::SSLServer server(ca.File(std::string(c.cert) + ".pem").c_str(),
                              ca.File(std::string(c.cert) + ".key").c_str());
    ASSERT_TRUE(server.is_valid());
    server.Post("/hook", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content("{\"got\":" + req.body + "}", "application/json");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&server] { server.listen_after_bind(); });

    FixedClock clock{DateTime(), 0};
    std::unique_ptr<HttpClient> client =
        c.trust_test_ca ? CreateCurlHttpClientTrusting(clock, ca.File("ca.pem"))
                        : CreateHttpClient(clock);
    HttpRequest request;
    request.url = "https://127.0.0.1:" + std::to_string(port) + "/hook";
    request.body = "[1]";
    if (c.succeeds) {
      const HttpAnswer answer = client->Send(request);
      EXPECT_EQ(answer.status, 200);
      EXPECT_EQ(answer.body, "{\"got\":[1]}");
    } else {
      EXPECT_THROW(client->Send(request), Exception);
      EXPECT_THROW(client->Get(request.url), Exception);
    }
    server.stop();
    serving.join();
  }
}

}  // namespace
}  // namespace tol
