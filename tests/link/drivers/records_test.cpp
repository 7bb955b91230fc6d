// The unit's directory records as the drivers read them, without a line.

#include <gtest/gtest.h>

#include "link/drivers/Drv632.h"
#include "model/Le.h"

namespace tgxtest {
namespace {

DirectoryRecords Records(std::initializer_list<std::pair<uint16_t, uint16_t>> numberAndCount) {
  DirectoryRecords r{};
  int p = 0;
  for (const auto& [number, count] : numberAndCount) {
    tgx::PutLe16(r.data() + p * kRecordSize, number);
    tgx::PutLe16(r.data() + p * kRecordSize + 4, count);
    ++p;
  }
  return r;
}

// Positions sharing a stored table take the count of its first record.
TEST(DirectoryRecords, DecodeToADirectoryAndItsImageSize) {
  const DirectoryRecords r = Records({{1, 10}, {0, 0}, {2, 3}, {1, 99}});
  TableDirectory d;
  int32_t packed = -1;
  ASSERT_EQ(DecodeDirectory(r.data(), 0, d, packed), kStatusOk);
  EXPECT_EQ(d, (TableDirectory{{10, 3}, {1, 0, 2, 1}, 2}));
  EXPECT_EQ(packed, 12 + 5);
  DirectoryRecords back{};
  DirectoryToRecords(d, back.data());
  EXPECT_EQ(back, Records({{1, 10}, {0, 0}, {2, 3}, {1, 10}}));
}

}  // namespace
}  // namespace tgxtest
