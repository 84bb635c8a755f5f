#pragma once
// Profile-style INI files: the monitor's settings, its error log and its
// reading of the per-world map-name files. They behave like the Windows
// private-profile functions.
//
// Reading:
// - Lines end at CR LF, a lone CR or a lone LF. Every line is looked at with
//   its surrounding blanks and control characters removed; empty lines and
//   lines that begin with ";" are nothing.
// - A line that begins with "[" and holds a "]" further on is a section
//   header; the section's name is the trimmed text up to the last "]". Lines
//   before the first header belong to no section.
// - Any other line is a key: its name is the trimmed text before the first
//   "=", its value the trimmed text after it; a line without "=" is a key with
//   an empty value.
// - Section and key names match without regard to the letter case of
//   single-byte ASCII letters, and the names asked for are trimmed first.
//   The first section of a name and the first key of a name within it count.
// - A value enclosed in a pair of matching quotes (" or ') loses them, and at
//   most kMaxValueBytes bytes of it are read, never half a double-byte
//   character.
//
// Writing keeps every byte of the file that it doesn't need to change:
// - A key that exists has its line replaced by "key=value"; the line keeps
//   its line break.
// - A new key goes right after the last key line of its section (after the
//   header when it has none); a new section goes to the end of the file as a
//   "[section]" line followed by the key's line. New lines end with CR LF,
//   and a last line without a line break gets one before anything follows it.
// - A line break (CR LF, lone CR, lone LF) in a section name, key or value is
//   written as one blank, so no written text can add lines to the file. This
//   matters for the error log, whose values are multi-line failure reports.
// - Section and key names are written trimmed. Like the system's functions,
//   a written value loses its surrounding blanks and one pair of enclosing
//   quotes when read back, and a key must not contain "=" nor begin with ";"
//   or "[" to read back as itself.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shared/file_path.h"

namespace tol {

class ProfileIni {
 public:
  // Values longer than this are cut when read.
  static constexpr std::size_t kMaxValueBytes = 2047;

  // A missing or unreadable file gives an empty document.
  static ProfileIni Load(const FilePath& path);
  // For a read-modify-write of the file: a missing file gives an empty
  // document, but a file that exists and can't be read (locked, over the
  // size cap) throws EOtherError, so that saving never replaces content
  // that was never seen.
  static ProfileIni LoadForUpdate(const FilePath& path);
  static ProfileIni Parse(std::string_view bytes);

  // The key's value, or `default_value` (cut the same way) when the section
  // or the key is missing. A key without a value gives the empty text.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;
  // The value as integer text (int_text.h); `default_value` when the key is
  // missing or its value doesn't convert.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t default_value) const;
  // ReadInteger's value is non-zero.
  bool ReadBool(std::string_view section, std::string_view key, bool default_value) const;
  // Every key of the section in file order with its value, read as
  // ReadString reads it; a key that occurs twice is listed twice, each with
  // the value of its own line. A missing section gives no pairs. At most
  // `max_pairs` pairs, the first ones, are returned.
  std::vector<std::pair<std::string, std::string>> ReadSection(
      std::string_view section, std::size_t max_pairs = SIZE_MAX) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Writes the decimal text.
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  // Writes "1" or "0".
  void WriteBool(std::string_view section, std::string_view key, bool value);

  // The file's bytes: exactly the parsed bytes until something is written.
  std::string Serialize() const;
  // Replaces the file at `path` (file_io.h); EFCreateError on failure.
  void Save(const FilePath& path) const;

 private:
  enum class Kind { kNothing, kSection, kKey };
  struct Line {
    std::string text;  // without the line break
    std::string eol;   // "\r\n", "\r", "\n", or "" on a last line without one
    Kind kind = Kind::kNothing;
    std::string name;   // section name or key name
    std::string value;  // key value, quotes not yet removed
  };
  static Line MakeLine(std::string text, std::string eol);
  // Index of the first header of `name`, or lines_.size().
  std::size_t FindSection(std::string_view name) const;
  // Index of the next header after `header`, or lines_.size().
  std::size_t SectionEnd(std::size_t header) const;
  std::size_t FindKey(std::size_t header, std::string_view key) const;
  void EndLastLine();

  std::vector<Line> lines_;
};

}  // namespace tol
