#include "assistant/output_folder.h"

#include "assistant/texts.h"
#include "shared/text.h"

namespace tol {

namespace {

// Whether the text ends with a separator of its own, not with the second
// byte of a double-byte character (0x5C follows many lead bytes: "表").
bool EndsWithSeparator(std::string_view text) {
  bool separator = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    separator = text[i] == '\\' || text[i] == '/';
    if (IsLeadByte(static_cast<unsigned char>(text[i]))) ++i;
  }
  return separator;
}

}  // namespace

std::string FolderEditText(std::string_view exact_text) {
  std::string text(exact_text);
  if (!text.empty() && !EndsWithSeparator(text)) text += '\\';
  return text;
}

OutputFolderDefault DefaultOutputFolder(const std::optional<std::string>& program_folder,
                                        const std::optional<std::string>& working_folder) {
  if (program_folder && !program_folder->empty()) return {FolderEditText(*program_folder), {}};
  if (working_folder && !working_folder->empty()) {
    const std::string path = FolderEditText(*working_folder);
    std::string line = kOutFolderIsWorkingFolderText.bytes();
    line.replace(line.find("%1"), 2, path);
    return {path, line};
  }
  return {std::string(), std::string(kOutFolderUnnamedText.bytes())};
}

}  // namespace tol
