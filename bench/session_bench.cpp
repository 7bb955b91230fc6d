// A full write and read-back of sixteen realistic tables against tgx-sim
// paced at 9600 baud 8E1. The figure that matters is "ratio": wall time over
// the time the exchanged bytes need on the wire (11 bits each); the session
// should add next to nothing to the line's own time.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>

#include "link/session/Bvlink.h"
#include "support/SimRunner.h"

namespace {
constexpr double kSecondsPerByte = 11.0 / 9600.0;

// Horizontal cylinders of several sizes, one channel repeated, one a gap.
GROUPTAB RealisticTables() {
  GROUPTAB set;
  for (int k = 0; k < 16; ++k) {
    if (k == 10) {
      set.AddEmpty();
      continue;
    }
    const int kk = k == 7 ? 3 : k;
    const double r = 60 + 4 * kk;
    const double len = 400 + 25 * kk;
    const int n = static_cast<int>(2 * r) + 1;
    PARTAB t(n);
    for (int h = 0; h < n; ++h) {
      const double d = r - h;
      const double area = r * r * std::acos(d / r) - d * std::sqrt(std::max(0.0, 2 * r * h - double(h) * h));
      t[h] = static_cast<int32_t>(area * len / 1000.0);
    }
    set.Add(t);
  }
  return set;
}

bool RunSession(TBVLink& s, uint8_t op) {
  s.Operation = op;
  s.Start();
  s.WaitFinished();
  return s.Succeeded;
}

void BM_WriteAndReadBack(benchmark::State& state, const char* versionCode) {
  const GROUPTAB tables = RealisticTables();
  tgxtest::SimRunner sim({"--version-code", versionCode, "--pace", "--memory", "65535"}, "", false);
  TBVLink session(false);
  session.DevicePath = sim.Path();
  double wire = 0;
  double wall = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    sim.MarkLog();
    const auto t0 = std::chrono::steady_clock::now();
    session.Tables = tables;
    const bool wrote = RunSession(session, TBVLink::kOpWrite);
    session.Tables.Clear();
    const bool read = RunSession(session, TBVLink::kOpRead);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!wrote || !read || !(session.Tables == tables)) {
      state.SkipWithError("session failed or read back other tables");
      break;
    }
    size_t n = 0;
    for (const auto& t : sim.LogSinceMark()) n += t.in.size() + t.out.size();
    state.SetIterationTime(seconds);
    wall += seconds;
    wire += static_cast<double>(n) * kSecondsPerByte;
    bytes += n;
  }
  state.counters["bytes"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
  state.counters["wire_s"] = wire / static_cast<double>(state.iterations());
  state.counters["ratio"] = wire > 0 ? wall / wire : 0;
}

BENCHMARK_CAPTURE(BM_WriteAndReadBack, header_632, "6320")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_WriteAndReadBack, compact_853, "8530")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
}  // namespace

BENCHMARK_MAIN();
