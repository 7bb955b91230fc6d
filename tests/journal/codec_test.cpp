// The compact table encoding and its checksum: what goes in comes out, what
// a damaged or cut-off encoding does, and how small a smooth table gets.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "journal/JournalSamples.h"
#include "journal/TableCodec.h"

namespace tgxtest {
namespace {

using tgx::DecodeTables;
using tgx::EncodeTables;

TEST(TableCodec, ChecksumIsCrc64OfXz) {
  EXPECT_EQ(tgx::Checksum64("123456789"), 0x995DC9BBDF1939FAull);
  EXPECT_EQ(tgx::Checksum64(""), 0u);
}

TEST(TableCodec, TablesRoundTripExactly) {
  PARTAB wild;  // the largest second differences 32-bit entries allow, and negative entries
  for (int i = 0; i < 1000; ++i) wild.Append(i % 2 ? INT32_MIN : INT32_MAX);
  GROUPTAB gaps, odd, longest;
  gaps.AddEmpty();
  gaps.Add(SmoothTable(10, 1));
  gaps.AddEmpty();
  odd.Add(wild);
  longest.Add(SmoothTable(65535, 2, -40000));
  const std::pair<const char*, GROUPTAB> cases[] = {
      {"an empty set", GROUPTAB()}, {"gaps first and last", gaps},          {"not smooth", odd},
      {"65,535 entries", longest},  {"sixteen tables", SmoothSet(16, 3000)},
  };
  for (const auto& [name, set] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(DecodeTables(EncodeTables(set)), set);
  }
}

TEST(TableCodec, SmoothTableTakesAboutOneByteAnEntry) {
  EXPECT_LE(EncodeTables(SmoothSet(16, 3000, 1000000)).size(), 16u * 3000u * 11u / 10u);
}

TEST(TableCodec, EveryCutOffEncodingIsRefused) {
  GROUPTAB set = SmoothSet(2, 40);
  set.AddEmpty();
  set.Add(SmoothTable(3, 0, INT32_MAX - 40));
  const std::string bytes = EncodeTables(set);
  for (std::size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(DecodeTables(std::string_view(bytes).substr(0, n))) << n;
}

TEST(TableCodec, MalformedEncodingsAreRefused) {
  const std::string good = EncodeTables(SmoothSet(1, 3));
  const std::pair<const char*, std::string> cases[] = {
      {"unknown format byte", "\x02" + good.substr(1)},
      {"17 tables", std::string("\x01\x11", 2) + std::string(17, '\0')},
      {"a byte left over", good + std::string(1, '\0')},
      // A count of 2^32 - 1 entries in a few bytes must not be believed.
      {"count beyond the bytes", std::string("\x01\x01\xFF\xFF\xFF\xFF\x0F\x00", 8)},
      {"varint past 64 bits", std::string("\x01\x01\x01", 3) + std::string(9, '\xFF') + std::string(1, '\x02')},
      // Zig-zag 2^32 is the first entry 2^31: one past the largest.
      {"entry above the 32-bit range", std::string("\x01\x01\x01\x80\x80\x80\x80\x10", 8)},
      {"entry below the 32-bit range", std::string("\x01\x01\x01\x81\x80\x80\x80\x10", 8)},
  };
  for (const auto& [name, bytes] : cases) EXPECT_FALSE(DecodeTables(bytes)) << name;
}

}  // namespace
}  // namespace tgxtest
