#pragma once
// The programs' own Japanese texts. Each program keeps its texts in one
// header, written as UTF-8 literals and used as code page 932 bytes like
// every other text inside the programs:
//
//   inline const SjisText kUpdatedSuffix{" => 更新済み"};
//   ...
//   line += kUpdatedSuffix.bytes();
//
// The conversion goes through the code-page layer rather than the compiler's
// execution character set, so every compiler of the build (g++, MinGW g++,
// clang for the fuzz build) produces the same bytes.

#include <mutex>
#include <string>
#include <string_view>

#include "shared/codepage.h"

namespace tol {

// The literals below must reach the program as UTF-8.
static_assert(std::string_view("\u3042") == "\xE3\x81\x82",
              "compile with UTF-8 source and execution character sets");

// One text of a program: a UTF-8 literal, converted to code page 932 once, on
// its first use, from whichever thread comes first.
//
// The constructor is constexpr and stores only the literal, so a text
// declared at namespace scope is ready before any code runs, and the bytes
// are never freed, so a text also stays usable from destructors at exit.
class SjisText {
 public:
  constexpr explicit SjisText(std::string_view utf8) : utf8_(utf8) {}
  SjisText(const SjisText&) = delete;
  SjisText& operator=(const SjisText&) = delete;

  // The text in code page 932. A character code page 932 can't hold would
  // come out as "?"; the programs' texts hold none.
  const std::string& bytes() const {
    std::call_once(once_, [this] { bytes_ = new std::string(Utf8ToCp932(utf8_)); });
    return *bytes_;
  }

  std::string_view utf8() const { return utf8_; }

 private:
  std::string_view utf8_;
  mutable std::once_flag once_;
  mutable const std::string* bytes_ = nullptr;
};

}  // namespace tol
