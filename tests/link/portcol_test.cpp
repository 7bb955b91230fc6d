// Serial line over real pseudo-terminals, the port map and the port list.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <thread>

#include "link/Portcol.h"
#include "support/PtyPeer.h"

using tgxtest::Bytes;
using tgxtest::PtyPeer;

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

int OpenDescriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (::readdir(d) != nullptr) ++n;
    ::closedir(d);
  }
  return n;
}

// Sets TGX_COM1..TGX_COM9 for one test and puts the old values back after it.
class ScopedPortEnv {
 public:
  ScopedPortEnv() {
    for (int i = 0; i < 9; ++i) {
      const char* v = std::getenv(Var(i).c_str());
      saved_[i] = v ? std::optional<std::string>(v) : std::nullopt;
      ::unsetenv(Var(i).c_str());
    }
  }
  ~ScopedPortEnv() {
    for (int i = 0; i < 9; ++i) {
      if (saved_[i]) {
        ::setenv(Var(i).c_str(), saved_[i]->c_str(), 1);
      } else {
        ::unsetenv(Var(i).c_str());
      }
    }
  }
  void Set(int index, const std::string& path) { ::setenv(Var(index).c_str(), path.c_str(), 1); }

 private:
  static std::string Var(int index) { return "TGX_COM" + std::to_string(index + 1); }
  std::optional<std::string> saved_[9];
};

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/tgx-link-XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name, const std::string& text) const {
    const std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

std::unique_ptr<PCI> LineOn(const std::string& path) {
  auto line = std::make_unique<PCI>();
  line->SetDevicePath(path);
  return line;
}

}  // namespace

// ---------------------------------------------------------------- PCI

TEST(PciTest, SecondOpenerOfAnOpenLineGetsCodeOne) {
  PtyPeer peer;
  auto first = LineOn(peer.SlavePath());
  auto second = LineOn(peer.SlavePath());
  ASSERT_EQ(first->Open(), PCI::kOpenOk);
  EXPECT_EQ(second->Open(), PCI::kOpenNoDevice);
  EXPECT_FALSE(second->IsOpen());
  first->Close();
  EXPECT_EQ(second->Open(), PCI::kOpenOk) << "the port is free again once the holder closes it";
  EXPECT_EQ(first->Open(), PCI::kOpenNoDevice);
}

TEST(PciTest, OpenSetsARawLineAtTheStoredSpeedWithoutFlowControl) {
  PtyPeer peer;
  auto line = LineOn(peer.SlavePath());
  ASSERT_EQ(line->SetLine(0, 7, 2, 4, 0, 0), PCI::kOpenOk);
  termios t{};
  ASSERT_EQ(::tcgetattr(peer.SlaveFd(), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), B9600);
  EXPECT_EQ(::cfgetispeed(&t), B9600);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);

  // The binary bytes that a cooked line would change pass unchanged.
  const Bytes special{0x0A, 0x0D, 0x03, 0x11, 0x13, 0x7F, 0xFF, 0x00};
  for (uint8_t b : special) line->PutByte(b);
  peer.Start();
  EXPECT_TRUE(peer.Finish(500, 50));
  EXPECT_EQ(peer.Received(), special);
  ASSERT_TRUE(peer.SendNow(special));
  line->SetReadTimeout(200);
  for (uint8_t b : special) {
    int32_t status = -1;
    EXPECT_EQ(line->GetByte(status), b);
    EXPECT_EQ(status, PCI::kByteOk);
  }
}

TEST(PciTest, OpenRefusesSettingsItCannotBuildOrApply) {
  PtyPeer peer;
  struct Case {
    int8_t baud, parity, bits, stop;
    int32_t code;
  };
  const Case cases[] = {
      {14, 2, 4, 0, PCI::kOpenBadSettings},  {-1, 2, 4, 0, PCI::kOpenBadSettings},
      {7, 5, 4, 0, PCI::kOpenBadSettings},   {7, 2, 5, 0, PCI::kOpenBadSettings},
      {7, 2, 4, 3, PCI::kOpenBadSettings},   {8, 2, 4, 0, PCI::kOpenRefused},   // 14400 baud
      {11, 2, 4, 0, PCI::kOpenRefused},      // 56000 baud
      {7, 2, 0, 0, PCI::kOpenRefused},       // four data bits
      {7, 2, 4, 1, PCI::kOpenRefused},       // one and a half stop bits
      {13, 0, 4, 2, PCI::kOpenOk},           // 115200, no parity, two stop bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "baud " << int(c.baud) << " parity " << int(c.parity) << " bits "
                                    << int(c.bits) << " stop " << int(c.stop));
    auto line = LineOn(peer.SlavePath());
    EXPECT_EQ(line->SetLine(0, c.baud, c.parity, c.bits, c.stop, 0), c.code);
    EXPECT_EQ(line->IsOpen(), c.code == PCI::kOpenOk);
    line->Close();
    // A refused open leaves nothing held.
    auto other = LineOn(peer.SlavePath());
    EXPECT_EQ(other->Open(), PCI::kOpenOk);
  }
}

TEST(PciTest, OpenOfAMissingDeviceGivesCodeOne) {
  TempDir dir;
  auto line = LineOn(dir.Path() + "/no-such-port");
  EXPECT_EQ(line->Open(), PCI::kOpenNoDevice);
  EXPECT_FALSE(line->IsOpen());
  int32_t status = -1;
  line->GetByte(status);
  EXPECT_EQ(status, PCI::kByteFailed) << "a lazy open that fails makes the read fail";
}

TEST(PciTest, GetByteWaitsTheReadTimeoutOrReturnsAtOnce) {
  PtyPeer peer;
  auto line = LineOn(peer.SlavePath());
  ASSERT_EQ(line->Open(), PCI::kOpenOk);
  line->SetReadTimeout(50);

  int32_t status = -1;
  auto t0 = Clock::now();
  EXPECT_EQ(line->GetByte(status), 0);
  EXPECT_EQ(status, PCI::kByteTimeout);
  EXPECT_GE(MsSince(t0), 48);
  EXPECT_LT(MsSince(t0), 200);

  ASSERT_TRUE(peer.SendNow({0x5A}));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  line->SetReadTimeout(2000);
  t0 = Clock::now();
  EXPECT_EQ(line->GetByte(status), 0x5A);
  EXPECT_EQ(status, PCI::kByteOk);
  EXPECT_LT(MsSince(t0), 20);

  // A byte that comes during the wait ends it when it comes.
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    peer.SendNow({0xA5});
  });
  t0 = Clock::now();
  EXPECT_EQ(line->GetByte(status), 0xA5);
  EXPECT_EQ(status, PCI::kByteOk);
  EXPECT_LT(MsSince(t0), 500);
  late.join();
}

TEST(PciTest, HangUpOfTheOtherEndFailsTheReadAtOnce) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  auto line = LineOn(::ptsname(master));
  ASSERT_EQ(line->Open(), PCI::kOpenOk);
  ::close(master);
  line->SetReadTimeout(2000);
  int32_t status = -1;
  const auto t0 = Clock::now();
  line->GetByte(status);
  EXPECT_EQ(status, PCI::kByteFailed);
  EXPECT_LT(MsSince(t0), 500);
}

TEST(PciTest, PurgeDropsOnlyBytesThatArrivedBeforeIt) {
  PtyPeer peer;
  auto line = LineOn(peer.SlavePath());
  ASSERT_EQ(line->Open(), PCI::kOpenOk);
  ASSERT_TRUE(peer.SendNow({1, 2, 3}));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  line->Purge();
  ASSERT_TRUE(peer.SendNow({4}));
  line->SetReadTimeout(200);
  int32_t status = -1;
  EXPECT_EQ(line->GetByte(status), 4);
  EXPECT_EQ(status, PCI::kByteOk);
  line->SetReadTimeout(30);
  line->GetByte(status);
  EXPECT_EQ(status, PCI::kByteTimeout);
}

TEST(PciTest, ReopeningNeverLeaksTheDescriptor) {
  PtyPeer peer;
  const int before = OpenDescriptors();
  {
    auto line = LineOn(peer.SlavePath());
    for (int i = 0; i < 20; ++i) ASSERT_EQ(line->Open(), PCI::kOpenOk);
    EXPECT_EQ(OpenDescriptors(), before + 1);
    line->Close();
    line->Close();  // harmless on a closed line
    EXPECT_EQ(OpenDescriptors(), before);
    line->PutByte(0x42);  // lazy open with the stored settings
    EXPECT_TRUE(line->IsOpen());
  }
  EXPECT_EQ(OpenDescriptors(), before) << "destruction closes the line";
  peer.Start();
  peer.Finish(200, 30);
  EXPECT_EQ(peer.Received(), (Bytes{0x42}));
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
  const size_t n = 24000;
  int failed = 0;
  for (size_t i = 0; i < n; ++i) failed += line->PutByte(static_cast<uint8_t>(i * 13)) ? 0 : 1;
  EXPECT_EQ(failed, 0);
  slow.Finish(10000, 100);
  const Bytes got = slow.Received();
  ASSERT_EQ(got.size(), n);
  for (size_t i = 0; i < n; ++i) ASSERT_EQ(got[i], static_cast<uint8_t>(i * 13)) << i;

  // Nobody reads: one byte waits out the allowance, the rest fail at once.
  PtyPeer stuck;
  auto dead = LineOn(stuck.SlavePath());
  ASSERT_EQ(dead->SetLine(0, 13, 2, 4, 0, 0), PCI::kOpenOk);
  const auto t0 = Clock::now();
  failed = 0;
  for (size_t i = 0; i < 40000; ++i) failed += dead->PutByte(0x55) ? 0 : 1;
  EXPECT_GT(failed, 0);
  EXPECT_LT(MsSince(t0), 3000);
}

// ---------------------------------------------------------------- port map

TEST(PortMapTest, EnvironmentBeatsMapFileBeatsDefault) {
  ScopedPortEnv env;
  TempDir dir;
  const std::string map = dir.File("tgx.ports",
                                   "# ports of the service laptop\n"
                                   "\n"
                                   "COM3=/dev/ttyUSB0\n"
                                   "  com4 = /dev/ttyUSB1  \r\n"
                                   "COM5\n"              // no '='
                                   "COM6=\n"             // no path
                                   "COMX=/dev/bad\n"     // not a number
                                   "COM0=/dev/bad\n"     // no port 0
                                   "PORT7=/dev/bad\n"    // not a port name
                                   "COM8=/dev/first\n"
                                   "COM8=/dev/second\n"  // the later line wins
                                   "#COM9=/dev/commented\n");
  SetPortMapFile(map);
  env.Set(3, "/dev/pts/77");

  struct Case {
    int index;
    const char* path;
  };
  const Case cases[] = {
      {0, "/dev/ttyS0"},   {2, "/dev/ttyUSB0"}, {3, "/dev/pts/77"}, {4, "/dev/ttyS4"},   {5, "/dev/ttyS5"},
      {6, "/dev/ttyS6"},   {7, "/dev/second"},  {8, "/dev/ttyS8"},  {15, "/dev/ttyS15"},
  };
  for (const Case& c : cases) EXPECT_EQ(PortDevicePath(c.index), c.path) << "index " << c.index;
  EXPECT_EQ(PortDevicePath(-1), "");

  SetPortMapFile("");
  EXPECT_EQ(PortDevicePath(2), "/dev/ttyS2");
  SetPortMapFile(dir.Path() + "/missing.ports");
  EXPECT_EQ(PortDevicePath(2), "/dev/ttyS2");
  SetPortMapFile("");
}

// ---------------------------------------------------------------- port list

TEST(PortListTest, EnumerateListsUsablePortsOnceAscendingThroughTheMap) {
  ScopedPortEnv env;
  TempDir dir;
  for (int i = 0; i < 9; ++i) env.Set(i, dir.Path() + "/absent" + std::to_string(i));
  PtyPeer com2, com5, com9, busy;
  // COM5 comes from the map file, the others from the environment.
  env.Set(1, com2.SlavePath());
  ::unsetenv("TGX_COM5");
  SetPortMapFile(dir.File("tgx.ports", "COM5=" + com5.SlavePath() + "\n"));
  env.Set(8, com9.SlavePath());
  env.Set(6, busy.SlavePath());
  auto holder = LineOn(busy.SlavePath());
  ASSERT_EQ(holder->Open(), PCI::kOpenOk);

  TPortCollection ports;
  ports.AddPort(3, "stale");
  ports.Enumerate();
  ports.Enumerate();  // starts afresh each time
  ASSERT_EQ(ports.Count(), 3);
  const int want[] = {1, 4, 8};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ports.Item(i)->Index, want[i]);
    EXPECT_EQ(ports.Item(i)->Name, "COM" + std::to_string(want[i] + 1));
    EXPECT_EQ(ports.Item(i)->Description, "");
  }

  EXPECT_EQ(ProbePortAccess(1), PortAccess::Usable);
  EXPECT_EQ(ProbePortAccess(0), PortAccess::Absent);
  EXPECT_EQ(ProbePortAccess(6), PortAccess::Busy);
  EXPECT_FALSE(TPortCollection::ProbePort(6));
  // A port beyond COM9 is never listed even when it works.
  env.Set(8, dir.Path() + "/absent8");
  ::setenv("TGX_COM10", com9.SlavePath().c_str(), 1);
  ports.Enumerate();
  EXPECT_EQ(ports.Count(), 2);
  EXPECT_TRUE(TPortCollection::ProbePort(9));
  ::unsetenv("TGX_COM10");

  // A regular file is no serial line.
  env.Set(0, dir.File("plain", "x"));
  EXPECT_EQ(ProbePortAccess(0), PortAccess::Absent);
  SetPortMapFile("");
}

TEST(PortListTest, EnumerateWithoutPortsLeavesTheListEmpty) {
  ScopedPortEnv env;
  TempDir dir;
  for (int i = 0; i < 9; ++i) env.Set(i, dir.Path() + "/absent" + std::to_string(i));
  TPortCollection ports;
  ports.Enumerate();
  EXPECT_EQ(ports.Count(), 0);
}

TEST(PortListTest, PortWithoutPermissionIsReportedApart) {
  if (::geteuid() == 0) GTEST_SKIP() << "root opens every device";
  ScopedPortEnv env;
  TempDir dir;
  const std::string locked = dir.File("locked", "");
  ::chmod(locked.c_str(), 0);
  env.Set(0, locked);
  EXPECT_EQ(ProbePortAccess(0), PortAccess::NoPermission);
  EXPECT_FALSE(TPortCollection::ProbePort(0));
}

TEST(PortListTest, AddPortKeepsOneItemPerIndex) {
  TPortCollection ports;
  ports.AddPort(4, "first");
  ports.AddPort(4, "second");
  ports.AddPort(0, "");
  ASSERT_EQ(ports.Count(), 2);
  EXPECT_EQ(ports.Item(0)->Description, "first");
  EXPECT_EQ(ports.Item(1)->Name, "COM1");
  ports.RemoveAt(0);
  EXPECT_EQ(ports.Count(), 1);
}
