// The tgx desktop program.

#include <QApplication>
#include <QMessageBox>
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
  QApplication app(argc, argv);
  tgx::StartApplication(static_cast<int>(original.size()), original.data());
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
