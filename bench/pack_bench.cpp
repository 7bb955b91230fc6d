// Packing and unpacking a full set: 16 distinct, smooth 3,000-entry tables,
// the largest set a unit is asked to hold.
#include <benchmark/benchmark.h>

#include "link/Arjvol.h"

namespace {
GROUPTAB RealisticSet() {
  GROUPTAB set;
  for (int k = 0; k < 16; ++k) {
    PARTAB t;
    // A horizontal-cylinder-like curve: the increment grows then shrinks.
    int32_t v = 0;
    for (int i = 0; i < 3000; ++i) {
      const int32_t d = 10 + k + (i < 1500 ? i / 100 : (3000 - i) / 100);
      t.Append(v);
      v += d;
    }
    set.Add(t);
  }
  return set;
}

void BM_PackUnpack16x3000(benchmark::State& state) {
  const GROUPTAB set = RealisticSet();
  GROUPTAB back;
  for (auto _ : state) {
    TArjTab packer(0);
    packer.Pack(set);
    packer.Unpack(back);
    benchmark::DoNotOptimize(back);
  }
  if (!(back == set)) state.SkipWithError("round trip changed the tables");
}
BENCHMARK(BM_PackUnpack16x3000)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
