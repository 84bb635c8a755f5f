#include "sim_state.h"

#include <chrono>

namespace tol::sim {
namespace {

int64_t RealNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

SimState::SimState(uint64_t seed, int period, int map_period, std::optional<int64_t> epoch)
    : seed_(seed), period_(period > 0 ? period : 1), map_period_(map_period > 0 ? map_period : 1) {
  const int64_t real = RealNow();
  if (epoch) clock_offset_ = *epoch - real;
  const int64_t now = real + clock_offset_;  // exactly the epoch when one is given
  map_anchor_ = now;
  status_.last_rewrite = now;
  status_.next_rewrite = now + period_;
}

int64_t SimState::NowLocked() const { return frozen_ ? *frozen_ : RealNow() + clock_offset_; }

int64_t SimState::Now() const {
  std::lock_guard lock(mu_);
  return NowLocked();
}

void SimState::SetClock(int64_t unix_seconds) {
  std::lock_guard lock(mu_);
  frozen_ = unix_seconds;
}

void SimState::AdvanceClock(int64_t seconds) {
  std::lock_guard lock(mu_);
  if (frozen_) {
    *frozen_ += seconds;
  } else {
    clock_offset_ += seconds;
  }
}

void SimState::ResumeClock() {
  std::lock_guard lock(mu_);
  if (!frozen_) return;
  clock_offset_ = *frozen_ - RealNow();
  frozen_.reset();
}

void SimState::AdvanceScheduleLocked(int64_t now) {
  if (now < status_.last_rewrite) {
    // The clock went back: the current texts count as written now.
    status_.last_rewrite = now;
    status_.next_rewrite = now + period_;
  } else if (now >= status_.next_rewrite) {
    const int64_t missed = (now - status_.next_rewrite) / period_ + 1;
    status_.rewrite += static_cast<uint64_t>(missed);
    status_.last_rewrite = status_.next_rewrite + (missed - 1) * period_;
    status_.next_rewrite = status_.last_rewrite + period_;
  }
}

StatusSchedule SimState::Status() {
  std::lock_guard lock(mu_);
  const int64_t now = NowLocked();
  AdvanceScheduleLocked(now);
  StatusSchedule s = status_;
  s.now = now;
  return s;
}

StatusSchedule SimState::ForceRewrite() {
  std::lock_guard lock(mu_);
  const int64_t now = NowLocked();
  AdvanceScheduleLocked(now);
  ++status_.rewrite;
  status_.last_rewrite = now;
  status_.next_rewrite = now + period_;
  StatusSchedule s = status_;
  s.now = now;
  return s;
}

MapSchedule SimState::Maps() const {
  std::lock_guard lock(mu_);
  MapSchedule m;
  m.generation = FloorDiv(NowLocked() - map_anchor_, map_period_);
  m.last_modified = map_anchor_ + m.generation * map_period_;
  return m;
}

bool SimState::SetContent(const std::string& path, FixedContent content) {
  std::lock_guard lock(mu_);
  if (contents_.size() >= kMaxContents && !contents_.contains(path)) return false;
  contents_[path] = std::move(content);
  return true;
}

void SimState::ClearContent(const std::optional<std::string>& path) {
  std::lock_guard lock(mu_);
  if (path) {
    contents_.erase(*path);
  } else {
    contents_.clear();
  }
}

std::optional<FixedContent> SimState::Content(const std::string& path) const {
  std::lock_guard lock(mu_);
  auto it = contents_.find(path);
  if (it == contents_.end()) return std::nullopt;
  return it->second;
}

bool SimState::SetFault(const std::string& path, Fault fault) {
  std::lock_guard lock(mu_);
  if (faults_.size() >= kMaxFaults && !faults_.contains(path)) return false;
  faults_[path] = std::move(fault);
  return true;
}

void SimState::ClearFaults(const std::optional<std::string>& path) {
  std::lock_guard lock(mu_);
  if (path) {
    faults_.erase(*path);
  } else {
    faults_.clear();
  }
  ReleaseStallsLocked();
}

std::optional<Fault> SimState::TakeFault(const std::string& path) {
  std::lock_guard lock(mu_);
  auto it = faults_.find(path);
  if (it == faults_.end()) it = faults_.find("*");
  if (it == faults_.end()) return std::nullopt;
  Fault& stored = it->second;
  Fault copy = stored;
  if (stored.kind == FaultKind::kNeedCookie) {
    if (stored.cookie.empty()) {
      stored.cookie = "sim=k" + std::to_string(++cookies_issued_);
      copy.cookie = stored.cookie;
      copy.cookie_new = true;
    }
    return copy;
  }
  if (stored.count > 0 && --stored.count == 0) faults_.erase(it);
  return copy;
}

bool SimState::AddServerChange(std::size_t world, const std::string& key, ServerChange change) {
  std::lock_guard lock(mu_);
  if (server_change_count_ >= kMaxContents) return false;
  server_changes_[{world, key}].push_back(std::move(change));
  ++server_change_count_;
  return true;
}

void SimState::ClearServerChanges(const std::optional<std::size_t>& world,
                                  const std::optional<std::string>& key) {
  std::lock_guard lock(mu_);
  for (auto it = server_changes_.begin(); it != server_changes_.end();) {
    if ((!world || it->first.first == *world) && (!key || it->first.second == *key)) {
      server_change_count_ -= it->second.size();
      it = server_changes_.erase(it);
    } else {
      ++it;
    }
  }
}

std::optional<std::pair<std::string, int32_t>> SimState::ServerStatusAt(std::size_t world,
                                                                        const std::string& key,
                                                                        int64_t now) const {
  std::lock_guard lock(mu_);
  const auto it = server_changes_.find({world, key});
  if (it == server_changes_.end()) return std::nullopt;
  const ServerChange* current = nullptr;
  for (const ServerChange& c : it->second) {
    if (c.at <= now && (!current || c.at >= current->at)) current = &c;
  }
  if (!current) return std::nullopt;
  if (current->flap > 0 && (now - current->at) / current->flap % 2 == 1) {
    return std::pair<std::string, int32_t>("Good", current->connect);
  }
  return std::pair<std::string, int32_t>(current->status, current->connect);
}

void SimState::SetFixedCookie(std::string value) {
  std::lock_guard lock(mu_);
  fixed_cookie_ = std::move(value);
}

std::string SimState::FixedCookie() const {
  std::lock_guard lock(mu_);
  return fixed_cookie_;
}

void SimState::Record(RecordedRequest request) {
  std::lock_guard lock(mu_);
  request.seq = next_seq_++;
  request.time = NowLocked();
  requests_.push_back(std::move(request));
  while (requests_.size() > kMaxRecordedRequests) requests_.pop_front();
}

std::vector<RecordedRequest> SimState::Requests(uint64_t since,
                                                const std::optional<std::string>& path) const {
  std::lock_guard lock(mu_);
  std::vector<RecordedRequest> out;
  for (const auto& r : requests_) {
    if (r.seq > since && (!path || r.path == *path)) out.push_back(r);
  }
  return out;
}

uint64_t SimState::LastSeq() const {
  std::lock_guard lock(mu_);
  return next_seq_ - 1;
}

void SimState::Reset() {
  std::lock_guard lock(mu_);
  faults_.clear();
  contents_.clear();
  fixed_cookie_.clear();
  server_changes_.clear();
  server_change_count_ = 0;
  requests_.clear();
  ReleaseStallsLocked();
}

void SimState::ReleaseStallsLocked() {
  ++stall_generation_;
  cv_.notify_all();
}

void SimState::Stall(int seconds) {
  std::unique_lock lock(mu_);
  const uint64_t generation = stall_generation_;
  ++active_stalls_;
  cv_.wait_for(lock, std::chrono::seconds(seconds),
               [&] { return stopping_ || stall_generation_ != generation; });
  --active_stalls_;
}

int SimState::ActiveStalls() const {
  std::lock_guard lock(mu_);
  return active_stalls_;
}

bool SimState::Pause(int milliseconds) {
  std::unique_lock lock(mu_);
  cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return stopping_; });
  return !stopping_;
}

bool SimState::Stopping() const {
  std::lock_guard lock(mu_);
  return stopping_;
}

void SimState::Stop() {
  std::lock_guard lock(mu_);
  stopping_ = true;
  cv_.notify_all();
}

}  // namespace tol::sim
