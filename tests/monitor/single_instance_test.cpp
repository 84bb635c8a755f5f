#include "monitor/single_instance.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

namespace tol {
namespace {

// A name of this test run only, so a running monitor doesn't interfere.
std::string TestLockName() {
  std::random_device rd;
  return "KovunTest-" + std::to_string(rd()) + std::to_string(rd());
}

TEST(SingleInstanceTest, HeldExactlyAsLongAsTheFirstHolderLives) {
  const std::string name = TestLockName();
  std::optional<SingleInstanceLock> first(std::in_place, name);
  EXPECT_TRUE(first->acquired());
  {
    SingleInstanceLock second(name);
    EXPECT_FALSE(second.acquired());
  }
  // A refused attempt takes nothing away from the holder.
  EXPECT_FALSE(SingleInstanceLock(name).acquired());
  EXPECT_TRUE(SingleInstanceLock(TestLockName()).acquired());
  first.reset();
  SingleInstanceLock third(name);
  EXPECT_TRUE(third.acquired());
}

}  // namespace
}  // namespace tol
