// The input is split at NUL bytes: the document, then the section, key and
// value of one write, then the section and key of another entry whose reading
// the write must not change.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "shared/fields.h"
#include "shared/ini_file.h"
#include "shared/text.h"

namespace {

// Serializes, parses and serializes again; the second text must be a fixed
// point of the reading and writing rules.
void CheckSettles(const tol::IniFile& ini) {
  const std::string once = tol::IniFile::Parse(ini.Serialize()).Serialize();
  FUZZ_CHECK(tol::IniFile::Parse(once).Serialize() == once);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const IniEditInput in = IniEditInput::From(data, size);
  const std::string &doc = in.doc, &section = in.section, &key = in.key, &value = in.value;
  const std::string &other_section = in.other_section, &other_key = in.other_key;

  tol::IniFile ini = tol::IniFile::Parse(doc);
  const std::string parsed = ini.Serialize();
  FUZZ_CHECK(tol::IniFile::Parse(parsed).Serialize() == parsed);
  const std::string other_before = ini.ReadString(other_section, other_key, "\x01");

  ini.WriteString(section, key, value);
  const std::string flat_section = tol::FlattenLines(section);
  const std::string flat_key = tol::FlattenLines(key);
  const std::string flat_value = tol::FlattenLines(value);
  FUZZ_CHECK(ini.SectionExists(section));
  FUZZ_CHECK(ini.ReadString(section, key, "\x01") == flat_value);
  const bool same_entry = tol::SameText(flat_section, tol::FlattenLines(other_section)) &&
                          tol::SameText(flat_key, tol::FlattenLines(other_key));
  if (!same_entry) FUZZ_CHECK(ini.ReadString(other_section, other_key, "\x01") == other_before);
  const std::string bytes = ini.Serialize();
  FUZZ_CHECK(bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0);
  CheckSettles(ini);

  // Names and values the reading rules leave as they are survive the file.
  const bool plain =
      tol::Trim(flat_section) == flat_section && tol::Trim(flat_key) == flat_key &&
      tol::Trim(flat_value) == flat_value && flat_key.find('=') == std::string::npos &&
      (flat_key.empty() || flat_key[0] != ';') &&
      !(!flat_key.empty() && flat_key[0] == '[' && !flat_value.empty() && flat_value.back() == ']');
  if (plain) {
    FUZZ_CHECK(tol::IniFile::Parse(bytes).ReadString(section, key, "\x01") == flat_value);
  }
  return 0;
}
