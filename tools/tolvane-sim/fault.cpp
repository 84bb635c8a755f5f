#include "fault.h"

#include <charconv>

namespace tol::sim {
namespace {

std::optional<std::string> Param(const std::multimap<std::string, std::string>& params,
                                 const std::string& name) {
  auto it = params.find(name);
  if (it == params.end()) return std::nullopt;
  return it->second;
}

}  // namespace

std::optional<int64_t> ParseNumber(const std::string& text, int64_t min, int64_t max) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < min || value > max) return std::nullopt;
  return value;
}

std::optional<Fault> ParseFault(const std::multimap<std::string, std::string>& params,
                                std::string* error) {
  Fault fault;
  const auto kind = Param(params, "kind");
  if (!kind) {
    *error = "kind is missing";
    return std::nullopt;
  }
  static const std::map<std::string, FaultKind> kKinds = {
      {"redirect", FaultKind::kRedirect},    {"stall", FaultKind::kStall},
      {"reset", FaultKind::kReset},          {"short", FaultKind::kShort},
      {"close", FaultKind::kClose},          {"huge", FaultKind::kHuge},
      {"trickle", FaultKind::kTrickle},      {"nolastmod", FaultKind::kNoLastMod},
      {"needcookie", FaultKind::kNeedCookie}};
  if (auto it = kKinds.find(*kind); it != kKinds.end()) {
    fault.kind = it->second;
  } else if (auto status = ParseNumber(*kind, 400, 599)) {
    fault.kind = FaultKind::kStatus;
    fault.status = static_cast<int>(*status);
  } else {
    *error = "unknown kind: " + *kind;
    return std::nullopt;
  }

  struct NumberParam {
    const char* name;
    int64_t min, max;
    int64_t* out;
  };
  int64_t count = 0, size = static_cast<int64_t>(fault.size), interval = fault.interval_ms,
          seconds = fault.seconds;
  const NumberParam numbers[] = {
      {"count", 0, 1000000, &count},
      {"size", 0, int64_t{1} << 32, &size},
      {"partial", 0, int64_t{1} << 32, &fault.partial},
      {"extra", 1, int64_t{1} << 32, &fault.extra},
      {"interval_ms", 1, 10000, &interval},
      {"seconds", 0, 3600, &seconds},
  };
  for (const auto& n : numbers) {
    const auto text = Param(params, n.name);
    if (!text) continue;
    const auto value = ParseNumber(*text, n.min, n.max);
    if (!value) {
      *error = std::string(n.name) + " must be a whole number from " + std::to_string(n.min) +
               " to " + std::to_string(n.max);
      return std::nullopt;
    }
    *n.out = *value;
  }
  fault.count = static_cast<int>(count);
  fault.size = static_cast<uint64_t>(size);
  fault.interval_ms = static_cast<int>(interval);
  fault.seconds = static_cast<int>(seconds);
  if (auto location = Param(params, "location")) fault.location = *location;
  if (auto at = Param(params, "at")) {
    if (*at != "request" && *at != "headers") {
      *error = "at must be request or headers";
      return std::nullopt;
    }
    fault.close_in_headers = *at == "headers";
  }
  if (auto mode = Param(params, "mode")) {
    if (*mode == "length") {
      fault.mode = HugeMode::kLength;
    } else if (*mode == "chunked") {
      fault.mode = HugeMode::kChunked;
    } else if (*mode == "close") {
      fault.mode = HugeMode::kClose;
    } else {
      *error = "mode must be length, chunked or close";
      return std::nullopt;
    }
  }
  return fault;
}

}  // namespace tol::sim
