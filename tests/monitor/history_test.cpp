#include "monitor/history.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "shared/append_file.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

using testing::TempDir;

const DateTime kStart = *DateTime::FromFields({2026, 12, 9, 21, 5, 0, 0});

TEST(HistoryRingTest, KeepsAtMostItsHoursAndItsCapacity) {
  struct Case {
    int32_t hours;
    int64_t spacing_ms;
    int polls;
    std::size_t kept;
  } cases[] = {
      {24, 180000, 100, 100},                       // all within the hours
      {1, 600000, 20, 7},                           // the last hour: 0, 10, ... 60 minutes back
      {1, 1000, 1000, kMaxPollsPerHour},            // fast polls: the capacity
      {168, 1000, 20000, 168u * kMaxPollsPerHour},  // the most it ever holds
      {0, 1000, 100, kMaxPollsPerHour},             // out of range: at least an hour
      {100000, 1000, 20000, 168u * kMaxPollsPerHour},
  };
  for (const Case& c : cases) {
    HistoryRing ring(c.hours);
    HistoryPoll poll;
    for (int i = 0; i < c.polls; ++i) {
      poll.time = DateTime::FromMilliseconds(kStart.milliseconds() + i * c.spacing_ms);
      poll.cells[0].connect_time = i;
      ring.Add(poll);
    }
    ASSERT_EQ(ring.size(), c.kept) << c.hours << " " << c.spacing_ms;
    // The newest is kept, oldest first.
    EXPECT_EQ(ring[ring.size() - 1].cells[0].connect_time, c.polls - 1);
    EXPECT_EQ(ring[0].cells[0].connect_time, c.polls - static_cast<int>(c.kept));
  }
}

TEST(HistoryCsvTest, OneLinePerServer) {
  ObservedServers servers;
  for (ObservedServer& s : servers) s = {true, "GameServer01", "Good", 2, 2, 1000};
  servers[0] = {true, "LoginServer", "Good", 1, 2, 30000};
  servers[1] = {};  // no line for the patch server
  servers[6] = {true, "GameServer03", "Say \"hi\"", 0, 2, 0};
  const HistoryPoll poll = MakeHistoryPoll(kStart, 0, &servers, 25000);
  const std::string lines = HistoryCsvLines(poll, 540, "Arvel", &servers, "PatchServerFV2");
  std::vector<std::string> split;
  for (std::size_t at = 0; at < lines.size();) {
    const std::size_t end = lines.find("\r\n", at);
    split.push_back(lines.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_EQ(split.size(), 19u);
  EXPECT_EQ(split[0], "2026-12-09T21:05:00+09:00,Arvel,LoginServer,Good,1,2,30000,slow");
  EXPECT_EQ(split[1], "2026-12-09T21:05:00+09:00,Arvel,PatchServerFV2,,,,,down");
  EXPECT_EQ(split[6], "2026-12-09T21:05:00+09:00,Arvel,GameServer03,\"Say \"\"hi\"\"\",0,2,0,down");
  EXPECT_EQ(split[4], "2026-12-09T21:05:00+09:00,Arvel,GameServer01,Good,2,2,1000,up");

  const HistoryPoll outage = MakeHistoryPoll(kStart, 0, nullptr, 25000);
  const std::string down = HistoryCsvLines(outage, -90, "Arvel", nullptr, "PatchServerFV1");
  EXPECT_EQ(down.substr(0, down.find("\r\n")),
            "2026-12-09T21:05:00-01:30,Arvel,LoginServer,,,,,unreachable");
}

class HistoryFileTest : public ::testing::Test {
 protected:
  std::vector<std::string> failures_;
  HistoryFile::FailureHandler OnFailure() {
    return [this](std::exception_ptr failure) {
      try {
        std::rethrow_exception(failure);
      } catch (const std::exception& e) {
        failures_.push_back(e.what());
      }
    };
  }
  TempDir temp_;
};

TEST_F(HistoryFileTest, HeaderOnceLinesAppendedTornLineDropped) {
  const std::string path = temp_.File("history.csv");
  {
    HistoryFile file(TempDir::PathFrom(path));
    file.Open(OnFailure());  // no file yet: nothing to repair
    file.Append("a\r\n", OnFailure());
    file.Append("b\r\n", OnFailure());
  }
  EXPECT_EQ(TempDir::Read(path), std::string(kHistoryHeader) + "a\r\nb\r\n");

  // A crash in the middle of a line, even between CR and LF; a torn line
  // longer than the part of the file read at once; the NUL bytes a power cut
  // leaves where the file grew but its data never reached the disk.
  for (const std::string& torn :
       {std::string("c,partial"), std::string("c\r"), std::string(200000, 'x'),
        std::string(4096, '\0'), std::string("c,par") + std::string(70000, '\0')}) {
    TempDir::Write(path, std::string(kHistoryHeader) + "a\r\n" + torn);
    HistoryFile file(TempDir::PathFrom(path));
    file.Open(OnFailure());
    file.Append("d\r\n", OnFailure());
    EXPECT_EQ(TempDir::Read(path), std::string(kHistoryHeader) + "a\r\nd\r\n") << torn.size();
  }
  // A file that is one torn line: emptied, and started again with the header.
  TempDir::Write(path, "tim");
  HistoryFile file(TempDir::PathFrom(path));
  file.Open(OnFailure());
  file.Append("e\r\n", OnFailure());
  EXPECT_EQ(TempDir::Read(path), std::string(kHistoryHeader) + "e\r\n");
  EXPECT_TRUE(failures_.empty());
}

TEST_F(HistoryFileTest, RotatesToOneOlderFile) {
  const std::string path = temp_.File("history.csv");
  const std::string big(kHistoryRotateBytes - 10, 'x');
  TempDir::Write(path + ".1", "oldest");
  TempDir::Write(path, big);
  HistoryFile file(TempDir::PathFrom(path));
  file.Append("0123456789\r\n", OnFailure());  // 12 bytes: past the limit
  EXPECT_EQ(TempDir::Read(path), std::string(kHistoryHeader) + "0123456789\r\n");
  EXPECT_EQ(std::filesystem::file_size(path + ".1"), big.size());
  file.Append("more\r\n", OnFailure());
  EXPECT_EQ(std::filesystem::file_size(path + ".1"), big.size());
}

TEST_F(HistoryFileTest, UnwritableFileReportedOnceUntilItWorksAgain) {
  const std::string folder = temp_.File("gone");
  const std::string path = folder + "/history.csv";
  HistoryFile file(TempDir::PathFrom(path));
  file.Open(OnFailure());  // a missing folder has no file to repair
  for (int i = 0; i < 3; ++i) file.Append("x\r\n", OnFailure());
  EXPECT_EQ(failures_.size(), 1u);
  std::filesystem::create_directory(folder);
  file.Append("y\r\n", OnFailure());
  EXPECT_EQ(TempDir::Read(path), std::string(kHistoryHeader) + "y\r\n");
  std::filesystem::remove_all(folder);
  file.Append("z\r\n", OnFailure());
  file.Append("z\r\n", OnFailure());
  EXPECT_EQ(failures_.size(), 2u);
}

TEST_F(HistoryFileTest, FailedRotationKeepsTheLogAndIsToldOnce) {
  const std::string path = temp_.File("history.csv");
  const std::string big(kHistoryRotateBytes - 10, 'x');
  TempDir::Write(path, big);
  // Something the file can't be renamed over (on Windows: a reader that
  // holds the file).
  std::filesystem::create_directories(path + ".1/in-the-way");
  HistoryFile file(TempDir::PathFrom(path));
  for (int i = 0; i < 3; ++i) file.Append("line\r\n", OnFailure());
  EXPECT_EQ(TempDir::Read(path), big + "line\r\nline\r\nline\r\n");
  EXPECT_EQ(failures_.size(), 1u);
  std::filesystem::remove_all(path + ".1");
  file.Append("next\r\n", OnFailure());
  EXPECT_EQ(TempDir::Read(path), std::string(kHistoryHeader) + "next\r\n");
  EXPECT_EQ(std::filesystem::file_size(path + ".1"), big.size() + 18);
  EXPECT_EQ(failures_.size(), 1u);
}

}  // namespace
}  // namespace tol
