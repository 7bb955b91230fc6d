// tgx-sim seen from the line: a minimal master in the test talks to the
// simulator over its pseudo-terminal, the way the program's link does, and
// checks the unit's answers byte by byte.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// Generous per-byte waits: the machine running the tests may be busy.
constexpr int kReplyMs = 1000;
constexpr int kByteMs = 300;

uint8_t Xor(const Bytes& b) {
  uint8_t x = 0;
  for (uint8_t c : b) x ^= c;
  return x;
}

fs::path TempDir() {
  fs::path dir = fs::temp_directory_path() /
                 ("tgx-sim-test-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// The simulator as a child process; stopped with SIGTERM at the end.
class Sim {
 public:
  explicit Sim(std::vector<std::string> args) {
    args.insert(args.begin(), TGX_SIM_PATH);
    args.push_back("--exit-on-stdin-eof");  // a crashed test leaves no simulator behind
    int out[2], in[2];
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(pipe(in), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    posix_spawn_file_actions_addclose(&fa, in[1]);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    close(in[0]);
    stdin_ = in[1];
    out_ = out[0];
    char c = 0;
    while (read(out_, &c, 1) == 1 && c != '\n') path_ += c;
  }
  ~Sim() { Stop(); }

  const std::string& Path() const { return path_; }

  // SIGTERM and wait; the exit status.
  int Stop() {
    if (pid_ <= 0) return status_;
    kill(pid_, SIGTERM);
    int st = 0;
    waitpid(pid_, &st, 0);
    pid_ = -1;
    close(stdin_);
    close(out_);
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int out_ = -1;
  int status_ = -1;
  std::string path_;
};

struct Result {
  int code = 0;  // 0 complete, 3 no status, 11 checksum, 12 data byte missing, 7 no ack
  int status = -1;
  Bytes data;
};

// The master's side of the protocol, as plainly as possible.
class Master {
 public:
  explicit Master(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
    EXPECT_GE(fd_, 0) << path;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
  }
  ~Master() {
    if (fd_ >= 0) close(fd_);
  }

  int Byte(int ms) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return -1;
    uint8_t b = 0;
    return read(fd_, &b, 1) == 1 ? b : -1;
  }

  void Send(const Bytes& b) { ASSERT_EQ(write(fd_, b.data(), b.size()), ssize_t(b.size())); }

  // mode 0 none, 1 read n bytes, 2 write `out`.
  Result Exchange(uint8_t command, int mode = 0, int n = 0, const Bytes& out = {}) {
    Result r;
    tcflush(fd_, TCIFLUSH);
    Send({command});
    r.status = Byte(kReplyMs);
    if (r.status < 0) return {3, 6, {}};
    if (r.status != 0 || n == 0 || mode == 0) return r;
    if (mode == 1) {
      for (int i = 0; i < n; ++i) {
        const int b = Byte(kByteMs);
        if (b < 0) return {12, 6, r.data};
        r.data.push_back(uint8_t(b));
      }
      if (n >= 2) {
        const int c = Byte(kByteMs);
        if (c < 0) return {12, 6, r.data};
        if (c != Xor(r.data)) return {11, 6, r.data};
      }
      return r;
    }
    Bytes block = out;
    if (n > 2) block.push_back(Xor(out));
    Send(block);
    r.status = Byte(kReplyMs + n / 4);  // the unit may take its time over a paced block
    if (r.status < 0) return {7, 6, {}};
    return r;
  }

  // The handshaked transfer; on a failed step the abort (15) follows.
  Result Transfer(uint8_t code, int mode, int n, const Bytes& out = {}) {
    Result w = Exchange(code, 1, 2);
    const int word = w.data.size() == 2 ? w.data[0] | w.data[1] << 8 : 0;
    bool ok = w.code == 0 && (word == 0x1234 || word == 0x5577);
    if (ok && word == 0x1234) {
      Result second = Exchange(code, 1, 2);
      ok = second.code == 0 && second.data == Bytes{0x34, 0x12};
    } else if (ok) {
      ok = Exchange(code, 2, 2, {0x77, 0x55}).code == 0 &&
           Exchange(code, 2, 2, {0x77, 0x55}).code == 0;
    }
    if (ok)
      ok = Exchange(code, 2, 4, {uint8_t(n), uint8_t(n >> 8), uint8_t(mode), 0}).code == 0;
    if (!ok) {
      Result abort = Exchange(15);
      return {-1, abort.status, {}};
    }
    return Exchange(code, mode, n, out);
  }

 private:
  int fd_ = -1;
};

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// ------------------------------------------------------------ identification

TEST(SimIdentification, EachFirmwareAnswersProbeAndVersionQueryAsItsFamily) {
  struct Case {
    std::vector<std::string> args;
    int probeStatus;
    int versionStatus;
    Bytes versionBytes;
  };
  const Case cases[] = {
      {{"--version-code", "6210"}, 0, 12, {}},
      {{"--version-code", "6320"}, 12, 0, {6, 3, 2}},
      {{"--version-code", "6343"}, 12, 0, {6, 3, 43}},
      {{"--version-code", "6363"}, 12, 0, {6, 3, 63}},
      {{"--version-code", "8430"}, 12, 0, {8, 4, 3}},
      {{"--version-code", "8530"}, 12, 0, {8, 5, 3}},
      {{"--version-code", "9600"}, 12, 0, {9, 6, 0}},
      {{"--version-code", "9620"}, 12, 0, {9, 6, 2}},
      {{"--version-code", "9700"}, 12, 0, {9, 7, 0}},
      {{"--version-bytes", "6,3,80"}, 12, 0, {6, 3, 80}},
      {{"--unknown-version"}, 12, 12, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    Sim sim(c.args);
    Master m(sim.Path());
    Result probe = m.Exchange(15);
    EXPECT_EQ(probe.code, 0);
    EXPECT_EQ(probe.status, c.probeStatus);
    Result version = m.Exchange(7, 1, 3);
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.status, c.versionStatus);
    EXPECT_EQ(version.data, c.versionBytes);
  }
}

TEST(SimIdentification, A621aTakesTheSingleRestartAfterItsProbe) {
  const fs::path dir = TempDir();
  Sim sim({"--version-code", "6210", "--log", (dir / "log").string()});
  Master m(sim.Path());
  EXPECT_EQ(m.Exchange(15).status, 0);
  EXPECT_EQ(m.Exchange(14).status, 0);
  EXPECT_EQ(m.Exchange(20, 1, 1).data, Bytes{0x01});
  sim.Stop();
  EXPECT_EQ(ReadFile(dir / "log"), "> 0F < 00\n> 0E < 00\n> 14 < 00 01\n");
}

// ------------------------------------------------------------ memory

TEST(SimMemory, HeaderOfEachGeometryHasNoTablesButKeepsOtherBytes) {
  struct Case {
    const char* code;
    int size, flags;
    bool byteFlags;
    int records;
  };
  const Case cases[] = {{"6210", 274, 2, true, 178},   {"6320", 774, 2, false, 322},
                        {"6341", 808, 4, false, 356},  {"7350", 822, 6, false, 358},
                        {"7364", 862, 6, false, 486},  {"7411", 1310, 6, false, 934},
                        {"8433", 2070, 6, false, 1622}, {"8510", 750, 6, false, 422},
                        {"8520", 976, 6, false, 646}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Sim sim({"--version-code", c.code});
    Master m(sim.Path());
    Result header = m.Transfer(1, 1, c.size);
    ASSERT_EQ(header.code, 0);
    ASSERT_EQ(header.status, 0);
    ASSERT_EQ(header.data.size(), size_t(c.size));
    for (int i = 0; i < 96; ++i) EXPECT_EQ(header.data[c.records + i], 0) << i;
    const int step = c.byteFlags ? 1 : 2;
    for (int p = 0; p < 16; ++p) {
      const uint8_t low = header.data[c.flags + step * p];
      EXPECT_EQ(low & 4, 0) << p;
      EXPECT_NE(low & ~4, 0) << p;  // other flag bits set, to be kept by the program
    }
    EXPECT_NE(header.data[0], 0);
    EXPECT_NE(header.data[c.records - 1], 0);
    // Header units have no compact directory: the transfer completes with 12.
    Result directory = m.Transfer(4, 1, 98);
    EXPECT_EQ(directory.code, 0);
    EXPECT_EQ(directory.status, 12);
  }
}

TEST(SimMemory, TablesWrittenThroughEitherHandshakeSurviveARestart) {
  const fs::path dir = TempDir();
  const std::string state = (dir / "unit.state").string();
  Bytes image(3000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 7 + 1);
  Bytes header;
  {
    Sim sim({"--version-code", "6343", "--handshake", "5577", "--state", state});
    Master m(sim.Path());
    header = m.Transfer(1, 1, 822).data;
    ASSERT_EQ(header.size(), 822u);
    header[358] = 1;  // position 0 holds stored table 1
    header[6] |= 4;
    EXPECT_EQ(m.Transfer(3, 2, int(image.size()), image).status, 0);
    EXPECT_EQ(m.Transfer(1, 2, 822, header).status, 0);
    EXPECT_EQ(sim.Stop(), 0);
  }
  Sim sim({"--version-code", "6343", "--state", state});
  Master m(sim.Path());
  EXPECT_EQ(m.Transfer(1, 1, 822).data, header);
  EXPECT_EQ(m.Transfer(3, 1, int(image.size())).data, image);
  // Nothing but the state itself is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
}

TEST(SimMemory, AUnitWithoutRequest8RefusesItAfterTheHandshake) {
  for (const char* code : {"6343", "9620"}) {
    SCOPED_TRACE(code);
    Sim sim({"--version-code", code, "--no-request-8"});
    Master m(sim.Path());
    Result modes = m.Transfer(8, 1, 2);
    EXPECT_EQ(modes.code, 0);  // the program reads status 12 as "mode 0 only"
    EXPECT_EQ(modes.status, 12);
    EXPECT_TRUE(modes.data.empty());
  }
}

TEST(SimMemory, CompactUnitsKeepTheDirectoryAndCheckItsPackingMode) {
  Sim sim({"--version-code", "9620", "--packing-modes", "2"});
  Master m(sim.Path());
  EXPECT_EQ(m.Transfer(8, 1, 2).data, (Bytes{2, 0}));
  EXPECT_EQ(m.Transfer(2, 1, 4).data, (Bytes{0x00, 0x80, 0, 0}));
  EXPECT_EQ(m.Transfer(1, 1, 774).status, 12);  // no table header on these units
  EXPECT_EQ(m.Transfer(4, 1, 98).data, Bytes(98, 0));

  Bytes dir(98, 0);
  dir[0] = 1;  // mode 1 is accepted (value 2)
  dir[2] = 1;
  dir[6] = 10;
  EXPECT_EQ(m.Transfer(4, 2, 98, dir).status, 0);
  EXPECT_EQ(m.Transfer(4, 1, 98).data, dir);
  Bytes mode2 = dir;
  mode2[0] = 2;
  EXPECT_EQ(m.Transfer(4, 2, 98, mode2).status, 12);
  EXPECT_EQ(m.Transfer(4, 2, 97, Bytes(97, 0)).status, 12);  // wrong length: refused up front
  EXPECT_EQ(m.Transfer(4, 1, 98).data, dir);
}

TEST(SimMemory, ChecksumsOfWrittenBlocksAreChecked) {
  Sim sim({"--version-code", "6320"});
  Master m(sim.Path());
  ASSERT_EQ(m.Transfer(3, 2, 4, {1, 2, 3, 4}).status, 0);
  // The same transfer with its checksum byte spoilt by hand.
  ASSERT_EQ(m.Exchange(3, 1, 2).data, (Bytes{0x34, 0x12}));
  ASSERT_EQ(m.Exchange(3, 1, 2).data, (Bytes{0x34, 0x12}));
  ASSERT_EQ(m.Exchange(3, 2, 4, {3, 0, 2, 0}).status, 0);
  ASSERT_EQ(m.Exchange(3).status, 0);
  m.Send({9, 9, 9, 0x55});
  EXPECT_EQ(m.Byte(kReplyMs), 11);
  EXPECT_EQ(m.Transfer(3, 1, 4).data, (Bytes{1, 2, 3, 4}));

  // A damaged parameter block: the unit refuses the data step rather than
  // guess at a length, and the next transfer starts afresh.
  ASSERT_EQ(m.Exchange(3, 1, 2).code, 0);
  ASSERT_EQ(m.Exchange(3, 1, 2).code, 0);
  ASSERT_EQ(m.Exchange(3).status, 0);
  m.Send({4, 0, 1, 0, 0x77});
  EXPECT_EQ(m.Byte(kReplyMs), 11);
  EXPECT_EQ(m.Exchange(3, 1, 4).status, 12);
  EXPECT_EQ(m.Transfer(3, 1, 4).data, (Bytes{1, 2, 3, 4}));
}

TEST(SimMemory, RestartIsCountedAndEndsThePanelStart) {
  const fs::path dir = TempDir();
  const fs::path state = dir / "unit.state";
  Sim sim({"--version-code", "6360", "--state", state.string()});
  Master m(sim.Path());
  ASSERT_EQ(m.Transfer(13, 0, 0).status, 0);
  EXPECT_EQ(m.Exchange(0xF0, 1, 33).status, 0);
  ASSERT_EQ(m.Transfer(14, 0, 0).status, 0);
  EXPECT_EQ(m.Exchange(0xF0, 1, 33).status, 12);
  EXPECT_NE(ReadFile(state).find("\nrestarts 1\n"), std::string::npos);
}

TEST(SimMemory, AHeaderOfAnotherLayoutIsNotTakenButTheImageIs) {
  const fs::path dir = TempDir();
  const std::string state = (dir / "unit.state").string();
  {
    Sim sim({"--version-code", "6320", "--state", state});
    Master m(sim.Path());
    ASSERT_EQ(m.Transfer(3, 2, 3, {5, 6, 7}).status, 0);
    ASSERT_EQ(m.Transfer(1, 2, 774, Bytes(774, 0xEE)).status, 0);
  }
  Sim sim({"--version-code", "6343", "--state", state});
  Master m(sim.Path());
  const Bytes header = m.Transfer(1, 1, 822).data;
  ASSERT_EQ(header.size(), 822u);
  EXPECT_NE(header[0], 0xEE);
  EXPECT_EQ(m.Transfer(3, 1, 3).data, (Bytes{5, 6, 7}));
}

// ------------------------------------------------------------ faults and log

TEST(SimFaults, InjectedFaultsReachTheMasterAsItsFailureCodes) {
  const fs::path dir = TempDir();
  Sim sim({"--version-code", "6320", "--status", "1=254@2", "--bad-checksum", "7@1",
           "--silence-after", "2=1", "--status", "20=4", "--log", (dir / "log").string()});
  Master m(sim.Path());
  EXPECT_EQ(m.Transfer(1, 1, 774).status, 0);
  EXPECT_EQ(m.Transfer(1, 1, 774).status, 254);  // the 2nd header request only
  EXPECT_EQ(m.Transfer(1, 1, 774).status, 0);
  EXPECT_EQ(m.Exchange(7, 1, 3).code, 11);
  EXPECT_EQ(m.Exchange(7, 1, 3).code, 0);
  EXPECT_EQ(m.Transfer(2, 1, 2).code, 12);  // status, then nothing
  EXPECT_EQ(m.Exchange(20, 1, 1).status, 4);
  sim.Stop();
  std::istringstream lines(ReadFile(dir / "log"));
  std::vector<std::string> log;
  for (std::string l; std::getline(lines, l);) log.push_back(l);
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 1], "> 14 < 04");
  EXPECT_EQ(log[log.size() - 2], "> 02 < 00");
  EXPECT_EQ(log[log.size() - 3], "> 02 02 00 01 00 03 < 00 00");
}

TEST(SimFaults, SilentUnitLogsWhatItHeardAndAnIdleLineLogsNothing) {
  const fs::path dir = TempDir();
  {
    Sim idle({"--log", (dir / "idle").string()});
    Master m(idle.Path());
  }
  EXPECT_EQ(ReadFile(dir / "idle"), "");
  Sim sim({"--silence-after", "0", "--log", (dir / "log").string()});
  Master m(sim.Path());
  EXPECT_EQ(m.Exchange(15).code, 3);
  sim.Stop();
  EXPECT_EQ(ReadFile(dir / "log"), "> 0F <\n");
}

TEST(SimFaults, SlowAndPacedBytesTakeTheirTime) {
  using Clock = std::chrono::steady_clock;
  {
    Sim sim({"--byte-delay-ms", "7=60"});
    Master m(sim.Path());
    const auto t0 = Clock::now();
    EXPECT_EQ(m.Exchange(7, 1, 3).code, 0);  // this master waits long enough
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(5 * 60));
  }
  Sim sim({"--pace"});
  Master m(sim.Path());
  const auto t0 = Clock::now();
  ASSERT_EQ(m.Transfer(3, 2, 400, Bytes(400, 1)).status, 0);
  // 20 bytes of handshake and parameters, 400 + 1 + 1 of the block: 11 bits each.
  const double wire = (8 + 7 + 2 + 401 + 1) * 11.0 / 9600.0;
  EXPECT_GE(std::chrono::duration<double>(Clock::now() - t0).count(), wire * 0.98);
}

// ------------------------------------------------------------ display

TEST(SimDisplay, FrameLengthAndPanelStartFollowTheFirmware) {
  struct Case {
    std::vector<std::string> args;
    int frame;
    bool needsStart;
  };
  const Case cases[] = {{{"--version-code", "6320"}, 13, false},
                        {{"--version-code", "6350"}, 13, true},
                        {{"--version-code", "6351"}, 33, true},
                        {{"--version-code", "6360"}, 33, true},
                        {{"--version-code", "7320"}, 13, true},
                        {{"--version-code", "7320", "--unknown-version"}, 13, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + std::to_string(c.args.size()));
    Sim sim(c.args);
    Master m(sim.Path());
    if (c.needsStart) {
      EXPECT_EQ(m.Exchange(0xF0, 1, c.frame).status, 12);
      EXPECT_EQ(m.Transfer(13, 0, 0).status, 0);
    }
    Result poll = m.Exchange(0xF0, 1, c.frame);
    EXPECT_EQ(poll.code, 0);
    EXPECT_EQ(poll.data.size(), size_t(c.frame));
  }
}

TEST(SimDisplay, KeysDriveTheMenuInEachVariantsCharacterCodes) {
  struct Case {
    const char* code;
    int frame;
    uint8_t menuKey;  // 'm' is code 14 everywhere
    Bytes menuStart;  // first display positions of the menu screen
  };
  const Case cases[] = {
      // "П-1" in seven segments
      {"6320", 13, 0xEE, {0x37, 0x08, 0x24}},
      // "МЕНЮ": capitals only, Ю from the display's own table
      {"6360", 33, 0xEE, {'M', 'E', 'H', 0xAC}},
      // "Меню": lower-case letters of the second table
      {"6361", 33, 0xEE, {'M', 0xB5, 0xBD, 0xC6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Sim sim({"--version-code", c.code});
    Master m(sim.Path());
    if (std::string(c.code) != "6320") {
      ASSERT_EQ(m.Transfer(13, 0, 0).status, 0);
    }
    Result before = m.Exchange(0xF0, 1, c.frame);
    ASSERT_EQ(before.data.size(), size_t(c.frame));
    EXPECT_EQ(before.data[0], 0);  // no keys yet
    Result menu = m.Exchange(c.menuKey, 1, c.frame);
    ASSERT_EQ(menu.data.size(), size_t(c.frame));
    EXPECT_EQ(menu.data[0], 1);
    EXPECT_EQ(Bytes(menu.data.begin() + 1, menu.data.begin() + 1 + long(c.menuStart.size())),
              c.menuStart);
    // q returns to the main screen, which is not the menu.
    Result main = m.Exchange(0xEC, 1, c.frame);
    EXPECT_EQ(main.data[0], 2);
    EXPECT_NE(Bytes(main.data.begin() + 1, main.data.begin() + 1 + long(c.menuStart.size())),
              c.menuStart);
  }
}

// ------------------------------------------------------------ process

TEST(SimProcess, LinkPointsToTheTerminalAndGoesAwayWithTheSimulator) {
  const fs::path dir = TempDir();
  const fs::path link = dir / "COM1";
  fs::create_symlink("/nonexistent", link);  // a stale link is replaced
  Sim sim({"--link", link.string()});
  EXPECT_EQ(fs::read_symlink(link).string(), sim.Path());
  {
    Master m(link.string());
    EXPECT_EQ(m.Exchange(15).status, 12);
  }
  {
    Master again(link.string());  // reopening finds the unit still there
    EXPECT_EQ(again.Exchange(15).status, 12);
  }
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

  std::ofstream(dir / "file") << "keep";
  Sim refused({"--link", (dir / "file").string()});
  EXPECT_EQ(refused.Stop(), 1);
  EXPECT_EQ(ReadFile(dir / "file"), "keep");
}

TEST(SimProcess, BadCommandLinesAreUsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {"--version-code", "6305"},  // no version bytes give it
      {"--version-bytes", "6,3"},
      {"--status", "1"},
      {"--status", "1=256"},
      {"--bad-checksum", "7@0"},
      {"--handshake", "12345"},
      {"--silence-after"},
      {"--no-such-option"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
    Sim sim(args);
    EXPECT_EQ(sim.Path(), "");
    EXPECT_EQ(sim.Stop(), 64);
  }
}

TEST(SimProcess, DamagedStateFileStopsTheSimulatorWithoutTouchingIt) {
  const fs::path dir = TempDir();
  for (const char* text : {"not a state\n", "tgx-sim state 1\nimage 0G\n"}) {
    std::ofstream(dir / "bad") << text;
    Sim sim({"--state", (dir / "bad").string()});
    EXPECT_EQ(sim.Stop(), 1);
    EXPECT_EQ(ReadFile(dir / "bad"), text);
  }
}

}  // namespace
