#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <random>
#include <string>

#include "monitor/single_instance.h"

namespace tol {
namespace {

// Exit status of a child process that tries the lock: 0 taken, 1 refused.
int TryInChild(const std::string& name) {
  const pid_t pid = fork();
  if (pid == 0) _exit(SingleInstanceLock(name).acquired() ? 0 : 1);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SingleInstancePosixTest, OtherProcessesAndCrashedHolders) {
  std::random_device rd;
  const std::string name = "KovunTest-" + std::to_string(rd()) + std::to_string(rd());
  {
    SingleInstanceLock first(name);
    ASSERT_TRUE(first.acquired());
    EXPECT_EQ(TryInChild(name), 1);
  }
  EXPECT_EQ(TryInChild(name), 0);

  // A holder that ends without any clean-up leaves no lock behind.
  if (fork() == 0) _exit(SingleInstanceLock(name).acquired() ? 0 : 1);  // no destructor runs
  int status = 0;
  wait(&status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(SingleInstanceLock(name).acquired());
}

}  // namespace
}  // namespace tol
