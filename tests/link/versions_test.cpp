// The version table and how a unit's reported code finds its record.

#include <gtest/gtest.h>

#include "link/Versions.h"

namespace tgxtest {
namespace {

// Lookups follow the table's order; ids are not in code order.
TEST(VersionTable, LookupsByCodeAndId) {
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
    EXPECT_EQ(VersionLabel(id), "?") << int(id);
    EXPECT_EQ(DriverOfVersion(id), kNoDriver) << int(id);
  }
}

// Codes inside a family's range take that family's record; the edges of
// each range stay outside.
TEST(VersionTable, ReportedCodesFoldIntoTheirFamily) {
  const std::pair<int32_t, uint8_t> cases[] = {
      {8529, kUnknownVersionId}, {8530, 29}, {9000, 29}, {9545, 29}, {9546, kUnknownVersionId},
      {9599, kUnknownVersionId}, {9600, 30}, {9612, 30}, {9615, 30}, {9616, 31},
      {9619, kUnknownVersionId}, {9620, 32}, {9623, 32}, {9625, 32}, {9626, 33},
      {9700, kOpenEndedVersionId}, {6320, 6},
  };
  for (const auto& [code, id] : cases) EXPECT_EQ(VersionIdOfReportedCode(code), id) << code;
}

// Version bytes a, b, c: c counts tens below 10; 6380 is served as 6320.
TEST(VersionTable, CodeOfTheVersionBytes) {
  const std::tuple<uint8_t, uint8_t, uint8_t, int32_t> cases[] = {
      {6, 3, 2, 6320}, {6, 3, 43, 6343}, {9, 6, 2, 9620}, {6, 3, 80, 6320}, {6, 3, 8, 6320},
      {6, 3, 10, 6310}, {6, 2, 9, 6290}, {0, 0, 0, 0},     {255, 9, 255, 255*1000 + 900 + 255},
  };
  for (const auto& [a, b, c, code] : cases) EXPECT_EQ(VersionCodeOfBytes(a, b, c), code) << int(a) << int(b) << int(c);
}
}  // namespace
}  // namespace tgxtest
