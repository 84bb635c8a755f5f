#include "shared/append_file.h"

namespace tol {

std::size_t TornTailLength(std::string_view text) {
  const std::size_t last_break = text.rfind('\n');
  return last_break == std::string_view::npos ? text.size() : text.size() - last_break - 1;
}

}  // namespace tol
