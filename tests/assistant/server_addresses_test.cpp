#include "assistant/server_addresses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace tol {
namespace {

// Row `row` (1-based) split into its /24 network and last octet.
std::pair<std::string, int> At(std::size_t row) {
  const std::string& address = ServerAddressTable().at(row - 1).address;
  const std::size_t dot = address.rfind('.');
  return {address.substr(0, dot), std::stoi(address.substr(dot + 1))};
}

TEST(ServerAddressTableTest, RowsKeysAndLookup) {
  const auto& table = ServerAddressTable();
  ASSERT_EQ(table.size(), 298u);
  std::vector<std::string> keys = {"PatchServerH"};
  for (int i = 1; i <= 8; ++i) keys.push_back("PatchServerFV" + std::to_string(i));
  keys.push_back("LoginServer");
  for (int block = 0; block < 18; ++block) {
    keys.push_back("CharSelect");
    for (int n = 1; n <= 15; ++n)
      keys.push_back((n < 10 ? "GameServer0" : "GameServer") + std::to_string(n));
  }
  // Strict dotted decimal: four octets 0-255, no leading zeros.
  const std::regex ipv4(
      R"(((25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d)\.){3}(25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d))");
  std::set<std::string> seen;
  for (std::size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i + 1) + ": " + table[i].address);
    EXPECT_EQ(table[i].key, keys[i]);
    EXPECT_TRUE(std::regex_match(table[i].address, ipv4));
    EXPECT_TRUE(seen.insert(table[i].address).second) << "duplicate";
    EXPECT_EQ(ServerKeyForAddress(table[i].address), std::optional<std::string_view>(keys[i]));
  }
}

TEST(ServerAddressTableTest, NetworksOfSingleRowsAndBlocks) {
  const std::string a = At(1).first;
  EXPECT_EQ(At(10).first, a) << "LoginServer shares network A with PatchServerH";
  std::set<std::string> networks = {a};
  for (std::size_t first : {2, 6}) {  // FV1-FV4 in network B, FV5-FV8 in C
    std::vector<int> last;
    for (std::size_t row = first; row < first + 4; ++row) {
      EXPECT_EQ(At(row).first, At(first).first) << "row " << row;
      last.push_back(At(row).second);
    }
    std::sort(last.begin(), last.end());
    for (std::size_t i = 1; i < last.size(); ++i) EXPECT_GT(last[i] - last[i - 1], 1) << first;
    EXPECT_TRUE(networks.insert(At(first).first).second) << "row " << first;
  }

  std::map<std::string, std::vector<int>> block_starts;  // network -> first octets
  for (std::size_t first = 11; first <= 298; first += 16) {
    for (std::size_t i = 1; i < 16; ++i) {
      EXPECT_EQ(At(first + i), std::make_pair(At(first).first, At(first).second + int(i)))
          << "block at row " << first << " is not 16 consecutive addresses";
    }
    block_starts[At(first).first].push_back(At(first).second);
  }
  std::multiset<std::size_t> counts;
  for (auto& [net, starts] : block_starts) {
    EXPECT_TRUE(net == a || !networks.count(net)) << net << " holds blocks and FV rows";
    counts.insert(starts.size());
    // Between neighbouring blocks lies at least one address the table lacks.
    std::sort(starts.begin(), starts.end());
    for (std::size_t i = 1; i < starts.size(); ++i) {
      ASSERT_LT(starts[i - 1] + 16, starts[i]) << net << ": blocks touch or overlap";
      for (int last = starts[i - 1] + 16; last < starts[i]; ++last) {
        EXPECT_FALSE(ServerKeyForAddress(net + "." + std::to_string(last))) << net << "." << last;
      }
    }
  }
  EXPECT_EQ(block_starts[a].size(), 9u) << "nine blocks in network A";
  EXPECT_EQ(counts, (std::multiset<std::size_t>{2, 7, 9})) << "and two and seven in two others";
}

TEST(ServerAddressTableTest, LookupMatchesWholeBytesOnly) {
  const std::string login = ServerAddressTable()[9].address;
  const std::string cases[] = {
      " " + login,
      login + " ",
      login + "\r",
      At(10).first + ".0" + std::to_string(At(10).second),  // leading zero
      login.substr(0, login.size() - 1),
      login + std::string(1, '\0'),
      "",
      "LoginServer",
      "\x95\x5C",
  };
  for (const auto& text : cases) EXPECT_FALSE(ServerKeyForAddress(text)) << "[" << text << "]";
  EXPECT_EQ(ServerKeyForAddress(login), std::optional<std::string_view>("LoginServer"));
}

}  // namespace
}  // namespace tol
