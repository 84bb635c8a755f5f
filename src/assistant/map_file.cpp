#include "assistant/map_file.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "assistant/server_addresses.h"
#include "shared/text.h"

namespace tol {

namespace {

// The line of `text` that starts at `*pos`, with `*pos` moved behind its line
// break: CR LF, a lone CR or a lone LF, as SplitLines (shared/fields.h) cuts.
std::string_view NextLine(std::string_view text, std::size_t* pos) {
  const std::size_t start = *pos;
  std::size_t end = start;
  while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
  if (end == text.size()) {
    *pos = end;
    return text.substr(start);
  }
  *pos = end + 1;
  if (text[end] == '\r' && *pos < text.size() && text[*pos] == '\n') ++*pos;
  return text.substr(start, end - start);
}

// Fields 1 and 3 of a list line by ExtractField's rule (shared/fields.h), as
// views into the line: a field number beyond the last field gives the
// next-to-last field, so field 3 of a line with one comma is field 1, and of
// a line without a comma the empty text.
std::string_view AddressField(std::string_view line) { return line.substr(0, line.find(',')); }

std::string_view MapIdField(std::string_view line) {
  const std::size_t first = line.find(',');
  if (first == std::string_view::npos) return {};
  const std::size_t second = line.find(',', first + 1);
  if (second == std::string_view::npos) return line.substr(0, first);
  const std::size_t third = line.find(',', second + 1);
  return line.substr(second + 1, third == std::string_view::npos ? third : third - second - 1);
}

// One line of an INI file as the reading rules take it.
struct IniLine {
  enum Kind { kSkipped, kSection, kEntry, kText };
  Kind kind;
  std::string_view key;  // section name, entry key or the whole line
  std::string_view value;
};

// The reading rules of the whole-file INI handling (shared/ini_file.h) for one
// line: trimmed; empty or ";" lines skipped; "[...]" a section named by the
// trimmed text between the brackets; otherwise split at the first "=" into a
// trimmed key and value, or a line of its own.
IniLine ReadIniLine(std::string_view raw) {
  const std::string_view line = Trim(raw);
  if (line.empty() || line.front() == ';') return {IniLine::kSkipped, {}, {}};
  if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
    return {IniLine::kSection, Trim(line.substr(1, line.size() - 2)), {}};
  }
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return {IniLine::kText, line, {}};
  return {IniLine::kEntry, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
}

// True when the line key + "=" + value reads back as that key and value.
bool ReadsBackAsWritten(std::string_view key, std::string_view value) {
  return Trim(key).size() == key.size() && Trim(value).size() == value.size() &&
         key.find('=') == std::string_view::npos && !key.starts_with(';') &&
         !(key.starts_with('[') && value.ends_with(']'));
}

constexpr std::string_view kMapSectionName = "Map";

// Bytes of a section's header line and the empty line behind its entries,
// and of an entry line, as written.
constexpr std::size_t kSectionFrame = 6;  // "[" "]" CR LF, CR LF
std::size_t EntryBytes(std::string_view key, std::string_view value) {
  return key.size() + value.size() + 3;  // "=" CR LF
}

// The per-world file as a document of sections of "key=value" lines, with
// the step of the line-by-line rewrite: set one entry (IniFile::WriteString)
// and, unless it is the last, write the document out and read it back in.
//
// Between steps the document is one that reading gives (trimmed section
// names, one section per name, keys trimmed, free of "=" and not beginning
// with ";"), so reading back can change only what the step touched: a
// section it added under an untrimmed name, and the line it added. A line it
// replaced matched a key as reading gives it and holds a display name, which
// reading trims too, so it reads back as written.
//
// Texts are views: into the list, into the display names, into the server
// address table, or into texts the document owns; the first three must
// outlive it.
class MapDocument {
 public:
  // Sets `key` = `value` in `section` and returns the bytes of the document
  // as WriteString leaves it: an existing key (letter case ignored) has its
  // line replaced, taking the key's letter case given here; a new key goes
  // to the end of its section; a new section to the end of the document,
  // named as given. With `read_back` the document then becomes what reading
  // that one back gives.
  std::size_t Put(std::string_view section, std::string_view key, std::string_view value,
                  bool read_back) {
    const std::uint32_t s = FindSection(section);
    const std::uint32_t line = s == IdTable::kNone ? IdTable::kNone : FindLine(s, key);
    std::size_t written = bytes_ + EntryBytes(key, value);
    if (s == IdTable::kNone) written += section.size() + kSectionFrame;
    if (line != IdTable::kNone) written -= EntryBytes(lines_[line].key, lines_[line].value);

    if (!read_back || (Trim(section).size() == section.size() && ReadsBackAsWritten(key, value))) {
      Write(s == IdTable::kNone ? AddSection(section) : s, line, key, value);
      return written;
    }
    if (line == IdTable::kNone) {
      // A header reads back with its name trimmed, which may name a section
      // that already is: it then takes the line at its end.
      const std::string& text = Own(std::string(key) + "=" + std::string(value));
      const IniLine read = ReadIniLine(text);
      if (read.kind == IniLine::kSkipped) {  // the key began with ";"
        SectionFor(Trim(section));
        return written;
      }
      if (read.kind == IniLine::kEntry) {
        AddLine(SectionFor(Trim(section)), read.key, read.value);
        return written;
      }
    }
    // Not for lines that a map list and TolMap.ini give (see above; a display
    // name never ends in "]" a line whose key begins with "[": in TolMap.ini
    // that line would have been a section header). Write the line as given
    // and read the whole document back.
    Write(s == IdTable::kNone ? AddSection(section) : s, line, key, value);
    *this = Parse(Serialize());
    return written;
  }

  // Room for `lines` lines, so that a long list doesn't move them again and
  // again while it grows.
  void Reserve(std::size_t lines) {
    lines_.reserve(lines);
    line_index_.Reserve(lines);
  }

  std::string Serialize() const {
    std::string bytes;
    bytes.reserve(bytes_);
    for (const Section& section : sections_) {
      bytes += '[';
      bytes += section.name;
      bytes += "]\r\n";
      for (std::uint32_t i = section.first_line; i != IdTable::kNone; i = lines_[i].next) {
        bytes += lines_[i].key;
        bytes += '=';
        bytes += lines_[i].value;
        bytes += "\r\n";
      }
      bytes += "\r\n";
    }
    return bytes;
  }

 private:
  struct Section {
    std::string_view name;
    std::uint32_t first_line = IdTable::kNone;
    std::uint32_t last_line = IdTable::kNone;
  };
  struct Line {
    std::string_view key;
    std::string_view value;
    std::uint32_t section;
    std::uint32_t next = IdTable::kNone;  // the section's next line
  };

  // A document written by this class read in by the INI reading rules. Its
  // lines are headers and entries only: every line written holds "=".
  static MapDocument Parse(std::string bytes) {
    MapDocument document;
    const std::string& text = document.Own(std::move(bytes));
    std::uint32_t section = IdTable::kNone;
    for (std::size_t pos = 0; pos < text.size();) {
      const IniLine line = ReadIniLine(NextLine(text, &pos));
      if (line.kind == IniLine::kSection) {
        section = document.SectionFor(line.key);
      } else if (line.kind == IniLine::kEntry && section != IdTable::kNone) {
        document.AddLine(section, line.key, line.value);
      }
    }
    return document;
  }

  static std::uint64_t LineHash(std::uint32_t section, std::string_view key) {
    return SameTextHash()(key) ^ (section * 0x9E3779B97F4A7C15ull);
  }

  std::uint32_t FindSection(std::string_view name) const {
    return section_index_.Find(SameTextHash()(name),
                               [&](std::uint32_t s) { return SameText(sections_[s].name, name); });
  }

  // The first line of `key` in section `s`.
  std::uint32_t FindLine(std::uint32_t s, std::string_view key) const {
    return line_index_.Find(LineHash(s, key), [&](std::uint32_t i) {
      return lines_[i].section == s && SameText(lines_[i].key, key);
    });
  }

  std::uint32_t AddSection(std::string_view name) {
    const auto s = static_cast<std::uint32_t>(sections_.size());
    sections_.push_back(Section{name});
    section_index_.Insert(SameTextHash()(name), s);
    bytes_ += name.size() + kSectionFrame;
    return s;
  }

  std::uint32_t SectionFor(std::string_view name) {
    const std::uint32_t s = FindSection(name);
    return s != IdTable::kNone ? s : AddSection(name);
  }

  // Sets the line `line` (found for `key` in section `s`), or adds one.
  void Write(std::uint32_t s, std::uint32_t line, std::string_view key, std::string_view value) {
    if (line == IdTable::kNone) {
      AddLine(s, key, value, true);
      return;
    }
    bytes_ = bytes_ + EntryBytes(key, value) - EntryBytes(lines_[line].key, lines_[line].value);
    lines_[line].key = key;
    lines_[line].value = value;
  }

  // `new_key`: the section has no line of `key` yet (when known).
  void AddLine(std::uint32_t s, std::string_view key, std::string_view value,
               bool new_key = false) {
    const auto i = static_cast<std::uint32_t>(lines_.size());
    if (new_key || FindLine(s, key) == IdTable::kNone) line_index_.Insert(LineHash(s, key), i);
    lines_.push_back(Line{key, value, s});
    Section& section = sections_[s];
    (section.last_line == IdTable::kNone ? section.first_line : lines_[section.last_line].next) = i;
    section.last_line = i;
    bytes_ += EntryBytes(key, value);
  }

  const std::string& Own(std::string text) { return owned_.emplace_back(std::move(text)); }

  std::vector<Section> sections_;
  std::vector<Line> lines_;
  IdTable section_index_;          // by name
  IdTable line_index_;             // the first line of each key of a section
  std::deque<std::string> owned_;  // never moved, so views into them stay valid
  std::size_t bytes_ = 0;          // of Serialize()
};

}  // namespace

std::size_t SameTextHash::operator()(std::string_view text) const {
  // FNV-1a over the bytes with single-byte ASCII letters upper-cased; the
  // second byte of a double-byte character is taken as it is.
  std::uint64_t hash = 14695981039346656037ull;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsLeadByte(c) && i + 1 < text.size()) {
      hash = (hash ^ c) * 1099511628211ull;
      c = static_cast<unsigned char>(text[++i]);
    } else if (c >= 'a' && c <= 'z') {
      c = static_cast<unsigned char>(c - 'a' + 'A');
    }
    hash = (hash ^ c) * 1099511628211ull;
  }
  // The low bits of FNV-1a depend only on the low bits of the bytes; the
  // tables take their slots from the low bits, so mix the high ones in.
  hash ^= hash >> 32;
  hash *= 0x9E3779B97F4A7C15ull;
  return static_cast<std::size_t>(hash ^ (hash >> 29));
}

void IdTable::Insert(std::uint64_t hash, std::uint32_t id) {
  Reserve(count_ + 1);
  Place(Slot{id, static_cast<std::uint32_t>(hash)});
  ++count_;
}

void IdTable::Reserve(std::size_t count) {
  if (2 * count > slots_.size()) Grow(2 * count);
}

void IdTable::Place(Slot slot) {
  std::size_t i = slot.hash & mask_;
  while (slots_[i].id != kNone) i = (i + 1) & mask_;
  slots_[i] = slot;
}

void IdTable::Grow(std::size_t slots) {
  std::size_t size = std::max<std::size_t>(16, 2 * slots_.size());
  while (size < slots) size *= 2;
  std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(size));
  mask_ = size - 1;
  for (const Slot& slot : old) {
    if (slot.id != kNone) Place(slot);
  }
}

DisplayNames DisplayNames::Load(const FilePath& path) {
  std::optional<std::string> bytes = ReadFileBytes(path);
  return bytes ? Parse(std::move(*bytes)) : DisplayNames();
}

DisplayNames DisplayNames::Parse(std::string bytes) {
  DisplayNames names;
  names.text_ = std::move(bytes);
  const std::string_view text = names.text_;
  const auto offset = [&](std::string_view part) {
    return static_cast<std::uint32_t>(part.data() - text.data());
  };
  bool in_map = false;
  for (std::size_t pos = 0; pos < text.size();) {
    const IniLine line = ReadIniLine(NextLine(text, &pos));
    if (line.kind == IniLine::kSection) {
      in_map = SameText(line.key, kMapSectionName);
    } else if (line.kind == IniLine::kEntry && in_map &&
               names.FindEntry(line.key) == IdTable::kNone) {
      names.index_.Insert(SameTextHash()(line.key),
                          static_cast<std::uint32_t>(names.entries_.size()));
      names.entries_.push_back(Entry{offset(line.key), static_cast<std::uint32_t>(line.key.size()),
                                     offset(line.value),
                                     static_cast<std::uint32_t>(line.value.size())});
    }
  }
  return names;
}

std::uint32_t DisplayNames::FindEntry(std::string_view key) const {
  return index_.Find(SameTextHash()(key), [&](std::uint32_t i) {
    return SameText(Text(entries_[i].key, entries_[i].key_size), key);
  });
}

std::string_view DisplayNames::Find(std::string_view map_id) const {
  const std::uint32_t found = FindEntry(map_id);
  if (found == IdTable::kNone) return {};
  return Text(entries_[found].value, entries_[found].value_size);
}

std::optional<std::string> MapFileBytes(std::string_view body, const DisplayNames& names,
                                        std::size_t max_bytes) {
  MapDocument document;
  // Lines shorter than a usual one ("192.0.2.16,80,m001") reserve no room.
  const auto breaks = static_cast<std::size_t>(std::count(body.begin(), body.end(), '\n'));
  document.Reserve(std::min(breaks, body.size() / 16) + 1);
  for (std::size_t pos = 0; pos < body.size();) {
    const std::string_view line = TrimRight(NextLine(body, &pos));
    const bool last = pos >= body.size();  // a break at the very end starts no line
    const std::string_view address = AddressField(line);
    const std::optional<std::string_view> key = ServerKeyForAddress(address);
    const std::string_view map_id = MapIdField(line);
    const std::size_t written =
        document.Put(key ? *key : address, map_id, names.Find(map_id), !last);
    // The next line would read back a file that the programs no longer read.
    if (!last && written > max_bytes) return std::nullopt;
  }
  return document.Serialize();
}

}  // namespace tol
