#pragma once
// Shared by the Qt tests that drive the whole program: starting it with a
// command line, a project given forms as a load gives them, and a few
// look-ups of the main window's widgets.

#include <string>
#include <vector>

#include <QDir>
#include <QLabel>
#include <QTableWidget>
#include <QTest>

#include "app/App.h"
#include "app/Forms.h"
#include "app/Fproj.h"
#include "forms/Fdata.h"

namespace tgx::test {

inline QString U(const char* s) { return QString::fromUtf8(s); }
inline QTableWidget* Grid() { return PrjForm->TabGrid(); }
inline QString Panel(const QString& name) { return PrjForm->findChild<QLabel*>(name)->text(); }

// Calls `use(argc, argv)` with the program's name followed by `args`.
template <typename Use>
auto WithArgs(std::vector<std::string> args, Use use) {
  args.insert(args.begin(), "tgx");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return use(int(args.size()), argv.data());
}
inline void Start(std::vector<std::string> args = {}) {
  WithArgs(std::move(args), tgx::StartApplication);
  QVERIFY(QTest::qWaitForWindowExposed(PrjForm));
}

// Gives the main project the forms of a type 1 file body; saved, as a load
// leaves it, unless `modified`.
inline void SetForms(const std::string& body, bool modified = false) {
  FDATA forms;
  QVERIFY(forms.ReadText(body, 1));
  EPROJECT& project = PrjForm->Project();
  project.Reset();
  project.SetForms(forms);
  const QString scratch = QDir::temp().filePath(QStringLiteral("tgx-test-%1.fs").arg(QCoreApplication::applicationPid()));
  if (!modified) QVERIFY(project.Save(scratch.toStdString()));
  PrjForm->ShowProject();
}

}  // namespace tgx::test
