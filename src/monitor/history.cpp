#include "monitor/history.h"

#include <algorithm>
#include <utility>

#include "monitor/status.h"
#include "shared/append_file.h"
#include "shared/codepage.h"

namespace tol {
namespace {

// A code page 932 text as a CSV field in UTF-8: quoted when it holds a comma,
// quote or line break. The keys and words of the service are ASCII, which is
// the same in both.
std::string CsvField(std::string_view cp932) {
  const bool ascii = std::all_of(cp932.begin(), cp932.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  const std::string utf8 = ascii ? std::string(cp932) : Cp932ToUtf8(cp932);
  const std::string_view text = utf8;
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return utf8;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

HistoryRing::HistoryRing(int32_t hours)
    : span_ms_(int64_t{std::clamp(hours, 1, kMaxHistoryHours)} * 3600000),
      capacity_(static_cast<std::size_t>(std::clamp(hours, 1, kMaxHistoryHours)) *
                kMaxPollsPerHour) {}

void HistoryRing::Add(const HistoryPoll& poll) {
  polls_.push_back(poll);
  const int64_t oldest = poll.time.milliseconds() - span_ms_;
  while (polls_.size() > capacity_ || polls_.front().time.milliseconds() < oldest) {
    polls_.pop_front();
  }
}

HistoryPoll MakeHistoryPoll(DateTime time, int world, const ObservedServers* observed,
                            int32_t over_average) {
  HistoryPoll poll;
  poll.time = time;
  poll.world = world;
  for (int i = 0; i < kVisibleSlotCount; ++i) {
    HistoryCell& cell = poll.cells[i];
    if (!observed) {
      cell.state = ServerState::kUnreachable;
      continue;
    }
    const ObservedServer& server = (*observed)[i];
    cell.state = StateOf(server, over_average);
    cell.word_length = static_cast<uint8_t>(std::min(server.status.size(), sizeof cell.word));
    std::copy_n(server.status.data(), cell.word_length, cell.word);
    cell.connect_time = server.connect_time;
  }
  return poll;
}

std::string HistoryCsvLines(const HistoryPoll& poll, int utc_offset_minutes,
                            std::string_view world_label, const ObservedServers* observed,
                            std::string_view patch_key) {
  const std::string head =
      IsoLocalTime(poll.time, utc_offset_minutes) + "," + CsvField(world_label) + ",";
  std::string lines;
  lines.reserve(kVisibleSlotCount * (head.size() + 48));
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    const ObservedServer* server = observed ? &(*observed)[slot - 1] : nullptr;
    lines += head;
    if (server && server->listed) {
      lines += CsvField(server->key) + "," + CsvField(server->status) + "," +
               std::to_string(server->success_count) + "," + std::to_string(server->check_count) +
               "," + std::to_string(server->connect_time);
    } else {
      lines += CsvField(SlotKey(slot, patch_key)) + ",,,,";
    }
    lines += std::string(",") + StateName(poll.cells[slot - 1].state) + "\r\n";
  }
  return lines;
}

template <typename Write>
void HistoryFile::Guarded(Write&& write, const FailureHandler& on_failure) {
  if (path_.empty()) return;
  try {
    write();
    failing_ = false;
  } catch (...) {
    if (!std::exchange(failing_, true) && on_failure) on_failure(std::current_exception());
  }
}

void HistoryFile::Open(const FailureHandler& on_failure) {
  Guarded([this] { DropTornLastLine(path_); }, on_failure);
}

void HistoryFile::Append(std::string_view lines, const FailureHandler& on_failure) {
  std::exception_ptr rotation_failure;
  Guarded(
      [&] { rotation_failure = AppendLines(path_, kHistoryHeader, lines, kHistoryRotateBytes); },
      on_failure);
  // The lines are in the file either way; a rotation that keeps failing
  // (a reader holding the file) is told once, until one succeeds.
  if (!rotation_failure) {
    rotating_failed_ = false;
  } else if (!std::exchange(rotating_failed_, true) && on_failure) {
    on_failure(rotation_failure);
  }
}

}  // namespace tol
