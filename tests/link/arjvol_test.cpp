#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "link/Arjvol.h"

namespace {
PARTAB Table(std::initializer_list<int32_t> v) {
  PARTAB t;
  for (int32_t x : v) t.Append(x);
  return t;
}

PARTAB Ramp(int32_t n, int32_t start, int32_t step, int32_t curve = 0) {
  PARTAB t;
  int32_t v = start, d = step;
  for (int32_t i = 0; i < n; ++i) {
    t.Append(v);
    v += d;
    d += curve;
  }
  return t;
}

std::vector<uint8_t> Image(const FTAB& f) { return {f.Bytes(), f.Bytes() + f.Size()}; }
}  // namespace

TEST(ArjvolTest, WorkedExampleBytesInBothModes) {
  GROUPTAB set;
  set.Add(Table({0, 10, 25, 45}));

  TArjTab m0(0);
  m0.Pack(set);
  EXPECT_EQ(m0.Errors, 0);
  EXPECT_EQ(Image(m0), (std::vector<uint8_t>{0x00, 0x00, 0x0A, 0x00, 0x05, 0x05}));

  TArjTab m1(1);
  m1.Pack(set);
  EXPECT_EQ(Image(m1), (std::vector<uint8_t>{0x00, 0x00, 0x0A, 0x00, 0x0F, 0x00, 0x14, 0x00}));
}

TEST(ArjvolTest, EqualTablesAreStoredOnceAndGapsKeepTheirPositions) {
  GROUPTAB set;
  set.Add(Ramp(5, 0, 10));
  set.AddEmpty();
  set.Add(Ramp(7, 3, 2, 1));
  set.Add(Ramp(5, 0, 10));
  TArjTab packer;
  packer.Pack(set);
  EXPECT_EQ(packer.Directory.UniqueCount, 2);
  EXPECT_EQ(packer.Directory.Slots[0], 1);
  EXPECT_EQ(packer.Directory.Slots[1], 0);
  EXPECT_EQ(packer.Directory.Slots[2], 2);
  EXPECT_EQ(packer.Directory.Slots[3], 1);
  EXPECT_EQ(packer.Directory.Counts[0], 5);
  EXPECT_EQ(packer.Directory.Counts[1], 7);
  EXPECT_EQ(packer.Size(), 7 + 9);

  GROUPTAB back;
  ASSERT_TRUE(packer.Unpack(back));
  EXPECT_EQ(back, set);
}

TEST(ArjvolTest, LeadingGapsUnpackAsEmptyTablesAndTrailingGapsAreDropped) {
  GROUPTAB set;
  set.AddEmpty();
  set.AddEmpty();
  set.Add(Ramp(4, 100, 1));
  set.AddEmpty();
  TArjTab packer;
  packer.Pack(set);
  GROUPTAB back;
  ASSERT_TRUE(packer.Unpack(back));
  ASSERT_EQ(back.Count(), 3);
  EXPECT_EQ(back.Table(0).Count(), 0);
  EXPECT_EQ(back.Table(1).Count(), 0);
  EXPECT_EQ(back.Table(2), set.Table(2));

  GROUPTAB none;
  packer.Pack(none);
  EXPECT_EQ(packer.Directory.UniqueCount, 0);
  EXPECT_EQ(packer.Size(), 0);
  ASSERT_TRUE(packer.Unpack(back));
  EXPECT_EQ(back.Count(), 0);
}

TEST(ArjvolTest, LinearTableIsTwoWordsAndZeroBytes) {
  GROUPTAB set;
  set.Add(Ramp(10, -50, 7));
  TArjTab packer;
  packer.Pack(set);
  auto img = Image(packer);
  ASSERT_EQ(img.size(), 12u);
  EXPECT_EQ(img[0], 0xCE);  // -50
  EXPECT_EQ(img[1], 0xFF);
  EXPECT_EQ(img[2], 7);
  EXPECT_EQ(img[3], 0);
  for (size_t i = 4; i < img.size(); ++i) EXPECT_EQ(img[i], 0) << i;
}

// Each row: table, mode, errors expected. One table counts at most one error.
TEST(ArjvolTest, RangeChecksCountOneErrorPerTable) {
  struct Case {
    const char* what;
    PARTAB table;
    int32_t mode;
    int32_t errors;
  };
  const Case cases[] = {
      {"second difference 127", Table({0, 0, 127}), 0, 0},
      {"second difference 128", Table({0, 0, 128}), 0, 1},
      {"second difference -128", Table({0, 0, -128}), 0, 0},
      {"second difference -129", Table({0, 0, -129}), 0, 1},
      {"many bad differences, one table", Table({0, 0, 200, 0, 300}), 0, 1},
      {"first difference 40000 in mode 1", Table({0, 40000}), 1, 1},
      {"first difference 32767 in mode 1", Table({0, 32767}), 1, 0},
      {"first value beyond 16 bits", Table({40000, 40001, 40002}), 0, 1},
      {"first value beyond 16 bits, mode 1", Table({-40000, -39999}), 1, 1},
      {"first difference beyond 16 bits in mode 0", Table({0, 33000, 66000}), 0, 1},
      {"smooth 32-bit extremes wrap in the difference", Table({2147483647, -2147483647 - 1}), 1, 1},
  };
  for (const auto& c : cases) {
    GROUPTAB set;
    set.Add(c.table);
    TArjTab packer(c.mode);
    packer.Pack(set);
    EXPECT_EQ(packer.Errors, c.errors) << c.what;
  }
  GROUPTAB two;
  two.Add(Table({0, 0, 200}));
  two.Add(Table({1, 1, 300}));
  TArjTab packer;
  packer.Pack(two);
  EXPECT_EQ(packer.Errors, 2);
}

TEST(ArjvolTest, OneEntryTablesRoundTripInBothModes) {
  for (int32_t mode : {0, 1}) {
    GROUPTAB set;
    set.Add(Table({1234}));
    set.Add(Table({-5, 3}));
    TArjTab packer(mode);
    packer.Pack(set);
    EXPECT_EQ(packer.Errors, 0);
    EXPECT_EQ(packer.Size(), mode == 0 ? 3 + 4 : 2 + 4) << mode;
    GROUPTAB back;
    ASSERT_TRUE(packer.Unpack(back));
    EXPECT_EQ(back, set) << mode;
  }
}

TEST(ArjvolTest, RealisticTablesRoundTripThroughTheDirectory) {
  GROUPTAB set;
  // 16 distinct tables of 2,000 entries: 32,032 bytes in mode 0, 64,000 in mode 1.
  for (int k = 0; k < 16; ++k) set.Add(Ramp(2000, k * 10, 20 + k));
  for (int32_t mode : {0, 1}) {
    TArjTab packer(mode);
    packer.Pack(set);
    ASSERT_EQ(packer.Errors, 0);
    TableDirectory dir;
    packer.SaveDirectory(dir);
    EXPECT_TRUE(DirectoryIsSane(dir, mode)) << "a packed set is something a unit could hold";

    TArjTab reader(mode);
    reader.LoadDirectory(dir);
    ASSERT_EQ(reader.Size(), packer.Size());
    std::copy(packer.Bytes(), packer.Bytes() + packer.Size(), reader.Bytes());
    EXPECT_TRUE(reader.Equals(packer));
    GROUPTAB back;
    ASSERT_TRUE(reader.Unpack(back));
    EXPECT_EQ(back, set);
  }
}

TEST(ArjvolTest, ConvertRepacksInTheTargetMode) {
  GROUPTAB set;
  set.Add(Table({0, 10, 25, 45}));
  TArjTab m0(0), m1(1);
  m0.Pack(set);
  m1.Convert(m0);
  TArjTab direct(1);
  direct.Pack(set);
  EXPECT_TRUE(m1.Equals(direct));
  EXPECT_FALSE(m1.Equals(m0));
}

// Directories come from the unit and are not to be trusted.
TEST(ArjvolTest, DirectorySanityRejectsWhatNoUnitHolds) {
  TableDirectory good;
  good.UniqueCount = 2;
  good.Slots[0] = 1;
  good.Slots[5] = 2;
  good.Counts[0] = 100;
  good.Counts[1] = 3;
  EXPECT_TRUE(DirectoryIsSane(good, 0));
  EXPECT_TRUE(DirectoryIsSane(TableDirectory{}, 0));
  EXPECT_FALSE(DirectoryIsSane(good, 2)) << "unknown mode";

  auto bad = good;
  bad.Slots[3] = 17;
  EXPECT_FALSE(DirectoryIsSane(bad, 0)) << "stored number above 16";
  bad = good;
  bad.Slots[3] = 3;
  EXPECT_FALSE(DirectoryIsSane(bad, 0)) << "stored number beyond the unique count";
  bad = good;
  bad.UniqueCount = 3;
  bad.Counts[2] = 5;
  EXPECT_FALSE(DirectoryIsSane(bad, 0)) << "stored table that no position uses";
  bad = good;
  bad.Counts[1] = 0;
  EXPECT_FALSE(DirectoryIsSane(bad, 0)) << "stored table without entries";
  bad = good;
  bad.Counts[0] = 65534;
  EXPECT_FALSE(DirectoryIsSane(bad, 0)) << "image larger than 65535 bytes";
  bad.Counts[0] = 65535 - 2 - 5;
  EXPECT_TRUE(DirectoryIsSane(bad, 0));
  EXPECT_FALSE(DirectoryIsSane(bad, 1));
}

TEST(ArjvolTest, UnpackRefusesAnImageShorterThanItsDirectory) {
  TArjTab reader(0);
  TableDirectory dir;
  dir.UniqueCount = 1;
  dir.Slots[0] = 1;
  dir.Counts[0] = 50;
  reader.LoadDirectory(dir);
  reader.SetSize(10);
  GROUPTAB out;
  out.Add(Table({1, 2}));
  EXPECT_FALSE(reader.Unpack(out));
  EXPECT_EQ(out.Count(), 0);
}
