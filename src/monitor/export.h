#pragma once
// The export lines of a poll and the export file that carries them.

#include <string>
#include <string_view>
#include <vector>

#include "monitor/status.h"

namespace tol {

// One line per status line from Format1, with the arguments 0 line number,
// 1 key, 2 short label, 3 status word, 4 success count, 5 check count,
// 6 connect time. Raises EConvertError when the template doesn't fit.
std::string Format1Line(std::string_view format1, const ServerStatus& s);

// One of the three closing lines from Format2: argument 0 the tag ("Update",
// "Average", "Server"), argument 1 the value, both texts. Raises EConvertError
// when the template doesn't fit.
std::string Format2Line(std::string_view format2, std::string_view tag, std::string_view value);

// [status.txt] Path + Name, joined as they stand (no separator added).
std::string ExportFilePath(const KovunSettings& settings);

// The file's bytes: every line followed by CR LF.
std::string ExportFileBytes(const std::vector<std::string>& lines);

// Creates or replaces the file that the text `path` (code page 932) names
// (FilePath::FromText) with the lines, atomically. A file that can't be
// created raises EFCreateError with the message "ファイル "<path>". <reason> を作成できません".
void WriteExportFile(const std::string& path, const std::vector<std::string>& lines);

}  // namespace tol
