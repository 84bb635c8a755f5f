#include "assistant/run_events.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace tol {
namespace {

// A window's side that fails to show the lines it is told to.
class RecordingView : public RunView {
 public:
  void ClearLog() override { Show("<clear>"); }
  void AppendLog(std::string_view line) override { Show(std::string(line)); }
  void RunEnded(const std::optional<std::string>& failure) override {
    shown.push_back(failure ? "<failed: " + *failure + ">" : "<finished>");
  }

  std::vector<std::string> failing;  // lines that throw
  std::vector<std::string> shown;

 private:
  void Show(const std::string& line) {
    for (const std::string& bad : failing) {
      if (line == bad) throw std::runtime_error("can't show " + line);
    }
    shown.push_back(line);
  }
};

// The worker's events go through the channel, each followed by a
// notification, and reach the view in order; a line the view can't show
// costs neither the later lines nor the run's end, and is reported after.
TEST(RunEventsTest, TheRunEndsEvenWhenALineCantBeShown) {
  struct Case {
    const char* name;
    std::vector<std::string> failing;
    bool run_fails;
    std::vector<std::string> shown;
    const char* thrown;  // nullptr: nothing
  };
  const Case cases[] = {
      {"all shown", {}, false, {"<clear>", "a", "b", "<finished>"}, nullptr},
      {"a line fails", {"a"}, false, {"<clear>", "b", "<finished>"}, "can't show a"},
      {"every line fails, then the run",
       {"<clear>", "a", "b"},
       true,
       {"<failed: refused>"},
       "can't show <clear>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int notified = 0;
    RunChannel channel([&notified] { ++notified; });
    channel.Clear();
    channel.Append("a");
    channel.Append("b");
    if (c.run_fails) {
      channel.Fail("refused");
    } else {
      channel.Finish();
    }
    EXPECT_EQ(notified, 4);

    RecordingView view;
    view.failing = c.failing;
    if (c.thrown) {
      try {
        ApplyRunEvents(channel.Take(), view);
        ADD_FAILURE() << "nothing thrown";
      } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), c.thrown);
      }
    } else {
      ApplyRunEvents(channel.Take(), view);
    }
    EXPECT_EQ(view.shown, c.shown);
    EXPECT_TRUE(channel.Take().empty());
  }
}

}  // namespace
}  // namespace tol
