// The code-page layer on arbitrary bytes, read as code page 932, as UTF-8 and
// as UTF-16 units.
//
// Invariants: decoding never grows the unit count past the byte count; what
// was decoded is written back and decoded again unchanged, except that each
// U+FFFD (a bad byte) comes back as "?"; the UTF-8 path agrees with the
// UTF-16 one.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "shared/codepage.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::u16string decoded = tol::Cp932ToUtf16(bytes);
  Check(decoded.size() <= bytes.size());
  const std::string written = tol::Utf16ToCp932(decoded);
  std::u16string expected = decoded;
  for (char16_t& u : expected) {
    if (u == 0xFFFD) u = u'?';
  }
  Check(tol::Cp932ToUtf16(written) == expected);
  Check(tol::Utf16ToCp932(expected) == written);
  Check(tol::Utf8ToCp932(tol::Cp932ToUtf8(bytes)) == written);

  // Arbitrary UTF-8: the result is code page 932 that reads without a bad byte.
  const std::string from_utf8 = tol::Utf8ToCp932(bytes);
  for (char16_t u : tol::Cp932ToUtf16(from_utf8)) Check(u != 0xFFFD);

  // Arbitrary UTF-16 units, lone surrogates included.
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  const std::string from_utf16 = tol::Utf16ToCp932(units);
  Check(from_utf16.size() <= units.size() * 2);
  for (char16_t u : tol::Cp932ToUtf16(from_utf16)) Check(u != 0xFFFD);
  return 0;
}
