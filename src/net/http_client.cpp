#include "net/http_client.h"

#include "shared/errors.h"
#include "shared/text.h"

namespace tol {

std::optional<std::string> HttpAnswer::Header(std::string_view name) const {
  for (const HttpHeader& h : headers) {
    if (SameText(h.name, name)) return h.value;
  }
  return std::nullopt;
}

HttpAnswer HttpClient::Send(const HttpRequest&) {
  throw EOtherError("This HTTP client sends no requests with a body");
}

}  // namespace tol
