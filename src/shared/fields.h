#pragma once
// Comma fields and line splitting of the texts the services send.
//
// Both work on bytes: a comma, CR and LF are single bytes that can't be the
// second byte of a code page 932 character, so a byte search is right.

#include <string>
#include <string_view>
#include <vector>

namespace tol {

// The n-th comma-separated field of `line`, counted from 1 and taken as it
// stands (nothing trimmed, never a comma inside). Field n is the text between
// the (n-1)-th and the n-th comma; the last field runs to the end of the line.
// A field number beyond the last field gives the next-to-last field ("a,b,c"
// with n = 5 gives "b"); on a line without a comma that is the empty text.
// n <= 0 gives the empty text.
std::string ExtractField(std::string_view line, int n);

// Splits `text` into lines at CR LF, a lone CR or a lone LF. A line break at
// the very end starts no further line; every other line, an empty one
// included, is a line. The empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

// `text` with each line break (CR LF, a lone CR or a lone LF) replaced by one
// blank, so that it fits on one line of a line-based file.
std::string FlattenLines(std::string_view text);

}  // namespace tol
