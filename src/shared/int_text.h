#pragma once
// Integer text of the settings files and the status service.
//
// The form: optional leading blanks (spaces and tabs), an optional "+" or
// "-", then decimal digits, or hexadecimal digits after one of the prefixes
// "$", "x", "X", "0x", "0X".
//
// Decimal text must fit a 32-bit signed integer. Hexadecimal text may reach
// 0xFFFFFFFF and gives the 32-bit two's complement value of its digits, so
// that colour values with a top byte of $FF read as written: $FF00000F is
// -16777201, the same 32 bits. A minus sign before hexadecimal digits negates
// that 32-bit value (modulo 2^32: "-$1" is -1, "-$FFFFFFFF" is 1).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tol {

// The value of `text` when all of it is integer text as above; nothing may
// follow the digits, not even a blank. Any other text, the empty one
// included, gives no value.
std::optional<int32_t> StrToIntStrict(std::string_view text);

// The leading integer of `text`: read by the same rules, but reading stops at
// the first character that doesn't belong to the number and the digits read
// up to there give the value. A text without leading digits gives 0, and so
// does a sign or prefix followed by no digit ("-", "$", "0xg").
// A number too long for 32 bits stops before the digit that would overflow:
// decimal "99999999999" gives 999999999, "-2147483649" gives -214748364, and
// hexadecimal "$123456789" gives $12345678.
int32_t LeadingInt(std::string_view text);

// Decimal text of `value`, with a "-" when negative.
std::string IntToText(int64_t value);

}  // namespace tol
