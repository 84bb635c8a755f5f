#include "shared/ini_file.h"

#include "shared/fields.h"
#include "shared/file_io.h"
#include "shared/text.h"

namespace tol {

IniFile IniFile::Load(const FilePath& path) {
  const std::optional<std::string> bytes = ReadFileBytes(path);
  return bytes ? Parse(*bytes) : IniFile();
}

IniFile IniFile::Parse(std::string_view bytes) {
  IniFile ini;
  Section* section = nullptr;
  for (const std::string& raw : SplitLines(bytes)) {
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      section = &ini.FindOrAdd(Trim(line.substr(1, line.size() - 2)));
      continue;
    }
    if (section == nullptr) continue;
    Line entry;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      entry.key = std::string(line);
    } else {
      entry.entry = true;
      entry.key = std::string(Trim(line.substr(0, equals)));
      entry.value = std::string(Trim(line.substr(equals + 1)));
    }
    section->lines.push_back(std::move(entry));
  }
  return ini;
}

const IniFile::Section* IniFile::Find(std::string_view name) const {
  const auto it = index_.find(UpperCase(FlattenLines(name)));
  return it == index_.end() ? nullptr : &sections_[it->second];
}

IniFile::Section& IniFile::FindOrAdd(std::string_view name) {
  std::string flat = FlattenLines(name);
  const auto [it, added] = index_.emplace(UpperCase(flat), sections_.size());
  if (added) sections_.push_back(Section{std::move(flat), {}});
  return sections_[it->second];
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
  if (const Section* found = Find(section)) {
    const std::string flat_key = FlattenLines(key);
    for (const Line& line : found->lines) {
      if (line.entry && SameText(line.key, flat_key)) return line.value;
    }
  }
  return std::string(default_value);
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Section& target = FindOrAdd(section);
  std::string flat_key = FlattenLines(key);
  std::string flat_value = FlattenLines(value);
  for (Line& line : target.lines) {
    if (line.entry && SameText(line.key, flat_key)) {
      line.key = std::move(flat_key);
      line.value = std::move(flat_value);
      return;
    }
  }
  target.lines.push_back(Line{std::move(flat_key), std::move(flat_value), true});
}

bool IniFile::SectionExists(std::string_view section) const { return Find(section) != nullptr; }

std::string IniFile::Serialize() const {
  std::string bytes;
  for (const Section& section : sections_) {
    bytes += '[';
    bytes += section.name;
    bytes += "]\r\n";
    for (const Line& line : section.lines) {
      bytes += line.key;
      if (line.entry) {
        bytes += '=';
        bytes += line.value;
      }
      bytes += "\r\n";
    }
    bytes += "\r\n";
  }
  return bytes;
}

void IniFile::Save(const FilePath& path) const { WriteFileAtomic(path, Serialize()); }

}  // namespace tol
