// Handshaked transfer of a full packed image (32,760 bytes) to and from the
// unit simulator on a pseudo-terminal.
//
// Unpaced, the simulator answers as fast as the terminal carries bytes, so the
// figure is the program's own ceiling: bytes_per_second must stay far above
// what 9600 baud can carry (about 870 bytes/s), at least 50,000.
// Paced, the simulator keeps the real speed of 9600 baud 8E1 (11 bits per
// byte); wall_to_wire is the wall time over the time those bytes need on the
// wire, and shows what the program adds on top of the line (at most 1.05).
//
// The PacedPeer variants run the same transfers against a scripted unit that
// keeps the line's speed by an absolute schedule, which separates what the
// program adds from how closely the simulator keeps its pace on a busy machine.
//
// TGX_SIM_PATH names the simulator (the build sets it; the environment
// variable of the same name overrides it).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/Ukdr_drv.h"
#include "support/PtyPeer.h"

extern char** environ;

namespace {

constexpr int32_t kImageBytes = 32760;
constexpr uint8_t kImageCode = 3;  // packed tables
constexpr double kBitsPerByte = 11.0;
constexpr double kLineBaud = 9600.0;
constexpr int32_t kReplyTimeoutMs = 500;

std::string SimulatorPath() {
  if (const char* env = std::getenv("TGX_SIM_PATH"); env != nullptr && *env != '\0') return env;
#ifdef TGX_SIM_PATH
  return TGX_SIM_PATH;
#else
  return "tgx-sim";
#endif
}

// The simulator as a child process for the life of one benchmark. Its standard
// input is a pipe, so it also ends when this program dies.
class Simulator {
 public:
  explicit Simulator(bool paced) {
    int out[2];
    int in[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> args{SimulatorPath(), "--version-code", "6320", "--exit-on-stdin-eof"};
    if (paced) args.emplace_back("--pace");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(in[0]);
    stdin_ = in[1];
    stdout_ = out[0];
    if (pid_ > 0) path_ = ReadFirstLine();
    // Whatever else it prints is read and dropped, so it never blocks on a
    // full pipe.
    drain_ = std::thread([fd = stdout_] {
      char buf[512];
      while (::read(fd, buf, sizeof buf) > 0) {
      }
    });
  }
  ~Simulator() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    if (stdin_ >= 0) ::close(stdin_);
    if (drain_.joinable()) drain_.join();
    if (stdout_ >= 0) ::close(stdout_);
  }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string ReadFirstLine() {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{stdout_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char c = 0;
      if (::read(stdout_, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return {};
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string path_;
  std::thread drain_;
};

// Bytes in both directions as the transport logged them: every byte is one
// hexadecimal token; the "#<wait>" marks and the arrows are not bytes.
size_t WireBytes(const std::string& log) {
  std::istringstream in(log);
  std::string token;
  size_t n = 0;
  while (in >> token) {
    if (token[0] == '#' || token == ">" || token == "<") continue;
    ++n;
  }
  return n;
}

void Transfer(benchmark::State& state, bool write, bool paced) {
  Simulator sim(paced);
  if (sim.Path().empty()) {
    state.SkipWithError("the simulator did not start");
    return;
  }
  UKEDR_DRV link;
  if (!link.OpenDevice(sim.Path(), kReplyTimeoutMs)) {
    state.SkipWithError("the simulator's terminal did not open");
    return;
  }
  link.SetLogging(true);
  std::vector<uint8_t> image(kImageBytes);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 31 + (i >> 8));

  double wallSeconds = 0;
  size_t wireBytes = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = write ? link.WriteBlock(kImageCode, image.data(), kImageBytes)
                          : link.ReadBlock(kImageCode, image.data(), kImageBytes);
    wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!ok || link.LastStatus() != 0) {
      state.SkipWithError(("transfer failed, status " + std::to_string(link.LastStatus())).c_str());
      break;
    }
    wireBytes += WireBytes(link.LogText());
  }
  link.CloseLink();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImageBytes);
  const double wireSeconds = static_cast<double>(wireBytes) * kBitsPerByte / kLineBaud;
  state.counters["wire_bytes"] = benchmark::Counter(static_cast<double>(wireBytes), benchmark::Counter::kAvgIterations);
  if (wireSeconds > 0) state.counters["wall_to_wire"] = wallSeconds / wireSeconds;
}

// A unit on a pseudo-terminal that keeps 9600 baud by an absolute schedule:
// the line is one half-duplex channel, a byte takes 11 bits, and a byte that
// was already waiting follows the previous one back to back however late this
// thread wakes up. It answers one handshaked transfer of the image (word
// 0x1234), so the figure shows what the program itself adds to the line time.
class PacedUnit {
 public:
  PacedUnit(int masterFd, bool write) : fd_(masterFd), write_(write), thread_([this] { Run(); }) {}
  ~PacedUnit() { thread_.join(); }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kByteTime = std::chrono::nanoseconds(static_cast<int64_t>(kBitsPerByte / kLineBaud * 1e9));

  // Takes n bytes as the line delivers them.
  bool Take(size_t n) {
    for (size_t i = 0; i < n; ++i) {
      uint8_t b = 0;
      bool waited = false;
      while (::read(fd_, &b, 1) != 1) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return false;
        waited = true;
      }
      lineFree_ = (waited ? std::max(lineFree_, Clock::now()) : lineFree_) + kByteTime;
      std::this_thread::sleep_until(lineFree_);
    }
    return true;
  }
  void Give(const std::vector<uint8_t>& bytes) {
    lineFree_ = std::max(lineFree_, Clock::now());
    for (uint8_t b : bytes) {
      lineFree_ += kByteTime;
      std::this_thread::sleep_until(lineFree_);
      while (::write(fd_, &b, 1) != 1) std::this_thread::yield();
    }
  }
  void Run() {
    const std::vector<uint8_t> word{0, 0x34, 0x12, 0x34 ^ 0x12};
    if (!Take(1)) return;
    Give(word);
    Take(1);
    Give(word);
    Take(1);
    Give({0});
    Take(5);  // parameter block and its checksum
    Give({0});
    Take(1);
    Give({0});
    if (write_) {
      Take(kImageBytes + 1);
      Give({0});
    } else {
      std::vector<uint8_t> reply(kImageBytes + 2, 0);  // status, zeros, their XOR (0)
      Give(reply);
    }
  }

  int fd_;
  bool write_;
  Clock::time_point lineFree_ = Clock::now();
  std::thread thread_;
};

void PacedPeerTransfer(benchmark::State& state, bool write) {
  std::vector<uint8_t> image(kImageBytes, 0);
  double wallSeconds = 0;
  size_t wireBytes = 0;
  for (auto _ : state) {
    tgxtest::PtyPeer pty;
    UKEDR_DRV link;
    if (!link.OpenDevice(pty.SlavePath(), kReplyTimeoutMs)) {
      state.SkipWithError("the terminal did not open");
      return;
    }
    link.SetLogging(true);
    bool ok = false;
    const auto t0 = std::chrono::steady_clock::now();
    {
      PacedUnit unit(pty.MasterFd(), write);
      ok = write ? link.WriteBlock(kImageCode, image.data(), kImageBytes)
                 : link.ReadBlock(kImageCode, image.data(), kImageBytes);
      wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    if (!ok || link.LastStatus() != 0) {
      state.SkipWithError(("transfer failed, status " + std::to_string(link.LastStatus())).c_str());
      return;
    }
    wireBytes += WireBytes(link.LogText());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImageBytes);
  const double wireSeconds = static_cast<double>(wireBytes) * kBitsPerByte / kLineBaud;
  if (wireSeconds > 0) state.counters["wall_to_wire"] = wallSeconds / wireSeconds;
}

void BM_ImageRead(benchmark::State& state) { Transfer(state, false, false); }
void BM_ImageWrite(benchmark::State& state) { Transfer(state, true, false); }
void BM_ImageReadPaced(benchmark::State& state) { Transfer(state, false, true); }
void BM_ImageWritePaced(benchmark::State& state) { Transfer(state, true, true); }
void BM_ImageReadPacedPeer(benchmark::State& state) { PacedPeerTransfer(state, false); }
void BM_ImageWritePacedPeer(benchmark::State& state) { PacedPeerTransfer(state, true); }

}  // namespace

BENCHMARK(BM_ImageRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImageWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
// About 38 s each: one transfer is enough to see the ratio.
BENCHMARK(BM_ImageReadPaced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ImageWritePaced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ImageReadPacedPeer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ImageWritePacedPeer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

BENCHMARK_MAIN();
