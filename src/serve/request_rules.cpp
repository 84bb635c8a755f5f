#include "serve/request_rules.h"

#include <string>

namespace tol {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

bool HostAllowed(std::string_view host, int32_t port) {
  const std::size_t colon = host.rfind(':');
  if (colon == std::string_view::npos) return false;
  const std::optional<int32_t> given = ParseBoundedInt(host.substr(colon + 1), 1, 65535);
  if (!given || *given != port) return false;
  // "0080" is not "80": the port must be written as the browser writes it.
  if (host.substr(colon + 1) != std::to_string(port)) return false;
  const std::string_view name = host.substr(0, colon);
  return name == "127.0.0.1" || EqualsIgnoringCase(name, "localhost");
}

std::optional<int32_t> ParseBoundedInt(std::string_view text, int32_t min_value,
                                       int32_t max_value) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < min_value || value > max_value) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::optional<double> ParseScale(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  double whole = 0, fraction = 0, unit = 1;
  bool point = false, digits = false;
  for (char c : text) {
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      digits = true;
      if (point) {
        unit /= 10;
        fraction += (c - '0') * unit;
      } else {
        whole = whole * 10 + (c - '0');
      }
    } else {
      return std::nullopt;
    }
  }
  const double value = whole + fraction;
  if (!digits || value < 0.25 || value > 8) return std::nullopt;
  return value;
}

}  // namespace tol
