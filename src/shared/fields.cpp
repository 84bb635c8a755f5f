#include "shared/fields.h"

namespace tol {

std::string ExtractField(std::string_view line, int n) {
  if (n <= 0) return {};
  // One pass that remembers the last two complete fields before field n, so
  // a number beyond the last field can fall back to the next-to-last one.
  std::string_view previous;  // the field before `current`
  std::size_t start = 0;
  int index = 1;
  while (true) {
    const std::size_t comma = line.find(',', start);
    const std::string_view current = line.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    if (index == n) return std::string(current);
    if (comma == std::string_view::npos) {
      // `current` is the last field and n lies beyond it. A line without a
      // comma has no next-to-last field, and `previous` is still empty.
      return std::string(previous);
    }
    previous = current;
    start = comma + 1;
    ++index;
  }
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

std::string FlattenLines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out.push_back(' ');
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace tol
