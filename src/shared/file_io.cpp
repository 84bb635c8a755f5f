// The portable part of file_io.h: the temporary files' names and when one is
// left over.

#include "shared/file_io.h"

#include <mutex>
#include <set>

namespace tol {

namespace {

constexpr std::string_view kTempPrefix = "~tol-";
constexpr std::string_view kTempSuffix = ".tmp";

// The number that `digits` spells, when it is one that fits 32 bits.
std::optional<std::uint32_t> Decimal(std::string_view digits) {
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::string TempFileName(std::uint32_t process_id, std::uint32_t number) {
  return std::string(kTempPrefix) + std::to_string(process_id) + "-" + std::to_string(number) +
         std::string(kTempSuffix);
}

std::optional<std::uint32_t> TempFileOwner(std::string_view name) {
  if (name.size() < kTempPrefix.size() + kTempSuffix.size() || !name.starts_with(kTempPrefix) ||
      !name.ends_with(kTempSuffix)) {
    return std::nullopt;
  }
  name = name.substr(kTempPrefix.size(), name.size() - kTempPrefix.size() - kTempSuffix.size());
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || !Decimal(name.substr(dash + 1))) return std::nullopt;
  const std::optional<std::uint32_t> owner = Decimal(name.substr(0, dash));
  if (owner == 0u) return std::nullopt;  // no process has id 0
  return owner;
}

bool IsStaleTempFile(std::string_view name, std::chrono::seconds age,
                     const std::function<bool(std::uint32_t)>& running) {
  const std::optional<std::uint32_t> owner = TempFileOwner(name);
  return owner && age >= kStaleTempAge && !running(*owner);
}

bool FirstWriteIntoFolder(std::string_view folder) {
  static std::mutex mutex;
  static std::set<std::string, std::less<>> seen;
  std::lock_guard<std::mutex> lock(mutex);
  return seen.emplace(folder).second;
}

}  // namespace tol
