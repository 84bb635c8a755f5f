#include "shared/profile_ini.h"

#include "shared/errors.h"
#include "shared/fields.h"
#include "shared/file_io.h"
#include "shared/int_text.h"
#include "shared/text.h"

namespace tol {

namespace {

// The form in which a section or key name is looked up and written.
std::string NameOf(std::string_view name) { return std::string(Trim(FlattenLines(name))); }

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(CutToBytes(value, ProfileIni::kMaxValueBytes));
}

}  // namespace

ProfileIni::Line ProfileIni::MakeLine(std::string text, std::string eol) {
  Line line;
  line.text = std::move(text);
  line.eol = std::move(eol);
  const std::string_view content = Trim(line.text);
  if (content.empty() || content.front() == ';') return line;
  if (content.front() == '[') {
    const std::size_t close = content.rfind(']');
    if (close != 0 && close != std::string_view::npos) {
      line.kind = Kind::kSection;
      line.name = std::string(Trim(content.substr(1, close - 1)));
      return line;
    }
  }
  line.kind = Kind::kKey;
  const std::size_t equals = content.find('=');
  line.name = std::string(Trim(content.substr(0, equals)));
  if (equals != std::string_view::npos) line.value = std::string(Trim(content.substr(equals + 1)));
  return line;
}

ProfileIni ProfileIni::Load(const FilePath& path) {
  const std::optional<std::string> bytes = ReadFileBytes(path);
  return bytes ? Parse(*bytes) : ProfileIni();
}

ProfileIni ProfileIni::LoadForUpdate(const FilePath& path) {
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (bytes) return Parse(*bytes);
  if (FileExists(path)) throw EOtherError("The file " + path.Text() + " exists but can't be read");
  return ProfileIni();
}

ProfileIni ProfileIni::Parse(std::string_view bytes) {
  ProfileIni ini;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    std::size_t next = end;
    if (end == std::string_view::npos) {
      end = next = bytes.size();
    } else {
      next = end + 1;
      if (bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n') ++next;
    }
    ini.lines_.push_back(MakeLine(std::string(bytes.substr(start, end - start)),
                                  std::string(bytes.substr(end, next - end))));
    start = next;
  }
  return ini;
}

std::size_t ProfileIni::FindSection(std::string_view name) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::kSection && SameText(lines_[i].name, name)) return i;
  }
  return lines_.size();
}

std::size_t ProfileIni::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != Kind::kSection) ++i;
  return i;
}

std::size_t ProfileIni::FindKey(std::size_t header, std::string_view key) const {
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Kind::kKey && SameText(lines_[i].name, key)) return i;
  }
  return lines_.size();
}

std::string ProfileIni::ReadString(std::string_view section, std::string_view key,
                                   std::string_view default_value) const {
  const std::size_t header = FindSection(NameOf(section));
  if (header < lines_.size()) {
    const std::size_t line = FindKey(header, NameOf(key));
    if (line < lines_.size()) return Unquote(lines_[line].value);
  }
  return std::string(CutToBytes(default_value, kMaxValueBytes));
}

int32_t ProfileIni::ReadInteger(std::string_view section, std::string_view key,
                                int32_t default_value) const {
  return StrToIntStrict(ReadString(section, key, "")).value_or(default_value);
}

bool ProfileIni::ReadBool(std::string_view section, std::string_view key,
                          bool default_value) const {
  return ReadInteger(section, key, default_value ? 1 : 0) != 0;
}

std::vector<std::pair<std::string, std::string>> ProfileIni::ReadSection(
    std::string_view section, std::size_t max_pairs) const {
  std::vector<std::pair<std::string, std::string>> pairs;
  const std::size_t header = FindSection(NameOf(section));
  if (header == lines_.size()) return pairs;
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end && pairs.size() < max_pairs; ++i) {
    if (lines_[i].kind == Kind::kKey) pairs.emplace_back(lines_[i].name, Unquote(lines_[i].value));
  }
  return pairs;
}

void ProfileIni::EndLastLine() {
  if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = "\r\n";
}

void ProfileIni::WriteString(std::string_view section, std::string_view key,
                             std::string_view value) {
  const std::string section_name = NameOf(section);
  const std::string key_name = NameOf(key);
  std::string text = key_name + "=" + FlattenLines(value);
  const std::size_t header = FindSection(section_name);
  if (header == lines_.size()) {
    EndLastLine();
    lines_.push_back(MakeLine("[" + section_name + "]", "\r\n"));
    lines_.push_back(MakeLine(std::move(text), "\r\n"));
    return;
  }
  const std::size_t existing = FindKey(header, key_name);
  if (existing < lines_.size()) {
    lines_[existing] = MakeLine(std::move(text), std::move(lines_[existing].eol));
    return;
  }
  std::size_t last = header;
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Kind::kKey) last = i;
  }
  if (lines_[last].eol.empty()) lines_[last].eol = "\r\n";
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last) + 1,
                MakeLine(std::move(text), "\r\n"));
}

void ProfileIni::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, IntToText(value));
}

void ProfileIni::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

std::string ProfileIni::Serialize() const {
  std::size_t size = 0;
  for (const Line& line : lines_) size += line.text.size() + line.eol.size();
  std::string bytes;
  bytes.reserve(size);
  for (const Line& line : lines_) {
    bytes += line.text;
    bytes += line.eol;
  }
  return bytes;
}

void ProfileIni::Save(const FilePath& path) const { WriteFileAtomic(path, Serialize()); }

}  // namespace tol
