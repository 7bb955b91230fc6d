// The four system commands against tgx-sim on a pseudo-terminal, through the
// real main window and progress dialog: texts in the boxes and the status
// bar, the project afterwards, the dialog's success, failure and cancel
// paths, the lock-out second and the busy port.

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
QString StrBar() {
  QStringList out;
  for (int i = 1; i <= 3; ++i) out << Panel(QStringLiteral("StrBarPanel%1").arg(i));
  return out.join('|');
}
bool Locked() { return PrjForm->LockTimer()->isActive(); }
void PressCancel() { QTest::mouseClick(LinkDlg->findChild<QPushButton*>("CancelBtn"), Qt::LeftButton); }

// Runs a system command past the lock-out second (it is not the point here);
// returns the progress dialog's caption and the status bar while it ran.
template <typename Command>
QString Run(Command command) {
  PrjForm->LockTimer()->stop();
  auto seen = std::make_shared<QString>();
  WhenModal([seen](QWidget* w) {
    if (w == LinkDlg) *seen = LinkDlg->windowTitle() + " " + StrBar();
    return w == LinkDlg;
  });
  if constexpr (std::is_member_function_pointer_v<Command>) (PrjForm->*command)();
  else command();
  StopWatching();
  return *seen;
}

}  // namespace

class TestSystemOps : public QObject {
  Q_OBJECT

  QTemporaryDir config_;
  std::unique_ptr<QTemporaryDir> unitDir_;
  std::unique_ptr<SimProcess> sim_;

  void StartSim(QStringList options = {}) {
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

  // Run in test mode, so that the status bar shows the byte log at the end.
  void writeCompareReadDelete() {
    StartSim();
    ScriptedDialogs dialogs;
    QTest::mouseClick(PrjForm->findChild<QLabel*>("StrBarPanel2"), Qt::LeftButton);
    QVERIFY(dialogs.shown.empty());  // not in test mode
    tgx::StopApplication();
    Start({"-t"});
    SetForms(kTwoForms);
    QCOMPARE(Run([] { QTest::mouseClick(PrjForm->findChild<QToolButton*>("StrWriteButton"), Qt::LeftButton); }),
             U("Запись таблиц ?|Запись...|0"));
    QVERIFY(StrBar().startsWith(U("632 |OK|")) && Locked());
    QCOMPARE(Run(&TPrjForm::NStrCompareClick), U("Чтение таблиц ?|Сравнение...|0"));
    PrjForm->NTabAddNewClick();  // one table more than the unit has
    Run(&TPrjForm::NStrCompareClick);
    QCOMPARE(dialogs.Texts(), (QStringList{U("Запись таблиц завершена.") + kPowerCycle,
                                           U("Таблицы системы совпадают с проектом."),
                                           U("Таблицы системы отличны от проекта !")}));
    QCOMPARE(Grid()->rowCount(), 3);  // compare leaves the project alone

    // Read: the modified project is offered for saving first.
    dialogs.Clear();
    dialogs.answers = {Answer::No};
    QCOMPARE(Run([] { PrjForm->findChild<QToolButton*>("StrReadButton")->click(); }),
             U("Чтение таблиц ?|Чтение...|0"));
    QCOMPARE(PrjForm->Project().Name(), tgx::FromUtf8("Система"));
    QVERIFY(PrjForm->Project().Modified() && Status() == "OK");
    QCOMPARE(Grid()->rowCount(), 2);
    QCOMPARE(Grid()->item(1, TPrjForm::kLevelColumn)->text(), QString("60"));
    QCOMPARE(Run(&TPrjForm::NStrClearClick), U("Удаление таблиц ?|Удаление...|0"));
    QCOMPARE(Grid()->rowCount(), 2);

    // An empty unit: compare and read say so; read leaves no project.
    Run(&TPrjForm::NStrCompareClick);
    dialogs.answers = {Answer::No};
    Run(&TPrjForm::NStrReadClick);
    QCOMPARE(dialogs.Texts(), (QStringList{U("Сохранить проект?"), U("Таблицы удалены.") + kPowerCycle, kNoTables,
                                           U("Сохранить проект?"), kNoTables}));
    QCOMPARE(PrjForm->Project().FormCount(), 0);
    QVERIFY(Grid()->isHidden());
    dialogs.Clear();
    QTest::mouseClick(PrjForm->findChild<QLabel*>("StrBarPanel1"), Qt::LeftButton);
    QVERIFY(dialogs.Texts().size() == 1 && dialogs.Texts().front().size() > 10);
  }

  // A failed session leaves its message in the dialog, with the bar hidden,
  // until the operator cancels; no report follows, a failed read still
  // empties the project, and the lock-out second starts.
  void failedSessionWaitsForCancel_data() {
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<bool>("read");  // with the port held by another program
    QTest::newRow("busy port, read") << QStringList() << true;
    QTest::newRow("unit fault, write") << QStringList{"--status", "7=4"} << false;
  }
  void failedSessionWaitsForCancel() {
    QFETCH(QStringList, simOptions);
    QFETCH(bool, read);
    StartSim(simOptions);
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    UKEDR_DRV holder;
    QVERIFY(!read || holder.OpenLink(0, 500));
    QString label;
    bool barHidden = false;
    QElapsedTimer shownFor;
    WhenModal([&](QWidget* w) {
      const QString text = LinkDlg->findChild<QLabel*>("Label1")->text();
      if (w != LinkDlg || text.isEmpty()) return false;
      if (label.isEmpty()) shownFor.start();
      label = text;
      barHidden = LinkDlg->findChild<QProgressBar*>("ProgressBar1")->isHidden();
      if (shownFor.elapsed() < 700) return false;  // it stays up by itself
      read ? PressCancel() : QTest::keyClick(LinkDlg, Qt::Key_Escape);  // Escape is Cancel
      return true;
    }, 20000);
    PrjForm->LockTimer()->stop();
    read ? PrjForm->NStrReadClick() : PrjForm->NStrWriteClick();
    QVERIFY(shownFor.elapsed() >= 700 && barHidden && !LinkDlg->isVisible());
    QCOMPARE(Status(), label);
    if (read) QCOMPARE(StrBar(), U("?|Порт занят|0"));
    QCOMPARE(PrjForm->Project().FormCount(), read ? 0 : 2);
    QCOMPARE(Grid()->isHidden(), read);
    QVERIFY(dialogs.Texts().isEmpty() && Locked());
    if (!read) return;
    holder.CloseLink();  // once the other program lets go, the same command works
    Run(&TPrjForm::NStrReadClick);
    QCOMPARE(Status(), QString("OK"));
  }

  void cancelStopsARunningSession() {
    StartSim({"--byte-delay-ms", "200"});
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    QElapsedTimer clock;
    qint64 cancelledAt = -1;
    int ticks = 0;
    QTimer ticker;  // the GUI thread stays free while the worker waits on the line
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    WhenModal([&](QWidget* w) {
      if (w != LinkDlg || clock.elapsed() < 300) return false;
      cancelledAt = clock.elapsed();
      PressCancel();
      return true;
    });
    PrjForm->LockTimer()->stop();
    clock.start();
    PrjForm->NStrReadClick();
    const qint64 closedAt = clock.elapsed();
    QVERIFY2(cancelledAt > 0, qPrintable(StrBar()));
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
    QVERIFY(Locked());
    for (auto command : {&TPrjForm::NStrReadClick, &TPrjForm::NStrWriteClick, &TPrjForm::NStrCompareClick,
                         &TPrjForm::NStrClearClick})
      (PrjForm->*command)();
    QVERIFY(dialogs.shown.empty());

    // A read cancelled at the save question starts no lock-out either.
    QTRY_VERIFY_WITH_TIMEOUT(!Locked(), 1500);
    PrjForm->NStrReadClick();
    QVERIFY(PrjForm->Project().FormCount() == 2 && Status().isEmpty() && !Locked());
    PrjForm->NStrCompareClick();
    QCOMPARE(Status(), QString("OK"));
    // A second click straight after the command ended is dropped; a second later it runs.
    PrjForm->NStrCompareClick();
    QCOMPARE(dialogs.Texts(), (QStringList{U("Сохранить проект?"), kNoTables}));
    QTest::qWait(1100);
    PrjForm->NStrCompareClick();
    QCOMPARE(dialogs.Texts().size(), 3);
  }
};

QTEST_MAIN(TestSystemOps)
#include "tst_systemops.moc"
