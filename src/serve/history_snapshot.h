#pragma once
// The memory history as the endpoint's threads see it: a copy of the
// monitor's history ring, taken one poll at a time from the UI thread (a
// poll's copy, never the whole history of about 3 MiB) and handed out as
// immutable snapshots.
//
// The copy is a list of fixed blocks of polls. A block is written only at
// places past every snapshot handed out, and a snapshot holds the blocks it
// covers, so a snapshot costs a list of block pointers (about 160 at 168
// hours).

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "monitor/history.h"

namespace tol {

inline constexpr std::size_t kHistoryBlockPolls = 64;

struct HistoryBlock {
  std::array<HistoryPoll, kHistoryBlockPolls> polls;
};

struct HistorySnapshot {
  std::vector<std::shared_ptr<HistoryBlock>> blocks;
  std::size_t first = 0;  // index of the oldest poll in blocks[0]
  std::size_t count = 0;

  const HistoryPoll& operator[](std::size_t i) const {
    const std::size_t at = first + i;
    return blocks[at / kHistoryBlockPolls]->polls[at % kHistoryBlockPolls];
  }
  std::size_t size() const { return count; }
};

// What changed in the monitor's ring since the last look: the polls added
// (all of them after a reset) and the ring's size after.
struct HistoryChange {
  bool reset = false;
  std::vector<HistoryPoll> added;
  std::size_t size = 0;
};

// On the UI thread: tells what changed in the ring. The ring only grows at
// its end and loses polls at its start (or is cleared), so its newest poll
// and its size tell the change: usually one poll's copy.
class HistoryWatcher {
 public:
  std::optional<HistoryChange> Look(const HistoryRing& ring);

 private:
  bool have_last_ = false;
  DateTime last_time_;
  std::size_t size_ = 0;
};

// On the server's thread: the copy that the changes build, and its
// snapshots.
class HistoryMirror {
 public:
  std::shared_ptr<const HistorySnapshot> Apply(const HistoryChange& change);

 private:
  void Append(const HistoryPoll& poll);

  std::vector<std::shared_ptr<HistoryBlock>> blocks_;
  std::size_t first_ = 0;
  std::size_t count_ = 0;
};

}  // namespace tol
