// Two copies of the monitor (MultiApp=1) appending to one history log: the
// rotation happens once between them, so no generation is lost. POSIX: the
// test takes the lock a copy takes (flock) to stand in for the other copy.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <exception>
#include <filesystem>
#include <string>
#include <thread>

#include "monitor/history.h"
#include "shared/append_file.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

using testing::TempDir;

class HistoryRotationPosixTest : public ::testing::Test {
 protected:
  TempDir temp_;
};

TEST_F(HistoryRotationPosixTest, TwoCopiesRotateOnceBetweenThem) {
  const std::string path = temp_.File("history.csv");
  const std::string big(kHistoryRotateBytes - 1, 'a');
  TempDir::Write(path, big);
  // Copy A holds the file's lock in the middle of its rotation while copy B
  // wants to rotate the same full file.
  const int a = ::open(path.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(a, LOCK_EX), 0);
  std::exception_ptr b_failure;
  std::thread b([&] {
    b_failure = AppendLines(TempDir::PathFrom(path), kHistoryHeader, "b\r\n", kHistoryRotateBytes);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::filesystem::rename(path, path + ".1");
  TempDir::Write(path, std::string(kHistoryHeader) + "a\r\n");
  ::flock(a, LOCK_UN);
  ::close(a);
  b.join();
  EXPECT_FALSE(b_failure);
  // A's generation kept, B's line in the new file.
  EXPECT_EQ(std::filesystem::file_size(path + ".1"), big.size());
  EXPECT_EQ(TempDir::Read(path), std::string(kHistoryHeader) + "a\r\nb\r\n");
}

}  // namespace
}  // namespace tol
