// The version table, and the bounds of a directory the unit reports.

#include <gtest/gtest.h>

#include "link/session/Bvlink.h"
#include "link/drivers/Drv632.h"

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
    EXPECT_EQ(VersionIdOfCode(c.code), c.id);
    EXPECT_EQ(VersionLabel(c.id), c.label);
    EXPECT_EQ(DriverOfVersion(c.id), c.driver);
  }
  for (const uint8_t id : {5, 34, 200}) {  // id 5 has no record, nor has anything past 33
    EXPECT_EQ(VersionLabel(id), "?");
    EXPECT_EQ(DriverOfVersion(id), 15);
  }
}

// The largest image a directory may describe is 65535 bytes, in either mode.
TEST(DirectoryBounds, ImageSizeAndEntryCounts) {
  const struct {
    int count, mode, result, packed;
  } cases[] = {
      {65533, 0, 0, 65535}, {65534, 0, 6, 0}, {100, 1, 0, 200}, {32767, 1, 0, 65534}, {32768, 1, 6, 0}, {0, 0, 6, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " mode " + std::to_string(c.mode));
    DirectoryRecords r{};
    r[0] = 1, r[4] = uint8_t(c.count), r[5] = uint8_t(c.count >> 8);
    TableDirectory d;
    int32_t packed = -1;
    EXPECT_EQ(DecodeDirectory(r.data(), c.mode, d, packed), c.result);
    EXPECT_EQ(packed, c.packed);
    EXPECT_EQ(d.UniqueCount, c.result ? 0 : 1);
  }
}
}  // namespace
