#pragma once
// What the status endpoint reads from a request itself, apart from the HTTP
// library's parsing: the Host check and the numbers of a query. Pure
// functions, so that a fuzzer can drive them.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tol {

// Request line and header fields together may not pass this (431).
inline constexpr std::size_t kMaxRequestHeadBytes = 8192;

// Whether `host` (the Host header's value) names this endpoint: exactly
// "127.0.0.1:PORT" or "localhost:PORT" (the name in any letter case) with
// this server's port. Anything else, a missing port included, is refused, so
// a page served from another name that resolves to 127.0.0.1 (DNS
// rebinding) can't read the endpoint.
bool HostAllowed(std::string_view host, int32_t port);

// A decimal number in [min_value, max_value] ("24"), with no sign, blank or
// other character; nullopt otherwise (too long, out of range, empty).
std::optional<int32_t> ParseBoundedInt(std::string_view text, int32_t min_value, int32_t max_value);

// A scale factor of the overlay ("1", "1.5", "2.25"): digits with at most
// one point, within [0.25, 8]; nullopt otherwise.
std::optional<double> ParseScale(std::string_view text);

}  // namespace tol
