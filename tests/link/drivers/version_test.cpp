// The version table and the pure halves of the read path: the unit's
// directory records and what they may and may not describe.

#include <gtest/gtest.h>

#include <cstring>

#include "link/Bvlink.h"
#include "link/drivers/Drv632.h"
#include "model/Cp1251.h"

namespace {
TEST(VersionTable, LookupsFollowTheTableOrder) {
  const struct {
    int32_t code;
    uint8_t id;
    const char* label;
    uint8_t driver;
  } cases[] = {
      {6320, 6, "632 ", 3},    {6210, 4, "621a ", 2},  {6341, 9, "6341 ", 4},  {6342, 10, "6342 ", 5},
      {7310, 21, "731 ", 5},   {7350, 18, "735 ", 5},  {8433, 27, "8433 ", 8}, {8510, 26, "851 ", 9},
      {8530, 29, "853 ", 11},  {9600, 30, "960 ", 12}, {9616, 31, "96XX", 14}, {9620, 32, "962 ", 13},
      {9626, 33, "96XX", 14},  {0, 0, "5X0 ", 0},      {5010, 1, "501 ", 1},   {9627, 33, "96XX", 14},
      {9700, 33, "96XX", 14},  {7000, 34, "?", 15},    {9612, 34, "?", 15},    {-1, 34, "?", 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const uint8_t id = VersionIdOfCode(c.code);
    EXPECT_EQ(id, c.id);
    EXPECT_EQ(VersionLabel(id), c.label);
    EXPECT_EQ(DriverOfVersion(id), c.driver);
  }
  // Id 5 has no record, and nor has anything past 33.
  EXPECT_EQ(VersionLabel(5), "?");
  EXPECT_EQ(DriverOfVersion(5), 15);
  EXPECT_EQ(VersionLabel(34), "?");
  EXPECT_EQ(DriverOfVersion(200), 15);
}

TEST(VersionTable, ResultTexts) {
  const struct {
    int32_t code;
    const char* text;
  } cases[] = {
      {0, "OK"},
      {4, "Неисправность БВ!"},
      {6, "Ошибка связи"},
      {80, "Ошибка сжатия таблиц"},
      {81, "Версия не поддерживается"},
      {82, "Ошибка связи"},
      {83, "Недостаточно памяти БВ!"},
      {254, "Инициализация БВ"},
      {12, "Ошибка связи"},
      {1, "Ошибка связи"},
  };
  for (const auto& c : cases) EXPECT_EQ(ResultText(c.code), tgx::FromUtf8(c.text)) << c.code;
}

// ---------------------------------------------------------------- records
struct Record {
  uint16_t number, reserved, count;
};

DirectoryRecords Records(std::initializer_list<std::pair<int, Record>> set) {
  DirectoryRecords r{};
  for (const auto& [p, rec] : set) {
    uint8_t* at = r.data() + p * kRecordSize;
    at[0] = rec.number & 0xFF, at[1] = rec.number >> 8;
    at[2] = rec.reserved & 0xFF, at[3] = rec.reserved >> 8;
    at[4] = rec.count & 0xFF, at[5] = rec.count >> 8;
  }
  return r;
}

TEST(DirectoryRecordsTest, RecordsAndDirectoryConvertBothWays) {
  // Positions 0 and 3 share stored table 1; position 5 holds table 2.
  const DirectoryRecords r = Records({{0, {1, 0, 40}}, {3, {1, 0, 40}}, {5, {2, 0, 7}}});
  TableDirectory d;
  RecordsToDirectory(r.data(), d);
  EXPECT_EQ(d.UniqueCount, 2);
  EXPECT_EQ(d.Slots[0], 1);
  EXPECT_EQ(d.Slots[3], 1);
  EXPECT_EQ(d.Slots[5], 2);
  EXPECT_EQ(d.Counts[0], 40);
  EXPECT_EQ(d.Counts[1], 7);
  DirectoryRecords back{};
  back.fill(0xEE);
  DirectoryToRecords(d, back.data());
  EXPECT_EQ(back, r);

  // The first record of a stored number gives its count; the reserved field
  // is never carried.
  RecordsToDirectory(Records({{2, {1, 9, 12}}, {4, {1, 0, 99}}}).data(), d);
  EXPECT_EQ(d.Counts[0], 12);
  DirectoryToRecords(d, back.data());
  EXPECT_EQ(back, Records({{2, {1, 0, 12}}, {4, {1, 0, 12}}}));
}

// What a unit's directory may not describe: each ends the read with 6 and
// sizes nothing.
TEST(DirectoryRecordsTest, ImpossibleDirectoriesAreLinkErrors) {
  const struct {
    const char* name;
    DirectoryRecords records;
    int32_t mode;
    int32_t result;
    int32_t packed;
  } cases[] = {
      {"empty", Records({}), 0, 0, 0},
      {"one table", Records({{0, {1, 0, 100}}}), 0, 0, 102},
      {"one table mode 1", Records({{0, {1, 0, 100}}}), 1, 0, 200},
      {"largest image", Records({{0, {1, 0, 65533}}}), 0, 0, 65535},
      {"stored number 17", Records({{0, {17, 0, 10}}}), 0, 6, 0},
      {"stored number 65535", Records({{0, {0xFFFF, 0, 10}}}), 0, 6, 0},
      {"missing stored table", Records({{0, {1, 0, 10}}, {1, {3, 0, 10}}}), 0, 6, 0},
      {"zero count", Records({{0, {1, 0, 0}}}), 0, 6, 0},
      {"image over 65535", Records({{0, {1, 0, 30000}}, {1, {2, 0, 30000}}, {2, {3, 0, 6000}}}), 0, 6, 0},
      {"image over 65535 mode 1", Records({{0, {1, 0, 40000}}}), 1, 6, 0},
      {"mode 2", Records({{0, {1, 0, 10}}}), 2, 6, 0},
      {"mode 0x100", Records({}), 0x100, 6, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TableDirectory d;
    int32_t packed = -1;
    EXPECT_EQ(DecodeDirectory(c.records.data(), c.mode, d, packed), c.result);
    EXPECT_EQ(packed, c.packed);
    if (c.result != 0) {
      EXPECT_EQ(d, TableDirectory{});
    }
  }
}

TEST(DirectoryRecordsTest, ImageMustMatchTheDirectory) {
  TableDirectory d;
  int32_t packed = 0;
  ASSERT_EQ(DecodeDirectory(Records({{1, {1, 0, 4}}}).data(), 0, d, packed), 0);
  ASSERT_EQ(packed, 6);
  const uint8_t image[] = {0x00, 0x00, 0x0A, 0x00, 0x05, 0x05, 0xFF};
  GROUPTAB t;
  EXPECT_EQ(DecodeTables(d, 0, image, 6, t), 0);
  ASSERT_EQ(t.Count(), 2);
  EXPECT_EQ(t.Table(0).Count(), 0);
  EXPECT_EQ(t.Table(1).Values(), (std::vector<int32_t>{0, 10, 25, 45}));
  EXPECT_EQ(DecodeTables(d, 0, image, 5, t), 6);
  EXPECT_EQ(t.Count(), 0);
  EXPECT_EQ(DecodeTables(d, 0, image, 7, t), 6);
  EXPECT_EQ(DecodeTables(d, 3, image, 6, t), 6);
}
}  // namespace
