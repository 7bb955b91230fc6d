// The version table and how a unit's reported code finds its record.

#include <gtest/gtest.h>

#include <tuple>

#include "link/Versions.h"

namespace tgxtest {
namespace {

// Lookups follow the table's order; ids are not in code order.
TEST(VersionTable, LookupsByCodeAndId) {
  const std::tuple<int32_t, uint8_t, const char*, uint8_t> cases[] = {  // code, id, label, driver
      {6320, 6, "632 ", 3},   {6210, 4, "621a ", 2}, {6342, 10, "6342 ", 5}, {7350, 18, "735 ", 5},
      {8530, 29, "853 ", 11}, {9620, 32, "962 ", 13}, {0, 0, "5X0 ", 0},     {9700, 33, "96XX", 14},
      {7000, 34, "?", 15},    {-1, 34, "?", 15},
  };
  for (const auto& [code, id, label, driver] : cases) {
    SCOPED_TRACE(code);
    EXPECT_EQ(VersionIdOfCode(code), id);
    EXPECT_EQ(VersionLabel(id), label);
    EXPECT_EQ(DriverOfVersion(id), driver);
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
      {8529, kUnknownVersionId}, {8530, 29}, {9545, 29}, {9546, kUnknownVersionId}, {9615, 30}, {9616, 31},
      {9619, kUnknownVersionId}, {9625, 32}, {9626, 33}, {9700, kOpenEndedVersionId}, {6320, 6},
  };
  for (const auto& [code, id] : cases) EXPECT_EQ(VersionIdOfReportedCode(code), id) << code;
}

// Version bytes a, b, c: c counts tens below 10; 6380 is served as 6320.
TEST(VersionTable, CodeOfTheVersionBytes) {
  const std::tuple<uint8_t, uint8_t, uint8_t, int32_t> cases[] = {
      {6, 3, 2, 6320}, {6, 3, 43, 6343}, {6, 3, 80, 6320}, {6, 3, 8, 6320}, {6, 3, 10, 6310}, {6, 2, 9, 6290},
  };
  for (const auto& [a, b, c, code] : cases) EXPECT_EQ(VersionCodeOfBytes(a, b, c), code) << int(a) << int(b) << int(c);
}
}  // namespace
}  // namespace tgxtest
