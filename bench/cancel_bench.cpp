// How long a session takes to stop after Cancel, wherever its worker is:
// waiting for a status byte the unit holds back, waiting for an
// acknowledgement that never comes, or with a 16 KB image still queued on a
// line paced at 9600 baud 8E1. The figure is "stop_ms": from raising Cancel
// to Finished, the port closed. The aim is 150 ms at most.
// Beside it, "end_s": how long a read takes to give up on a 16 KB image whose
// unit falls silent after 1,000 bytes (a second of silence ends the block;
// waiting out 50 ms for every missing byte would take 750 s).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/session/Bvlink.h"
#include "support/SimRunner.h"

namespace {
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

GROUPTAB Ramp(int n) {
  PARTAB t(n);
  for (int i = 0; i < n; ++i) t[i] = i;
  GROUPTAB set;
  set.Add(t);
  return set;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto until = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= until) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

struct Case {
  std::vector<std::string> args;
  int entries;
  // True once the worker is where the cancel should find it.
  std::function<bool(const tgxtest::SimRunner&, const TBVLink&)> ready;
};

int CountCommand(const tgxtest::SimRunner& sim, uint8_t code, size_t size) {
  int n = 0;
  for (const auto& t : sim.LogSinceMark()) n += t.Command() == code && t.in.size() == size ? 1 : 0;
  return n;
}

void BM_StopAfterCancel(benchmark::State& state, const Case& c) {
  double total = 0, worst = 0;
  for (auto _ : state) {
    // A fresh unit each time: a held reply must not meet the next session.
    tgxtest::SimRunner sim(c.args);
    sim.MarkLog();
    TBVLink session(false);
    session.DevicePath = sim.Path();
    session.Operation = TBVLink::kOpWrite;
    session.Tables = Ramp(c.entries);
    session.Channel.ReplyTimeoutMs = 30000;
    session.Start();
    if (!WaitFor([&] { return c.ready(sim, session); }, std::chrono::seconds(30)) || session.Finished) {
      state.SkipWithError("the session never reached the wait");
      break;
    }
    const auto t0 = Clock::now();
    session.Cancel = true;
    session.WaitFinished();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    state.SetIterationTime(ms / 1000.0);
    total += ms;
    worst = std::max(worst, ms);
  }
  state.counters["stop_ms"] = total / static_cast<double>(state.iterations());
  state.counters["worst_ms"] = worst;
}

const Case kStatusWait{{"--version-code", "6320", "--byte-delay-ms", "2=20000"}, 10,
                       [](const tgxtest::SimRunner& sim, const TBVLink&) { return CountCommand(sim, 2, 1) == 3; }};
const Case kAckWait{{"--version-code", "6320", "--silence-after", "3=1"}, 100,
                    [](const tgxtest::SimRunner& sim, const TBVLink&) { return CountCommand(sim, 3, 104) == 1; }};
// Two seconds into the 18 s the image needs on the line.
const Case kQueuedBlock{{"--version-code", "8530", "--pace"}, 16000,
                        [](const tgxtest::SimRunner&, const TBVLink& s) { return s.WireBytesDone > 2000; }};

void BM_SilentBlock(benchmark::State& state) {
  char dir[] = "/tmp/tgx-cancel-bench-XXXXXX";
  if (!::mkdtemp(dir)) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string unitState = std::string(dir) + "/unit.state";
  TBVLink session(false);
  {
    tgxtest::SimRunner fast({"--version-code", "8530"}, unitState, false);
    session.DevicePath = fast.Path();
    session.Operation = TBVLink::kOpWrite;
    session.Tables = Ramp(16000);
    session.Start();
    session.WaitFinished();
  }
  double total = 0;
  for (auto _ : state) {
    tgxtest::SimRunner sim({"--version-code", "8530", "--silence-after", "3=1001"}, unitState, false);
    session.DevicePath = sim.Path();
    session.Operation = TBVLink::kOpRead;
    const auto t0 = Clock::now();
    session.Start();
    session.WaitFinished();
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    state.SetIterationTime(s);
    total += s;
  }
  state.counters["end_s"] = total / static_cast<double>(state.iterations());
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

BENCHMARK(BM_SilentBlock)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_StopAfterCancel, status_wait, kStatusWait)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StopAfterCancel, ack_wait, kAckWait)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StopAfterCancel, queued_block_paced, kQueuedBlock)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
