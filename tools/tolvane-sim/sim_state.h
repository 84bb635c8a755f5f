#pragma once
// Everything the sim remembers between requests: its clock, the rewrite
// schedule of the status texts, the map generation, fixed contents, faults,
// cookies and the recorded requests. All members are safe to call from the
// server's worker threads at once.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fault.h"

namespace tol::sim {

struct RecordedRequest {
  uint64_t seq = 0;  // 1, 2, ... in arrival order
  int64_t time = 0;  // the sim's clock, Unix seconds
  std::string method;
  std::string path;    // decoded path, without the query
  std::string target;  // the request target as sent
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;
};

// A body set through the control interface for one path. Without a
// last-modified time the answer carries no Last-Modified header.
struct FixedContent {
  std::string body;
  std::optional<int64_t> last_modified;
};

// A change of one server's line in one world's status text, set through the
// control interface: from `at` on, the line says `status` (with `connect` as
// its connect time when that is "Good"); with `flap` seconds, it says
// `status` and "Good" by turns, `flap` seconds each, starting with `status`.
struct ServerChange {
  int64_t at = 0;
  std::string status;
  int32_t connect = 1000;
  int64_t flap = 0;
};

struct StatusSchedule {
  uint64_t rewrite = 0;      // number of the current status texts, 0 at start
  int64_t last_rewrite = 0;  // Unix seconds
  int64_t next_rewrite = 0;
  int64_t now = 0;  // the instant the schedule was read at
};

struct MapSchedule {
  int64_t generation = 0;
  int64_t last_modified = 0;
};

inline constexpr std::size_t kMaxRecordedRequests = 1000;
// Fixed contents and faults are set by tests, a few at a time; the caps only
// keep a runaway client from growing the sim without end.
inline constexpr std::size_t kMaxContents = 1000;
inline constexpr std::size_t kMaxFaults = 1000;

class SimState {
 public:
  // `epoch`: Unix seconds at which the sim's clock starts (default: real time).
  SimState(uint64_t seed, int period, int map_period, std::optional<int64_t> epoch);

  uint64_t seed() const { return seed_; }
  int period() const { return period_; }
  int map_period() const { return map_period_; }

  // The sim's notion of now, in Unix seconds. It follows real time, shifted
  // by --epoch and AdvanceClock, until SetClock freezes it.
  int64_t Now() const;
  void SetClock(int64_t unix_seconds);
  void AdvanceClock(int64_t seconds);
  void ResumeClock();  // runs on in real time from the current value

  // The status rewrite schedule, brought up to now. The texts are rewritten
  // every `period` seconds; ForceRewrite rewrites them at once and starts a
  // new period.
  StatusSchedule Status();
  StatusSchedule ForceRewrite();
  MapSchedule Maps() const;

  // False when the cap is reached and `path` has no content yet.
  bool SetContent(const std::string& path, FixedContent content);
  void ClearContent(const std::optional<std::string>& path);  // nullopt: all
  std::optional<FixedContent> Content(const std::string& path) const;

  // Faults by exact path; "*" stands for every service path without its own.
  // False when the cap is reached and `path` has no fault yet.
  bool SetFault(const std::string& path, Fault fault);
  void ClearFaults(const std::optional<std::string>& path);  // nullopt: all
  // The fault for a request to `path`, counting it against the fault's
  // count. A kNeedCookie fault hands out its cookie on first use.
  std::optional<Fault> TakeFault(const std::string& path);

  // Server changes by world index and status key. The change with the latest
  // `at` not after `now` applies (of equal ones, the last set); none before
  // the first. False when the cap is reached.
  bool AddServerChange(std::size_t world, const std::string& key, ServerChange change);
  void ClearServerChanges(const std::optional<std::size_t>& world,
                          const std::optional<std::string>& key);
  // The status word and connect time of that line at `now`, if a change
  // applies.
  std::optional<std::pair<std::string, int32_t>> ServerStatusAt(std::size_t world,
                                                                const std::string& key,
                                                                int64_t now) const;

  // "name=value" added as Set-Cookie to every service answer; empty: none.
  void SetFixedCookie(std::string value);
  std::string FixedCookie() const;

  void Record(RecordedRequest request);
  // Requests with a sequence number above `since`, optionally for one path.
  std::vector<RecordedRequest> Requests(uint64_t since,
                                        const std::optional<std::string>& path) const;
  uint64_t LastSeq() const;

  // Drops faults, fixed contents, server changes, cookies and recorded
  // requests, and releases
  // stalled requests. The clock and the schedules stay.
  void Reset();

  // Blocks a stalled request until `seconds` pass, the faults are cleared or
  // reset, or the sim stops.
  void Stall(int seconds);
  int ActiveStalls() const;
  // Sleeps up to `milliseconds`; false once the sim is stopping.
  bool Pause(int milliseconds);
  bool Stopping() const;
  // Wakes every waiting request for shutdown.
  void Stop();

 private:
  void AdvanceScheduleLocked(int64_t now);
  void ReleaseStallsLocked();
  int64_t NowLocked() const;

  const uint64_t seed_;
  const int period_;
  const int map_period_;

  mutable std::mutex mu_;
  std::condition_variable cv_;
  int64_t clock_offset_ = 0;
  std::optional<int64_t> frozen_;
  int64_t map_anchor_ = 0;
  StatusSchedule status_;
  std::map<std::string, FixedContent> contents_;
  std::map<std::string, Fault> faults_;
  std::map<std::pair<std::size_t, std::string>, std::vector<ServerChange>> server_changes_;
  std::size_t server_change_count_ = 0;
  uint64_t cookies_issued_ = 0;
  std::string fixed_cookie_;
  std::deque<RecordedRequest> requests_;
  uint64_t next_seq_ = 1;
  uint64_t stall_generation_ = 0;
  int active_stalls_ = 0;
  bool stopping_ = false;
};

}  // namespace tol::sim
