#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "shared/sjis.h"

namespace tol {
namespace {

// Spelled like a program's texts header.
inline const SjisText kUpdated{" => 更新済み"};
inline const SjisText kDone{" => 更新完了"};
inline const SjisText kRunEnd{"= 取得終了 ="};
inline const SjisText kCannotWrite{"%s に書き込めません"};

TEST(SjisTextTest, BytesAreCodePage932) {
  struct Case {
    const SjisText& text;
    std::string bytes;
  } cases[] = {
      {kUpdated, "\x20\x3D\x3E\x20\x8D\x58\x90\x56\x8D\xCF\x82\xDD"},
      {kDone, "\x20\x3D\x3E\x20\x8D\x58\x90\x56\x8A\xAE\x97\xB9"},
      {kRunEnd, "\x3D\x20\x8E\xE6\x93\xBE\x8F\x49\x97\xB9\x20\x3D"},
      {kCannotWrite,
       "\x25\x73\x20\x82\xC9\x8F\x91\x82\xAB\x8D\x9E\x82\xDF\x82\xDC\x82\xB9\x82\xF1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.text.bytes(), c.bytes) << c.text.utf8();
  }
}

TEST(SjisTextTest, ConvertsOnceForAllThreads) {
  static const SjisText text{"表ソ"};
  std::vector<const std::string*> seen(4);
  std::vector<std::thread> threads;
  for (auto& slot : seen) {
    threads.emplace_back([&slot] { slot = &text.bytes(); });
  }
  for (auto& thread : threads) thread.join();
  for (const std::string* bytes : seen) {
    EXPECT_EQ(bytes, seen[0]);
  }
  EXPECT_EQ(*seen[0], "\x95\x5C\x83\x5C");
}

}  // namespace
}  // namespace tol
