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
  const bool testMode = tgx::IsTestModeArgument(static_cast<int>(original.size()), original.data());
  // --help and --version answer before anything needs a display.
  {
    QStringList raw;
    for (const std::string& a : given) raw << QString::fromLocal8Bit(a.c_str());
    const tgx::CommandLine asked = tgx::ParseCommandLine(raw);
    if (asked.exit && asked.exitCode == 0) {
      std::fputs(asked.output.toLocal8Bit().constData(), stdout);
      return 0;
    }
  }
  QApplication app(argc, argv);

  // What is left once Qt has taken its own options (-platform, -style...):
  // --help, --version and usage errors answer without opening a window.
  QStringList arguments = QCoreApplication::arguments();
  // A "-t" that only came first once Qt's options went is not the switch.
  if (!testMode && arguments.size() > 1 && arguments[1] == QLatin1String("-t")) arguments.removeAt(1);
  const tgx::CommandLine line = tgx::ParseCommandLine(arguments);
  if (line.exit) {
    std::fputs(line.output.toLocal8Bit().constData(), line.toStderr ? stderr : stdout);
    return line.exitCode;
  }

  std::vector<std::string> left;
  for (const QString& a : arguments) left.push_back(a.toLocal8Bit().toStdString());
  std::vector<char*> start;
  for (std::string& a : left) start.push_back(a.data());
  start.push_back(nullptr);
  tgx::StartApplication(static_cast<int>(left.size()), start.data());
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
