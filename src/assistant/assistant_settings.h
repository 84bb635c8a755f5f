#pragma once
// The assistant's settings: section "Zoneroll.exe" of Zoneroll.ini in the
// working directory (the literal name, whatever the program is called).
//
// | Key    | Holds                      | Default                          |
// | Path   | output folder text         | the program's folder, passed in  |
// | Name   | file name text             | ".ini"                           |
// | TolMap | folder text of TolMap.ini  | empty                            |
// | Host   | map-list host[:port]       | kDefaultMapListHost; read only   |
//
// A key saved with an empty value loads as empty; the default applies only to
// a missing file, section or key. Host is the exception: an empty or blank
// Host names no server and reads as the default. Saving writes Path, Name and
// TolMap only; everything else in the file (Host, section "Update", other
// sections, their order) stays as it stands.

#include <string>
#include <string_view>

#include "assistant/fetch_run.h"

namespace tol {

inline constexpr std::string_view kApplicationTitle = "Kovun Zoneroll Assistant";
inline constexpr std::string_view kSettingsFileName = "Zoneroll.ini";
inline constexpr std::string_view kSettingsSection = "Zoneroll.exe";
inline constexpr std::string_view kDefaultFileNameText = ".ini";
// The map-list service, the one place this host is written.
inline constexpr std::string_view kDefaultMapListHost = "iplist.tolvane.example";

struct AssistantSettings {
  std::string path;    // output folder text, as the user typed it
  std::string name;    // file name text
  std::string tolmap;  // folder text of TolMap.ini
  std::string host;    // read only: never saved
};

// `program_folder` is the default of Path, used as it stands (the caller ends
// it with a path separator).
AssistantSettings LoadAssistantSettings(const FilePath& ini_path, std::string_view program_folder);

// Reads the file afresh, sets Path, Name and TolMap, and replaces it whole
// (created when missing). EFCreateError naming the file when it can't be
// written.
void SaveAssistantSettings(const FilePath& ini_path, const AssistantSettings& settings);

// The inputs of a fetch run from the settings, with the update record at
// `record_path`.
FetchRunInputs RunInputsFrom(const AssistantSettings& settings, const FilePath& record_path);

// The output file name preview: the first world followed by the file name
// text ("arvel.ini" for ".ini", "arvel" for the empty text).
std::string PreviewFileName(std::string_view name_text);

// The text of the error box for a failure's message: a full stop is appended
// when the last character sorts after "." in code page 932. The last
// character is found by stepping through the text from its start, a lead byte
// taking the byte behind it along, so a double-byte character counts by its
// lead byte (always after "."), never by its second byte alone.
// A text that ends with a full stop of its own ("。", "．", "｡") gets none.
std::string ErrorBoxText(std::string_view message);

}  // namespace tol
