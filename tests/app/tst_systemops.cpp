// The four system commands against tgx-sim on a pseudo-terminal, through the
// real main window and progress dialog: texts in the boxes and the status
// bar, the project afterwards, the dialog's success, failure and cancel
// paths, the lock-out second and the busy port.

#include <QAction>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include "app/Flink.h"
#include "link/Ukdr_drv.h"
#include "model/Cp1251.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/SimProcess.h"

using namespace tgx::test;
using Answer = tgx::DialogService::Answer;

namespace {

const char* kTwoForms = "# a\n| 0 10 20 30 40\n# b\n| 0 5 10 15 20 25 30\n";
const QString kPowerCycle = U("\rВнимание !\nЧтобы записанный проект стал активным,\nнеобходимо переключить питание системы");
const QString kNoTables = U("Таблицы объёма в системе отсутствуют");

QString Status() { return Panel("StrBarPanel2"); }
QString StrBar() { return Panel("StrBarPanel1") + "|" + Status() + "|" + Panel("StrBarPanel3"); }
bool Locked() { return PrjForm->LockTimer()->isActive(); }

// Runs a system command from its menu item or tool button, past the lock-out
// second (it is not the point here); returns the progress dialog's caption
// and the status bar while it ran.
QString Run(const char* command) {
  PrjForm->LockTimer()->stop();
  QString seen;
  WhenModal([&seen](QWidget* w) {
    if (w == LinkDlg) seen = LinkDlg->windowTitle() + " " + StrBar();
    return w == LinkDlg;
  });
  if (auto* action = PrjForm->findChild<QAction*>(command)) action->trigger();
  else PrjForm->findChild<QToolButton*>(command)->click();
  StopWatching();
  return seen;
}

}  // namespace

class TestSystemOps : public QObject {
  Q_OBJECT

  QTemporaryDir config_;
  std::unique_ptr<SimProcess> sim_;
  std::unique_ptr<QTemporaryDir> unitDir_;

  void StartSim(QStringList options = {}) {
    sim_.reset();
    unitDir_ = std::make_unique<QTemporaryDir>();
    sim_ = std::make_unique<SimProcess>(unitDir_->path(), options);
    QVERIFY2(sim_->Start(), qPrintable(sim_->Errors()));
    qputenv("TGX_COM1", sim_->Link().toUtf8());
  }

 private slots:
  void initTestCase() { qputenv("TGX_CONFIG_DIR", config_.path().toUtf8()); }
  void init() { Start(); }
  void cleanup() {
    StopWatching();
    tgx::StopApplication();
    sim_.reset();
  }

  void lockOutThenWriteCompareReadDelete() {
    StartSim();
    ScriptedDialogs dialogs;
    SetForms(kTwoForms, true);
    // Right after start: ignored without a question, a dialog or a status.
    QVERIFY(Locked());
    for (auto command : {&TPrjForm::NStrReadClick, &TPrjForm::NStrWriteClick, &TPrjForm::NStrCompareClick,
                         &TPrjForm::NStrClearClick})
      (PrjForm->*command)();
    QTest::mouseClick(PrjForm->findChild<QLabel*>("StrBarPanel2"), Qt::LeftButton);  // no byte log outside test mode
    QVERIFY(dialogs.shown.empty());
    // A read cancelled at the save question starts no lock-out either.
    QTRY_VERIFY_WITH_TIMEOUT(!Locked(), 1500);
    PrjForm->NStrReadClick();
    QVERIFY(PrjForm->Project().FormCount() == 2 && Status().isEmpty() && !Locked());
    QCOMPARE(dialogs.Texts(), QStringList{U("Сохранить проект?")});

    // In test mode, so that the status bar shows the byte log at the end.
    tgx::StopApplication();
    Start({"-t"});
    dialogs.Clear();
    SetForms(kTwoForms);
    QCOMPARE(Run("StrWriteButton"), U("Запись таблиц ?|Запись...|0"));
    QVERIFY(StrBar().startsWith(U("632 |OK|")) && Locked());
    PrjForm->NStrCompareClick();  // dropped: straight after the last command
    QTRY_VERIFY_WITH_TIMEOUT(!Locked(), 1500);
    QCOMPARE(Run("NStrCompare"), U("Чтение таблиц ?|Сравнение...|0"));
    PrjForm->NTabAddNewClick();  // one table more than the unit has
    Run("NStrCompare");
    QCOMPARE(dialogs.Texts(), (QStringList{U("Запись таблиц завершена.") + kPowerCycle,
                                           U("Таблицы системы совпадают с проектом."),
                                           U("Таблицы системы отличны от проекта !")}));
    QCOMPARE(Grid()->rowCount(), 3);  // compare leaves the project alone

    // Read: the modified project is offered for saving first.
    dialogs.Clear();
    dialogs.answers = {Answer::No};
    QCOMPARE(Run("StrReadButton"), U("Чтение таблиц ?|Чтение...|0"));
    QCOMPARE(PrjForm->Project().Name(), tgx::FromUtf8("Система"));
    QVERIFY(PrjForm->Project().Modified() && Status() == "OK");
    QCOMPARE(Grid()->rowCount(), 2);
    QCOMPARE(Grid()->item(1, TPrjForm::kLevelColumn)->text(), QString("60"));
    QCOMPARE(Run("NStrClear"), U("Удаление таблиц ?|Удаление...|0"));
    QCOMPARE(Grid()->rowCount(), 2);

    // An empty unit: compare and read say so; read leaves no project.
    Run("NStrCompare");
    dialogs.answers = {Answer::No};
    Run("NStrRead");
    QCOMPARE(dialogs.Texts(), (QStringList{U("Сохранить проект?"), U("Таблицы удалены.") + kPowerCycle, kNoTables,
                                           U("Сохранить проект?"), kNoTables}));
    QVERIFY(PrjForm->Project().FormCount() == 0 && Grid()->isHidden());
    dialogs.Clear();
    QTest::mouseClick(PrjForm->findChild<QLabel*>("StrBarPanel1"), Qt::LeftButton);
    QVERIFY(dialogs.Texts().size() == 1 && dialogs.Texts().front().size() > 10);
  }

  // A failed session leaves its message in the dialog, with the bar hidden,
  // until the operator cancels (button or Escape); a running one ends soon
  // after Cancel, the GUI thread staying free meanwhile. No report follows,
  // a failed or cancelled read still empties the project, and the lock-out
  // second starts.
  void failedOrCancelledSessions() {
    ScriptedDialogs dialogs;
    const struct {
      QStringList simOptions;
      bool busy, read, fails;
    } cases[] = {{{"--status", "7=4"}, false, false, true},  // the unit refuses
                 {{"--byte-delay-ms", "200"}, false, true, false},
                 {{}, true, true, true}};  // the port held by another program
    for (const auto& c : cases) {
      StartSim(c.simOptions);
      dialogs.Clear();
      SetForms(kTwoForms);
      UKEDR_DRV holder;
      QVERIFY(!c.busy || holder.OpenLink(0, 500));
      QString label;
      bool barHidden = false;
      QElapsedTimer clock, shown;
      qint64 cancelledAt = -1;
      int ticks = 0;
      QTimer ticker;
      QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
      ticker.start(50);
      WhenModal([&](QWidget* w) {
        label = LinkDlg->findChild<QLabel*>("Label1")->text();
        if (w != LinkDlg || label.isEmpty() == c.fails) return false;
        if (!shown.isValid()) shown.start();
        barHidden = LinkDlg->findChild<QProgressBar*>("ProgressBar1")->isHidden();
        if (shown.elapsed() < 700) return false;  // a failure stays up by itself
        cancelledAt = clock.elapsed();
        c.read ? QTest::mouseClick(LinkDlg->findChild<QPushButton*>("CancelBtn"), Qt::LeftButton)
               : QTest::keyClick(LinkDlg, Qt::Key_Escape);
        return true;
      }, 20000);
      PrjForm->LockTimer()->stop();
      clock.start();
      c.read ? PrjForm->NStrReadClick() : PrjForm->NStrWriteClick();
      const qint64 closedAt = clock.elapsed();
      QVERIFY2(cancelledAt > 0 && closedAt - cancelledAt < 1500, qPrintable(StrBar()));
      QVERIFY2(ticks >= closedAt / 100, qPrintable(QString::number(ticks)));  // at least half the 50 ms ticks
      QVERIFY(barHidden == c.fails && !LinkDlg->isVisible() && LinkDlg->Session().Finished);
      QVERIFY(!c.fails || Status() == label);
      if (c.busy) QCOMPARE(StrBar(), U("?|Порт занят|0"));
      QVERIFY(PrjForm->Project().FormCount() == (c.read ? 0 : 2) && Grid()->isHidden() == c.read);
      QVERIFY(dialogs.Texts().isEmpty() && Locked());
    }
    // Once the other program lets go, the same command works.
    Run("NStrRead");
    QCOMPARE(Status(), QString("OK"));
  }
};

QTEST_MAIN(TestSystemOps)
#include "tst_systemops.moc"