// ShowProject of a full project: 16 forms of 3,000 rows each, checked
// (converted) and drawn into the grid. Target: < 20 ms.

#include <string>

#include "GuiBenchMain.h"
#include "app/App.h"
#include "app/Fproj.h"
#include "forms/Fdata.h"

namespace {

// Type 1 forms: volumes per centimetre of a slightly widening tank, smooth,
// so every form converts and is checked to the end.
std::string SixteenForms(int rows) {
  std::string text;
  for (int f = 0; f < FDATA::kMaxForms; ++f) {
    text += "# tank " + std::to_string(f + 1) + "\n|";
    for (int i = 0; i < rows; ++i) text += " " + std::to_string(i * (300 + f) + i * i / 100);
    text += "\n";
  }
  return text;
}

void BM_ShowProject(benchmark::State& state) {
  char name[] = "tgx";
  char* argv[] = {name, nullptr};
  tgx::StartApplication(1, argv);
  FDATA forms;
  if (!forms.ReadText(SixteenForms(static_cast<int>(state.range(0))), 1)) {
    state.SkipWithError("forms not read");
  } else {
    TPrjForm* main = tgx::MainWindow();
    main->Project().SetForms(forms);
    main->ShowProject();
    for (auto _ : state) main->ShowProject();
  }
  state.counters["target_ms"] = 20;
  tgx::StopApplication();
}
BENCHMARK(BM_ShowProject)->Arg(3000)->Unit(benchmark::kMillisecond);

}  // namespace

TGX_GUI_BENCHMARK_MAIN()
