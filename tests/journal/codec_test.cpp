// The compact table encoding and its checksum: what a damaged or cut-off
// encoding does, and how small a smooth table gets.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "journal/TableCodec.h"
#include "journal/JournalSamples.h"

namespace tgxtest {
namespace {

using tgx::DecodeTables;
using tgx::EncodeTables;

TEST(TableCodec, ChecksumIsCrc64OfXz) {
  EXPECT_EQ(tgx::Checksum64("123456789"), 0x995DC9BBDF1939FAull);
  EXPECT_EQ(tgx::Checksum64(""), 0u);
}

TEST(TableCodec, SmoothTableTakesAboutOneByteAnEntry) {
  const std::string bytes = EncodeTables(SmoothSet(16, 3000, 1000000));
  EXPECT_LE(bytes.size(), 16u * 3000u * 11u / 10u);
}

TEST(TableCodec, EveryCutOffEncodingIsRefused) {
  GROUPTAB set = SmoothSet(2, 40);
  set.AddEmpty();
  PARTAB wild;
  for (int32_t v : {INT32_MIN, INT32_MAX, -1, 0}) wild.Append(v);
  set.Add(wild);
  const std::string bytes = EncodeTables(set);
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_FALSE(DecodeTables(std::string_view(bytes).substr(0, n)));
  }
}

TEST(TableCodec, MalformedEncodingsAreRefused) {
  const std::string good = EncodeTables(SmoothSet(1, 3));
  struct Case {
    const char* name;
    std::string bytes;
  };
  const std::vector<Case> cases = {
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(DecodeTables(c.bytes));
  }
}

}  // namespace
}  // namespace tgxtest
