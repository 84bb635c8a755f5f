#include "shared/int_text.h"

#include <charconv>

namespace tol {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct Scan {
  int32_t value = 0;
  bool any_digit = false;
  bool complete = false;  // every character of the text belonged to the number
};

// Reads the integer text at the start of `text`, stopping at the first
// character that doesn't belong or at the digit that would overflow.
Scan ScanInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  const int base = hex ? 16 : 10;
  const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
  uint64_t magnitude = 0;
  Scan scan;
  for (; i < text.size(); ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0 || digit >= base) break;
    const uint64_t next = magnitude * base + digit;
    if (next > limit) break;
    magnitude = next;
    scan.any_digit = true;
  }
  scan.complete = i == text.size();
  if (hex) {
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    scan.value = static_cast<int32_t>(bits);  // two's complement, defined since C++20
  } else {
    const int64_t signed_value =
        negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    scan.value = static_cast<int32_t>(signed_value);
  }
  return scan;
}

}  // namespace

std::optional<int32_t> StrToIntStrict(std::string_view text) {
  const Scan scan = ScanInt(text);
  if (!scan.any_digit || !scan.complete) return std::nullopt;
  return scan.value;
}

int32_t LeadingInt(std::string_view text) { return ScanInt(text).value; }

std::string IntToText(int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace tol
