#include "monitor/history_readback.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "monitor/worlds.h"
#include "shared/append_file.h"
#include "shared/codepage.h"

namespace tol {
namespace {

constexpr int kFieldCount = 8;
// A line longer than this is no line of the log (and is not kept whole).
constexpr std::size_t kMaxLineBytes = 1024;

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Splits a CSV line into exactly kFieldCount fields; quoted fields are
// unquoted into `storage`. False for any other shape.
bool SplitFields(std::string_view line, std::array<std::string_view, kFieldCount>& fields,
                 std::array<std::string, kFieldCount>& storage) {
  int n = 0;
  std::size_t i = 0;
  while (true) {
    if (n == kFieldCount) return false;
    if (i < line.size() && line[i] == '"') {
      std::string& field = storage[n];
      field.clear();
      ++i;
      while (true) {
        if (i >= line.size()) return false;
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
      fields[n++] = field;
      if (i == line.size()) break;
      if (line[i] != ',') return false;
      ++i;
    } else {
      const std::size_t comma = line.find(',', i);
      if (comma == std::string_view::npos) {
        fields[n++] = line.substr(i);
        break;
      }
      fields[n++] = line.substr(i, comma - i);
      i = comma + 1;
    }
  }
  return n == kFieldCount;
}

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  value = 0;
  for (std::size_t k = at; k < at + count; ++k) {
    if (text[k] < '0' || text[k] > '9') return false;
    value = value * 10 + (text[k] - '0');
  }
  return true;
}

// "2026-12-09T21:05:00+09:00": the local time and its offset in minutes.
std::optional<std::pair<DateTime, int>> ParseIsoTime(std::string_view t) {
  if (t.size() != 25 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' ||
      t[16] != ':' || (t[19] != '+' && t[19] != '-') || t[22] != ':') {
    return std::nullopt;
  }
  DateTimeFields f;
  int oh = 0;
  int om = 0;
  if (!Digits(t, 0, 4, f.year) || !Digits(t, 5, 2, f.month) || !Digits(t, 8, 2, f.day) ||
      !Digits(t, 11, 2, f.hour) || !Digits(t, 14, 2, f.minute) || !Digits(t, 17, 2, f.second) ||
      !Digits(t, 20, 2, oh) || !Digits(t, 23, 2, om) || om > 59) {
    return std::nullopt;
  }
  const std::optional<DateTime> time = DateTime::FromFields(f);
  if (!time) return std::nullopt;
  const int offset = (oh * 60 + om) * (t[19] == '-' ? -1 : 1);
  return std::make_pair(*time, offset);
}

// The panel of a log line's server key; 0 for none.
int SlotOfKey(std::string_view key, std::string_view patch_key) {
  if (key == "LoginServer") return 1;
  if (key == "PatchServerH") return 3;
  if (key == "CharSelect") return 4;
  if (key.starts_with("PatchServerFV") || key == patch_key) return 2;
  int n = 0;
  if (key.size() == 12 && key.starts_with("GameServer") && Digits(key, 10, 2, n) && n >= 1 &&
      n <= 15) {
    return 4 + n;
  }
  return 0;
}

std::optional<ServerState> StateOfName(std::string_view name) {
  for (ServerState s : {ServerState::kUp, ServerState::kSlow, ServerState::kDown,
                        ServerState::kUnreachable, ServerState::kNone}) {
    if (name == StateName(s)) return s;
  }
  return std::nullopt;
}

// An integer field as the log writes it (empty when the line had none).
std::optional<int32_t> ParseCount(std::string_view text) {
  if (text.empty()) return 0;
  bool negative = text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 10) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}

}  // namespace

HistoryParser::HistoryParser(const HistoryQuery& query)
    : out_(query.hours),
      world_utf8_(IsAscii(query.world) ? query.world : Cp932ToUtf8(query.world)),
      patch_key_(query.patch_key),
      world_index_(FindWorld(query.world).value_or(-1)),
      utc_offset_minutes_(query.utc_offset_minutes),
      end_ms_(query.end.milliseconds()) {
  out_.world = query.world;
  start_ms_ = end_ms_ - int64_t{std::clamp(query.hours, 1, kMaxHistoryHours)} * 3600000;
}

void HistoryParser::Feed(std::string_view bytes) {
  fed_ += bytes.size();
  while (!bytes.empty()) {
    const std::size_t lf = bytes.find('\n');
    if (lf == std::string_view::npos) {
      // Kept for the next piece, up to a line's length.
      if (!skipping_ && carry_.size() <= kMaxLineBytes)
        carry_.append(bytes.substr(0, kMaxLineBytes + 1));
      return;
    }
    if (skipping_) {
      skipping_ = false;
      carry_.clear();
    } else if (!carry_.empty()) {
      carry_.append(bytes.substr(0, std::min(lf, kMaxLineBytes + 1)));
      Line(carry_);
      carry_.clear();
    } else {
      Line(bytes.substr(0, lf));
    }
    bytes.remove_prefix(lf + 1);
  }
}

void HistoryParser::Line(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  // A run of NUL bytes is what a power cut leaves where a line was not yet
  // written; the line after it is whole.
  const std::size_t first = line.find_first_not_of('\0');
  if (first == std::string_view::npos) return;
  line.remove_prefix(first);
  if (line.size() > kMaxLineBytes) {
    ++out_.malformed;
    return;
  }
  if (line == kHistoryHeader.substr(0, kHistoryHeader.size() - 2)) return;
  std::array<std::string_view, kFieldCount> f;
  std::array<std::string, kFieldCount> storage;
  if (!SplitFields(line, f, storage)) {
    ++out_.malformed;
    return;
  }
  // The time: the lines of one poll share it, so it is parsed once.
  if (f[0] != last_time_text_) {
    last_time_text_ = f[0];
    const auto parsed = ParseIsoTime(f[0]);
    last_time_ok_ = parsed.has_value();
    if (parsed) {
      last_time_ms_ =
          parsed->first.milliseconds() + int64_t{utc_offset_minutes_ - parsed->second} * 60000;
    }
  }
  const int slot = SlotOfKey(f[2], patch_key_);
  const std::optional<ServerState> state = StateOfName(f[7]);
  const std::optional<int32_t> success = ParseCount(f[4]);
  const std::optional<int32_t> check = ParseCount(f[5]);
  const std::optional<int32_t> connect = ParseCount(f[6]);
  if (!last_time_ok_ || slot == 0 || !state || !success || !check || !connect) {
    ++out_.malformed;
    return;
  }
  if (!saw_line_ || last_time_ms_ < earliest_.milliseconds()) {
    earliest_ = DateTime::FromMilliseconds(last_time_ms_);
  }
  saw_line_ = true;
  if (f[1] != world_utf8_ || last_time_ms_ < start_ms_ || last_time_ms_ > end_ms_) return;
  if (!poll_open_ || f[0] != poll_time_text_) {
    FlushPoll();
    poll_open_ = true;
    poll_time_text_ = f[0];
    poll_ = HistoryPoll{};
    poll_.time = DateTime::FromMilliseconds(last_time_ms_);
    poll_.world = world_index_;
  }
  HistoryCell& cell = poll_.cells[slot - 1];
  cell = HistoryCell{};
  cell.state = *state;
  std::string cp932;
  std::string_view word = f[3];
  if (!IsAscii(word)) {
    cp932 = Utf8ToCp932(word);
    word = cp932;
  }
  cell.word_length = static_cast<uint8_t>(std::min(word.size(), sizeof cell.word));
  std::copy_n(word.data(), cell.word_length, cell.word);
  cell.connect_time = *connect;
}

void HistoryParser::FlushPoll() {
  if (!poll_open_) return;
  poll_open_ = false;
  // A clock set back leaves older lines after newer ones, and two copies
  // may log the same second: the ring keeps its order by dropping them.
  if (out_.polls.size() > 0 &&
      poll_.time.milliseconds() <= out_.polls[out_.polls.size() - 1].time.milliseconds()) {
    return;
  }
  out_.polls.Add(poll_);
}

HistoryReadBack HistoryParser::Finish() {
  if (!carry_.empty() && !skipping_) {
    ++out_.malformed;
  }
  carry_.clear();
  FlushPoll();
  return std::move(out_);
}

// One file's tail into `parser`; the offset where it began, nullopt without
// a file.
std::optional<uint64_t> ReadInto(const FilePath& path, uint64_t budget, HistoryParser& parser) {
  return ReadTail(path, budget, [&](uint64_t offset, std::string_view bytes) {
    // Reading that begins inside the file begins inside a line.
    if (offset > 0 && parser.fed() == 0) parser.SkipFirstLine();
    parser.Feed(bytes);
  });
}

HistoryReadBack ReadHistory(const HistoryQuery& query) {
  const int32_t hours = std::clamp(query.hours, 1, kMaxHistoryHours);
  const uint64_t budget = static_cast<uint64_t>(hours) * kReadBackBytesPerHour;
  const int64_t span_start = query.end.milliseconds() - int64_t{hours} * 3600000;
  HistoryParser current(query);
  const std::optional<uint64_t> start = ReadInto(query.path, budget, current);
  HistoryReadBack now = current.Finish();
  // The older generation only when the file holds less than the span.
  if ((start && *start > 0) ||
      (current.saw_line() && current.earliest().milliseconds() <= span_start)) {
    return now;
  }
  HistoryQuery older_query = query;
  if (now.polls.size() > 0) {
    older_query.end = DateTime::FromMilliseconds(now.polls[0].time.milliseconds() - 1);
  }
  HistoryParser older(older_query);
  if (!ReadInto(query.path.Join(FilePath::FromText(".1")), budget, older)) return now;
  HistoryReadBack merged = older.Finish();
  merged.world = query.world;
  merged.malformed += now.malformed;
  for (std::size_t i = 0; i < now.polls.size(); ++i) merged.polls.Add(now.polls[i]);
  return merged;
}

}  // namespace tol
