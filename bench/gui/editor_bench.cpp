// The table editor must stay smooth on large forms: a refresh after every
// typed cell (convert, range, drawing, grid) and a redraw on every zoom or
// scroll step of the graph.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QTabBar>
#include <QTableWidget>
#include <memory>
#include <string>

#include "editor/Fedittab.h"
#include "graph/Graf.h"
#include "forms/Fdata.h"
#include "forms/Forma.h"

namespace {

constexpr int kRows = 3000;

FDATA LargeSet() {
  FORMA f;
  f.SetType(1);
  f.SetTitle("bench");
  int64_t v = 0;
  for (int i = 0; i < kRows; ++i) {
    v += 40 + (i % 97) / 10;
    f.AppendRow("0", std::to_string(v));
  }
  f.CountDefined();
  FDATA set;
  set.AddNew();
  set.Replace(0, f);
  return set;
}

struct Editor {
  FDATA forms = LargeSet();
  TEditTabForm window{nullptr};
  Editor() {
    window.Setup("bench", &forms, true);
    window.show();
    QApplication::processEvents();
  }
  ~Editor() { window.hide(); }
};

void BM_RefreshTab(benchmark::State& state) {
  Editor e;
  FORMA& form = e.forms.Form(0);
  int i = 0;
  for (auto _ : state) {
    // A typed value changes the table, so nothing can be reused from before.
    form.SetVolumeText(kRows / 2, std::to_string(60000 + (i++ % 50)));
    e.window.RefreshTab();
  }
}
BENCHMARK(BM_RefreshTab)->Unit(benchmark::kMillisecond);

// Coming back from a small form the grid has to build all its cells again.
void BM_RefreshTabAfterSmallForm(benchmark::State& state) {
  Editor e;
  e.forms.AddNew();  // a new two-row form on tab 1
  e.window.hide();
  e.window.show();
  auto* tabs = e.window.findChild<QTabBar*>("TabControl1");
  for (auto _ : state) {
    state.PauseTiming();
    tabs->setCurrentIndex(1);
    state.ResumeTiming();
    tabs->setCurrentIndex(0);
  }
}
BENCHMARK(BM_RefreshTabAfterSmallForm)->Unit(benchmark::kMillisecond);

void BM_ZoomRedraw(benchmark::State& state) {
  Editor e;
  VGRAF* g = e.window.Graph();
  bool narrow = true;
  for (auto _ : state) {
    if (narrow) {
      g->Narrow();
    } else {
      g->Widen();
    }
    narrow = !narrow;
  }
}
BENCHMARK(BM_ZoomRedraw)->Unit(benchmark::kMillisecond);

void BM_ScrollRedraw(benchmark::State& state) {
  Editor e;
  VGRAF* g = e.window.Graph();
  g->Narrow();
  int pos = 0;
  for (auto _ : state) {
    pos = (pos + g->ScrollStep() + 1) % kRows;
    g->ScrollTo(pos);
  }
}
BENCHMARK(BM_ScrollRedraw)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
