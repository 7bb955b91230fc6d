// Serial line over real pseudo-terminals, the port map and the port list.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
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

// A scratch folder, and no port variables nor map file before or after.
struct PortEnv {
  std::string dir;
  PortEnv() {
    char tmpl[] = "/tmp/tgx-link-XXXXXX";
    dir = ::mkdtemp(tmpl);
    Clear();
  }
  ~PortEnv() {
    Clear();
    std::filesystem::remove_all(dir);
  }
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
};

}  // namespace

TEST(PciTest, OpenIsExclusiveAndReopeningLeaksNothing) {
  PtyPeer peer;
  const long fds = OpenDescriptors();
  auto first = LineOn(peer.SlavePath());
  auto second = LineOn(peer.SlavePath());
  for (int i = 0; i < 5; ++i) ASSERT_EQ(first->Open(), PCI::kOpenOk);
  EXPECT_EQ(OpenDescriptors(), fds + 1);
  EXPECT_EQ(second->Open(), PCI::kOpenNoDevice);
  EXPECT_FALSE(second->IsOpen());
  first->Close();
  EXPECT_EQ(OpenDescriptors(), fds);
  EXPECT_EQ(second->Open(), PCI::kOpenOk) << "free again once the holder closes it";
  EXPECT_EQ(first->Open(), PCI::kOpenNoDevice);
  second.reset();
  EXPECT_EQ(OpenDescriptors(), fds) << "destruction closes the line";
  EXPECT_EQ(LineOn("/nonexistent/tty")->Open(), PCI::kOpenNoDevice);
}

// Settings out of their tables are code 2; settings the device does not take
// (found by reading them back) are code 3 and leave nothing held.
TEST(PciTest, OpenRefusesSettingsItCannotBuildOrApply) {
  PtyPeer peer;
  const std::tuple<int8_t, int8_t, int8_t, int8_t, int32_t> cases[] = {
      {14, 2, 4, 0, PCI::kOpenBadSettings}, {7, 5, 4, 0, PCI::kOpenBadSettings}, {7, 2, 4, 3, PCI::kOpenBadSettings},
      {8, 2, 4, 0, PCI::kOpenRefused},  // 14400 baud
      {7, 2, 0, 0, PCI::kOpenRefused},  // four data bits
      {7, 2, 4, 1, PCI::kOpenRefused},  // one and a half stop bits
      {13, 0, 4, 2, PCI::kOpenOk}};     // 115200, no parity, two stop bits
  for (const auto& [baud, parity, bits, stop, code] : cases) {
    EXPECT_EQ(LineOn(peer.SlavePath())->SetLine(0, baud, parity, bits, stop, 0), code) << int(baud) << int(bits);
    EXPECT_EQ(LineOn(peer.SlavePath())->Open(), PCI::kOpenOk);
  }
}

TEST(PciTest, ReadWaitsItsTimeOutAfterAPurgeAndFailsAtOnceOnHangUp) {
  PtyPeer peer;
  auto line = LineOn(peer.SlavePath());
  ASSERT_EQ(line->Open(), PCI::kOpenOk);
  ASSERT_TRUE(peer.SendNow({1, 2, 3}));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  line->Purge();
  line->SetReadTimeout(50);
  int32_t status = -1;
  auto t0 = Clock::now();
  EXPECT_EQ(line->GetByte(status), 0);
  EXPECT_EQ(status, PCI::kByteTimeout) << "the purge dropped what had come";
  EXPECT_GE(MsSince(t0), 48);
  EXPECT_LT(MsSince(t0), 200);

  // A hang-up of the other end ends the wait at once.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
  auto orphan = LineOn(::ptsname(master));
  ASSERT_EQ(orphan->Open(), PCI::kOpenOk);
  ::close(master);
  orphan->SetReadTimeout(2000);
  t0 = Clock::now();
  orphan->GetByte(status);
  EXPECT_EQ(status, PCI::kByteFailed);
  EXPECT_LT(MsSince(t0), 500);
}

TEST(PciTest, WritesWaitForASlowLineButNotForAStuckOne) {
  // A reader that takes 4 bytes a millisecond: once the terminal's queue is
  // full a byte waits far longer than the 50 ms write time-out for room, yet
  // none may be lost.
  PtyPeer slow;
  auto line = LineOn(slow.SlavePath());
  ASSERT_EQ(line->SetLine(0, 13, 2, 4, 0, 0), PCI::kOpenOk);  // 115200 baud: shorter drain allowance
  for (int i = 0; i < 250; ++i) slow.Receive(20).Pause(5);
  slow.Start();
  Bytes sent(24000);
  std::iota(sent.begin(), sent.end(), uint8_t{0});
  for (uint8_t b : sent) ASSERT_TRUE(line->PutByte(b));
  slow.Finish(10000, 100);
  EXPECT_EQ(slow.Received(), sent);

  // Nobody reads: one byte waits out the allowance, the rest fail at once.
  PtyPeer stuck;
  auto dead = LineOn(stuck.SlavePath());
  ASSERT_EQ(dead->SetLine(0, 13, 2, 4, 0, 0), PCI::kOpenOk);
  const auto t0 = Clock::now();
  int failed = 0;
  for (int i = 0; i < 40000; ++i) failed += dead->PutByte(0x55) ? 0 : 1;
  EXPECT_GT(failed, 0);
  EXPECT_LT(MsSince(t0), 3000);
}

TEST(PortMapTest, EnvironmentBeatsMapFileBeatsDefault) {
  PortEnv env;
  SetPortMapFile(env.File("tgx.ports",
                          "# ports of the service laptop\n\n"
                          "COM3=/dev/ttyUSB0\n"
                          "  com4 = /dev/ttyUSB1  \r\n"
                          "COM5\nCOM6=\nCOMX=/dev/bad\nCOM0=/dev/bad\nPORT7=/dev/bad\n"  // malformed, skipped
                          "COM8=/dev/first\nCOM8=/dev/second\n"                          // the later line wins
                          "#COM9=/dev/commented\n"));
  env.Set(3, "/dev/pts/77");
  const std::pair<int, const char*> cases[] = {
      {0, "/dev/ttyS0"}, {2, "/dev/ttyUSB0"}, {3, "/dev/pts/77"}, {4, "/dev/ttyS4"}, {5, "/dev/ttyS5"},
      {6, "/dev/ttyS6"}, {7, "/dev/second"},  {8, "/dev/ttyS8"},  {15, "/dev/ttyS15"}, {-1, ""}};
  for (const auto& [index, path] : cases) EXPECT_EQ(PortDevicePath(index), path) << index;
  SetPortMapFile(env.dir + "/missing.ports");
  EXPECT_EQ(PortDevicePath(2), "/dev/ttyS2");
}

TEST(PortListTest, EnumerateListsUsablePortsOnceAscendingThroughTheMap) {
  PortEnv env;
  for (int i = 0; i < 10; ++i) env.Set(i, env.dir + "/absent");
  PtyPeer com2, com5, com9, com10, busy;
  env.Set(1, com2.SlavePath());
  ::unsetenv("TGX_COM5");  // from the map file
  SetPortMapFile(env.File("tgx.ports", "COM5=" + com5.SlavePath() + "\n"));
  env.Set(8, com9.SlavePath());
  env.Set(9, com10.SlavePath());  // works, but beyond COM9 nothing is listed
  env.Set(6, busy.SlavePath());
  auto holder = LineOn(busy.SlavePath());
  ASSERT_EQ(holder->Open(), PCI::kOpenOk);
  TPortCollection ports;
  ports.AddPort(3, "stale");
  ports.Enumerate();
  ports.Enumerate();  // starts afresh each time
  std::string names;
  for (int i = 0; i < ports.Count(); ++i) names += ports.Item(i)->Name + " ";
  EXPECT_EQ(names, "COM2 COM5 COM9 ");
  EXPECT_TRUE(TPortCollection::ProbePort(9));
  EXPECT_EQ(ProbePortAccess(1), PortAccess::Usable);
  EXPECT_EQ(ProbePortAccess(0), PortAccess::Absent);
  EXPECT_EQ(ProbePortAccess(6), PortAccess::Busy);
  env.Set(0, env.File("plain", "x"));
  EXPECT_EQ(ProbePortAccess(0), PortAccess::Absent) << "a regular file is no serial line";
  if (::geteuid() != 0) {  // root opens every file
    const std::string locked = env.File("locked", "");
    ::chmod(locked.c_str(), 0);
    env.Set(0, locked);
    EXPECT_EQ(ProbePortAccess(0), PortAccess::NoPermission);
  }
}
