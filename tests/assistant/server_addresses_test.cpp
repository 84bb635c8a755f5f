#include "assistant/server_addresses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <set>
#include <string>

namespace tol {
namespace {

struct Ipv4 {
  std::array<int, 4> octets{};
  std::string Network() const {
    return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
           std::to_string(octets[2]);
  }
  int Last() const { return octets[3]; }
};

// Strict dotted decimal: four octets 0-255, no leading zeros, nothing else.
bool ParseIpv4(const std::string& text, Ipv4* out) {
  int part = 0;
  size_t i = 0;
  while (part < 4) {
    size_t start = i;
    int value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3) {
      value = value * 10 + (text[i] - '0');
      ++i;
    }
    if (i == start || value > 255 || (text[start] == '0' && i - start > 1)) return false;
    out->octets[part++] = value;
    if (part < 4) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
  }
  return i == text.size();
}

std::string GameServerKey(int n) {
  char key[16];
  std::snprintf(key, sizeof key, "GameServer%02d", n);
  return key;
}

class ServerAddressTableTest : public ::testing::Test {
 protected:
  const std::vector<ServerAddress>& table_ = ServerAddressTable();

  Ipv4 At(size_t row) const {  // 1-based row number
    Ipv4 ip;
    EXPECT_TRUE(ParseIpv4(table_.at(row - 1).address, &ip)) << "row " << row;
    return ip;
  }
};

TEST_F(ServerAddressTableTest, HasTheFixedRowsAndKeysInOrder) {
  ASSERT_EQ(table_.size(), 298u);
  std::vector<std::string> expected = {"PatchServerH"};
  for (int i = 1; i <= 8; ++i) expected.push_back("PatchServerFV" + std::to_string(i));
  expected.push_back("LoginServer");
  for (int block = 0; block < 18; ++block) {
    expected.push_back("CharSelect");
    for (int n = 1; n <= 15; ++n) expected.push_back(GameServerKey(n));
  }
  for (size_t i = 0; i < table_.size(); ++i) {
    EXPECT_EQ(table_[i].key, expected[i]) << "row " << i + 1;
    Ipv4 ip;
    EXPECT_TRUE(ParseIpv4(table_[i].address, &ip)) << "row " << i + 1 << ": " << table_[i].address;
  }
}

TEST_F(ServerAddressTableTest, AddressesAreDistinct) {
  std::set<std::string> seen;
  for (const auto& row : table_) {
    EXPECT_TRUE(seen.insert(row.address).second) << "duplicate " << row.address;
  }
}

TEST_F(ServerAddressTableTest, SingleRowsLieInTheirNetworks) {
  const std::string a = At(1).Network();
  EXPECT_EQ(At(10).Network(), a) << "LoginServer shares network A with PatchServerH";
  struct Group {
    const char* name;
    size_t first_row;
  } groups[] = {{"B (FV1-FV4)", 2}, {"C (FV5-FV8)", 6}};
  std::set<std::string> networks = {a};
  for (const auto& g : groups) {
    const std::string net = At(g.first_row).Network();
    std::vector<int> last;
    for (size_t row = g.first_row; row < g.first_row + 4; ++row) {
      EXPECT_EQ(At(row).Network(), net) << g.name << " row " << row;
      last.push_back(At(row).Last());
    }
    std::sort(last.begin(), last.end());
    for (size_t i = 1; i < last.size(); ++i) {
      EXPECT_GT(last[i] - last[i - 1], 1) << g.name << ": addresses must not be consecutive";
    }
    EXPECT_TRUE(networks.insert(net).second) << g.name << " reuses another network";
  }
}

TEST_F(ServerAddressTableTest, BlocksAreConsecutiveSeparatedAndSpreadOverNetworks) {
  const std::string a = At(1).Network();
  const std::string b = At(2).Network();
  const std::string c = At(6).Network();
  std::map<std::string, std::vector<int>> block_starts;  // network -> first octets
  for (int block = 0; block < 18; ++block) {
    const size_t first_row = 11 + block * 16;
    const Ipv4 start = At(first_row);
    for (int i = 1; i < 16; ++i) {
      const Ipv4 ip = At(first_row + i);
      EXPECT_EQ(ip.Network(), start.Network()) << "block " << block << " crosses its network";
      EXPECT_EQ(ip.Last(), start.Last() + i) << "block " << block << " offset " << i;
    }
    block_starts[start.Network()].push_back(start.Last());
  }
  ASSERT_EQ(block_starts.size(), 3u) << "blocks lie in exactly three networks";
  ASSERT_EQ(block_starts.count(a), 1u);
  EXPECT_EQ(block_starts[a].size(), 9u) << "nine blocks in network A";
  std::vector<size_t> other_counts;
  for (const auto& [net, starts] : block_starts) {
    EXPECT_NE(net, b);
    EXPECT_NE(net, c);
    if (net != a) other_counts.push_back(starts.size());
  }
  std::sort(other_counts.begin(), other_counts.end());
  EXPECT_EQ(other_counts, (std::vector<size_t>{2, 7})) << "two blocks in D, seven in E";

  // Between neighbouring blocks of a network lies at least one address that
  // the table doesn't list.
  for (auto& [net, starts] : block_starts) {
    std::sort(starts.begin(), starts.end());
    for (size_t i = 1; i < starts.size(); ++i) {
      const int gap_first = starts[i - 1] + 16;
      ASSERT_LT(gap_first, starts[i])
          << net << ": blocks at " << starts[i - 1] << " and " << starts[i] << " touch or overlap";
      for (int last = gap_first; last < starts[i]; ++last) {
        const std::string addr = net + "." + std::to_string(last);
        EXPECT_FALSE(ServerKeyForAddress(addr)) << addr << " lies in a gap but is listed";
      }
    }
  }
}

TEST_F(ServerAddressTableTest, LookupFindsEveryRow) {
  for (const auto& row : table_) {
    auto key = ServerKeyForAddress(row.address);
    ASSERT_TRUE(key) << row.address;
    EXPECT_EQ(*key, row.key) << row.address;
  }
}

TEST_F(ServerAddressTableTest, LookupMatchesWholeBytesOnly) {
  const std::string login = table_[9].address;
  const Ipv4 ip = At(10);
  std::string with_zero = ip.Network() + ".0" + std::to_string(ip.Last());
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      {"leading blank", " " + login},
      {"trailing blank", login + " "},
      {"trailing CR", login + "\r"},
      {"leading zero in last octet", with_zero},
      {"prefix only", login.substr(0, login.size() - 1)},
      {"embedded NUL", login + std::string(1, '\0')},
      {"empty", ""},
      {"key instead of address", "LoginServer"},
      {"high bytes", "\x95\x5C"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(ServerKeyForAddress(c.text)) << c.name;
  }
  EXPECT_EQ(ServerKeyForAddress(login), std::optional<std::string_view>("LoginServer"));
}

}  // namespace
}  // namespace tol
