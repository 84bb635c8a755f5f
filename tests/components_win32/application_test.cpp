#include "components/win32/application.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tol {
namespace {

TEST(ApplicationTest, MinimizeChainRunsInJoinOrderAndLetsHandlersLeave) {
  Application application;
  std::vector<std::string> calls;
  std::optional<HandlerLink> third;
  HandlerLink first = application.JoinMinimize([&] { calls.push_back("first"); });
  HandlerLink second = application.JoinMinimize([&] {
    calls.push_back("second");
    third.reset();  // leaves before its turn comes
    // Joins now, heard from the next notification on.
    static_cast<void>(application.JoinMinimize([&] { calls.push_back("late"); }));
  });
  third = application.JoinMinimize([&] { calls.push_back("third"); });
  HandlerLink fourth = application.JoinMinimize([&] { calls.push_back("fourth"); });

  application.NotifyMinimized();
  EXPECT_TRUE(application.minimized());
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "second", "fourth"}));

  // Leaving out of the order of joining keeps the others.
  calls.clear();
  first.Reset();
  HandlerLink moved = std::move(fourth);
  application.NotifyMinimized();
  EXPECT_EQ(calls, (std::vector<std::string>{"second", "fourth"}));
  EXPECT_FALSE(first.joined());
  EXPECT_TRUE(moved.joined());
}

TEST(ApplicationTest, RestoreChainIsSeparate) {
  Application application;
  int minimized = 0, restored = 0;
  HandlerLink on_minimize = application.JoinMinimize([&] { ++minimized; });
  HandlerLink on_restore = application.JoinRestore([&] { ++restored; });
  application.NotifyMinimized();
  application.NotifyRestored();
  EXPECT_FALSE(application.minimized());
  EXPECT_EQ(minimized, 1);
  EXPECT_EQ(restored, 1);
}

TEST(ApplicationTest, LinkMayOutliveTheApplication) {
  HandlerLink link;
  {
    Application application;
    link = application.JoinRestore([] {});
    EXPECT_TRUE(link.joined());
  }
  EXPECT_FALSE(link.joined());
  link.Reset();
}

TEST(ApplicationTest, FailuresReachTheHandlerAndOthersStillRun) {
  Application application;
  std::vector<std::string> failures;
  application.set_failure_handler([&](std::exception_ptr failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      failures.push_back(e.what());
    }
  });
  bool later_ran = false;
  HandlerLink failing =
      application.JoinMinimize([] { throw std::runtime_error("icon can't be added"); });
  HandlerLink later = application.JoinMinimize([&] { later_ran = true; });
  application.NotifyMinimized();
  EXPECT_TRUE(later_ran);
  EXPECT_EQ(failures, std::vector<std::string>{"icon can't be added"});
}

TEST(ApplicationTest, NothingEscapesReportFailure) {
  struct Case {
    const char* name;
    bool failing_handler;
  };
  for (const Case& c : {Case{"no handler", false}, Case{"handler throws", true}}) {
    Application application;
    if (c.failing_handler) {
      application.set_failure_handler([](std::exception_ptr) { throw std::logic_error("x"); });
    }
    // Anything escaping would end the program here.
    application.RunGuarded([] { throw std::runtime_error("lost"); });
    SUCCEED() << c.name;
  }
}

TEST(ApplicationTest, TitleFromCodePage932) {
  Application application;
  application.SetTitle("Kovun \x8a\xc4\x8e\x8b");  // "Kovun 監視"
  EXPECT_EQ(application.title(), L"Kovun \u76e3\u8996");
}

}  // namespace
}  // namespace tol
