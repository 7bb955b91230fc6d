// The building blocks under the tables, the link and the configuration file:
// the byte dump of the logs, the binary stream layout, the stopwatch, the
// table set and the code page.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "model/Cp1251.h"
#include "model/Prjvol.h"
#include "model/Xstream.h"

namespace tgxtest {

TEST(HexDump, SpacedUppercaseWithoutLeadingZeros) {
  EXPECT_EQ(HexDump(reinterpret_cast<const uint8_t*>("\x05\xAB\x10"), 3), " 5 AB 10 ");
}

TEST(Pstream, StoredLengthBeyondTheSourceFailsBeforeAllocating) {
  for (const std::string& bytes : {std::string("\xFF\xFF\xFF\x7F" "abc", 7), std::string("\xFF\xFF\xFF\xFF", 4),
                                  std::string("\x04\0\0\0abc", 7)}) {
    MemoryStream in(bytes), again(bytes);
    DATA d;
    EXPECT_THROW(in >> d, StreamError);
    EXPECT_EQ(d.Capacity(), 0);
    std::string s = "keep";
    EXPECT_THROW(again >> s, StreamError);
    EXPECT_EQ(s, "keep");
  }
}

// A source that cannot tell its size, holding `left` bytes of 'x'; it
// remembers the largest piece it was asked for.
class EndlessLookingStream : public pstream {
 public:
  explicit EndlessLookingStream(std::string head, size_t left) : head_(std::move(head)), left_(left) {}
  void write(const void*, size_t) override {}
  void read(void* bytes, size_t n) override {
    largest = std::max(largest, n);
    char* p = static_cast<char*>(bytes);
    for (; n > 0 && !head_.empty(); --n) *p++ = head_.front(), head_.erase(0, 1);
    if (n > left_) throw StreamError("short read");
    std::memset(p, 'x', n);
    left_ -= n;
  }
  size_t largest = 0;

 private:
  std::string head_;
  size_t left_;
};

// A damaged length from a source of unknown size (a pipe, a device) costs
// memory only for the bytes that really come; a long string that does come
// is read whole across the pieces.
TEST(Pstream, StoredLengthFromAnUnknownSourceIsReadInBoundedPieces) {
  const std::string huge("\xFF\xFF\xFF\x7F", 4);
  EndlessLookingStream text(huge, 200000), data(huge, 200000);
  std::string s = "keep";
  EXPECT_THROW(text >> s, StreamError);
  EXPECT_LE(text.largest, size_t{64 * 1024});
  EXPECT_EQ(s, "keep");
  DATA d;
  EXPECT_THROW(data >> d, StreamError);
  EXPECT_LE(data.largest, size_t{64 * 1024});
  EndlessLookingStream longer(std::string("\xA0\x86\x01\x00", 4), 100000);
  longer >> s;
  EXPECT_EQ(s, std::string(100000, 'x'));
}

TEST(Timer, ElapsedAcrossTheTickWrap) {
  static uint32_t ticks = 0xFFFFFF00u;
  SetTickSourceForTest([] { return ticks; });
  TIMER t(500);
  ticks += 0x100 + 1000;  // wrapped past 0
  EXPECT_EQ(t.Elapsed(), 0x100u + 1000);
  SetTickSourceForTest(nullptr);
}

TEST(Grouptab, KeepsItsFirstSixteenTables) {
  GROUPTAB g;
  for (int k = 0; k < 17; ++k) g.Add(PARTAB(k + 1));
  g.AddEmpty();
  ASSERT_EQ(g.Count(), 16);
  EXPECT_EQ(g.Table(15).Count(), 16);
}

TEST(Cp1251, RoundTripAndUnmappedCharacters) {
  const std::string bytes = tgx::FromUtf8("Градуировочные таблицы: ёЁ №5 «м³»");
  EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0xC3);  // Г
  EXPECT_EQ(tgx::ToUtf8(bytes), "Градуировочные таблицы: ёЁ №5 «м?»");  // ³ has no byte
  EXPECT_EQ(tgx::ToUtf8("\x98"), "\xEF\xBF\xBD");
  EXPECT_EQ(tgx::FromUtf8("\xC3"), "?");
}
}  // namespace tgxtest
