// The four system commands against tgx-sim on a pseudo-terminal, through the
// real main window and progress dialog: texts in the boxes and the status
// bar, the project afterwards, the dialog's success, failure and cancel
// paths, the lock-out second and the busy port.

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/App.h"
#include "app/Flink.h"
#include "app/Forms.h"
#include "app/Fproj.h"
#include "app/core/Syscfg.h"
#include "forms/Fdata.h"
#include "link/Ukdr_drv.h"
#include "model/Cp1251.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/SimProcess.h"

using tgx::test::ScriptedDialogs;
using tgx::test::SimProcess;
using Answer = tgx::DialogService::Answer;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }
QString Panel(int i) { return PrjForm->findChild<QLabel*>(QStringLiteral("StrBarPanel%1").arg(i))->text(); }
QStringList StrBar() { return {Panel(1), Panel(2), Panel(3)}; }
QTableWidget* Grid() { return PrjForm->TabGrid(); }
QLabel* DlgLabel() { return LinkDlg->findChild<QLabel*>("Label1"); }
QProgressBar* DlgBar() { return LinkDlg->findChild<QProgressBar*>("ProgressBar1"); }
QPushButton* DlgCancel() { return LinkDlg->findChild<QPushButton*>("CancelBtn"); }

const QString kPowerCycle = U("\rВнимание !\nЧтобы записанный проект стал активным,\nнеобходимо переключить питание системы");
const QString kRestart = U("\rВыполняется перезагрузка системы");

void SetForms(const char* body, bool modified = false) {
  FDATA forms;
  QVERIFY(forms.ReadText(body, 1));
  EPROJECT& project = PrjForm->Project();
  project.Reset();
  project.SetForms(forms);
  if (!modified) QVERIFY(project.Save((QDir::tempPath() + "/tgx-sysops-scratch.fs").toStdString()));
  PrjForm->ShowProject();
}
const char* kTwoForms = "# a\n| 0 10 20 30 40\n# b\n| 0 5 10 15 20 25 30\n";

// What the progress dialog looked like while it ran.
struct DialogSeen {
  bool shown = false;
  QString caption;
  QStringList strBar;  // the main window's status bar during the session
};

// Watches the progress dialog of the next command; on a failure (the label
// shows the session's message) it waits `holdMs` to see that the dialog
// stays, then presses Cancel.
std::shared_ptr<DialogSeen> WatchLinkDlg(int holdMs = 700) {
  auto seen = std::make_shared<DialogSeen>();
  auto failedAt = std::make_shared<QElapsedTimer>();
  tgx::test::WhenModal([seen, failedAt, holdMs](QWidget* w) {
    if (w != LinkDlg) return false;
    if (!seen->shown) {
      seen->shown = true;
      seen->caption = LinkDlg->windowTitle();
      seen->strBar = StrBar();
    }
    if (DlgBar()->value() == 100) return true;  // success: the dialog closes by itself
    if (DlgLabel()->text().isEmpty()) return false;
    if (!failedAt->isValid()) failedAt->start();
    if (failedAt->elapsed() < holdMs) return false;
    QTest::mouseClick(DlgCancel(), Qt::LeftButton);
    return true;
  }, 20000);
  return seen;
}

}  // namespace

class TestSystemOps : public QObject {
  Q_OBJECT

  QTemporaryDir config_;
  std::unique_ptr<QTemporaryDir> unitDir_;
  std::unique_ptr<SimProcess> sim_;

  void StartSim(QStringList options = {}) {
    sim_.reset();
    unitDir_ = std::make_unique<QTemporaryDir>();
    sim_ = std::make_unique<SimProcess>(unitDir_->path(), options);
    QVERIFY2(sim_->Start(), qPrintable(sim_->Errors()));
    qputenv("TGX_COM1", sim_->Link().toUtf8());
  }
  // System commands are ignored for a second after start and after each
  // command; tests that are not about that skip the wait.
  void Unlock() { PrjForm->LockTimer()->stop(); }

 private slots:
  void initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("TGX_CONFIG_DIR", config_.path().toUtf8());
  }
  void init() {
    char name[] = "tgx";
    char* argv[] = {name, nullptr};
    tgx::StartApplication(1, argv);
    QVERIFY(QTest::qWaitForWindowExposed(PrjForm));
  }
  void cleanup() {
    tgx::test::StopWatching();
    tgx::StopApplication();
    sim_.reset();
  }

  void writeCompareReadDelete() {
    StartSim();
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    Unlock();

    auto seen = WatchLinkDlg();
    QTest::mouseClick(PrjForm->findChild<QToolButton*>("StrWriteButton"), Qt::LeftButton);
    QVERIFY(seen->shown);
    QCOMPARE(seen->caption, U("Запись таблиц"));
    QCOMPARE(seen->strBar, (QStringList{"?", U("Запись..."), "0"}));
    QCOMPARE(dialogs.Texts(), QStringList{U("Запись таблиц завершена.") + kPowerCycle});
    QCOMPARE(Panel(1), U("632 "));
    QCOMPARE(Panel(2), QString("OK"));
    QVERIFY(PrjForm->LockTimer()->isActive());

    dialogs.Clear();
    Unlock();
    seen = WatchLinkDlg();
    PrjForm->NStrCompareClick();
    QCOMPARE(seen->caption, U("Чтение таблиц"));
    QCOMPARE(seen->strBar.at(1), U("Сравнение..."));
    QCOMPARE(dialogs.Texts(), QStringList{U("Таблицы системы совпадают с проектом.")});

    // One table more in the project: different.
    PrjForm->NTabAddNewClick();
    dialogs.Clear();
    Unlock();
    PrjForm->NStrCompareClick();
    QCOMPARE(dialogs.Texts(), QStringList{U("Таблицы системы отличны от проекта !")});
    QCOMPARE(Grid()->rowCount(), 3);  // compare leaves the project alone

    // Read: the modified project is offered for saving first.
    dialogs.Clear();
    dialogs.answers = {Answer::No};
    Unlock();
    seen = WatchLinkDlg();
    PrjForm->findChild<QToolButton*>("StrReadButton")->click();
    QCOMPARE(dialogs.Texts(), QStringList{U("Сохранить проект?")});
    QCOMPARE(seen->strBar.at(1), U("Чтение..."));
    QCOMPARE(PrjForm->Project().Name(), tgx::FromUtf8("Система"));
    QVERIFY(PrjForm->Project().Modified());
    QCOMPARE(Grid()->rowCount(), 2);
    QCOMPARE(Grid()->item(1, TPrjForm::kLevelColumn)->text(), QString("60"));
    QCOMPARE(Panel(2), QString("OK"));

    dialogs.Clear();
    Unlock();
    seen = WatchLinkDlg();
    PrjForm->NStrClearClick();
    QCOMPARE(seen->caption, U("Удаление таблиц"));
    QCOMPARE(dialogs.Texts(), QStringList{U("Таблицы удалены.") + kPowerCycle});
    QCOMPARE(Grid()->rowCount(), 2);

    // An empty unit: compare and read say so; read leaves no project.
    dialogs.Clear();
    Unlock();
    PrjForm->NStrCompareClick();
    dialogs.answers = {Answer::No};
    Unlock();
    PrjForm->NStrReadClick();
    QCOMPARE(dialogs.Texts(), (QStringList{U("Таблицы объёма в системе отсутствуют"), U("Сохранить проект?"),
                                           U("Таблицы объёма в системе отсутствуют")}));
    QCOMPARE(PrjForm->Project().FormCount(), 0);
    QVERIFY(Grid()->isHidden());
  }

  void unitsThatRestartSaySo() {
    StartSim({"--version-code", "6350"});
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    Unlock();
    PrjForm->NStrWriteClick();
    Unlock();
    PrjForm->NStrClearClick();
    QCOMPARE(dialogs.Texts(),
             (QStringList{U("Запись таблиц завершена.") + kRestart, U("Таблицы удалены.") + kRestart}));
    QCOMPARE(Panel(1), U("635 "));
  }

  void busyPortFailsAndEmptiesTheProject() {
    StartSim();
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    UKEDR_DRV holder;  // another program holding COM1
    QVERIFY(holder.OpenLink(0, 500));
    Unlock();
    auto seen = WatchLinkDlg(800);
    QElapsedTimer clock;
    clock.start();
    PrjForm->NStrReadClick();
    QVERIFY(clock.elapsed() >= 800);  // the dialog waited for Cancel
    QCOMPARE(StrBar(), (QStringList{"?", U("Порт занят"), "0"}));
    QCOMPARE(PrjForm->Project().FormCount(), 0);
    QVERIFY(Grid()->isHidden());
    QVERIFY(dialogs.Texts().isEmpty());  // the dialog's label was the only message
    QVERIFY(PrjForm->LockTimer()->isActive());

    // Once the other program lets go, the same command works.
    holder.CloseLink();
    Unlock();
    PrjForm->NStrReadClick();
    QCOMPARE(Panel(2), QString("OK"));
  }

  void failedSessionShowsItsMessageUntilCancel() {
    StartSim({"--status", "7=4"});  // the unit reports a fault to the version request
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    Unlock();
    QString label;
    bool barHidden = false;
    tgx::test::WhenModal([&](QWidget* w) {
      if (w != LinkDlg || DlgLabel()->text().isEmpty()) return false;
      label = DlgLabel()->text();
      barHidden = DlgBar()->isHidden();
      QTest::keyClick(LinkDlg, Qt::Key_Escape);  // Escape is Cancel
      return true;
    });
    PrjForm->NStrWriteClick();
    QVERIFY(!label.isEmpty());
    QVERIFY(barHidden);
    QCOMPARE(Panel(2), label);
    QVERIFY(dialogs.Texts().isEmpty());  // no write report after a failure
    QVERIFY(!LinkDlg->isVisible());
  }

  void cancelStopsARunningSession() {
    StartSim({"--byte-delay-ms", "200"});
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    Unlock();
    // Seed tables at full speed first would need a second simulator; a slow
    // write is just as long-running and leaves nothing half-done behind.
    QElapsedTimer clock;
    qint64 cancelledAt = -1;
    int ticks = 0;
    QTimer ticker;  // the GUI thread stays free while the worker waits on the line
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    tgx::test::WhenModal([&](QWidget* w) {
      if (w != LinkDlg || clock.elapsed() < 300) return false;
      cancelledAt = clock.elapsed();
      QTest::mouseClick(DlgCancel(), Qt::LeftButton);
      return true;
    });
    clock.start();
    PrjForm->NStrReadClick();
    const qint64 closedAt = clock.elapsed();
    QVERIFY2(cancelledAt > 0, qPrintable(StrBar().join('|')));
    QVERIFY2(closedAt - cancelledAt < 1500, qPrintable(QString::number(closedAt - cancelledAt)));
    QVERIFY2(ticks >= closedAt / 100, qPrintable(QString::number(ticks)));  // at least half the 50 ms ticks
    QVERIFY(LinkDlg->Session().Finished);
    QCOMPARE(PrjForm->Project().FormCount(), 0);  // a cancelled read still empties the project
    QVERIFY(dialogs.Texts().isEmpty());
  }

  void lockOutSecond() {
    StartSim();
    ScriptedDialogs dialogs;
    SetForms(kTwoForms, true);
    // Right after start: ignored without a question, a dialog or a status.
    QVERIFY(PrjForm->LockTimer()->isActive());
    for (void (TPrjForm::*command)() : {&TPrjForm::NStrReadClick, &TPrjForm::NStrWriteClick,
                                        &TPrjForm::NStrCompareClick, &TPrjForm::NStrClearClick})
      (PrjForm->*command)();
    QVERIFY(dialogs.shown.empty());
    QCOMPARE(Panel(2), QString());
    QCOMPARE(Grid()->rowCount(), 2);

    QTRY_VERIFY_WITH_TIMEOUT(!PrjForm->LockTimer()->isActive(), 1500);
    PrjForm->NStrCompareClick();
    QCOMPARE(Panel(2), QString("OK"));
    QCOMPARE(dialogs.Texts(), QStringList{U("Таблицы объёма в системе отсутствуют")});
    // A second click straight after the command ended is dropped.
    PrjForm->NStrCompareClick();
    QCOMPARE(dialogs.Texts().size(), 1);
    QTest::qWait(1100);
    PrjForm->NStrCompareClick();
    QCOMPARE(dialogs.Texts().size(), 2);
  }

  void cancelledSaveQuestionStopsTheReadAndKeepsCommandsFree() {
    StartSim();
    ScriptedDialogs dialogs;
    SetForms(kTwoForms, true);
    Unlock();
    dialogs.answers = {Answer::Cancel};
    PrjForm->NStrReadClick();
    QCOMPARE(dialogs.Texts(), QStringList{U("Сохранить проект?")});
    QCOMPARE(Grid()->rowCount(), 2);
    QCOMPARE(Panel(2), QString());
    QVERIFY(!PrjForm->LockTimer()->isActive());
    PrjForm->NStrCompareClick();  // runs at once
    QCOMPARE(dialogs.Texts().size(), 2);
  }

  void testModeShowsTheSessionLog() {
    tgx::StopApplication();
    char name[] = "tgx";
    char flag[] = "-t";
    char* argv[] = {name, flag, nullptr};
    tgx::StartApplication(2, argv);
    StartSim();
    ScriptedDialogs dialogs;
    Unlock();
    PrjForm->NStrClearClick();
    dialogs.Clear();
    QTest::mouseClick(PrjForm->findChild<QLabel*>("StrBarPanel1"), Qt::LeftButton);
    QCOMPARE(dialogs.Texts().size(), 1);
    QVERIFY(dialogs.Texts().front().size() > 10);
  }
};

QTEST_MAIN(TestSystemOps)
#include "tst_systemops.moc"
