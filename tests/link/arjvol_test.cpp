// Packing of table sets into the unit's compact image and back.

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <vector>

#include "link/Arjvol.h"

namespace {

using Bytes = std::vector<uint8_t>;

PARTAB Table(std::initializer_list<int32_t> v) {
  PARTAB t;
  for (int32_t x : v) t.Append(x);
  return t;
}

PARTAB Ramp(int32_t n, int32_t start, int32_t step, int32_t curve = 0) {
  PARTAB t;
  for (int32_t i = 0, v = start, d = step; i < n; ++i, v += d, d += curve) t.Append(v);
  return t;
}

GROUPTAB Set(std::initializer_list<PARTAB> tables) {
  GROUPTAB s;
  for (const PARTAB& t : tables) s.Add(t);
  return s;
}

Bytes Image(const FTAB& f) { return {f.Bytes(), f.Bytes() + f.Size()}; }

}  // namespace

TEST(ArjvolTest, WorkedExampleBytesInBothModes) {
  const GROUPTAB set = Set({Table({0, 10, 25, 45})});
  TArjTab m0(0), m1(1);
  m0.Pack(set);
  m1.Pack(set);
  EXPECT_EQ(m0.Errors + m1.Errors, 0);
  EXPECT_EQ(Image(m0), (Bytes{0x00, 0x00, 0x0A, 0x00, 0x05, 0x05}));
  EXPECT_EQ(Image(m1), (Bytes{0x00, 0x00, 0x0A, 0x00, 0x0F, 0x00, 0x14, 0x00}));
}

TEST(ArjvolTest, EqualTablesAreStoredOnceAndGapsKeepTheirPositions) {
  GROUPTAB set = Set({Table({}), Ramp(5, 0, 10), Table({}), Ramp(7, 3, 2, 1), Ramp(5, 0, 10)});
  TArjTab packer;
  packer.Pack(set);
  EXPECT_EQ(packer.Directory, (TableDirectory{{5, 7}, {0, 1, 0, 2, 1}, 2}));
  EXPECT_EQ(packer.Size(), 7 + 9);
  GROUPTAB back;
  ASSERT_TRUE(packer.Unpack(back));
  EXPECT_EQ(back, set) << "a leading gap unpacks as an empty table";

  set.AddEmpty();
  packer.Pack(set);
  ASSERT_TRUE(packer.Unpack(back));
  EXPECT_EQ(back.Count(), 5) << "a trailing gap is not kept";
}

// One table counts at most one error, whatever is out of range in it.
TEST(ArjvolTest, RangeChecksCountOneErrorPerTable) {
  struct Case {
    const char* what;
    PARTAB table;
    int32_t mode, errors;
  };
  const Case cases[] = {
      {"second difference 127", Table({0, 0, 127}), 0, 0},
      {"second difference 128", Table({0, 0, 128}), 0, 1},
      {"second difference -128", Table({0, 0, -128}), 0, 0},
      {"second difference -129", Table({0, 0, -129}), 0, 1},
      {"many bad differences", Table({0, 0, 200, 0, 300}), 0, 1},
      {"first difference 40000, mode 1", Table({0, 40000}), 1, 1},
      {"first difference 32767, mode 1", Table({0, 32767}), 1, 0},
      {"first value beyond 16 bits", Table({40000, 40001, 40002}), 0, 1},
      {"first value beyond 16 bits, mode 1", Table({-40000, -39999}), 1, 1},
      {"first difference beyond 16 bits, mode 0", Table({0, 33000, 66000}), 0, 1},
      {"32-bit extremes wrap in the difference", Table({2147483647, -2147483647 - 1}), 1, 1},
  };
  for (const Case& c : cases) {
    TArjTab packer(c.mode);
    packer.Pack(Set({c.table}));
    EXPECT_EQ(packer.Errors, c.errors) << c.what;
  }
  TArjTab packer;
  packer.Pack(Set({Table({0, 0, 200}), Table({1, 1, 300})}));
  EXPECT_EQ(packer.Errors, 2);
}

TEST(ArjvolTest, OneEntryAndLongTablesRoundTripInBothModes) {
  // 14 tables of 2,000 entries come near the 64 KiB a unit holds in mode 1.
  GROUPTAB set = Set({Table({1234}), Table({-5, 3})});
  for (int k = 0; k < 14; ++k) set.Add(Ramp(2000, k * 10, 20 + k, k % 3 - 1));
  for (const auto& [mode, size] : {std::pair{0, 3 + 4 + 14 * 2002}, std::pair{1, 2 + 4 + 14 * 4000}}) {
    TArjTab packer(mode);
    packer.Pack(set);
    EXPECT_EQ(packer.Errors, 0);
    EXPECT_EQ(packer.Size(), size);
    EXPECT_TRUE(DirectoryIsSane(packer.Directory, mode));
    GROUPTAB back;
    ASSERT_TRUE(packer.Unpack(back));
    EXPECT_EQ(back, set) << mode;
  }
}

// Directories come from the unit and are not to be trusted.
TEST(ArjvolTest, DirectorySanityRejectsWhatNoUnitHoldsAndUnpackAShortImage) {
  const TableDirectory good{{100, 3}, {1, 0, 0, 0, 0, 2}, 2};
  struct Case {
    const char* what;
    std::function<void(TableDirectory&)> change;
    int32_t mode;
    bool sane;
  };
  const Case cases[] = {
      {"as is", [](TableDirectory&) {}, 0, true},
      {"empty", [](TableDirectory& d) { d = {}; }, 0, true},
      {"unknown mode", [](TableDirectory&) {}, 2, false},
      {"stored number above 16", [](TableDirectory& d) { d.Slots[3] = 17; }, 0, false},
      {"stored number beyond the unique count", [](TableDirectory& d) { d.Slots[3] = 3; }, 0, false},
      {"stored table no position uses", [](TableDirectory& d) { d.UniqueCount = 3; d.Counts[2] = 5; }, 0, false},
      {"stored table without entries", [](TableDirectory& d) { d.Counts[1] = 0; }, 0, false},
      {"image above 65535 bytes", [](TableDirectory& d) { d.Counts[0] = 65534; }, 0, false},
      {"image of 65535 bytes", [](TableDirectory& d) { d.Counts[0] = 65535 - 2 - 5; }, 0, true},
      {"the same, mode 1", [](TableDirectory& d) { d.Counts[0] = 65535 - 2 - 5; }, 1, false},
  };
  for (const Case& c : cases) {
    TableDirectory d = good;
    c.change(d);
    EXPECT_EQ(DirectoryIsSane(d, c.mode), c.sane) << c.what;
  }

  // Nor is the image: one shorter than its directory unpacks to nothing.
  TArjTab reader(0);
  reader.LoadDirectory(good);
  reader.SetSize(102);
  GROUPTAB out = Set({Table({1, 2})});
  EXPECT_FALSE(reader.Unpack(out));
  EXPECT_EQ(out.Count(), 0);
}
