#include "monitor/export.h"

#include <array>

#include "monitor/texts.h"
#include "shared/errors.h"
#include "shared/file_io.h"
#include "shared/format.h"

namespace tol {

std::string Format1Line(std::string_view format1, const ServerStatus& s) {
  const std::array<FormatArg, 7> args = {s.line_number,   s.key,         s.label,       s.status,
                                         s.success_count, s.check_count, s.connect_time};
  return FormatTemplate(format1, args);
}

std::string Format2Line(std::string_view format2, std::string_view tag, std::string_view value) {
  const std::array<FormatArg, 2> args = {std::string(tag), std::string(value)};
  return FormatTemplate(format2, args);
}

std::string ExportFilePath(const KovunSettings& settings) {
  return settings.export_path + settings.export_name;
}

std::string ExportFileBytes(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

void WriteExportFile(const std::string& path, const std::vector<std::string>& lines) {
  try {
    WriteFileAtomic(FilePath::FromText(path), ExportFileBytes(lines));
  } catch (const EFCreateError& e) {
    throw EFCreateError(FillText(kCannotCreateFileText.bytes(), {path, e.what()}));
  }
}

}  // namespace tol
