#pragma once
// Whole-file INI handling of the assistant: Zoneroll.ini, TolMap.ini and the
// per-world map-name files are read whole into memory, changed there and
// written back whole.
//
// Reading: lines end at CR LF, a lone CR or a lone LF; every line is trimmed
// of surrounding blanks and control characters; empty lines and lines that
// begin with ";" are skipped. A line that begins with "[" and ends with "]"
// starts a section named by the trimmed text between the brackets; a header
// whose name was seen before continues that section. Within a section a line
// with "=" is an entry, split at the first "=" into a trimmed key and a
// trimmed value; a line without "=" is kept as a line of its own. Lines before
// the first section are dropped.
//
// Section names and keys match without regard to the letter case of
// single-byte ASCII letters; the first entry of a key counts.
//
// Writing: for each section "[name]", its lines ("key=value" for an entry)
// and one empty line, each ending with CR LF; a document without sections is
// the empty text. A line break (CR LF, lone CR, lone LF) in a section name,
// key or value becomes one blank, in memory and on disk, so no written text
// can add lines to the file. Names, keys and values are kept as given
// otherwise, so what the reading rules change doesn't survive a write and a
// read: surrounding blanks, a key that holds "=" or begins with ";", a key
// that begins with "[" before a value that ends with "]".

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "shared/file_path.h"

namespace tol {

class IniFile {
 public:
  // A missing or unreadable file gives an empty document.
  static IniFile Load(const FilePath& path);
  static IniFile Parse(std::string_view bytes);

  // The key's value, an empty one included; `default_value` only when the
  // section or the key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;
  // An existing key has its line replaced in place, taking the letter case
  // given here; a new key goes to the end of its section; a new section goes
  // to the end of the document and keeps the letter case of this first use.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool SectionExists(std::string_view section) const;

  std::string Serialize() const;
  // Replaces the file at `path` (file_io.h); EFCreateError on failure.
  void Save(const FilePath& path) const;

 private:
  struct Line {
    std::string key;  // the whole text for a line that isn't an entry
    std::string value;
    bool entry = false;
  };
  struct Section {
    std::string name;
    std::vector<Line> lines;
  };
  const Section* Find(std::string_view name) const;
  Section& FindOrAdd(std::string_view name);

  std::vector<Section> sections_;
  // UpperCase(name) → index in sections_.
  std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace tol
