#pragma once
// tgx-sim as a child process for Qt tests: a simulated unit on a
// pseudo-terminal, reached through a symbolic link in a temporary folder.
//
//   tgx::test::SimProcess sim(dir.path(), {"--version-code", "6350"});
//   QVERIFY(sim.Start());
//   qputenv("TGX_COM1", sim.Link().toUtf8());
//
// The simulator also ends when the test program dies, through the end of its
// standard input.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

namespace tgx::test {

class SimProcess {
 public:
  // `dir` holds the link ("com1") and the unit's memory ("unit.state"), so
  // two processes started on the same folder share the unit's tables.
  SimProcess(const QString& dir, QStringList options = {}) : dir_(dir), options_(std::move(options)) {}
  ~SimProcess() { Stop(); }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Start() {
    process_.start(QStringLiteral(TGX_SIM_PATH),
                   QStringList{"--link", Link(), "--state", StatePath(), "--exit-on-stdin-eof"} + options_);
    if (!process_.waitForStarted(5000)) return false;
    // The first line is the terminal's path; the link exists once it is out.
    while (!process_.canReadLine())
      if (!process_.waitForReadyRead(5000)) return false;
    if (process_.readLine().trimmed().isEmpty()) return false;
    for (int i = 0; i < 100 && !QFileInfo(Link()).isSymLink(); ++i) QThread::msleep(10);
    return QFileInfo(Link()).isSymLink();
  }

  void Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
      process_.kill();
      process_.waitForFinished(3000);
    }
  }

  QString Link() const { return QDir(dir_).filePath(QStringLiteral("com1")); }
  QString StatePath() const { return QDir(dir_).filePath(QStringLiteral("unit.state")); }
  QString Errors() { return QString::fromUtf8(process_.readAllStandardError()); }

 private:
  QString dir_;
  QStringList options_;
  QProcess process_;
};

}  // namespace tgx::test
