// The print preview of the calibration table document: from the command to a
// preview whose first page has been drawn, for the sample station (three
// channels, one a gap) and for a full project of 16 channels of 3,000 entries.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <string>

#include "GuiBenchMain.h"
#include "app/Freport.h"
#include "forms/Fdata.h"
#include "project/Eprj.h"
#include "../FullProject.h"
#include "report/Report.h"

namespace {

// Opens the preview, draws it once as a person would see it, closes it, and
// reports the time to that first complete drawing.
void MeasurePreview(benchmark::State& state, const EPROJECT& project) {
  const REPORTLAYOUT layout = BuildReport(project, SITEFIELDS{}, {}, "06.12.2026");
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    double seconds = 0;
    QTimer::singleShot(0, [&] {
      QWidget* preview = QApplication::activeModalWidget();
      if (preview == nullptr) return;
      preview->grab();  // lays out the pages and paints the visible one
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      preview->close();
    });
    RunReportPreview(nullptr, layout, QStringLiteral("bench.pdf"));
    state.SetIterationTime(seconds);
  }
}

void BM_PreviewOfTheSampleStation(benchmark::State& state) {
  EPROJECT p;
  p.Load(std::string(TGX_SOURCE_DIR) + "/examples/station_with_gap.fs");
  MeasurePreview(state, p);
}
BENCHMARK(BM_PreviewOfTheSampleStation)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PreviewOf16Channels(benchmark::State& state) { MeasurePreview(state, FullProject()); }
BENCHMARK(BM_PreviewOf16Channels)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

TGX_GUI_BENCHMARK_MAIN()
