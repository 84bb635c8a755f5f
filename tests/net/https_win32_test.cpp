// HTTPS through WinHTTP under Wine: with_tls.sh serves two loopback TLS
// servers whose certificates come from a test authority. The test puts that
// authority into the Root store of the Wine prefix the tests run in (that
// prefix's store, never the machine's); then the server for "localhost" is
// trusted and the one whose certificate names another host is refused. (An
// authority that nothing trusts is refused in https_posix_test.cpp; Wine's
// chain engine reads its Root store once per process, so this process can't
// show both.)

#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <wincrypt.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "net/http_client.h"
#include "shared/errors.h"
#include "shared/fixed_clock.h"

namespace tol {
namespace {

std::string Env(const char* name) {
  const char* text = std::getenv(name);
  return text ? text : "";
}

// A Linux path as Wine's Z: drive shows it.
std::string WinePath(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return "Z:" + path;
}

bool TrustAuthority(const std::string& pem_path) {
  std::ifstream in(WinePath(pem_path), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string pem = text.str();
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                            nullptr)) {
    return false;
  }
  std::string der(size, '\0');
  if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER,
                            reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr)) {
    return false;
  }
  HCERTSTORE root =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!root) return false;
  const BOOL added = CertAddEncodedCertificateToStore(
      root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), size,
      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(root, 0);
  return added != FALSE;
}

TEST(HttpsWinHttpTest, TheTestAuthorityInThePrefixAndTheRightNameAreTrusted) {
  if (Env("KOVUN_TLS_CA").empty()) GTEST_SKIP() << "run through tests/net/with_tls.sh";
  FixedClock clock{DateTime(), 0};
  const std::string good = "https://localhost:" + Env("KOVUN_TLS_PORT") + "/";
  const std::string wrong = "https://localhost:" + Env("KOVUN_TLS_WRONG_PORT") + "/";
  // Before any request: Wine's chain engine reads the Root store once.
  ASSERT_TRUE(TrustAuthority(Env("KOVUN_TLS_CA")));
  std::unique_ptr<HttpClient> trusting = CreateHttpClient(clock);
  EXPECT_EQ(trusting->Get(good), "kovun-tls-ok");
  EXPECT_THROW(trusting->Get(wrong), Exception);
}

}  // namespace
}  // namespace tol
