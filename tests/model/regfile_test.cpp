// Reading a small settings file that may have been replaced by something else.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "model/Regfile.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

// A FIFO must be refused at open, not waited on: the read runs in a child that
// an alarm ends, so a regression fails the test instead of hanging it.
TEST(ReadRegularFile, AFifoIsRefusedWithoutWaitingForAWriter) {
  TempDir dir;
  const std::string fifo = dir.File("tgx.ports");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EXIT(
      {
        ::alarm(20);
        std::string bytes;
        std::exit(ReadRegularFile(fifo, 1024, bytes) == RegFileStatus::NotRegular ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(ReadRegularFile, ADeviceIsRefused) {
  std::string bytes;
  EXPECT_EQ(ReadRegularFile("/dev/zero", 1024, bytes), RegFileStatus::NotRegular);
  EXPECT_TRUE(bytes.empty());
}

TEST(ReadRegularFile, AFileOverTheBoundGivesOnlyItsBeginning) {
  TempDir dir;
  std::ofstream(dir.File("big"), std::ios::binary) << std::string(5000, 'x');
  std::string bytes;
  EXPECT_EQ(ReadRegularFile(dir.File("big"), 100, bytes), RegFileStatus::TooLarge);
  EXPECT_EQ(bytes.size(), 100u);
}

TEST(ReadRegularFile, AMissingFileAndASmallOne) {
  TempDir dir;
  std::string bytes;
  EXPECT_EQ(ReadRegularFile(dir.File("none"), 100, bytes), RegFileStatus::Missing);
  std::ofstream(dir.File("small"), std::ios::binary) << "COM3=/dev/ttyUSB0\n";
  EXPECT_EQ(ReadRegularFile(dir.File("small"), 100, bytes), RegFileStatus::Ok);
  EXPECT_EQ(bytes, "COM3=/dev/ttyUSB0\n");
}

}  // namespace
}  // namespace tgxtest
