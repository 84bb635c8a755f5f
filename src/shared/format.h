#pragma once
// The template language of the monitor's export lines (Format1 and Format2).
//
// A template is copied unchanged except for "%%", which gives one "%", and
// placeholders of the form
//
//   "%" [index ":"] ["-"] [width] ["." precision] type
//
//   index      number of the argument, counted from 0. Without one, a
//              placeholder takes the argument after the one the previous
//              placeholder took (the first takes argument 0); an explicit
//              index moves that position too, so "%2:s %s" takes 2, then 3.
//   "-"        pad on the right instead of the left.
//   width      minimum width in bytes, padded with blanks.
//   precision  d, u, x: minimum number of digits, padded with zeros (a minus
//              sign doesn't count). s: maximum number of bytes, never cutting
//              a double-byte character in half. A "." without a number is 0.
//   type       case-insensitive: d (decimal), u (decimal of the value taken as
//              unsigned 32-bit), x (upper-case hexadecimal of the 32-bit two's
//              complement value), s (text).
//
// Index, width and precision may each be "*": the value is then the integer
// argument at the current position, which moves on by one. A negative "*"
// width left-justifies with its absolute value; a negative "*" precision
// counts as none.
//
// Conversion failure (EConvertError): a type letter other than d, u, x, s; a
// type that doesn't fit its argument (d, u, x for a text, s for an integer);
// an argument position past the last argument, or a "*" whose argument is a
// text; a width, precision or index above kMaxFormatPiece (a number with many
// digits included). A placeholder cut short by the end of the template is no
// failure: the output ends where it began. The template is read left to
// right, so a failure met before the end (a "*" on a text, a number that is
// too big) still counts in a placeholder cut short after it.
//
// Output bound: a placeholder gives at most max(kMaxFormatPiece, length of
// its text argument) bytes, and every other template byte at most one byte,
// so the output stays linear in the template's length. No single placeholder
// can ask for a huge allocation.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace tol {

// An argument: an integer or a code page 932 text.
using FormatArg = std::variant<int32_t, std::string>;

// The largest width, precision or index a placeholder may carry (64 KiB).
inline constexpr int64_t kMaxFormatPiece = 65536;

std::string FormatTemplate(std::string_view tmpl, std::span<const FormatArg> args);

}  // namespace tol
