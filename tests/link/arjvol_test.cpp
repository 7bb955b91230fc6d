// Packing of table sets into the unit's compact image and back.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <tuple>

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
}

// Directories come from the unit and are not to be trusted; nor is the image:
// one shorter than its directory unpacks to nothing.
TEST(ArjvolTest, DirectorySanityAndAShortImage) {
  const TableDirectory good{{100, 3}, {1, 0, 0, 0, 0, 2}, 2};
  const std::tuple<const char*, std::function<void(TableDirectory&)>, int32_t, bool> cases[] = {
      {"as is", [](TableDirectory&) {}, 0, true},
      {"unknown mode", [](TableDirectory&) {}, 2, false},
      {"stored number beyond the unique count", [](TableDirectory& d) { d.Slots[3] = 3; }, 0, false},
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

// One table counts at most one error, whatever is out of range in it, and
// the text names the channel of every table that does not pack with the
// first level where it fails; tables that pack are not named.
TEST(PackFailure, OneErrorAndOneLinePerTable) {
  const std::string second = "вторая разность объёмов ", range = " см вне -128..127", bits = " см не умещается в 16 бит";
  const std::tuple<const char*, GROUPTAB, int32_t, int32_t, std::string> cases[] = {  // name, tables, mode, errors, text
      {"second difference 127", Set({Table({0, 0, 127})}), 0, 0, ""},
      {"second difference 128", Set({Table({0, 0, 128})}), 0, 1, "Канал 1: " + second + "128 л на уровне 2" + range},
      {"second difference -129", Set({Table({0, 0, -129})}), 0, 1, "Канал 1: " + second + "-129 л на уровне 2" + range},
      {"many bad differences", Set({Table({0, 0, 200, 0})}), 0, 1, "Канал 1: " + second + "200 л на уровне 2" + range},
      {"mode 1 takes any second difference", Set({Table({0, 1, 2, 132})}), 1, 0, ""},
      {"first value", Set({Table({40000, 40001})}), 0, 1, "Канал 1: объём 40000 л на уровне 0" + bits},
      {"first difference", Set({Table({0, 1}), Table({0, 33000})}), 0, 1,
       "Канал 2: разность объёмов 33000 л на уровне 1" + bits},
      {"a difference, mode 1", Set({Table({0, 5, 40000})}), 1, 1, "Канал 1: разность объёмов 39995 л на уровне 2" + bits},
      {"a gap is skipped, two channels named", Set({Table({0, 1, 2, 132}), PARTAB(), Table({-40000})}), 0, 2,
       "Канал 1: " + second + "129 л на уровне 3" + range + "\nКанал 3: объём -40000 л на уровне 0" + bits},
  };
  for (const auto& [name, set, mode, errors, text] : cases) {
    SCOPED_TRACE(name);
    TArjTab packer(mode);
    packer.Pack(set);
    EXPECT_EQ(packer.Errors, errors);
    EXPECT_EQ(tgx::ToUtf8(PackFailureText(set, mode)), text);
  }
}
}  // namespace
}  // namespace tgxtest
