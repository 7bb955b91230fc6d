// The calibration table document of a full project: 16 channels of 3,000
// entries each (300 rows, about seven pages a channel), laid out and written
// as a PDF. Runs on Qt's offscreen platform; no display is needed.
//
// The PDF needs the Qt drawing library (tgx_report_qt); a build that links
// this program with the core alone measures the layout only.

#include <benchmark/benchmark.h>

#if __has_include(<QPdfWriter>)
#define TGX_REPORT_PDF 1
#include <QGuiApplication>

#include "report/qt/Paint.h"
#endif

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "forms/Fdata.h"
#include "project/Eprj.h"
#include "FullProject.h"
#include "report/Report.h"

namespace {

void BM_LayoutOf16Channels(benchmark::State& state) {
  const EPROJECT p = FullProject();
  for (auto _ : state) {
    const REPORTLAYOUT l = BuildReport(p, SITEFIELDS{}, {}, "01.02.2024");
    benchmark::DoNotOptimize(l.pages.size());
  }
}
BENCHMARK(BM_LayoutOf16Channels)->Unit(benchmark::kMillisecond);

#ifdef TGX_REPORT_PDF
void BM_PdfOf16Channels(benchmark::State& state) {
  const EPROJECT p = FullProject();
  const std::string path =
      (std::filesystem::temp_directory_path() / ("tgx-report-bench-" + std::to_string(::getpid()) + ".pdf")).string();
  size_t pages = 0;
  for (auto _ : state) {
    const REPORTLAYOUT l = BuildReport(p, SITEFIELDS{}, {}, "01.02.2024");
    pages = l.pages.size();
    if (!WriteReportPdf(l, path)) state.SkipWithError("the PDF was not written");
  }
  state.counters["pages"] = static_cast<double>(pages);
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
  std::filesystem::remove(path);
}
BENCHMARK(BM_PdfOf16Channels)->Unit(benchmark::kMillisecond)->MinTime(2.0);
#endif
}  // namespace

int main(int argc, char** argv) {
#ifdef TGX_REPORT_PDF
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
#endif
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
