#pragma once
// The output folder's text when the assistant's own folder has no name that
// code page 932 can spell.
//
// The three texts of the window are code page 932, so a folder enters them
// by its exact text (FilePath::ExactText: its own name, or its short 8.3
// name when the volume keeps one that code page 932 can spell). A folder
// with neither can't be written into a text: a lossy "?" spelling would name
// no folder and make every run fail. This unit decides what the window puts
// in such a case; the window only asks the system for the exact texts.

#include <optional>
#include <string>
#include <string_view>

namespace tol {

// The edit's text for a folder's exact text: the text and a trailing "\",
// unless it already ends with one (a drive root "C:\", a folder part).
std::string FolderEditText(std::string_view exact_text);

struct OutputFolderDefault {
  std::string path;      // the default of [Zoneroll.exe] Path
  std::string log_line;  // empty, or a line for the run log telling why
};

// The default of the output folder from the exact texts of the program's
// folder and of the working directory (nullopt: no text names it):
// - the program's folder when it has one;
// - else the working directory, named by its text, with a log line;
// - else empty (the files go to the working directory by their bare names),
//   with a log line asking for a folder.
OutputFolderDefault DefaultOutputFolder(const std::optional<std::string>& program_folder,
                                        const std::optional<std::string>& working_folder);

}  // namespace tol
