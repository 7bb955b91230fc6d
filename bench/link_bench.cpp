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
// The simulator is started through tests/support/SimRunner.h.

#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <exception>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/Codes.h"
#include "link/Ukdr_drv.h"
#include "link/drivers/Drv853.h"
#include "model/Le.h"
#include "support/PtyPeer.h"
#include "support/SimRunner.h"

namespace {

constexpr int32_t kImageBytes = kMaxCompactImageBytes;  // the largest image a compact unit takes
constexpr double kBitsPerByte = 11.0;
constexpr double kLineBaud = 9600.0;
constexpr int32_t kReplyTimeoutMs = 500;

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
  std::unique_ptr<tgxtest::SimRunner> sim;
  try {
    std::vector<std::string> args{"--version-code", "6320"};
    if (paced) args.emplace_back("--pace");
    sim = std::make_unique<tgxtest::SimRunner>(args, "", false);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  UKEDR_DRV link;
  if (!link.OpenDevice(sim->Path(), kReplyTimeoutMs)) {
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
    const bool ok = write ? link.WriteBlock(kReqImage, image.data(), kImageBytes)
                          : link.ReadBlock(kReqImage, image.data(), kImageBytes);
    wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!ok || link.LastStatus() != kStatusOk) {
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
    uint8_t w[2];
    tgx::PutLe16(w, kHandshakeRepeat);
    const std::vector<uint8_t> word{0, w[0], w[1], static_cast<uint8_t>(w[0] ^ w[1])};  // status, word, XOR
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
      ok = write ? link.WriteBlock(kReqImage, image.data(), kImageBytes)
                 : link.ReadBlock(kReqImage, image.data(), kImageBytes);
      wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    if (!ok || link.LastStatus() != kStatusOk) {
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
