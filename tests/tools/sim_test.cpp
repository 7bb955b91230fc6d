// tgx-sim seen from the line: a minimal master in the test talks to the
// simulator over its pseudo-terminal, the way the program's link does, and
// checks the unit's answers byte by byte. What the program's sessions and the
// panel already show against the simulator (identification, tables kept per
// family, memory limits, packing modes, refused requests, display frames) is
// not repeated here.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <numeric>

#include <gtest/gtest.h>

#include "support/SimRunner.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// Generous waits: the machine running the tests may be busy.
constexpr int kReplyMs = 1000, kByteMs = 300;

uint8_t Xor(const Bytes& b) { return uint8_t(std::accumulate(b.begin(), b.end(), 0, std::bit_xor<>())); }

struct Result {
  int code = 0;  // 0 complete, 11 checksum, 12 data byte missing, -1 handshake failed
  int status = -1;  // -1: none
  Bytes data;
};

// The master's side of the protocol, as plainly as possible.
class Master {
 public:
  explicit Master(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {
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

  // mode 0 none, 1 read n bytes, 2 write `out`; a block of more than two
  // bytes written, or of two or more read, ends in its checksum.
  Result Exchange(uint8_t command, int mode = 0, int n = 0, Bytes out = {}) {
    tcflush(fd_, TCIFLUSH);
    Send({command});
    Result r{0, Byte(kReplyMs), {}};
    if (r.status != 0 || mode == 0) return r;
    if (mode == 2) {
      if (n > 2) out.push_back(Xor(out) ^ (--spoil == 0 ? 0xFF : 0));
      Send(out);
      r.status = Byte(kReplyMs + n / 4);  // the unit may take its time over a paced block
      return r;
    }
    for (int i = 0; i < (n >= 2 ? n + 1 : n); ++i) {
      if (const int b = Byte(kByteMs); b >= 0) r.data.push_back(uint8_t(b));
      else return {12, 0, {}};
    }
    if (n >= 2 && Xor(r.data) != 0) return {11, 0, {}};
    r.data.resize(size_t(n));
    return r;
  }

  // The handshaked transfer with either handshake word; a failed handshake
  // is followed by the abort (15), refused parameters leave the data step to
  // the caller.
  Result Transfer(uint8_t code, int mode, int n, const Bytes& out = {}) {
    const Bytes word = Exchange(code, 1, 2).data;
    if (word == Bytes{0x34, 0x12} ? Exchange(code, 1, 2).data != word
                                  : word != Bytes{0x77, 0x55} || Exchange(code, 2, 2, word).status != 0 ||
                                        Exchange(code, 2, 2, word).status != 0)
      return {-1, Exchange(15).status, {}};
    if (const int s = Exchange(code, 2, 4, {uint8_t(n), uint8_t(n >> 8), uint8_t(mode), 0}).status) return {-1, s, {}};
    return Exchange(code, mode, n, out);
  }

  int spoil = 0;  // the checksum of the spoil-th block written from now goes out wrong

 private:
  int fd_;
};

// Tables written through one handshake word are read back through the other
// by the next simulator on the same state, and nothing but the state is left
// beside it.
TEST(Sim, TablesWrittenThroughEitherHandshakeSurviveARestart) {
  const TempDir scratch;
  const fs::path& dir = scratch.Path();
  Bytes image(3000), header;
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 7 + 1);
  for (const bool writing : {true, false}) {
    SimRunner sim({"--version-code", "6343", "--handshake", writing ? "5577" : "1234"}, (dir / "unit.state").string());
    Master m(sim.Path());
    if (!writing) {
      EXPECT_EQ(m.Transfer(1, 1, 822).data, header);
      EXPECT_EQ(m.Transfer(3, 1, int(image.size())).data, image);
      continue;
    }
    header = m.Transfer(1, 1, 822).data;
    ASSERT_EQ(header.size(), 822u);
    header[358] = 1;  // position 0 holds stored table 1
    header[6] |= 4;
    EXPECT_EQ(m.Transfer(3, 2, int(image.size()), image).status, 0);
    EXPECT_EQ(m.Transfer(1, 2, 822, header).status, 0);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
}

// Injected faults reach the master as its failure codes; a block written with
// a spoilt checksum is answered 11 and not taken, and the data step after
// spoilt parameters is refused rather than guessed at.
TEST(Sim, FaultsAndSpoiltChecksums) {
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
  ASSERT_EQ(m.Transfer(3, 2, 4, {1, 2, 3, 4}).status, 0);
  m.spoil = 2;  // the data block
  EXPECT_EQ(m.Transfer(3, 2, 4, {9, 9, 9, 9}).status, 11);
  m.spoil = 1;  // the parameter block
  EXPECT_EQ(m.Transfer(3, 1, 4).status, 11);
  EXPECT_EQ(m.Exchange(3, 1, 4).status, 12);
  EXPECT_EQ(m.Transfer(3, 1, 4).data, (Bytes{1, 2, 3, 4}));
}

// The link points to the terminal while the simulator lives, a stale one is
// replaced, and it goes when the simulator is stopped.
TEST(Sim, LinkFollowsTheTerminal) {
  const TempDir scratch;
  const fs::path link = scratch.Path() / "COM1";
  fs::create_symlink("/nonexistent", link);
  {
    SimRunner sim({"--link", link.string()});
    EXPECT_EQ(fs::read_symlink(link).string(), sim.Path());
    EXPECT_EQ(Master(link.string()).Exchange(15).status, 12);
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

// The simulator names itself and its version, as the other programs do.
TEST(Sim, VersionAnswers) {
  FILE* p = ::popen((std::string(TGX_SIM_PATH) + " --version").c_str(), "r");
  ASSERT_NE(p, nullptr);
  char line[128] = {};
  const bool read = std::fgets(line, sizeof line, p) != nullptr;
  const int status = ::pclose(p);
  ASSERT_TRUE(read);
  EXPECT_EQ(std::string(line).rfind("tgx-sim 1.", 0), 0u) << line;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace tgxtest

