#pragma once
// main() of a Qt benchmark program: a QApplication on the offscreen platform
// (unless another is asked for), then Google Benchmark.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#define TGX_GUI_BENCHMARK_MAIN()                                                   \
  int main(int argc, char** argv) {                                                \
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen"); \
    QTemporaryDir config;                                                          \
    qputenv("TGX_CONFIG_DIR", config.path().toUtf8());                             \
    QApplication app(argc, argv);                                                  \
    benchmark::Initialize(&argc, argv);                                            \
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;              \
    benchmark::RunSpecifiedBenchmarks();                                           \
    benchmark::Shutdown();                                                         \
    return 0;                                                                      \
  }
