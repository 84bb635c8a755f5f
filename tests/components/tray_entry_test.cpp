#include "components/tray_entry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "components/fake_tray_shell.h"
#include "components/texts.h"

namespace tol {
namespace {

using ::testing::ElementsAre;
using testing::FakeTrayShell;
using testing::kRefused;
using testing::kTimeout;

const NotifyResult kOk{true, 0};

TEST(TrayEntryTest, AddIconRetries) {
  std::vector<NotifyResult> all_timeouts(13, kTimeout);
  std::vector<NotifyResult> last_retry_works(12, kTimeout);
  last_retry_works.push_back(kOk);
  struct Case {
    const char* name;
    std::vector<NotifyResult> answers;
    const SjisText* error;  // null: added, no exception
    int waited_ms;
    int notify_calls;
  };
  const Case cases[] = {
      {"added at once", {}, nullptr, 0, 1},
      {"refused at once", {kRefused}, &kCannotAddTrayIconText, 0, 1},
      {"late add found by the modify", {kTimeout, kOk}, nullptr, 2000, 2},
      {"refused during the retries",
       {kTimeout, kTimeout, kRefused},
       &kCannotAddTrayIconText,
       2000,
       3},
      {"last retry works", last_retry_works, nullptr, 12000, 13},
      {"time-outs past the retries", all_timeouts, &kCannotChangeTrayIconText, 12000, 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeTrayShell shell;
    shell.answers.assign(c.answers.begin(), c.answers.end());
    TrayEntry entry(shell);
    try {
      EXPECT_TRUE(entry.AddIcon());
      EXPECT_EQ(c.error, nullptr);
    } catch (const ENotifyIconError& e) {
      ASSERT_NE(c.error, nullptr);
      EXPECT_EQ(e.what(), c.error->bytes());
    }
    EXPECT_EQ(entry.added(), c.error == nullptr);
    EXPECT_EQ(shell.waited_ms, c.waited_ms);
    EXPECT_EQ(shell.notify_calls, c.notify_calls);
  }
  EXPECT_EQ(kCannotAddTrayIconText.bytes().substr(0, 2), "\x83\x5E");  // "タ" in code page 932
}

TEST(TrayEntryTest, RetryOrderWithForegroundStep) {
  FakeTrayShell shell;
  shell.answers = {kTimeout, kRefused, kOk};
  TrayEntry entry(shell);
  entry.set_do_foreground_window(true);
  EXPECT_TRUE(entry.AddIcon());
  EXPECT_TRUE(entry.AddIcon());  // already there: nothing more is asked
  EXPECT_THAT(shell.log,
              ElementsAre("fill", "foreground", "add", "modify", "foreground", "add", "added"));
}

TEST(TrayEntryTest, ModifyIcon) {
  struct Case {
    const char* name;
    bool added_before;
    std::vector<NotifyResult> answers;
    bool result;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"a time-out counts as success", true, {kTimeout}, true, {"modify"}},
      {"refused: added again", true, {kRefused}, true, {"modify", "fill", "add", "added"}},
      {"refused twice: swallowed", true, {kRefused, kRefused}, false, {"modify", "fill", "add"}},
      {"not added: adds, never raises", false, {kRefused}, false, {"fill", "add"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeTrayShell shell;
    TrayEntry entry(shell);
    if (c.added_before) {
      ASSERT_TRUE(entry.AddIcon());
    }
    shell.log.clear();
    shell.answers.assign(c.answers.begin(), c.answers.end());
    EXPECT_EQ(entry.ModifyIcon(), c.result);
    EXPECT_EQ(entry.added(), c.result);
    EXPECT_EQ(shell.log, c.calls);
  }
}

TEST(TrayEntryTest, NoIconMeansNoPlatformCall) {
  FakeTrayShell shell;
  shell.has_icon = false;
  TrayEntry entry(shell);
  EXPECT_FALSE(entry.AddIcon());
  EXPECT_FALSE(entry.ModifyIcon());
  EXPECT_EQ(shell.notify_calls, 0);
}

TEST(TrayEntryTest, DeleteAndTaskbarCreated) {
  FakeTrayShell shell;
  TrayEntry entry(shell);
  EXPECT_TRUE(entry.DeleteIcon());  // nothing there: no call
  entry.TaskbarCreated();           // not added: not re-added
  entry.AddIcon();
  entry.TaskbarCreated();
  shell.answers = {kRefused};
  EXPECT_FALSE(entry.DeleteIcon());
  EXPECT_FALSE(entry.added());
  EXPECT_THAT(shell.log, ElementsAre("fill", "add", "added", "fill", "add", "added", "delete"));
}

}  // namespace
}  // namespace tol
