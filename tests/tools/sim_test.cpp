// tgx-sim seen from the line: a minimal master in the test talks to the
// simulator over its pseudo-terminal, the way the program's link does, and
// checks the unit's answers byte by byte. What the program's sessions already
// show against the simulator (tables kept per family, memory limits, packing
// modes) is not repeated here.

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/SimRunner.h"

namespace {

using Bytes = std::vector<uint8_t>;
using tgxtest::SimRunner;
namespace fs = std::filesystem;

// Generous waits: the machine running the tests may be busy.
constexpr int kReplyMs = 1000;
constexpr int kByteMs = 300;

uint8_t Xor(const Bytes& b) {
  uint8_t x = 0;
  for (uint8_t c : b) x ^= c;
  return x;
}

std::string ReadFile(const fs::path& p) {
  std::ostringstream s;
  s << std::ifstream(p, std::ios::binary).rdbuf();
  return s.str();
}

fs::path TempDir() {
  char dir[] = "/tmp/tgx-sim-test-XXXXXX";
  return mkdtemp(dir);
}

struct Result {
  int code = 0;  // 0 complete, 3 no status, 11 checksum, 12 data byte missing, 7 no ack
  int status = -1;
  Bytes data;
};

// The master's side of the protocol, as plainly as possible.
class Master {
 public:
  explicit Master(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {
    EXPECT_GE(fd_, 0) << path;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
  }
  ~Master() { close(fd_); }

  int Byte(int ms) {
    pollfd p{fd_, POLLIN, 0};
    uint8_t b = 0;
    return poll(&p, 1, ms) > 0 && read(fd_, &b, 1) == 1 ? b : -1;
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
      const int total = n >= 2 ? n + 1 : n;  // a block of two or more ends in its checksum
      for (int i = 0; i < total; ++i) {
        const int b = Byte(kByteMs);
        if (b < 0) return {12, 6, {}};
        r.data.push_back(uint8_t(b));
      }
      if (total > n && Xor(r.data) != 0) return {11, 6, {}};
      r.data.resize(size_t(n));
      return r;
    }
    Bytes block = out;
    if (n > 2) block.push_back(Xor(out));
    Send(block);
    r.status = Byte(kReplyMs + n / 4);  // the unit may take its time over a paced block
    return r.status < 0 ? Result{7, 6, {}} : r;
  }

  // The handshaked transfer; on a failed step the abort (15) follows.
  Result Transfer(uint8_t code, int mode, int n, const Bytes& out = {}) {
    const Result w = Exchange(code, 1, 2);
    const int word = w.data.size() == 2 ? w.data[0] | w.data[1] << 8 : 0;
    bool ok = w.code == 0 && (word == 0x1234 || word == 0x5577);
    if (ok && word == 0x1234) {
      ok = Exchange(code, 1, 2).data == Bytes{0x34, 0x12};
    } else if (ok) {
      ok = Exchange(code, 2, 2, {0x77, 0x55}).code == 0 && Exchange(code, 2, 2, {0x77, 0x55}).code == 0;
    }
    if (ok) ok = Exchange(code, 2, 4, {uint8_t(n), uint8_t(n >> 8), uint8_t(mode), 0}).code == 0;
    if (!ok) return {-1, Exchange(15).status, {}};
    return Exchange(code, mode, n, out);
  }

 private:
  int fd_;
};

TEST(SimIdentification, EachFirmwareAnswersProbeAndVersionQueryAsItsFamily) {
  const struct {
    std::vector<std::string> args;
    int probeStatus, versionStatus;
    Bytes versionBytes;
  } cases[] = {
      {{"--version-code", "6210"}, 0, 12, {}},        {{"--version-code", "6320"}, 12, 0, {6, 3, 2}},
      {{"--version-code", "6343"}, 12, 0, {6, 3, 43}}, {{"--version-code", "8430"}, 12, 0, {8, 4, 3}},
      {{"--version-code", "9620"}, 12, 0, {9, 6, 2}},  {{"--version-code", "9700"}, 12, 0, {9, 7, 0}},
      {{"--version-bytes", "6,3,80"}, 12, 0, {6, 3, 80}}, {{"--unknown-version"}, 12, 12, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    SimRunner sim(c.args);
    Master m(sim.Path());
    EXPECT_EQ(m.Exchange(15).status, c.probeStatus);  // a missing or damaged answer has none
    const Result version = m.Exchange(7, 1, 3);
    EXPECT_EQ(version.status, c.versionStatus);
    EXPECT_EQ(version.data, c.versionBytes);
  }
  // The 621a takes its single unhandshaked restart right after the probe.
  SimRunner sim({"--version-code", "6210"});
  Master m(sim.Path());
  EXPECT_EQ(m.Exchange(15).status, 0);
  EXPECT_EQ(m.Exchange(14).status, 0);
  EXPECT_EQ(m.Exchange(20, 1, 1).data, Bytes{0x01});
}

TEST(SimMemory, TablesWrittenThroughEitherHandshakeSurviveARestart) {
  const fs::path dir = TempDir();
  const std::string state = (dir / "unit.state").string();
  Bytes image(3000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 7 + 1);
  Bytes header;
  {
    SimRunner sim({"--version-code", "6343", "--handshake", "5577"}, state);
    Master m(sim.Path());
    header = m.Transfer(1, 1, 822).data;
    ASSERT_EQ(header.size(), 822u);
    header[358] = 1;  // position 0 holds stored table 1
    header[6] |= 4;
    EXPECT_EQ(m.Transfer(3, 2, int(image.size()), image).status, 0);
    EXPECT_EQ(m.Transfer(1, 2, 822, header).status, 0);
  }
  {
    SimRunner sim({"--version-code", "6343"}, state);
    Master m(sim.Path());
    EXPECT_EQ(m.Transfer(1, 1, 822).data, header);
    EXPECT_EQ(m.Transfer(3, 1, int(image.size())).data, image);
  }
  // Nothing but the state itself is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
  fs::remove_all(dir);
}

// Requests a unit refuses with status 12 once the handshake is through.
TEST(SimMemory, RefusedTransfers) {
  const struct {
    std::vector<std::string> args;
    uint8_t code;
    int mode, n;
    uint8_t first;  // of a written block
  } cases[] = {
      {{"--version-code", "6343"}, 4, 1, 98, 0},                    // no compact directory
      {{"--version-code", "9620"}, 1, 1, 774, 0},                   // no table header
      {{"--version-code", "9620", "--no-request-8"}, 8, 1, 2, 0},   // read as "mode 0 only"
      {{"--version-code", "9620", "--packing-modes", "2"}, 4, 2, 98, 2},  // mode 2 not accepted
      {{"--version-code", "9620"}, 4, 2, 97, 0},                    // wrong length, up front
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.code) + " " + c.args.back());
    SimRunner sim(c.args);
    Master m(sim.Path());
    Bytes out(size_t(c.n), 0);
    out[0] = c.first;
    const Result r = m.Transfer(c.code, c.mode, c.n, out);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.status, 12);
    EXPECT_TRUE(r.data.empty());
  }
}

TEST(SimMemory, SpoiltChecksumsAreRefusedAndNothingIsTaken) {
  SimRunner sim({"--version-code", "6320"});
  Master m(sim.Path());
  ASSERT_EQ(m.Transfer(3, 2, 4, {1, 2, 3, 4}).status, 0);
  const auto handshake = [&m] {
    ASSERT_EQ(m.Exchange(3, 1, 2).data, (Bytes{0x34, 0x12}));
    ASSERT_EQ(m.Exchange(3, 1, 2).data, (Bytes{0x34, 0x12}));
  };
  // Good parameters, then a data block with its checksum spoilt.
  handshake();
  ASSERT_EQ(m.Exchange(3, 2, 4, {3, 0, 2, 0}).status, 0);
  ASSERT_EQ(m.Exchange(3).status, 0);
  m.Send({9, 9, 9, 0x55});
  EXPECT_EQ(m.Byte(kReplyMs), 11);
  // Spoilt parameters: the data step is refused rather than guessed at.
  handshake();
  ASSERT_EQ(m.Exchange(3).status, 0);
  m.Send({4, 0, 1, 0, 0x77});
  EXPECT_EQ(m.Byte(kReplyMs), 11);
  EXPECT_EQ(m.Exchange(3, 1, 4).status, 12);
  // Neither was taken, and the next transfer starts afresh.
  EXPECT_EQ(m.Transfer(3, 1, 4).data, (Bytes{1, 2, 3, 4}));
}

TEST(SimFaults, InjectedFaultsReachTheMasterAsItsFailureCodes) {
  SimRunner sim({"--version-code", "6320", "--status", "1=254@2", "--bad-checksum", "7@1", "--byte-delay-ms",
                 "7=60", "--silence-after", "2=1", "--status", "20=4"});
  Master m(sim.Path());
  EXPECT_EQ(m.Transfer(1, 1, 774).status, 0);
  EXPECT_EQ(m.Transfer(1, 1, 774).status, 254);  // the 2nd header request only
  EXPECT_EQ(m.Transfer(1, 1, 774).status, 0);
  EXPECT_EQ(m.Exchange(7, 1, 3).code, 11);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(m.Exchange(7, 1, 3).code, 0);  // slow bytes, but this master waits long enough
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(5 * 60));
  EXPECT_EQ(m.Transfer(2, 1, 2).code, 12);  // status, then nothing
  EXPECT_EQ(m.Exchange(20, 1, 1).status, 4);
}

TEST(SimDisplay, FrameLengthAndPanelStartFollowTheFirmware) {
  const struct {
    std::vector<std::string> args;
    int frame;
    bool needsStart;
  } cases[] = {{{"--version-code", "6320"}, 13, false}, {{"--version-code", "6350"}, 13, true},
               {{"--version-code", "6351"}, 33, true},  {{"--version-code", "6360"}, 33, true},
               {{"--version-code", "7320"}, 13, true},
               {{"--version-code", "7320", "--unknown-version"}, 13, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args.back());
    SimRunner sim(c.args);
    Master m(sim.Path());
    if (c.needsStart) {
      EXPECT_EQ(m.Exchange(0xF0, 1, c.frame).status, 12);
      EXPECT_EQ(m.Transfer(13, 0, 0).status, 0);
    }
    const Result poll = m.Exchange(0xF0, 1, c.frame);
    EXPECT_EQ(poll.code, 0);
    EXPECT_EQ(poll.data.size(), size_t(c.frame));
    if (!c.needsStart) continue;
    ASSERT_EQ(m.Transfer(14, 0, 0).status, 0);  // a restart ends the panel start
    EXPECT_EQ(m.Exchange(0xF0, 1, c.frame).status, 12);
  }
}

// The link points to the terminal while the simulator lives; a bad command
// line or file stops it without touching anything.
TEST(SimProcess, LinkAndFiles) {
  const fs::path dir = TempDir();
  const fs::path link = dir / "COM1";
  fs::create_symlink("/nonexistent", link);  // a stale link is replaced
  {
    SimRunner sim({"--link", link.string()});
    EXPECT_EQ(fs::read_symlink(link).string(), sim.Path());
    EXPECT_EQ(Master(link.string()).Exchange(15).status, 12);
    EXPECT_EQ(Master(link.string()).Exchange(15).status, 12);  // reopened, still there
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

  const std::pair<const char*, const char*> files[] = {
      {"file", "keep"}, {"bad1", "not a state\n"}, {"bad2", "tgx-sim state 1\nimage 0G\n"}};
  for (const auto& [name, text] : files) std::ofstream(dir / name) << text;
  const struct {
    std::vector<std::string> args;
    int exit;
  } cases[] = {
      {{"--version-code", "6305"}, 64},  // no version bytes give it
      {{"--status", "1=256"}, 64},       {{"--bad-checksum", "7@0"}, 64},
      {{"--silence-after"}, 64},         {{"--no-such-option"}, 64},
      {{"--link", (dir / "file").string()}, 1},  {{"--state", (dir / "bad1").string()}, 1},
      {{"--state", (dir / "bad2").string()}, 1},
  };
  for (const auto& c : cases) {
    std::string command = std::string(TGX_SIM_PATH) + " --exit-on-stdin-eof";
    for (const std::string& a : c.args) command += " '" + a + "'";
    SCOPED_TRACE(command);
    const int st = std::system((command + " </dev/null >/dev/null 2>&1").c_str());
    EXPECT_EQ(WIFEXITED(st) ? WEXITSTATUS(st) : -1, c.exit);
  }
  for (const auto& [name, text] : files) EXPECT_EQ(ReadFile(dir / name), text);
  fs::remove_all(dir);
}

}  // namespace
