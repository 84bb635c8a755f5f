#pragma once
// The per-world map-name file of one map list, built in memory.
//
// The file's bytes are those that rewriting it after every list line would
// leave: each line's entry is set in the document that reading back the file
// written for the lines before would give. So the reading rules of the INI
// files (trimmed names and keys, ";" lines skipped, "[...]" lines starting
// sections, one section per name) apply between lines, and not after the
// last one. Built this way, the file is written once per world, whole, and a
// reader sees the old file or the new one, never part of a conversion.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/file_io.h"

namespace tol {

// Hash of a text that agrees with SameText: texts equal apart from the
// letter case of single-byte ASCII letters hash alike.
struct SameTextHash {
  std::size_t operator()(std::string_view text) const;
};

// An open-addressing table of ids (indices into the caller's own rows) under
// hashes that the caller computes; the caller also tells which row matches,
// so the table holds no keys itself. Ids are never removed.
class IdTable {
 public:
  static constexpr std::uint32_t kNone = UINT32_MAX;

  // The first id stored under `hash` that `matches` accepts; kNone when none.
  template <typename Matches>
  std::uint32_t Find(std::uint64_t hash, Matches matches) const {
    if (slots_.empty()) return kNone;
    for (std::size_t i = static_cast<std::uint32_t>(hash) & mask_;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.id == kNone) return kNone;
      if (slot.hash == static_cast<std::uint32_t>(hash) && matches(slot.id)) return slot.id;
    }
  }

  void Insert(std::uint64_t hash, std::uint32_t id);

  // Room for `count` ids without growing.
  void Reserve(std::size_t count);

 private:
  struct Slot {
    std::uint32_t id = kNone;
    std::uint32_t hash = 0;  // the low half of the caller's hash
  };

  void Place(Slot slot);
  void Grow(std::size_t slots);

  std::vector<Slot> slots_;  // a power of two, at most half of them used
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

// Section "Map" of TolMap.ini as a table: map identifier → display name, read
// with the INI reading rules (keys and values trimmed, letter case of keys
// ignored, the first entry of a key counts, all "Map" sections of the file
// taken together).
class DisplayNames {
 public:
  // A missing or unreadable file gives an empty table.
  static DisplayNames Load(const FilePath& path);
  static DisplayNames Parse(std::string bytes);

  // The display name of `map_id`, matched as it stands (untrimmed); empty
  // when the table has no such key. Valid while the table is.
  std::string_view Find(std::string_view map_id) const;

  // The bytes the table was read from.
  const std::string& bytes() const { return text_; }

 private:
  struct Entry {  // offsets into text_
    std::uint32_t key, key_size, value, value_size;
  };
  std::uint32_t FindEntry(std::string_view key) const;
  std::string_view Text(std::uint32_t offset, std::uint32_t size) const {
    return std::string_view(text_).substr(offset, size);
  }

  std::string text_;
  std::vector<Entry> entries_;
  IdTable index_;
};

// The bytes of the per-world file for the map list `body` (lines split at CR
// LF, a lone CR or a lone LF; trailing blanks and control characters removed;
// field 1 the address, looked up in the server address table, field 3 the
// map identifier). An empty list gives no bytes.
//
// nullopt when the file, rewritten line by line, would have grown past
// `max_bytes` before its last line: a file the programs no longer read in
// (ReadFileBytes), which rewriting it line by line could not have gone on
// with either.
std::optional<std::string> MapFileBytes(std::string_view body, const DisplayNames& names,
                                        std::size_t max_bytes = kMaxFileBytes);

}  // namespace tol
