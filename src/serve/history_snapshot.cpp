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

std::shared_ptr<const HistorySnapshot> HistoryMirror::Follow(const HistoryRing& ring) {
  const std::size_t size = ring.size();
  if (size == 0) {
    if (count_ == 0 && blocks_.empty()) return nullptr;
    blocks_.clear();
    first_ = count_ = 0;
    have_last_ = false;
  } else {
    const HistoryPoll& newest = ring[size - 1];
    if (have_last_ && newest.time == last_time_ && size == count_) return nullptr;
    // A new poll normally adds one; anything else (a cleared ring, a world
    // switch) starts the copy anew from the ring.
    const bool one_more =
        have_last_ && size >= 2 && ring[size - 2].time == last_time_ && size <= count_ + 1;
    if (one_more) {
      Append(newest);
    } else {
      blocks_.clear();
      first_ = count_ = 0;
      for (std::size_t i = 0; i < size; ++i) Append(ring[i]);
    }
    while (count_ > size) {
      ++first_;
      --count_;
      if (first_ == kHistoryBlockPolls) {
        blocks_.erase(blocks_.begin());  // the snapshots that hold it keep it
        first_ = 0;
      }
    }
    have_last_ = true;
    last_time_ = newest.time;
  }
  auto snapshot = std::make_shared<HistorySnapshot>();
  snapshot->blocks = blocks_;
  snapshot->first = first_;
  snapshot->count = count_;
  return snapshot;
}

}  // namespace tol
