#pragma once
// Reading the history log back into a memory history: at start-up and after
// a world switch the chart shows the polls the log file holds for that world.
//
// ReadHistory touches nothing but the files it reads, so a front-end may run
// it on any thread and hand the result to AlertMonitor::InstallHistory on the
// UI thread. Whatever the files hold, the work is bounded: only the last
// kReadBackBytesPerHour bytes per hour of each file are read, in pieces, and
// the result is a HistoryRing (its hours, at most kMaxPollsPerHour polls an
// hour). Lines that aren't the log's form are skipped and counted.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/history.h"
#include "shared/date_time.h"
#include "shared/file_path.h"

namespace tol {

// What to read back: the polls of `world` in the `hours` before `end`.
struct HistoryQuery {
  FilePath path;      // the log file; its ".1" too when the span reaches into it
  std::string world;  // the world label, code page 932
  int32_t hours = 24;
  DateTime end;  // local; polls after it are left out
  // The offset of `end`: a line written at another offset (a summer time
  // change, a moved computer) is put on the same clock.
  int utc_offset_minutes = 0;
  // The patch server key of panel 2 today; any "PatchServerFV..." line also
  // goes to panel 2.
  std::string patch_key;
};

struct HistoryReadBack {
  explicit HistoryReadBack(int32_t hours) : polls(hours) {}
  std::string world;
  HistoryRing polls;
  std::size_t malformed = 0;  // lines skipped as not of the log's form
};

// A log line is never longer than this (a world label of a few dozen bytes,
// a key, a status word, three numbers, a state); the read back takes this
// many bytes per poll and server from each file's end, kMaxPollsPerHour
// polls an hour.
inline constexpr std::uint64_t kReadBackBytesPerLine = 192;
inline constexpr std::uint64_t kReadBackBytesPerHour =
    kReadBackBytesPerLine * kVisibleSlotCount * kMaxPollsPerHour;

// The pure part: lines in, polls out. Lines come oldest first.
class HistoryParser {
 public:
  explicit HistoryParser(const HistoryQuery& query);

  // The bytes of the log as they follow each other, in pieces of any size.
  void Feed(std::string_view bytes);
  // The bytes begin in the middle of a line: up to the first line break they
  // are skipped.
  void SkipFirstLine() { skipping_ = true; }
  std::size_t fed() const { return fed_; }
  // Ends the input (an unfinished last line counts as malformed).
  HistoryReadBack Finish();

  // The time of the earliest well-formed line of any world, once one was seen.
  bool saw_line() const { return saw_line_; }
  DateTime earliest() const { return earliest_; }

 private:
  void Line(std::string_view line);
  void FlushPoll();

  HistoryReadBack out_;
  std::string world_utf8_;
  std::string patch_key_;
  int world_index_ = -1;
  int utc_offset_minutes_ = 0;
  int64_t start_ms_ = 0;
  int64_t end_ms_ = 0;
  std::string carry_;
  std::size_t fed_ = 0;
  bool skipping_ = false;
  bool saw_line_ = false;
  DateTime earliest_;
  // The poll being gathered: its time text and cells.
  std::string poll_time_text_;
  bool poll_open_ = false;
  HistoryPoll poll_;
  // The last time text parsed and its value (19 lines share one).
  std::string last_time_text_;
  int64_t last_time_ms_ = 0;
  bool last_time_ok_ = false;
};

// Reads the history of `query.world` back from the log file, and from its
// ".1" when the file itself starts after the span's start. A missing file
// gives an empty history.
HistoryReadBack ReadHistory(const HistoryQuery& query);

}  // namespace tol
