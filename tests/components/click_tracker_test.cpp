#include "components/click_tracker.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tol {
namespace {

// Records every request of the tracker as one line.
class RecordingHost : public ClickTrackerHost {
 public:
  void Send(intptr_t w, intptr_t l) override { Add("send", w, l); }
  void Post(intptr_t w, intptr_t l) override { Add("post", w, l); }
  bool StartTimer(unsigned ms) override {
    log.push_back("timer " + std::to_string(ms));
    return timer_works;
  }
  void KillTimer() override { log.push_back("kill"); }
  unsigned DoubleClickTime() override { return 432; }
  ScreenPoint CursorPos() override { return cursor; }
  void ApplyTipColors(uint32_t bg, uint32_t text) override { Add("colors", bg, text); }
  void RestoreTipColors() override { log.push_back("default colors"); }
  void WakeWatcher() override { log.push_back("watch"); }
  void AnswerWatcher(bool go_on) override { log.push_back(go_on ? "go on" : "suspend"); }

  void Add(const char* what, int64_t a, int64_t b) {
    log.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b));
  }
  std::vector<std::string> log;
  ScreenPoint cursor;
  bool timer_works = true;
};

// One input: a message observed (the cursor at x, y), the watcher's check at
// a point, a refused timer for the next release, or an emptied rectangle.
struct Step {
  enum Kind { kObserve, kCheck, kRefuseTimer, kEmpty } kind;
  unsigned message = kTrayCallbackMessage;
  intptr_t wparam = 1, lparam = 0;
  int32_t x = 0, y = 0;
};
Step M(intptr_t lparam) { return {Step::kObserve, kTrayCallbackMessage, 1, lparam}; }
Step Reposted(intptr_t lparam) { return {Step::kObserve, kTrayCallbackMessage, -1, lparam}; }
const Step kTimer{Step::kObserve, kTimerMessage, kClickTimerId};
const Step kRefuseTimer{Step::kRefuseTimer};
const Step kEmpty{Step::kEmpty};
Step MoveTo(int32_t x, int32_t y) { return {Step::kObserve, kTrayCallbackMessage, 1, 512, x, y}; }
Step CheckAt(int32_t x, int32_t y) { return {Step::kCheck, 0, 0, 0, x, y}; }

struct Case {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::string> expected;
  bool check_single_double_click = true;
  bool use_default = true;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingHost host;
    ClickTracker tracker(host);
    tracker.set_check_single_double_click(c.check_single_double_click);
    tracker.set_use_default(c.use_default);
    tracker.set_background_color(0x0000FF);
    tracker.set_text_color(0x00FF00);
    for (const Step& s : c.steps) {
      host.cursor = {s.x, s.y};
      if (s.kind == Step::kObserve) tracker.Observe(s.message, s.wparam, s.lparam);
      if (s.kind == Step::kCheck) tracker.CheckPointer();
      if (s.kind == Step::kRefuseTimer) host.timer_works = false;
      if (s.kind == Step::kEmpty) tracker.EmptyRect();
    }
    EXPECT_EQ(host.log, c.expected);
  }
}

TEST(ClickTrackerTest, Clicks) {
  RunCases({
      {"left click waits for the double-click time",
       {M(513), M(514), kTimer},
       {"timer 432", "kill", "send 0 1236"}},
      {"double click gives no single click, and the press again",
       {M(516), M(517), M(518), M(517), Reposted(516), kTimer},
       {"timer 432", "post -1 516", "timer 432", "kill"}},
      {"without the check, a click on each release that follows a press",
       {M(513), M(514), M(515), M(514), Reposted(513), M(514), M(516), M(517)},
       {"send 0 1236", "post -1 513", "send 1 1236"},
       false},
      {"a release while a click is pending starts no second timer; left wins",
       {M(513), M(514), M(519), M(520), kTimer, kTimer, M(520), kTimer},
       {"timer 432", "kill", "send 0 1236", "kill", "timer 432", "kill", "send 2 1236"}},
      {"a re-posted press never arms a click",
       {Reposted(513), M(514), kTimer},
       {"timer 432", "kill"}},
      {"a refused timer leaves nothing pending",
       {kRefuseTimer, M(513), M(514), kTimer},
       {"timer 432", "kill"}},
      {"values outside the mouse range are ignored", {M(511), M(522), M(1236)}, {}},
  });
}

TEST(ClickTrackerTest, EnterAndLeave) {
  RunCases({
      // The watcher is answered before the exit is reported: the exit's
      // handler may wake it again, or destroy the tracker.
      {"leaving the rectangle reports the exit once",
       {MoveTo(100, 200), MoveTo(110, 210), CheckAt(100, 210), CheckAt(111, 205), CheckAt(0, 0)},
       {"watch", "send 0 1234", "go on", "suspend", "send 0 1235", "suspend"}},
      {"an emptied rectangle makes the next check an exit",
       {MoveTo(10, 10), kEmpty, CheckAt(10, 10)},
       {"watch", "send 0 1234", "suspend", "send 0 1235"}},
      {"coming back enters again",
       {MoveTo(5, 5), CheckAt(50, 50), MoveTo(6, 6)},
       {"watch", "send 0 1234", "suspend", "send 0 1235", "watch", "send 0 1234"}},
      {"exactly 32 pixels keeps the rectangle",
       {MoveTo(100, 100), MoveTo(132, 132), CheckAt(100, 100)},
       {"watch", "send 0 1234", "go on"}},
      {"beyond 32 pixels the rectangle starts again without an exit",
       {MoveTo(100, 100), MoveTo(133, 100), CheckAt(133, 100), CheckAt(100, 100)},
       {"watch", "send 0 1234", "go on", "suspend", "send 0 1235"}},
      {"far-apart coordinates don't overflow the width",
       {MoveTo(INT32_MIN, 0), MoveTo(INT32_MAX, 0), CheckAt(0, 0)},
       {"watch", "send 0 1234", "suspend", "send 0 1235"}},
      {"custom colours while inside",
       {MoveTo(1, 1), CheckAt(40, 40)},
       {"colors 255 65280", "watch", "send 0 1234", "suspend", "default colors", "send 0 1235"},
       true,
       false},
  });
}

// A host whose sent messages, once armed, run a handler that destroys the
// tracker, as a component's handler may destroy the component.
class DestroyingHost : public RecordingHost {
 public:
  void Send(intptr_t w, intptr_t l) override {
    RecordingHost::Send(w, l);
    if (armed) tracker.reset();
  }
  bool armed = false;
  std::unique_ptr<ClickTracker> tracker;
};

TEST(ClickTrackerTest, EachReportIsTheLastStep) {
  // After a report nothing of the tracker is touched (the sanitizer build
  // catches a touch of the freed tracker) and nothing more reaches the host.
  struct DestroyCase {
    const char* name;
    bool check_single_double_click;
    std::vector<Step> before;  // with a host that keeps the tracker
    std::vector<Step> report;  // the last step reports
    std::vector<std::string> expected;
  };
  const DestroyCase cases[] = {
      {"enter", true, {}, {MoveTo(1, 1)}, {"watch", "send 0 1234"}},
      {"exit", true, {MoveTo(1, 1)}, {CheckAt(50, 50)}, {"suspend", "send 0 1235"}},
      {"click on the release", false, {}, {M(513), M(514)}, {"send 0 1236"}},
      {"click after the double-click time",
       true,
       {},
       {M(516), M(517), kTimer},
       {"timer 432", "kill", "send 1 1236"}},
  };
  for (const DestroyCase& c : cases) {
    SCOPED_TRACE(c.name);
    DestroyingHost host;
    host.tracker = std::make_unique<ClickTracker>(host);
    host.tracker->set_check_single_double_click(c.check_single_double_click);
    auto run = [&](const std::vector<Step>& steps) {
      for (const Step& s : steps) {
        ASSERT_NE(host.tracker, nullptr);
        host.cursor = {s.x, s.y};
        if (s.kind == Step::kObserve) host.tracker->Observe(s.message, s.wparam, s.lparam);
        if (s.kind == Step::kCheck) host.tracker->CheckPointer();
      }
    };
    run(c.before);
    host.log.clear();
    host.armed = true;
    run(c.report);
    EXPECT_EQ(host.tracker, nullptr);
    EXPECT_EQ(host.log, c.expected);
  }
}

}  // namespace
}  // namespace tol
