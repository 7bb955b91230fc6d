// The building blocks under the tables, the link and the configuration file:
// buffer growth, the binary stream layout, the stopwatch, the collection, the
// table set and the code page.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "model/Cp1251.h"
#include "model/Prjvol.h"
#include "model/Xcol.h"
#include "model/Xstream.h"

TEST(Data, GrowthRulesOfAppendAndSetSize) {
  DATA d;
  std::vector<uint8_t> bytes(111);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  d.Append(bytes.data(), 10);
  EXPECT_EQ(d.Capacity(), 110);
  EXPECT_EQ(d.Size(), 10);
  const uint8_t* before = d.Bytes();
  d.Append(bytes.data() + 10, 100);
  EXPECT_EQ(d.Capacity(), 110);
  EXPECT_EQ(d.Bytes(), before);
  d.AppendByte(111);
  EXPECT_EQ(d.Capacity(), 211);
  ASSERT_EQ(d.Size(), 111);
  EXPECT_EQ(std::memcmp(d.Bytes(), bytes.data(), 111), 0);

  DATA s;
  s.SetSize(20);
  EXPECT_EQ(s.Capacity(), 120);
  s.SetSize(150);
  EXPECT_EQ(s.Capacity(), 250);
  s.SetSize(10);
  EXPECT_EQ(s.Capacity(), 250);
  EXPECT_EQ(s.Size(), 10);

  DATA empty_a, empty_b;
  empty_b.SetSize(30);
  empty_b.SetSize(0);
  EXPECT_TRUE(empty_a == empty_b);
  empty_a.Assign("abc", 3);
  empty_b.Assign("abd", 3);
  EXPECT_FALSE(empty_a == empty_b);
  EXPECT_EQ(HexDump(reinterpret_cast<const uint8_t*>("\x05\xAB\x10"), 3), " 5 AB 10 ");
  EXPECT_EQ(HexDump(DATA()), "");
}

TEST(Pstream, LayoutIsLittleEndianWithLengthPrefixedStrings) {
  MemoryStream out;
  const std::string with_zero("a\0b", 3);
  out << int32_t{0x01020304} << int32_t{-2} << uint8_t{0xFE} << std::string() << with_zero;
  EXPECT_EQ(out.Bytes(), std::string("\x04\x03\x02\x01\xFE\xFF\xFF\xFF\xFE"
                                     "\0\0\0\0"
                                     "\x03\0\0\0a\0b",
                                     20));
  MemoryStream in(out.Bytes());
  int32_t a = 0, b = 0;
  uint8_t c = 0;
  std::string empty = "x", s;
  in >> a >> b >> c >> empty >> s;
  EXPECT_EQ(a, 0x01020304);
  EXPECT_EQ(b, -2);
  EXPECT_EQ(c, 0xFE);
  EXPECT_EQ(empty, "");
  EXPECT_EQ(s, with_zero);
  EXPECT_THROW(in >> c, StreamError);
}

TEST(Pstream, StoredLengthBeyondTheSourceFailsBeforeAllocating) {
  const std::string huge("\xFF\xFF\xFF\x7F" "abc", 7);
  const std::string negative("\xFF\xFF\xFF\xFF", 4);
  const std::string short_by_one("\x04\0\0\0abc", 7);
  for (const std::string& bytes : {huge, negative, short_by_one}) {
    MemoryStream in(bytes);
    DATA d;
    EXPECT_THROW(in >> d, StreamError);
    EXPECT_EQ(d.Capacity(), 0);
    MemoryStream again(bytes);
    std::string s = "keep";
    EXPECT_THROW(again >> s, StreamError);
    EXPECT_EQ(s, "keep");
  }
}

namespace {
uint32_t g_ticks = 0;
uint32_t FakeTicks() { return g_ticks; }
}  // namespace

TEST(Timer, ElapsedAcrossTheTickWrap) {
  SetTickSourceForTest(&FakeTicks);
  g_ticks = 0xFFFFFF00u;
  TIMER t(500);
  EXPECT_EQ(t.Elapsed(), 0u);
  g_ticks += 0x100;  // wrapped to 0
  EXPECT_EQ(t.Elapsed(), 0x100u);
  g_ticks += 1000;
  EXPECT_EQ(t.Elapsed(), 0x100u + 1000);
  t.Restart();
  EXPECT_EQ(t.Elapsed(), 0u);
  SetTickSourceForTest(nullptr);
}

namespace {
struct Port {
  int id;
};
class Recorder : public TXCollection<Port> {
 public:
  std::vector<int> freed;

 protected:
  void FreeItem(int index) override {
    freed.push_back(Item(index)->id);
    TXCollection<Port>::FreeItem(index);
  }
  std::unique_ptr<Port> CreateItem(int, pstream& s) override {
    int32_t id = 0;
    s >> id;
    return std::make_unique<Port>(Port{id});
  }
  void WriteItem(int, pstream& s, const Port& item) const override { s << int32_t{item.id}; }
};
}  // namespace

TEST(Collection, ClearFreesEachItemOnceInOrderAndStreamsRoundTrip) {
  Recorder r;
  for (int id : {7, 8, 9}) r.Add(std::make_unique<Port>(Port{id}));
  MemoryStream s;
  r.Save(s);
  r.Clear();
  EXPECT_EQ(r.freed, (std::vector<int>{7, 8, 9}));
  EXPECT_EQ(r.Count(), 0);
  r.Add(std::make_unique<Port>(Port{1}));
  MemoryStream in(s.Bytes());
  r.Load(in);  // frees the present item first
  EXPECT_EQ(r.freed, (std::vector<int>{7, 8, 9, 1}));
  ASSERT_EQ(r.Count(), 3);
  EXPECT_EQ(r.Item(2)->id, 9);
}

TEST(Grouptab, AddLimitsAndEquality) {
  GROUPTAB g, other;
  for (int k = 0; k < 17; ++k) {
    PARTAB t;
    t.Append(k);
    g.Add(t);
  }
  ASSERT_EQ(g.Count(), 16);
  EXPECT_EQ(g.Table(15)[0], 15);
  g.Clear();
  EXPECT_EQ(g.Count(), 0);
  EXPECT_TRUE(g == other);

  PARTAB hundred(100);
  for (int i = 0; i < 3; ++i) {
    g.Add(hundred);
    other.Add(hundred);
  }
  g.AddEmpty();
  PARTAB one(1);
  other.Add(one);
  EXPECT_FALSE(g == other);
  EXPECT_EQ(g.Table(3).Count(), 0);
  PARTAB changed(100);
  changed[57] = 1;
  EXPECT_FALSE(changed == hundred);
  changed.Assign(PARTAB());
  EXPECT_TRUE(changed == PARTAB());
}

TEST(Cp1251, RoundTripAndUnmappedCharacters) {
  const std::string utf8 = "Градуировочные таблицы: ёЁ №5 «м³»";
  const std::string bytes = tgx::FromUtf8(utf8);
  EXPECT_EQ(bytes.size(), 34u);
  EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0xC3);  // Г
  EXPECT_EQ(tgx::ToUtf8(bytes), "Градуировочные таблицы: ёЁ №5 «м?»");  // ³ has no byte
  EXPECT_EQ(tgx::ToUtf8("\x98"), "\xEF\xBF\xBD");
  EXPECT_EQ(tgx::FromUtf8("\xC3"), "?");
}
