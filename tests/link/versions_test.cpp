// How a unit's reported code and version bytes find its record.

#include <gtest/gtest.h>

#include <tuple>

#include "link/Versions.h"

namespace tgxtest {
namespace {

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
