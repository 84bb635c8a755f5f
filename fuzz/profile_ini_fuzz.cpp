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
#include "shared/profile_ini.h"
#include "shared/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const IniEditInput in = IniEditInput::From(data, size);
  const std::string &doc = in.doc, &section = in.section, &key = in.key, &value = in.value;
  const std::string &other_section = in.other_section, &other_key = in.other_key;

  tol::ProfileIni ini = tol::ProfileIni::Parse(doc);
  FUZZ_CHECK(ini.Serialize() == doc);
  const std::string other_before = ini.ReadString(other_section, other_key, "\x01");
  FUZZ_CHECK(other_before.size() <= tol::ProfileIni::kMaxValueBytes);
  ini.ReadSection(section);
  ini.ReadInteger(section, key, 0);

  ini.WriteString(section, key, value);
  const std::string bytes = ini.Serialize();
  const tol::ProfileIni again = tol::ProfileIni::Parse(bytes);
  FUZZ_CHECK(again.Serialize() == bytes);
  FUZZ_CHECK(again.ReadString(section, key, "") == ini.ReadString(section, key, ""));

  // A key the reading rules leave as it is reads back what was written, and
  // nothing else changes.
  const std::string written_key(tol::Trim(tol::FlattenLines(key)));
  const bool plain_key = written_key.find('=') == std::string::npos &&
                         (written_key.empty() || (written_key[0] != ';' && written_key[0] != '['));
  if (plain_key) {
    std::string expected(tol::Trim(tol::FlattenLines(value)));
    if (expected.size() >= 2 && (expected[0] == '"' || expected[0] == '\'') &&
        expected.back() == expected[0]) {
      expected = expected.substr(1, expected.size() - 2);
    }
    FUZZ_CHECK(ini.ReadString(section, key, "\x01") ==
               tol::CutToBytes(expected, tol::ProfileIni::kMaxValueBytes));
    const bool same_entry = tol::SameText(tol::Trim(tol::FlattenLines(section)),
                                          tol::Trim(tol::FlattenLines(other_section))) &&
                            tol::SameText(written_key, tol::Trim(tol::FlattenLines(other_key)));
    if (!same_entry) FUZZ_CHECK(ini.ReadString(other_section, other_key, "\x01") == other_before);
  }
  return 0;
}
