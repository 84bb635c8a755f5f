#pragma once
// The per-server history of the polls: a ring in memory for the history
// chart, and a CSV log file.
//
// The ring keeps the polls of the last `hours` hours, and never more than
// kMaxPollsPerHour polls an hour, so its memory is bounded (about 3 MiB at
// 168 hours) however fast the service asks to be polled.
//
// The log file: one line per poll and server, "time,world,server,status,
// success,check,connect_time,state", time in ISO 8601 local time with its
// offset; a header line opens a new file. UTF-8 (keys and status words are
// ASCII as the service sends them), CR LF. Each poll's lines are appended and
// handed to the system at once; an unfinished last line that a crash left is
// cut off when the monitor starts, and the file goes to "<name>.1" when it
// would pass kHistoryRotateBytes.

#include <array>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "monitor/alerts.h"
#include "shared/date_time.h"
#include "shared/file_path.h"

namespace tol {

inline constexpr int32_t kMaxPollsPerHour = 60;
inline constexpr std::uint64_t kHistoryRotateBytes = 10u << 20;
inline constexpr std::string_view kHistoryHeader =
    "time,world,server,status,success,check,connect_time,state\r\n";

// One server in one poll.
struct HistoryCell {
  ServerState state = ServerState::kNone;
  uint8_t word_length = 0;
  char word[10] = {};  // the status word's first bytes
  int32_t connect_time = 0;

  std::string_view status_word() const { return {word, word_length}; }
};

struct HistoryPoll {
  DateTime time;                                     // local
  int world = -1;                                    // index into the world table
  std::array<HistoryCell, kVisibleSlotCount> cells;  // index slot - 1
};

class HistoryRing {
 public:
  explicit HistoryRing(int32_t hours);

  // Adds the newest poll; drops those more than `hours` older than it, and
  // the oldest beyond the capacity.
  void Add(const HistoryPoll& poll);
  void Clear() { polls_.clear(); }
  // Drops the newest polls from `time` on.
  void DropFrom(DateTime time) {
    while (!polls_.empty() && polls_.back().time.milliseconds() >= time.milliseconds()) {
      polls_.pop_back();
    }
  }
  int32_t hours() const { return static_cast<int32_t>(span_ms_ / 3600000); }

  // Polls, oldest first.
  std::size_t size() const { return polls_.size(); }
  const HistoryPoll& operator[](std::size_t i) const { return polls_[i]; }
  std::size_t capacity() const { return capacity_; }

 private:
  int64_t span_ms_;
  std::size_t capacity_;
  std::deque<HistoryPoll> polls_;
};

// The history of one poll: `observed` read (nullptr: the service was
// unreachable, every server's state kUnreachable).
HistoryPoll MakeHistoryPoll(DateTime time, int world, const ObservedServers* observed,
                            int32_t over_average);

// The log lines of one poll (see above). `patch_key` names the server of a
// panel that the text had no line for.
std::string HistoryCsvLines(const HistoryPoll& poll, int utc_offset_minutes,
                            std::string_view world_label, const ObservedServers* observed,
                            std::string_view patch_key);

// The log file; an empty path: none. A failure is reported once, until a
// later write succeeds again; the monitor goes on either way. A rotation
// that fails leaves the lines in the file as it is, and is reported once
// until a rotation succeeds.
class HistoryFile {
 public:
  using FailureHandler = std::function<void(std::exception_ptr)>;
  explicit HistoryFile(FilePath path) : path_(std::move(path)) {}
  // Start-up: cuts an unfinished last line.
  void Open(const FailureHandler& on_failure);
  void Append(std::string_view lines, const FailureHandler& on_failure);
  const FilePath& path() const { return path_; }

 private:
  template <typename Write>
  void Guarded(Write&& write, const FailureHandler& on_failure);

  FilePath path_;
  bool failing_ = false;
  bool rotating_failed_ = false;
};

}  // namespace tol
