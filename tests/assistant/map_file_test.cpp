#include "assistant/map_file.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "assistant/map_list_reference.h"
#include "assistant/server_addresses.h"

namespace tol {
namespace {

// A literal's bytes, NULs included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

const std::string& Address(int row) { return ServerAddressTable().at(row).address; }

// The one-pass conversion and the line-by-line reference agree on `body`.
void ExpectSameAsLineByLine(const std::string& body, const std::string& tolmap,
                            std::size_t max_bytes = kMaxFileBytes) {
  const std::optional<std::string> reference =
      testing::ReferenceMapFileBytes(body, tolmap, max_bytes);
  const std::optional<std::string> actual =
      MapFileBytes(body, DisplayNames::Parse(tolmap), max_bytes);
  ASSERT_EQ(actual.has_value(), reference.has_value()) << "cap " << max_bytes;
  if (reference) {
    EXPECT_EQ(*actual, *reference);
  }
}

// Lists and TolMap.ini files drawn from pieces that exercise every reading
// rule between two lines: addresses in and out of the table, with blanks and
// leading zeros; identifiers repeated in other letter case, with blanks, "=",
// ";" and "[" in them; double-byte characters whose second byte is a letter
// or "\"; missing fields; every kind of line break; blank lines.
class RandomInput {
 public:
  explicit RandomInput(unsigned seed) : random_(seed) {}

  std::string List() {
    static const std::vector<std::string> kAddresses = {Address(0),
                                                        Address(9),
                                                        Address(10),
                                                        Address(11),
                                                        Address(12),
                                                        Address(27),
                                                        Address(297),
                                                        " " + Address(11),
                                                        Address(11) + " ",
                                                        "0" + Address(11),
                                                        "10.9.9.9",
                                                        "host",
                                                        "HOST",
                                                        "Host ",
                                                        " host",
                                                        "",
                                                        "\t",
                                                        "x=y",
                                                        "[a",
                                                        "[a]",
                                                        ";c",
                                                        "\x95\x5C",
                                                        "\x82"
                                                        "a",
                                                        "\x82"
                                                        "A",
                                                        Bytes("a\0b"),
                                                        "\x01"
                                                        "host",
                                                        "GameServer01",
                                                        "gameserver01 "};
    static const std::vector<std::string> kMapIds = {"m1",
                                                     "M1",
                                                     "m2",
                                                     "map01",
                                                     "MAP01",
                                                     " m1",
                                                     "m1 ",
                                                     "\tm2",
                                                     "[a",
                                                     "[A",
                                                     "[x=y",
                                                     "[a]",
                                                     "a]",
                                                     ";m",
                                                     ";",
                                                     "=",
                                                     "a=b",
                                                     "A=B",
                                                     " a = b ",
                                                     "",
                                                     " ",
                                                     "[",
                                                     " [b",
                                                     "\x95\x5C\x8E\xA6",
                                                     "\x82"
                                                     "a",
                                                     "\x82"
                                                     "A",
                                                     Bytes("x\0y"),
                                                     "m1\x01",
                                                     "\x81"};
    static const std::vector<std::string> kBreaks = {"\r\n", "\r\n", "\r\n", "\n", "\r"};
    static const std::vector<std::string> kTails = {"", "", "", " ", "\t", " \x1f", "\x01"};
    std::string body;
    const int lines = Pick(40);
    for (int i = 0; i < lines; ++i) {
      body += One(kAddresses);
      const int fields = 1 + Pick(5);
      for (int f = 2; f <= fields; ++f) {
        body += ',';
        body += f == 2 ? One({"80", "", " x "}) : f == 3 ? One(kMapIds) : One({"", "extra", " "});
      }
      body += One(kTails);
      if (i + 1 < lines || Pick(2) == 0) body += One(kBreaks);
      if (Pick(10) == 0) body += "\r\n";  // an empty line
    }
    return body;
  }

  std::string TolMap() {
    static const std::vector<std::string> kKeys = {"m1",
                                                   "M1",
                                                   "m2",
                                                   "map01",
                                                   "Map01",
                                                   "a",
                                                   "[a",
                                                   "[x",
                                                   "a=b",
                                                   "x",
                                                   "",
                                                   "\x95\x5C\x8E\xA6",
                                                   "\x82"
                                                   "a",
                                                   ";m"};
    static const std::vector<std::string> kNames = {
        "", "name", "b]", "]", ";v", "[v", "v=w", " padded ", "\x95\x5C", "\x94\x5C", "x]"};
    std::string text = One({"", "junk=before\r\n", ";comment\r\n"});
    const int sections = 1 + Pick(3);
    for (int s = 0; s < sections; ++s) {
      text += One({"[Map]", "[map]", " [ MAP ] ", "[Other]"}) + "\r\n";
      const int entries = Pick(8);
      for (int e = 0; e < entries; ++e) {
        text += One(kKeys) + One({"=", " = "}) + One(kNames) + One({"\r\n", "\n"});
      }
    }
    return text;
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

 private:
  std::string One(const std::vector<std::string>& pieces) {
    return pieces[static_cast<std::size_t>(Pick(static_cast<int>(pieces.size())))];
  }

  std::mt19937 random_;
};

TEST(MapFileTest, RandomListsConvertAsLineByLine) {
  for (unsigned seed = 1; seed <= 4000; ++seed) {
    RandomInput input(seed);
    const std::string tolmap = input.TolMap();
    const std::string body = input.List();
    SCOPED_TRACE("seed " + std::to_string(seed));
    ExpectSameAsLineByLine(body, tolmap);
    // A file that outgrows what can be read in ends the conversion at the
    // same line.
    ExpectSameAsLineByLine(body, tolmap, static_cast<std::size_t>(input.Pick(120)));
    if (HasFailure()) return;
  }
}

TEST(MapFileTest, KnownListsConvertAsLineByLine) {
  const std::string a = Address(11);
  const std::string tolmap =
      "[Map]\r\nmap01=\x95\x5C\x8E\xA6\r\nMAP02 = \x94\x5C\r\nm 1=b\r\n=a\r\n[map]\r\nm1=later\r\n";
  const std::string bodies[] = {
      "",
      "\r\n",
      a + ",x,map01\r\n" + Address(12) + ",x,map01  \t\x1f\r\n" + a + ",x,map02,extra\r\n" +
          "10.9.9.9,x,map03\r\n" + a + ",x,MAP01 \r\n0" + a + ",x,map04\r\nonlytwo,fields\r\n" +
          "nocomma\r\n",
      a + ",x,m1\n" + a + ",x,m2",
      " " + a + ",x,m1\r\n" + a + ",x,m2\r\n" + a + " ,x,m3\r\n",
      a + ",x,m 1 \r\n" + a + ",x, m 1\r\n",
      Bytes("a\0b,\xFF,\x95\x5C\x81\r\n"),
      a + ",x,;hidden\r\n" + a + ",x,shown\r\n",
      a + ",x,k=v\r\n" + a + ",x,K\r\n",
  };
  for (const std::string& body : bodies) {
    SCOPED_TRACE(body);
    ExpectSameAsLineByLine(body, tolmap);
  }
}

TEST(MapFileTest, DisplayNamesFollowTheReadingRules) {
  const DisplayNames names = DisplayNames::Parse(
      "m0=before any section\r\n[Map]\r\n m1 = one \r\n;m2=comment\r\nM1=second\r\nplain\r\n"
      "[Other]\r\nm3=other\r\n[ map ]\r\nm3=merged\r\n");
  const struct {
    const char* id;
    const char* name;
  } cases[] = {{"m1", "one"}, {"M1", "one"}, {" m1", ""},      {"m0", ""},
               {";m2", ""},   {"m2", ""},    {"m3", "merged"}, {"plain", ""}};
  for (const auto& c : cases) EXPECT_EQ(names.Find(c.id), c.name) << c.id;
}

TEST(MapFileTest, SameTextHashAgreesWithSameText) {
  const SameTextHash hash;
  const std::pair<std::string, std::string> same[] = {
      {"GameServer01", "gAMESERVER01"},
      {"\x82"
       "a"
       "x",
       "\x82"
       "a"
       "X"},               // letters behind a double-byte character
      {"a\x82", "A\x82"},  // a lead byte without its second byte
  };
  for (const auto& [a, b] : same) {
    ASSERT_TRUE(SameText(a, b)) << a;
    EXPECT_EQ(hash(a), hash(b)) << a;
  }
}

}  // namespace
}  // namespace tol
