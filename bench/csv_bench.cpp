// CSV exchange at full size: importing a spreadsheet of 16 channels by
// 10,000 rows, and exporting 16 tables of 3,000 entries.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "exchange/Csv.h"
#include "forms/Fdata.h"
#include "model/Prjvol.h"
#include "support/TempDir.h"

namespace {
constexpr int kChannels = 16;
constexpr int kRows = 10'000;
constexpr int kEntries = 3'000;

// A level column in millimetres with a decimal comma and 16 volume columns,
// as a spreadsheet writes measured pairs (irregular levels: type 4 forms).
std::string PairCsv() {
  std::string csv = "\xEF\xBB\xBFУровень, мм";
  for (int k = 0; k < kChannels; ++k) csv += ";Резервуар " + std::to_string(k + 1);
  csv += "\r\n";
  for (int i = 0; i < kRows; ++i) {
    csv += std::to_string(i * 2) + "," + std::to_string(i % 10);
    for (int k = 0; k < kChannels; ++k) csv += ";" + std::to_string(i * (30 + k) + i * i / 1000);
    csv += "\r\n";
  }
  return csv;
}

// 16 columns of cubic metres, one row per centimetre (type 1 forms through
// the type 2 conversion).
std::string CubicMetreCsv() {
  std::string csv;
  for (int k = 0; k < kChannels; ++k) csv += (k ? ";" : "") + std::string("tank ") + std::to_string(k + 1);
  csv += "\n";
  for (int i = 0; i < kRows; ++i) {
    for (int k = 0; k < kChannels; ++k) {
      const long litres = static_cast<long>(i) * (120 + k);
      csv += (k ? ";" : "") + std::to_string(litres / 1000) + "," + std::to_string(1000 + litres % 1000).substr(1);
    }
    csv += "\n";
  }
  return csv;
}

void Import(benchmark::State& state, const std::string& csv, const CsvImportOptions& options) {
  tgxtest::TempDir dir("tgx-bench");
  const std::string path = dir.File("in.csv");
  std::ofstream(path, std::ios::binary) << csv;
  for (auto _ : state) {
    FDATA forms;
    CsvImportReport report;
    if (!ImportCsvFile(path, options, forms, report)) state.SkipWithError("import failed");
    benchmark::DoNotOptimize(forms.Form(kChannels - 1).RowCount());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(csv.size()));
}

void BM_ImportPairCsv(benchmark::State& state) {
  static const std::string csv = PairCsv();
  Import(state, csv, {});
}
BENCHMARK(BM_ImportPairCsv)->Unit(benchmark::kMillisecond);

void BM_ImportCubicMetreCsv(benchmark::State& state) {
  static const std::string csv = CubicMetreCsv();
  CsvImportOptions options;
  options.Volumes = CsvVolumeUnit::CubicMetres;
  Import(state, csv, options);
}
BENCHMARK(BM_ImportCubicMetreCsv)->Unit(benchmark::kMillisecond);

void BM_ExportTables(benchmark::State& state) {
  GROUPTAB tables;
  std::vector<std::string> titles;
  for (int k = 0; k < kChannels; ++k) {
    PARTAB t;
    for (int i = 0; i < kEntries; ++i) t.Append(i * (120 + k) + i * i / 100);
    tables.Add(t);
    titles.push_back("tank " + std::to_string(k + 1));
  }
  tgxtest::TempDir dir("tgx-bench");
  const std::string path = dir.File("out.csv");
  for (auto _ : state) {
    std::string message;
    if (!ExportCsvFile(path, tables, titles, {}, message)) state.SkipWithError("export failed");
  }
}
BENCHMARK(BM_ExportTables)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
