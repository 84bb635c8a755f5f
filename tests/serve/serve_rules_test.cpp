// The endpoint's own rules without a socket: which Host names it answers,
// the numbers of a query, and the history copy the server's threads read.

#include <gtest/gtest.h>

#include <vector>

#include "serve/history_snapshot.h"
#include "serve/request_rules.h"

namespace tol {
namespace {

TEST(RequestRules, HostAndNumbers) {
  const struct {
    const char* host;
    bool allowed;
  } hosts[] = {{"127.0.0.1:8931", true},     {"localhost:8931", true},   {"LocalHost:8931", true},
               {"127.0.0.1", false},         {"localhost", false},       {"127.0.0.1:8932", false},
               {"127.0.0.1:08931", false},   {"127.1:8931", false},      {"[::1]:8931", false},
               {"evil.example:8931", false}, {"localhost.:8931", false}, {"", false}};
  for (const auto& h : hosts) EXPECT_EQ(HostAllowed(h.host, 8931), h.allowed) << h.host;

  EXPECT_EQ(ParseBoundedInt("24", 1, 168), 24);
  EXPECT_EQ(ParseBoundedInt("0168", 1, 168), 168);
  for (const char* bad : {"", "0", "169", "-1", "+5", " 5", "5h", "99999999999"}) {
    EXPECT_FALSE(ParseBoundedInt(bad, 1, 168)) << bad;
  }
  EXPECT_EQ(ParseScale("1.5"), 1.5);
  EXPECT_EQ(ParseScale("8"), 8.0);
  for (const char* bad : {"", ".", "0.2", "8.01", "1.2.3", "1e2", "-1"}) {
    EXPECT_FALSE(ParseScale(bad)) << bad;
  }
}

HistoryPoll PollAt(int64_t minute) {
  HistoryPoll p;
  p.time = DateTime::FromMilliseconds(45000LL * 86400000 + minute * 60000);
  p.world = 0;
  return p;
}

// The copy follows the ring through growth past the ring's capacity (old
// polls drop off across block ends) and a clear, one change at a time, and
// a snapshot handed out stays as it was.
TEST(HistorySnapshot, FollowsTheRing) {
  HistoryRing ring(3);  // 180 polls
  HistoryWatcher watcher;
  HistoryMirror mirror;
  std::shared_ptr<const HistorySnapshot> early;
  auto check = [&](int64_t step) {
    const auto change = watcher.Look(ring);
    ASSERT_TRUE(change) << step;
    EXPECT_LE(change->added.size(), change->reset ? ring.size() : 1u);
    const auto snapshot = mirror.Apply(*change);
    ASSERT_EQ(snapshot->size(), ring.size()) << step;
    for (std::size_t i = 0; i < ring.size(); ++i) {
      ASSERT_EQ((*snapshot)[i].time, ring[i].time) << step << " " << i;
    }
    if (step == 100) early = snapshot;
    EXPECT_FALSE(watcher.Look(ring)) << "nothing changed";
  };
  for (int64_t minute = 0; minute < 500; ++minute) {
    ring.Add(PollAt(minute));
    check(minute);
  }
  ASSERT_EQ(early->size(), 101u);
  EXPECT_EQ((*early)[100].time, PollAt(100).time);
  ring.Clear();
  check(-1);
  ring.Add(PollAt(1000));
  check(1000);
}

}  // namespace
}  // namespace tol
