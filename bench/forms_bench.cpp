// Loading and checking large form files: what the import dialog and the main
// window do with a full set of 16 forms.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <algorithm>
#include <string>

#include "forms/Fdata.h"
#include "forms/Readback.h"
#include "support/TempDir.h"

namespace {
constexpr int kForms = 16;

class BenchFile {
 public:
  BenchFile(const char* name, const std::string& body) : path_(dir_.File(name)) {
    std::ofstream(path_, std::ios::binary) << body;
  }
  const std::string& Path() const { return path_; }

 private:
  tgxtest::TempDir dir_{"tgx-bench"};
  std::string path_;
};

// 16 horizontal tanks of 4,000 measured pairs each, in shuffled order, levels
// up to 20 m (200,000 tenths of a millimetre).
std::string PairFile() {
  std::mt19937 rng(7);
  std::string body;
  for (int k = 0; k < kForms; ++k) {
    body += "\r\n\r\n# tank " + std::to_string(k + 1) + "\r\n";
    std::vector<std::pair<int, int>> rows;
    for (int j = 0; j < 4000; ++j) {
      const int tenths = j * 50 + static_cast<int>(rng() % 50);
      rows.emplace_back(tenths, tenths * 3 + j);
    }
    std::shuffle(rows.begin(), rows.end(), rng);
    char line[64];
    for (const auto& [level, volume] : rows) {
      std::snprintf(line, sizeof line, "\r\n| %9d %9d", level, volume);
      body += line;
    }
  }
  return body;
}

// 16 forms of one volume per centimetre, 3,000 rows each.
std::string LitreFile() {
  std::string body;
  for (int k = 0; k < kForms; ++k) {
    body += "\r\n\r\n# tank " + std::to_string(k + 1) + "\r\n";
    for (int i = 0; i < 3000; ++i) {
      if (i % 10 == 0) body += "\r\n| ";
      body += " " + std::to_string(i * (120 + k) + i * i / 100);
    }
  }
  return body;
}

void LoadAndCheck(benchmark::State& state, const BenchFile& file) {
  FDATA forms;
  for (auto _ : state) {
    if (!forms.Load(file.Path())) state.SkipWithError("load failed");
    forms.Check();
    benchmark::DoNotOptimize(forms.Form(kForms - 1).Smooth());
  }
  for (int k = 0; k < kForms; ++k)
    if (!forms.Form(k).Converted()) state.SkipWithError("a form did not convert");
}

void BM_LoadCheckPairForms(benchmark::State& state) {
  static const BenchFile file("pairs.f1", PairFile());
  LoadAndCheck(state, file);
}
BENCHMARK(BM_LoadCheckPairForms)->Unit(benchmark::kMillisecond);

void BM_LoadCheckLitreForms(benchmark::State& state) {
  static const BenchFile file("litres.fs", LitreFile());
  LoadAndCheck(state, file);
}
BENCHMARK(BM_LoadCheckLitreForms)->Unit(benchmark::kMillisecond);

// What the editor asks before every save: whether each text reads back.
void BM_UnsafeTextScan(benchmark::State& state) {
  FDATA forms;
  forms.ReadText(PairFile(), 4);
  for (auto _ : state)
    for (int k = 0; k < forms.Count(); ++k) benchmark::DoNotOptimize(FirstUnsafeText(forms.Form(k)));
}
BENCHMARK(BM_UnsafeTextScan)->Unit(benchmark::kMillisecond);

// The file body alone (the fuzz target's path) against the whole save with
// its flush to disk.
void BM_WriteText(benchmark::State& state) {
  FDATA forms;
  forms.ReadText(LitreFile(), 1);
  for (auto _ : state) benchmark::DoNotOptimize(forms.WriteText());
}
BENCHMARK(BM_WriteText)->Unit(benchmark::kMillisecond);

void BM_SaveFile(benchmark::State& state) {
  FDATA forms;
  forms.ReadText(LitreFile(), 1);
  const tgxtest::TempDir dir{"tgx-bench"};
  for (auto _ : state)
    if (!forms.Save(dir.File("save.fs"))) state.SkipWithError("save failed");
}
BENCHMARK(BM_SaveFile)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
