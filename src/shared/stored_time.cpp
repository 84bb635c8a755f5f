#include "shared/stored_time.h"

#include "shared/date_format.h"
#include "shared/text.h"

namespace tol {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Between min_digits and max_digits digits at `pos`, then `pos` past them.
bool TakeNumber(std::string_view text, std::size_t& pos, std::size_t min_digits,
                std::size_t max_digits, int* value) {
  std::size_t count = 0;
  int v = 0;
  while (count < max_digits && pos < text.size() && IsDigit(text[pos])) {
    v = v * 10 + (text[pos++] - '0');
    ++count;
  }
  *value = v;
  return count >= min_digits;
}

bool Take(std::string_view text, std::size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

std::string StoredTimeText(DateTime value) {
  return FormatDateTime("c", value.TruncatedToSecond(), HomeLocale());
}

std::optional<DateTime> ParseStoredTime(std::string_view text) {
  text = Trim(text);
  std::size_t pos = 0;
  DateTimeFields f;
  if (!TakeNumber(text, pos, 4, 4, &f.year) || !Take(text, pos, '/') ||
      !TakeNumber(text, pos, 1, 2, &f.month) || !Take(text, pos, '/') ||
      !TakeNumber(text, pos, 1, 2, &f.day)) {
    return std::nullopt;
  }
  if (pos < text.size()) {
    if (!Take(text, pos, ' ')) return std::nullopt;
    while (Take(text, pos, ' ')) {
    }
    if (!TakeNumber(text, pos, 1, 2, &f.hour) || !Take(text, pos, ':') ||
        !TakeNumber(text, pos, 1, 2, &f.minute)) {
      return std::nullopt;
    }
    if (Take(text, pos, ':') && !TakeNumber(text, pos, 1, 2, &f.second)) return std::nullopt;
    if (pos != text.size()) return std::nullopt;
  }
  return DateTime::FromFields(f);
}

}  // namespace tol
