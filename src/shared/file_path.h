#pragma once
// FilePath: where a file is, in the form the system takes it, for the file
// port (file_io.h) and the INI loaders.
//
// Texts inside the programs are code page 932, but a path is not a text: on
// Windows a folder may have a name that code page 932 can't spell ("Zoë",
// "한", "𠮷"), and narrowing it would name another file or none. So a path
// holds UTF-16 on Windows, which goes to the W functions unchanged, and on
// POSIX the bytes that open(2) takes.
//
// Two ways in:
// - FromSystem: a path the system handed over (the program's own path, the
//   working directory, a folder picker's choice, a command-line argument on
//   POSIX), taken as it is.
// - FromText: a code page 932 text that names a file (a settings value, a
//   folder the user typed, a world's file name), converted at this point:
//   to UTF-16 on Windows, to UTF-8 on POSIX. A double-byte character whose
//   second byte is 0x5C stays that character, never a separator.
// Join appends a code page 932 name in the same way.
//
// An empty path, or one holding a NUL (from a text with a NUL byte), names no
// file: the file port finds nothing there and writes nothing.

#include <optional>
#include <string>
#include <string_view>

namespace tol {

// The unit of the system's form of a path; the header's one platform choice,
// and no Windows type.
#if defined(_WIN32)
using PathUnit = char16_t;  // UTF-16 for the W functions
#else
using PathUnit = char;  // bytes, as the system takes them
#endif
using PathString = std::basic_string<PathUnit>;

class FilePath {
 public:
  FilePath() = default;  // names no file

  static FilePath FromSystem(PathString system) { return FilePath(std::move(system)); }
  static FilePath FromText(std::string_view cp932);

  // This path followed directly by `name` (code page 932), no separator
  // added: a folder that should hold the name ends in one.
  FilePath Join(std::string_view cp932_name) const;
  FilePath Join(const FilePath& tail) const { return FilePath(system_ + tail.system_); }

  // The folder part: up to and including the last "/" or "\"; empty when
  // there is none.
  FilePath Folder() const;
  // What follows the folder part.
  FilePath FileName() const;
  // The path without the extension of its file name: from the file name's
  // last "." on, unless that "." begins the name.
  FilePath WithoutExtension() const;

  // A code page 932 text of the path for messages and reports; a character
  // code page 932 can't hold shows as "?", so the text may name another file.
  std::string Text() const;
  // A code page 932 text that FromText turns back into a path to this same
  // file, for a text field or a settings value that must name it: the path's
  // own text when code page 932 holds all of it, else on Windows its short
  // (8.3) form when the file exists and has one that code page 932 holds;
  // nullopt when there is none.
  std::optional<std::string> ExactText() const;

  const PathString& system() const { return system_; }
  bool empty() const { return system_.empty(); }

  friend bool operator==(const FilePath&, const FilePath&) = default;

 private:
  explicit FilePath(PathString system) : system_(std::move(system)) {}

  PathString system_;
};

// The system's form of a code page 932 text, and the text of a system form
// (lossy, see Text()): FilePath's conversions, one implementation per
// platform (file_path_posix.cpp, file_path_win32.cpp).
PathString SystemFormOf(std::string_view cp932);
std::string TextOf(const PathString& system);

}  // namespace tol
