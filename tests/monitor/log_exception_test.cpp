#include "monitor/log_exception.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "monitor/texts.h"
#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/file_io.h"
#include "shared/fixed_clock.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

using testing::TempDir;

const std::string kHead = Utf8ToCp932(" がモジュール kovun の %p で発生しました。");

TEST(LogExceptionTest, ReportText) {
  const std::string maru = Utf8ToCp932("。");
  struct Case {
    const char* name;
    std::string message;
    std::string expected_tail;
  } cases[] = {
      {"full stop added", "Disk full", "Disk full."},
      {"ends in full stop", "Disk full.", "Disk full."},
      {"ends in Japanese full stop", "abc" + maru, "abc" + maru},
      {"trail byte 0x81 then B",
       "\x88\x81"
       "B",
       "\x88\x81"
       "B."},
      {"empty", "", "."},
  };
  for (const Case& c : cases) {
    const std::string report = FailureReport("EOtherError", "kovun", 0xABCD, c.message);
    // The address takes the pointer's width.
    const std::string address = std::string(2 * sizeof(void*) - 4, '0') + "ABCD";
    EXPECT_EQ(report,
              "EOtherError" + FillText(kHead, {address}) + "\r\n" + c.expected_tail + "\r\n")
        << c.name;
  }
}

TEST(LogExceptionTest, ReportIsCutWithoutSplittingACharacter) {
  std::string message;
  for (int i = 0; i < 200; ++i) message += Utf8ToCp932("あ");
  for (const std::string& prefix : {std::string(), std::string("x")}) {
    const std::string report = FailureReport("E", "kovun", 0, prefix + message);
    EXPECT_LE(report.size(), 256u);
    EXPECT_GE(report.size(), 255u);
    // Ends on a whole "あ" (0x82 0xA0).
    EXPECT_EQ(report.substr(report.size() - 2), "\x82\xA0") << prefix;
  }
}

TEST(LogExceptionTest, ClassNames) {
  EXPECT_EQ(FailureClassName(std::make_exception_ptr(EFCreateError("x"))), "EFCreateError");
  EXPECT_EQ(FailureClassName(std::make_exception_ptr(std::runtime_error("x"))),
            "std::runtime_error");
  EXPECT_EQ(FailureClassName(std::make_exception_ptr(42)), "Exception");
  EXPECT_EQ(FailureMessage(std::make_exception_ptr(EOtherError("lost"))), "lost");
}

TEST(LogExceptionTest, RecordUnderErrorKeyedByTime) {
  TempDir dir;
  FixedClock clock(*DateTime::FromFields({2005, 2, 7, 21, 5, 0, 0}));
  int beeps = 0;
  // The log is named after the program, beside the settings file.
  const struct {
    const char* module;
    const char* log;
  } names[] = {{"kovun", "kovun_error.txt"},
               {"kovun.exe", "kovun_error.txt"},
               {"kovun2.exe", "kovun2_error.txt"},
               {"my.kovun.exe", "my.kovun_error.txt"}};
  for (const auto& n : names) {
    EXPECT_EQ(ErrorLogPathFor(dir.PathOf("kovun.ini"), FilePath::FromText(n.module)),
              dir.PathOf(n.log))
        << n.module;
  }
  // Only the module's file name counts.
  EXPECT_EQ(ErrorLogPathFor(dir.PathOf("kovun.ini"), FilePath::FromText("/a.b/kovun")),
            dir.PathOf("kovun_error.txt"));
  const ErrorLog log{ErrorLogPathFor(dir.PathOf("kovun.ini"), FilePath::FromText("kovun")),
                     "kovun",
                     &clock,
                     [&] { ++beeps; },
                     {}};

  LogException(log, std::make_exception_ptr(EOtherError("first")));
  LogException(log, std::make_exception_ptr(EOtherError("second")));  // same second
  clock.Advance(1000);
  LogException(log, std::make_exception_ptr(EFCreateError("third.")));
  EXPECT_EQ(beeps, 3);

  // Line breaks of a report reach the file as blanks, one record per line.
  std::string bytes = TempDir::Read(TempDir::FsPath(log.log_path));
  const std::string module = Utf8ToCp932(" がモジュール kovun の ");
  const std::string tail = Utf8ToCp932(" で発生しました。");
  const std::size_t width = 2 * sizeof(void*);
  for (std::size_t at = bytes.find(module); at != std::string::npos;
       at = bytes.find(module, at + 1)) {
    const std::string address = bytes.substr(at + module.size(), width);
    EXPECT_EQ(address.find_first_not_of("0123456789ABCDEF"), std::string::npos) << address;
    bytes.replace(at + module.size(), address.size(), "@");
  }
  EXPECT_EQ(bytes, "[Error]\r\n2005/02/07 21:05:00=EOtherError" + module + "@" + tail +
                       " second. \r\n2005/02/07 21:05:01=EFCreateError" + module + "@" + tail +
                       " third. \r\n");
}

TEST(LogExceptionTest, UnwritableLogIsToldAndNeverReplaced) {
  TempDir dir;
  FixedClock clock;
  int beeps = 0;
  std::vector<std::string> told;
  auto make_log = [&](const std::string& path) {
    return ErrorLog{FilePath::FromText(path), "kovun", &clock, [&] { ++beeps; },
                    [&](const std::string& report) { told.push_back(report); }};
  };
  // A folder that doesn't exist.
  const ErrorLog missing = make_log(dir.File("missing") + "/kovun_error.txt");
  LogException(missing, std::make_exception_ptr(EOtherError("x")));
  EXPECT_EQ(beeps, 1);
  EXPECT_FALSE(std::filesystem::exists(TempDir::FsPath(missing.log_path)));
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("EOtherError"), std::string::npos);

  // A log that exists but can't be read (over the read cap) keeps its
  // records: the new one is not written over them.
  const ErrorLog big = make_log(dir.File("big_error.txt"));
  const std::filesystem::path big_file = TempDir::FsPath(big.log_path);
  TempDir::Write(big_file, "[Error]\r\nolder=record\r\n");
  std::filesystem::resize_file(big_file, kMaxFileBytes + 1);
  LogException(big, std::make_exception_ptr(EOtherError("y")));
  EXPECT_EQ(std::filesystem::file_size(big_file), kMaxFileBytes + 1);
  EXPECT_EQ(TempDir::Read(big_file).substr(0, 23), "[Error]\r\nolder=record\r\n");
  EXPECT_EQ(told.size(), 2u);

  // A beep that fails doesn't stop the record either.
  const ErrorLog noisy{dir.PathOf("e.txt"), "kovun", &clock, [] { throw EOtherError("no"); }, {}};
  LogException(noisy, std::make_exception_ptr(EOtherError("x")));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "e.txt"));
}

}  // namespace
}  // namespace tol
