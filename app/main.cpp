// The tgx desktop program.

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/Fproj.h"

int main(int argc, char** argv) {
  // The switch is the first argument as typed, before Qt takes out its own.
  std::vector<std::string> given(argv, argv + argc);
  std::vector<char*> original;
  for (std::string& a : given) original.push_back(a.data());
  original.push_back(nullptr);
  const int count = static_cast<int>(given.size());
  QApplication app(argc, argv);

  // --help, --version and usage errors answer without opening a window.
  QStringList arguments;
  for (int i = 0; i < count; ++i) arguments << QString::fromLocal8Bit(original[static_cast<size_t>(i)]);
  const tgx::CommandLine line = tgx::ParseCommandLine(arguments);
  if (line.exit) {
    std::fputs(line.output.toLocal8Bit().constData(), line.toStderr ? stderr : stdout);
    return line.exitCode;
  }

  tgx::StartApplication(count, original.data());
  QObject::connect(tgx::MainWindow(), &TPrjForm::Closed, &app, &QApplication::quit, Qt::QueuedConnection);
  try {
    app.exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, tgx::AppTitle(), QString::fromLocal8Bit(e.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, tgx::AppTitle(), QStringLiteral("Unknown error"));
  }
  tgx::StopApplication();
  return 0;
}
