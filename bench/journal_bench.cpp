// The session journal: recording a full session, listing a large journal,
// loading one session back, and how big a journal of 10,000 full sessions
// grows. Every session's tables are shifted by its number, so that each set
// is distinct and only the encoding, not the de-duplication, keeps it small.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "journal/Journal.h"
#include "journal/JournalSamples.h"
#include "support/TempDir.h"

namespace {

constexpr int kTables = 16;
constexpr int kEntries = 3000;
constexpr int kLargeJournal = 10000;

std::unique_ptr<tgx::Journal> OpenIn(const tgxtest::TempDir& dir) {
  return std::move(tgx::Journal::Open(dir.Path().string()).Instance);
}

tgx::SessionRecord FullSession(int32_t shift) {
  tgx::SessionRecord s = tgxtest::SampleWrite();
  s.Tables = tgxtest::SmoothSet(kTables, kEntries, shift);
  s.Backup.reset();
  return s;
}

void BM_RecordSession16x3000(benchmark::State& state) {
  tgxtest::TempDir dir("tgx-journal-bench");
  auto journal = OpenIn(dir);
  tgx::SessionRecord s = FullSession(0);
  const bool withBackup = state.range(0) != 0;
  int32_t shift = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ++shift;
    s.Tables = tgxtest::SmoothSet(kTables, kEntries, shift);
    if (withBackup) s.Backup = tgxtest::SmoothSet(kTables, kEntries, -shift);
    state.ResumeTiming();
    if (!journal->Record(s).Ok) state.SkipWithError("record failed");
  }
}
BENCHMARK(BM_RecordSession16x3000)->Arg(0)->Arg(1)->ArgName("backup")->Unit(benchmark::kMillisecond);

// One journal of kLargeJournal full sessions, built once for the benchmarks below.
struct LargeJournal {
  tgxtest::TempDir dir{"tgx-journal-large"};
  std::unique_ptr<tgx::Journal> journal;
  double megabytes = 0;

  LargeJournal() {
    journal = OpenIn(dir);
    for (int i = 0; i < kLargeJournal; ++i) {
      tgx::SessionRecord s = FullSession(i);
      s.Started += std::chrono::seconds(i);
      s.Port = i % 3 == 0 ? "COM2" : "COM1";
      journal->Record(s);
    }
    // Measured with the log folded into the file, as a closed journal is.
    journal.reset();
    journal = OpenIn(dir);
    double bytes = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) bytes += e.file_size();
    megabytes = bytes / 1e6;
  }
};

LargeJournal& Large() {
  static LargeJournal large;
  return large;
}

void BM_JournalSize10000Sessions(benchmark::State& state) {
  LargeJournal& large = Large();
  // Nothing to time: the figure is the size, reported as counters.
  for (auto _ : state) benchmark::ClobberMemory();
  state.counters["MB"] = large.megabytes;
  state.counters["bytes_per_entry"] = large.megabytes * 1e6 / (double{kLargeJournal} * kTables * kEntries);
}
BENCHMARK(BM_JournalSize10000Sessions)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_List10000Sessions(benchmark::State& state) {
  tgx::Journal& journal = *Large().journal;
  std::size_t listed = 0;
  for (auto _ : state) listed = journal.List({}, 0).Sessions.size();
  if (listed != kLargeJournal) state.SkipWithError("not every session listed");
}
BENCHMARK(BM_List10000Sessions)->Unit(benchmark::kMillisecond);

void BM_ListNewest50OfOnePort(benchmark::State& state) {
  tgx::Journal& journal = *Large().journal;
  for (auto _ : state) benchmark::DoNotOptimize(journal.List({.Port = "COM2"}, 50));
}
BENCHMARK(BM_ListNewest50OfOnePort)->Unit(benchmark::kMillisecond);

void BM_LoadSession16x3000(benchmark::State& state) {
  tgx::Journal& journal = *Large().journal;
  for (auto _ : state) {
    const auto loaded = journal.Load(kLargeJournal / 2);
    if (!loaded.Session.Tables) state.SkipWithError("tables not loaded");
  }
}
BENCHMARK(BM_LoadSession16x3000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
