#pragma once
// A seam for tests only: the libcurl client trusting the authorities of one
// CA file instead of the system's store (a test's own authority for a
// loopback TLS server). No program sets it, and no setting reaches it.

#include <memory>
#include <string>

#include "net/http_client.h"

namespace tol {

std::unique_ptr<HttpClient> CreateCurlHttpClientTrusting(const Clock& clock,
                                                         const std::string& ca_file);

}  // namespace tol
