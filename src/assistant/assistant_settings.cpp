#include "assistant/assistant_settings.h"

#include "assistant/fetch_run.h"
#include "shared/ini_file.h"
#include "shared/text.h"

namespace tol {

namespace {

constexpr std::string_view kPathKey = "Path";
constexpr std::string_view kNameKey = "Name";
constexpr std::string_view kTolMapKey = "TolMap";
constexpr std::string_view kHostKey = "Host";

// The full stops of code page 932 that sort after ".": "。", "．" and the
// half-width "｡".
constexpr std::string_view kFullStops[] = {"\x81\x42", "\x81\x44", "\xA1"};

}  // namespace

AssistantSettings LoadAssistantSettings(const FilePath& ini_path, std::string_view program_folder) {
  const IniFile ini = IniFile::Load(ini_path);
  AssistantSettings settings;
  settings.path = ini.ReadString(kSettingsSection, kPathKey, program_folder);
  settings.name = ini.ReadString(kSettingsSection, kNameKey, kDefaultFileNameText);
  settings.tolmap = ini.ReadString(kSettingsSection, kTolMapKey, "");
  settings.host = std::string(Trim(ini.ReadString(kSettingsSection, kHostKey, "")));
  if (settings.host.empty()) settings.host = std::string(kDefaultMapListHost);
  return settings;
}

void SaveAssistantSettings(const FilePath& ini_path, const AssistantSettings& settings) {
  UpdateIniFile(ini_path, [&settings](IniFile& ini) {
    ini.WriteString(kSettingsSection, kPathKey, settings.path);
    ini.WriteString(kSettingsSection, kNameKey, settings.name);
    ini.WriteString(kSettingsSection, kTolMapKey, settings.tolmap);
  });
}

FetchRunInputs RunInputsFrom(const AssistantSettings& settings, const FilePath& record_path) {
  FetchRunInputs inputs;
  inputs.out_folder = settings.path;
  inputs.file_name = settings.name;
  inputs.tolmap_folder = settings.tolmap;
  inputs.host = settings.host;
  inputs.record_path = record_path;
  return inputs;
}

std::string PreviewFileName(std::string_view name_text) {
  return std::string(kAssistantWorlds.front()) + std::string(name_text);
}

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  if (message.empty()) return text;
  std::size_t last = 0;
  for (std::size_t i = 0; i < message.size();) {
    last = i;
    const bool pair = IsLeadByte(static_cast<unsigned char>(message[i])) && i + 1 < message.size();
    i += pair ? 2 : 1;
  }
  const std::string_view last_character = message.substr(last);
  // A text that already ends with a full stop of its own (as the system's
  // Japanese reasons do: "。") gets no second one.
  for (const std::string_view stop : kFullStops) {
    if (last_character == stop) return text;
  }
  if (static_cast<unsigned char>(message[last]) > static_cast<unsigned char>('.')) text += '.';
  return text;
}

}  // namespace tol
