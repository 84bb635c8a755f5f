// POSIX side of file_path.h: a path made from text is its UTF-8 form.

#include "shared/codepage.h"
#include "shared/file_path.h"

namespace tol {

PathString SystemFormOf(std::string_view cp932) { return Cp932ToUtf8(cp932); }

std::string TextOf(const PathString& system) { return Utf8ToCp932(system); }

std::optional<std::string> FilePath::ExactText() const {
  std::string text = Text();
  if (SystemFormOf(text) != system_) return std::nullopt;
  return text;
}

}  // namespace tol
