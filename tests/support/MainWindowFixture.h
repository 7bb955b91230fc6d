#pragma once
// Shared by the Qt tests that drive the whole program: starting it with a
// command line, a project given forms as a load gives them, and look-ups of
// the main window's widgets.

#include <string>
#include <vector>

#include <QLabel>
#include <QTableWidget>
#include <QTest>

#include "app/App.h"
#include "app/Fproj.h"
#include "forms/Fdata.h"
#include "support/TempDir.h"

namespace tgxtest {

inline TPrjForm* Main() { return tgx::MainWindow(); }
inline QTableWidget* Grid() { return Main()->TabGrid(); }
inline QString Panel(const QString& name) { return Main()->findChild<QLabel*>(name)->text(); }

inline void Start(std::vector<std::string> args = {}) {
  args.insert(args.begin(), "tgx");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  tgx::StartApplication(int(args.size()), argv.data());
  QVERIFY(QTest::qWaitForWindowExposed(Main()));
}

// Gives the main project the forms of a type 1 file body; saved, as a load
// leaves it, unless `modified`.
inline void SetForms(const std::string& body, bool modified = false) {
  static TempDir scratch("tgx-main");
  FDATA forms;
  QVERIFY(forms.ReadText(body, 1));
  EPROJECT& project = Main()->Project();
  project.Reset();
  project.SetForms(forms);
  if (!modified) QVERIFY(project.Save(scratch.File("saved.fs")));
  Main()->ShowProject();
}

}  // namespace tgxtest
