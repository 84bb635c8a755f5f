// The sample settings file (release/kovun.ini.sample) tells in each key's
// comment whether the close-time save rewrites it ("終了時に保存"). The keys
// the close writes are taken from a real close-time save, so the sample can't
// drift from the code.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "monitor/settings.h"
#include "shared/profile_ini.h"

namespace tol {
namespace {

using SectionKey = std::pair<std::string, std::string>;

// The keys of an INI text by section, in any order.
std::set<SectionKey> KeysOf(const std::string& text) {
  std::set<SectionKey> keys;
  std::istringstream in(text);
  std::string line, section;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
    } else if (const std::size_t equals = line.find('='); equals != std::string::npos) {
      keys.emplace(section, line.substr(0, equals));
    }
  }
  return keys;
}

std::string SampleText() {
  const char* source = std::getenv("KOVUN_SOURCE_DIR");
  const std::string dir = source != nullptr ? source : KOVUN_SOURCE_DIR_DEFAULT;
  std::ifstream in(dir + "/release/kovun.ini.sample", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(SampleMarksTest, EveryKeyTheCloseWritesIsMarkedAndNoOther) {
  ProfileIni saved = ProfileIni::Parse("");
  WriteCloseTimeSettings(saved, KovunSettings{}, CloseTimeState{});
  const std::set<SectionKey> written = KeysOf(saved.Serialize());
  ASSERT_GE(written.size(), 13u);

  const std::string sample = SampleText();
  ASSERT_FALSE(sample.empty()) << "no release/kovun.ini.sample";
  // A comment block describes the keys that follow it up to the next
  // comment or section (Left and Top share one, as GameServer1-15 do).
  const std::string mark = "終了時に保存";
  std::set<SectionKey> seen;
  std::istringstream in(sample);
  std::string line, section, comment;
  bool comment_open = false;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    if (line[0] == ';') {
      if (!comment_open) comment.clear();
      comment += line;
      comment_open = true;
      continue;
    }
    comment_open = false;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      comment.clear();
      continue;
    }
    const std::string key = line.substr(0, line.find('='));
    const SectionKey section_key{section, key};
    seen.insert(section_key);
    const bool marked = comment.find(mark) != std::string::npos;
    EXPECT_EQ(marked, written.count(section_key) == 1)
        << "[" << section << "] " << key
        << (marked ? ": marked, but the close doesn't write it"
                   : ": the close writes it, but unmarked");
  }
  for (const SectionKey& key : written) {
    EXPECT_EQ(seen.count(key), 1u)
        << "[" << key.first << "] " << key.second << " not in the sample";
  }
}

}  // namespace
}  // namespace tol
