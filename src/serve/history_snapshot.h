#pragma once
// The memory history as the endpoint's threads see it: a copy of the
// monitor's history ring kept one poll at a time on the UI thread and handed
// out as immutable snapshots.
//
// The copy is a list of fixed blocks of polls. A block is written only at
// places past every snapshot handed out, and a snapshot holds the blocks it
// covers, so each poll costs one poll's copy and a list of block pointers
// (about 160 at 168 hours), never the whole history (about 3 MiB).

#include <array>
#include <cstddef>
#include <memory>
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

class HistoryMirror {
 public:
  // Follows `ring` after the monitor took a poll into it: the ring only
  // grows at its end and loses polls at its start (or is cleared), so its
  // newest poll and its size tell the change. Returns the new snapshot, or
  // null when nothing changed.
  std::shared_ptr<const HistorySnapshot> Follow(const HistoryRing& ring);

 private:
  void Append(const HistoryPoll& poll);

  std::vector<std::shared_ptr<HistoryBlock>> blocks_;
  std::size_t first_ = 0;
  std::size_t count_ = 0;
  bool have_last_ = false;
  DateTime last_time_;
};

}  // namespace tol
