#include "components/color.h"

#include <gtest/gtest.h>

namespace tol {
namespace {

TEST(ColorTest, SystemColoursAreLookedUpByTheirLowByte) {
  // A stand-in for the desktop's table: colour number n is $00n0n0n.
  const auto system_color = [](int index) { return 0x00010101u * static_cast<uint32_t>(index); };
  struct Case {
    uint32_t color;
    uint32_t resolved;
  };
  const Case cases[] = {
      {0x00123456, 0x00123456},  // a plain colour stays
      {0xFF00000F, 0x000F0F0F},  // the button face
      {0xFF000008, 0x00080808},  // window text
      {0xFFABCD05, 0x00050505},  // only the low byte names the colour
      {0x01123456, 0x00123456},  // another top byte is dropped
      {0xFE000005, 0x00000005},  // and is no system colour
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveColor(c.color, system_color), c.resolved) << std::hex << c.color;
  }
  // A lookup that answers with a top byte of its own doesn't leak it.
  EXPECT_EQ(ResolveColor(0xFF000001, [](int) { return 0xFF00FF00u; }), 0x0000FF00u);
}

}  // namespace
}  // namespace tol
