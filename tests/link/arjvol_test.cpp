// Packing of table sets into the unit's compact image and back.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <initializer_list>
#include <tuple>
#include <vector>

#include "link/Arjvol.h"
#include "model/Cp1251.h"

namespace tgxtest {
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

GROUPTAB Set(const std::vector<PARTAB>& tables) {
  GROUPTAB s;
  for (const PARTAB& t : tables) s.Add(t);
  return s;
}

// The worked example, then a set with equal tables (stored once), gaps (a
// leading one unpacks as an empty table), one-entry tables and ten tables of
// 2,800 entries that come near the 64 KiB a unit holds in mode 1.
TEST(ArjvolTest, WorkedExampleAndRoundTripsInBothModes) {
  GROUPTAB set = Set({Table({}), Ramp(5, 0, 10), Table({}), Table({1234}), Ramp(5, 0, 10), Table({-5, 3})});
  for (int k = 0; k < 10; ++k) set.Add(Ramp(2800, k * 10, 20 + k, k % 3 - 1));
  const std::tuple<int32_t, Bytes, int32_t> modes[] = {
      {0, {0x00, 0x00, 0x0A, 0x00, 0x05, 0x05}, 7 + 3 + 4 + 10 * 2802},
      {1, {0x00, 0x00, 0x0A, 0x00, 0x0F, 0x00, 0x14, 0x00}, 10 + 2 + 4 + 10 * 5600}};
  for (const auto& [mode, example, size] : modes) {
    TArjTab packer(mode);
    packer.Pack(Set({Table({0, 10, 25, 45})}));
    EXPECT_EQ(packer.Errors, 0);
    EXPECT_EQ(Bytes(packer.Bytes(), packer.Bytes() + packer.Size()), example);
    packer.Pack(set);
    EXPECT_EQ(packer.Errors, 0);
    EXPECT_EQ(packer.Size(), size);
    EXPECT_EQ(packer.Directory.Slots, (std::array<int32_t, 16>{0, 1, 0, 2, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    EXPECT_TRUE(DirectoryIsSane(packer.Directory, mode));
    GROUPTAB back;
    ASSERT_TRUE(packer.Unpack(back));
    EXPECT_EQ(back, set) << mode;
  }
  TArjTab packer;
  packer.Pack(Set({Table({1}), Table({})}));
  GROUPTAB back;
  ASSERT_TRUE(packer.Unpack(back));
  EXPECT_EQ(back.Count(), 1) << "a trailing gap is not kept";
}

// One table counts at most one error, whatever is out of range in it.
TEST(ArjvolTest, RangeChecksCountOneErrorPerTable) {
  const std::tuple<const char*, std::vector<PARTAB>, int32_t, int32_t> cases[] = {
      {"second difference 127", {Table({0, 0, 127})}, 0, 0},
      {"second difference 128", {Table({0, 0, 128})}, 0, 1},
      {"second difference -128", {Table({0, 0, -128})}, 0, 0},
      {"second difference -129", {Table({0, 0, -129})}, 0, 1},
      {"many bad differences", {Table({0, 0, 200, 0, 300})}, 0, 1},
      {"two bad tables", {Table({0, 0, 200}), Table({1, 1, 300})}, 0, 2},
      {"first difference 40000, mode 1", {Table({0, 40000})}, 1, 1},
      {"first difference 32767, mode 1", {Table({0, 32767})}, 1, 0},
      {"first value beyond 16 bits", {Table({40000, 40001, 40002})}, 0, 1},
      {"first value beyond 16 bits, mode 1", {Table({-40000, -39999})}, 1, 1},
      {"first difference beyond 16 bits, mode 0", {Table({0, 33000, 66000})}, 0, 1},
      {"32-bit extremes wrap in the difference", {Table({2147483647, -2147483647 - 1})}, 1, 1},
  };
  for (const auto& [what, tables, mode, errors] : cases) {
    TArjTab packer(mode);
    packer.Pack(Set(tables));
    EXPECT_EQ(packer.Errors, errors) << what;
  }
}

// Directories come from the unit and are not to be trusted; nor is the image:
// one shorter than its directory unpacks to nothing.
TEST(ArjvolTest, DirectorySanityAndAShortImage) {
  const TableDirectory good{{100, 3}, {1, 0, 0, 0, 0, 2}, 2};
  const std::tuple<const char*, std::function<void(TableDirectory&)>, int32_t, bool> cases[] = {
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
  for (const auto& [what, change, mode, sane] : cases) {
    TableDirectory d = good;
    change(d);
    EXPECT_EQ(DirectoryIsSane(d, mode), sane) << what;
  }

  TArjTab reader(0);
  reader.LoadDirectory(good);
  reader.SetSize(102);
  GROUPTAB out = Set({Table({1, 2})});
  EXPECT_FALSE(reader.Unpack(out));
  EXPECT_EQ(out.Count(), 0);
}

// The largest image a directory may describe is what the unit's 16-bit
// address space holds, in either mode; a reader is sized to the image.
TEST(ArjvolTest, DirectoryBoundsAndTheImageSizeOfAReader) {
  const struct {
    int32_t count, mode;
    bool sane;
    int32_t size;
  } cases[] = {
      {65533, 0, true, kMaxUnitImageBytes}, {65534, 0, false, 0}, {100, 1, true, 200},
      {32767, 1, true, 65534},              {32768, 1, false, 0}, {0, 0, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " mode " + std::to_string(c.mode));
    const TableDirectory d{{c.count}, {1}, 1};
    EXPECT_EQ(DirectoryIsSane(d, c.mode), c.sane);
    if (!c.sane) continue;
    TArjTab reader(c.mode);
    reader.LoadDirectory(d);
    EXPECT_EQ(reader.Size(), c.size);
  }
}

// Every table that does not pack names its channel and the first level where
// it fails; tables that pack are not named.
TEST(PackFailure, NamesChannelLevelAndValue) {
  const struct {
    const char* name;
    GROUPTAB set;
    int32_t mode;
    std::string text;
  } cases[] = {
      {"fits", Set({Ramp(50, 0, 3, 1)}), 0, ""},
      {"first value beyond 16 bits", Set({Table({40000, 40001})}), 0,
       "Канал 1: объём 40000 л на уровне 0 см не умещается в 16 бит"},
      {"first difference beyond 16 bits", Set({Table({0, 1}), Table({0, 33000})}), 0,
       "Канал 2: разность объёмов 33000 л на уровне 1 см не умещается в 16 бит"},
      {"second difference too large", Set({Table({0, 1, 2, 132})}), 0,
       "Канал 1: вторая разность объёмов 129 л на уровне 3 см вне -128..127"},
      {"second difference too small", Set({Table({0, 200, 271})}), 0,
       "Канал 1: вторая разность объёмов -129 л на уровне 2 см вне -128..127"},
      {"mode 1 takes any second difference", Set({Table({0, 1, 2, 132})}), 1, ""},
      {"mode 1 difference beyond 16 bits", Set({Table({0, 5, 40000})}), 1,
       "Канал 1: разность объёмов 39995 л на уровне 2 см не умещается в 16 бит"},
      {"a gap is skipped, two channels named", Set({Table({0, 1, 2, 132}), PARTAB(), Table({-40000})}), 0,
       "Канал 1: вторая разность объёмов 129 л на уровне 3 см вне -128..127\n"
       "Канал 3: объём -40000 л на уровне 0 см не умещается в 16 бит"},
  };
  for (const auto& c : cases) EXPECT_EQ(tgx::ToUtf8(PackFailureText(c.set, c.mode)), c.text) << c.name;
}

// The text names a channel exactly when packing counts an error for it.
TEST(PackFailure, AgreesWithThePacker) {
  const std::vector<PARTAB> tables = {Ramp(20, 0, 5), Table({0, 1, 2, 132}), Table({40000}), Table({0, 5, 40000}),
                                      Ramp(300, -32768, 200, 1)};
  for (const int32_t mode : {0, 1})
    for (const PARTAB& t : tables) {
      TArjTab arj(mode);
      arj.Pack(Set({t}));
      EXPECT_EQ(arj.Errors > 0, !PackFailureText(Set({t}), mode).empty()) << mode << " " << t.Count();
    }
}
}  // namespace
}  // namespace tgxtest
