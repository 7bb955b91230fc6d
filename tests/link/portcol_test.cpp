// Serial line over real pseudo-terminals, the port map and the port list.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numeric>

#include "link/Portcol.h"
#include "model/Cp1251.h"
#include "support/PtyPeer.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

long OpenDescriptors() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

std::unique_ptr<PCI> LineOn(const std::string& path) {
  auto line = std::make_unique<PCI>();
  line->SetDevicePath(path);
  return line;
}

// A line is held by its first opener until it closes it; reopening leaks nothing.
TEST(PciTest, ExclusiveOpen) {
  PtyPeer peer;
  const long fds = OpenDescriptors();
  auto first = LineOn(peer.SlavePath()), second = LineOn(peer.SlavePath());
  for (int i = 0; i < 3; ++i) ASSERT_EQ(first->Open(), PCI::kOpenOk);
  EXPECT_EQ(OpenDescriptors(), fds + 1);
  EXPECT_EQ(second->Open(), PCI::kOpenNoDevice);
  first->Close();
  EXPECT_EQ(second->Open(), PCI::kOpenOk) << "free again once the holder closes it";
}

// A hang-up of the other end (an adapter pulled out) ends a read at once, as a failure.
TEST(PciTest, HangUpEndsARead) {
  auto peer = std::make_unique<PtyPeer>();
  auto line = LineOn(peer->SlavePath());
  ASSERT_EQ(line->Open(), PCI::kOpenOk);
  peer.reset();
  line->SetReadTimeout(60000);
  int32_t status = -1;
  line->GetByte(status);
  EXPECT_EQ(status, PCI::kGetFailed);
}

// A reader taking 4 bytes a millisecond keeps the terminal's queue full, so a
// byte waits far beyond the 50 ms write time-out for room, yet none is lost.
// When nobody reads, one byte waits out its allowance and the rest fail at
// once (waiting for each would take hours).
TEST(PciTest, WritesWaitForASlowLineButNotForAStuckOne) {
  PtyPeer slow, stuck;
  auto line = LineOn(slow.SlavePath()), dead = LineOn(stuck.SlavePath());
  ASSERT_EQ(line->SetLine(0, {10, 2, 4, 0}), PCI::kOpenOk);
  ASSERT_EQ(dead->SetLine(0, {13, 2, 4, 0}), PCI::kOpenOk);
  for (int i = 0; i < 250; ++i) slow.Receive(20).Pause(5);
  slow.Start();
  Bytes sent(24000);
  std::iota(sent.begin(), sent.end(), uint8_t{0});
  for (uint8_t b : sent) ASSERT_TRUE(line->PutByte(b));
  slow.Finish(10000, 100);
  EXPECT_EQ(slow.Received(), sent);

  int accepted = 0;
  while (accepted < 40000 && dead->PutByte(0x55)) ++accepted;
  EXPECT_LT(accepted, 40000) << "a line nobody reads took every byte";
  for (int i = 0; i < 1000; ++i) ASSERT_FALSE(dead->PutByte(0x55)) << "a byte after the first failure went out";
}

TEST(PortNameTest, IndexOfAName) {
  const std::pair<const char*, int> cases[] = {
      {"COM1", 0},  {"com3", 2},  {"COM007", 6}, {"COM128", 127}, {"COM129", -1},
      {"COM0", -1}, {"COM", -1},  {"COM-1", -1}, {"COM1 ", -1},   {"COM0001", -1},
  };
  for (const auto& [name, index] : cases) EXPECT_EQ(PortIndexOfName(name), index) << name;
}

// No port variables nor map file before or after.
class PortListTest : public testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }
  static void Clear() {
    for (int i = 1; i <= 10; ++i) ::unsetenv(("TGX_COM" + std::to_string(i)).c_str());
    SetPortMapFile("");
  }
  static void Set(int index, const std::string& path) {
    ::setenv(("TGX_COM" + std::to_string(index + 1)).c_str(), path.c_str(), 1);
  }
  std::string File(const std::string& name, const std::string& text) const {
    WriteBytes(dir_.File(name), text);
    return dir_.File(name);
  }
  TempDir dir_;
};

// The environment beats the map file, which beats the default.
TEST_F(PortListTest, PortMapPrecedenceAndMalformedLines) {
  SetPortMapFile(File("tgx.ports", "# ports\n\nCOM3=/dev/ttyUSB0\n  com4 = /dev/ttyUSB1  \r\n"
                                   "COM5\nCOM6=\nCOMX=/dev/bad\nCOM0=/dev/bad\nPORT7=/dev/bad\n"  // malformed, skipped
                                   "COM8=/dev/first\nCOM8=/dev/second\n"                         // the later line wins
                                   "#COM9=/dev/commented\nCOM12=/dev/ttyACM0\n"));
  Set(3, "/dev/pts/77");
  const std::pair<int, std::string> paths[] = {
      {0, "/dev/ttyS0"}, {2, "/dev/ttyUSB0"}, {3, "/dev/pts/77"}, {4, "/dev/ttyS4"},    {5, "/dev/ttyS5"},
      {6, "/dev/ttyS6"}, {7, "/dev/second"},  {8, "/dev/ttyS8"},  {11, "/dev/ttyACM0"}, {-1, ""}};
  for (const auto& [index, path] : paths) EXPECT_EQ(PortDevicePath(index), path) << index;
}

// A FIFO as the map file reads as no map instead of blocking every lookup; an
// endless first line is read no further than the map's bound.
TEST_F(PortListTest, AFifoOrAHugeLineAsTheMapFileIsNoMap) {
  const std::string fifo = dir_.File("fifo.ports");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  SetPortMapFile(fifo);
  EXPECT_EXIT((::alarm(20), std::exit(PortDevicePath(2) == "/dev/ttyS2" ? 0 : 1)), ::testing::ExitedWithCode(0), "");
  SetPortMapFile(File("huge.ports", std::string(1 << 20, 'x') + "\nCOM3=/dev/ttyUSB0\n"));
  EXPECT_EQ(PortDevicePath(2), "/dev/ttyS2");
}

// Each port's access as the port dialog shows it; probing holds nothing, so
// a second round finds the same.
TEST_F(PortListTest, ProbeTellsUsableBusyAndAbsentPortsAndHoldsNothing) {
  PtyPeer free, busy;
  Set(0, free.SlavePath());
  Set(1, busy.SlavePath());
  Set(2, dir_.File("absent"));
  Set(3, File("plain", ""));  // no terminal
  auto holder = LineOn(busy.SlavePath());
  ASSERT_EQ(holder->Open(), PCI::kOpenOk);
  const PortAccess expected[] = {PortAccess::Usable, PortAccess::Busy, PortAccess::Absent, PortAccess::Absent};
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ProbePortAccess(i), expected[i]) << "COM" << i + 1;
}

// Without access the user is told the group the device needs, unless already
// in it (only root can give a file a group it is not in). The session's
// detail shows the reasons of a busy and a missing port.
TEST(PortFailure, NoAccessNamesTheGroup) {
  TempDir dir;
  const std::string dev = dir.File("ttyUSB0");
  WriteBytes(dev, "");
  EXPECT_EQ(tgx::ToUtf8(PortFailureText(EACCES, 2, dev)), "Нет доступа к порту COM3 (" + dev + ")");
  if (::geteuid() != 0) GTEST_SKIP();
  ASSERT_EQ(::chown(dev.c_str(), 0, 4242), 0);
  EXPECT_EQ(tgx::ToUtf8(PortFailureText(EACCES, 2, dev)),
            "Нет доступа к порту COM3 (" + dev + "): пользователь не в группе 4242");
}
}  // namespace
}  // namespace tgxtest
