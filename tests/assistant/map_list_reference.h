#pragma once
// The map-list conversion as the assistant first did it, line by line, kept
// as the reference that the one-pass conversion must match byte for byte.
//
// For every list line TolMap.ini was read afresh and the per-world file read
// in, changed by one entry and written back whole. The file here is a string:
// writing bytes to a file and reading them back gives the same bytes, so the
// steps between the lines are the same.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "assistant/server_addresses.h"
#include "shared/fields.h"
#include "shared/file_io.h"
#include "shared/ini_file.h"
#include "shared/text.h"

namespace tol::testing {

// The per-world file after converting `body` with TolMap.ini holding
// `tolmap`; nullopt when the file grew past `max_bytes` and the next line
// could not read it in.
inline std::optional<std::string> ReferenceMapFileBytes(std::string_view body,
                                                        std::string_view tolmap,
                                                        std::size_t max_bytes = kMaxFileBytes) {
  std::string file;  // the file is first cut to zero bytes
  for (const std::string& raw : SplitLines(body)) {
    const std::string_view line = TrimRight(raw);
    const std::string address = ExtractField(line, 1);
    const std::optional<std::string_view> key = ServerKeyForAddress(address);
    const std::string_view section = key ? *key : std::string_view(address);
    const std::string map_id = ExtractField(line, 3);
    const std::string display_name = IniFile::Parse(tolmap).ReadString("Map", map_id, "");
    if (file.size() > max_bytes) return std::nullopt;  // ReadFileBytes refuses it
    IniFile world_file = IniFile::Parse(file);
    world_file.WriteString(section, map_id, display_name);
    file = world_file.Serialize();
  }
  return file;
}

}  // namespace tol::testing
