#include "serve/history_snapshot.h"

namespace tol {

void HistoryMirror::Append(const HistoryPoll& poll) {
  const std::size_t at = first_ + count_;
  if (at / kHistoryBlockPolls >= blocks_.size())
    blocks_.push_back(std::make_shared<HistoryBlock>());
  // Past every snapshot's count: no reader looks at this place yet.
  blocks_[at / kHistoryBlockPolls]->polls[at % kHistoryBlockPolls] = poll;
  ++count_;
}

std::optional<HistoryChange> HistoryWatcher::Look(const HistoryRing& ring) {
  const std::size_t size = ring.size();
  HistoryChange change;
  change.size = size;
  if (size == 0) {
    if (!have_last_ && size_ == 0) return std::nullopt;
    change.reset = true;
    have_last_ = false;
  } else {
    const HistoryPoll& newest = ring[size - 1];
    if (have_last_ && newest.time == last_time_ && size == size_) return std::nullopt;
    // A new poll normally adds one; anything else (a cleared ring, a world
    // switch) starts the copy anew.
    if (have_last_ && size >= 2 && ring[size - 2].time == last_time_ && size <= size_ + 1) {
      change.added.push_back(newest);
    } else {
      change.reset = true;
      change.added.reserve(size);
      for (std::size_t i = 0; i < size; ++i) change.added.push_back(ring[i]);
    }
    have_last_ = true;
    last_time_ = newest.time;
  }
  size_ = size;
  return change;
}

std::shared_ptr<const HistorySnapshot> HistoryMirror::Apply(const HistoryChange& change) {
  if (change.reset) {
    blocks_.clear();
    first_ = count_ = 0;
  }
  for (const HistoryPoll& poll : change.added) Append(poll);
  while (count_ > change.size) {
    ++first_;
    --count_;
    if (first_ == kHistoryBlockPolls) {
      blocks_.erase(blocks_.begin());  // the snapshots that hold it keep it
      first_ = 0;
    }
  }
  auto snapshot = std::make_shared<HistorySnapshot>();
  snapshot->blocks = blocks_;
  snapshot->first = first_;
  snapshot->count = count_;
  return snapshot;
}

}  // namespace tol
