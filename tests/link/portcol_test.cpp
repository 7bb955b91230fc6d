// Serial line over real pseudo-terminals, the port map and the port list.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <thread>
#include <tuple>

#include "link/Portcol.h"
#include "support/PtyPeer.h"

using tgxtest::Bytes;
using tgxtest::PtyPeer;

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

long OpenDescriptors() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

std::unique_ptr<PCI> LineOn(const std::string& path) {
  auto line = std::make_unique<PCI>();
  line->SetDevicePath(path);
  return line;
}

}  // namespace

// Settings out of their tables are code 2; settings the device does not take
// (found by reading them back) are code 3 and leave nothing held. A line is
// then held by its first opener: a second one gets code 1, reopening leaks
// nothing, a purge drops what had come so that a read waits out its time-out,
// and a hang-up of the other end ends a read at once.
TEST(PciTest, SettingsExclusiveOpenPurgeReadTimeOutAndHangUp) {
  auto peer = std::make_unique<PtyPeer>();
  const long fds = OpenDescriptors();
  const std::tuple<int8_t, int8_t, int8_t, int8_t, int32_t> cases[] = {
      {14, 2, 4, 0, PCI::kOpenBadSettings}, {7, 5, 4, 0, PCI::kOpenBadSettings}, {7, 2, 4, 3, PCI::kOpenBadSettings},
      // 14400 baud, four data bits, one and a half stop bits; 115200 baud, no parity, two stop bits
      {8, 2, 4, 0, PCI::kOpenRefused}, {7, 2, 0, 0, PCI::kOpenRefused}, {7, 2, 4, 1, PCI::kOpenRefused},
      {13, 0, 4, 2, PCI::kOpenOk}};
  for (const auto& [baud, parity, bits, stop, code] : cases) {
    EXPECT_EQ(LineOn(peer->SlavePath())->SetLine(0, baud, parity, bits, stop, 0), code) << int(baud) << int(bits);
  }

  auto first = LineOn(peer->SlavePath()), second = LineOn(peer->SlavePath());
  for (int i = 0; i < 5; ++i) ASSERT_EQ(first->Open(), PCI::kOpenOk);
  EXPECT_EQ(OpenDescriptors(), fds + 1);
  EXPECT_EQ(second->Open(), PCI::kOpenNoDevice);
  EXPECT_FALSE(second->IsOpen());
  EXPECT_EQ(LineOn("/nonexistent/tty")->Open(), PCI::kOpenNoDevice);
  ASSERT_TRUE(peer->SendNow({1, 2, 3}));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  first->Purge();
  first->SetReadTimeout(50);
  int32_t status = -1;
  auto t0 = Clock::now();
  EXPECT_EQ(first->GetByte(status), 0);
  EXPECT_EQ(status, PCI::kGetTimeout);
  EXPECT_GE(MsSince(t0), 48);
  EXPECT_LT(MsSince(t0), 200);
  first->Close();
  EXPECT_EQ(OpenDescriptors(), fds);
  EXPECT_EQ(second->Open(), PCI::kOpenOk) << "free again once the holder closes it";
  EXPECT_EQ(first->Open(), PCI::kOpenNoDevice);

  peer.reset();
  second->SetReadTimeout(2000);
  t0 = Clock::now();
  second->GetByte(status);
  EXPECT_EQ(status, PCI::kGetFailed);
  EXPECT_LT(MsSince(t0), 500);
}

// A reader that takes 4 bytes a millisecond: once the terminal's queue is full
// a byte waits far longer than the 50 ms write time-out for room, yet none may
// be lost. When nobody reads, one byte waits out the allowance and the rest
// fail at once. 115200 baud keeps that allowance short.
TEST(PciTest, WritesWaitForASlowLineButNotForAStuckOne) {
  PtyPeer slow, stuck;
  auto line = LineOn(slow.SlavePath()), dead = LineOn(stuck.SlavePath());
  ASSERT_EQ(line->SetLine(0, 13, 2, 4, 0, 0), PCI::kOpenOk);
  ASSERT_EQ(dead->SetLine(0, 13, 2, 4, 0, 0), PCI::kOpenOk);
  for (int i = 0; i < 250; ++i) slow.Receive(20).Pause(5);
  slow.Start();
  Bytes sent(24000);
  std::iota(sent.begin(), sent.end(), uint8_t{0});
  for (uint8_t b : sent) ASSERT_TRUE(line->PutByte(b));
  slow.Finish(10000, 100);
  EXPECT_EQ(slow.Received(), sent);

  const auto t0 = Clock::now();
  int failed = 0;
  for (int i = 0; i < 40000; ++i) failed += dead->PutByte(0x55) ? 0 : 1;
  EXPECT_GT(failed, 0);
  EXPECT_LT(MsSince(t0), 3000);
}

// A scratch folder, and no port variables nor map file before or after.
class PortListTest : public testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); std::filesystem::remove_all(dir); }
  static void Clear() {
    for (int i = 0; i < 10; ++i) ::unsetenv(("TGX_COM" + std::to_string(i + 1)).c_str());
    SetPortMapFile("");
  }
  static void Set(int index, const std::string& path) {
    ::setenv(("TGX_COM" + std::to_string(index + 1)).c_str(), path.c_str(), 1);
  }
  std::string File(const std::string& name, const std::string& text) const {
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
    return dir + "/" + name;
  }
  char tmpl[21] = "/tmp/tgx-link-XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
};

// The environment beats the map file, which beats the default; the list shows
// the usable ports among COM1 to COM9 once, ascending, however they are mapped.
TEST_F(PortListTest, PortMapAndEnumerate) {
  PtyPeer com2, com8, com10, busy;
  SetPortMapFile(File("tgx.ports", "# ports of the service laptop\n\nCOM3=/dev/ttyUSB0\n  com4 = /dev/ttyUSB1  \r\n"
                                   "COM5\nCOM6=\nCOMX=/dev/bad\nCOM0=/dev/bad\nPORT7=/dev/bad\n"  // malformed, skipped
                                   "COM8=/dev/first\nCOM8=" + com8.SlavePath() + "\n"            // the later line wins
                                   "#COM9=/dev/commented\n"));
  Set(3, "/dev/pts/77");
  const std::pair<int, std::string> paths[] = {
      {0, "/dev/ttyS0"}, {2, "/dev/ttyUSB0"}, {3, "/dev/pts/77"},      {4, "/dev/ttyS4"},   {5, "/dev/ttyS5"},
      {6, "/dev/ttyS6"}, {8, "/dev/ttyS8"},   {7, com8.SlavePath()}, {15, "/dev/ttyS15"}, {-1, ""}};
  for (const auto& [index, path] : paths) EXPECT_EQ(PortDevicePath(index), path) << index;

  for (int i : {0, 2, 3, 4, 5, 8}) Set(i, dir + "/absent");
  Set(1, com2.SlavePath());
  Set(9, com10.SlavePath());  // works, but beyond COM9 nothing is listed
  Set(6, busy.SlavePath());
  auto holder = LineOn(busy.SlavePath());
  ASSERT_EQ(holder->Open(), PCI::kOpenOk);
  TPortCollection ports;
  ports.AddPort(3, "stale");
  ports.Enumerate();
  ports.Enumerate();  // starts afresh each time
  std::string names;
  for (int i = 0; i < ports.Count(); ++i) names += ports.Item(i)->Name + " ";
  EXPECT_EQ(names, "COM2 COM8 ");
  EXPECT_TRUE(TPortCollection::ProbePort(9));
  Set(0, File("plain", "x"));
  EXPECT_EQ(ProbePortAccess(0), PortAccess::Absent) << "a regular file is no serial line";
}
