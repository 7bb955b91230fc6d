// The four system commands against tgx-sim on a pseudo-terminal, through the
// real main window and progress dialog: texts in the boxes and the status
// bar, the project afterwards, the dialog's success, failure and cancel
// paths, the lock-out second and the busy port.

#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include <QStatusBar>

#include "app/Flink.h"
#include "app/Qtext.h"
#include "app/core/Options.h"
#include "journal/Journal.h"
#include "link/Ukdr_drv.h"
#include "model/Cp1251.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/SimRunner.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

using Answer = tgx::DialogService::Answer;

const char* kTwoForms = "# a\n| 0 10 20 30 40\n# b\n| 0 5 10 15 20 25 30\n";
const QString kPowerCycle = "\rВнимание !\nЧтобы записанный проект стал активным,\nнеобходимо переключить питание системы";
const QString kNoTables = "Таблицы объёма в системе отсутствуют";
// Generous: the lock-out is one second, the sessions here a fraction of one,
// and a loaded machine may be slow to give either its turn.
constexpr int kWaitMs = 10000;

TLinkDlg* Progress() { return Main()->GetWindows().linkDlg; }
QString Status() { return Panel("StrBarPanel2"); }
QString StrBar() { return Panel("StrBarPanel1") + "|" + Status() + "|" + Panel("StrBarPanel3"); }
bool Locked() { return Main()->LockTimer()->isActive(); }

// Runs a system command from its menu item or tool button, past the lock-out
// second (it is not the point here); returns the progress dialog's caption
// and the status bar while it ran.
QString Run(const char* command) {
  Main()->LockTimer()->stop();
  QString seen;
  WhenModal([&seen](QWidget* w) {
    if (w == Progress()) seen = Progress()->windowTitle() + " " + StrBar();
    return w == Progress();
  });
  if (auto* action = Main()->findChild<QAction*>(command)) action->trigger();
  else Main()->findChild<QToolButton*>(command)->click();
  StopWatching();
  return seen;
}

}  // namespace

class TestSystemOps : public QObject {
  Q_OBJECT

  TempDir config_{"tgx-systemops"};
  std::unique_ptr<TempDir> data_;
  std::unique_ptr<SimRunner> sim_;

  void StartSim(std::vector<std::string> options = {}) {
    sim_.reset();
    sim_ = std::make_unique<SimRunner>(std::move(options));
    qputenv("TGX_COM1", QByteArray::fromStdString(sim_->Path()));
  }
  // A unit that holds the two tables of kTwoForms, written from the window.
  bool WriteTwoForms(ScriptedDialogs& dialogs) {
    SetForms(kTwoForms);
    dialogs.answers = {Answer::Yes};
    Run("NStrWrite");
    dialogs.Clear();
    return Status() == "OK";
  }

 private slots:
  void initTestCase() {
    qputenv("TGX_CONFIG_DIR", QByteArray::fromStdString(config_.Path().string()));
  }
  void init() {
    // Each test its own journal.
    data_ = std::make_unique<TempDir>("tgx-systemops-data");
    qputenv("TGX_DATA_DIR", QByteArray::fromStdString(data_->Path().string()));
    StartSim();
    Start();
  }
  void cleanup() {
    StopWatching();
    tgx::StopApplication();
    sim_.reset();
    qunsetenv("TGX_COM1");
  }

  // ---------------------------------------------------------------- the lock-out second

  // Right after start: ignored without a question, a dialog or a status.
  void commandsWaitForTheLockOutSecond_data() {
    QTest::addColumn<QString>("command");
    for (const char* name : {"NStrRead", "NStrWrite", "NStrCompare", "NStrClear"}) QTest::newRow(name) << name;
  }
  void commandsWaitForTheLockOutSecond() {
    QFETCH(QString, command);
    ScriptedDialogs dialogs;
    SetForms(kTwoForms, true);
    QVERIFY(Locked());
    Main()->findChild<QAction*>(command)->trigger();
    QVERIFY(dialogs.shown.empty());
    QCOMPARE(Status(), QString());
  }

  void lockOutEndsByItself() { QTRY_VERIFY_WITH_TIMEOUT(!Locked(), kWaitMs); }

  // A read cancelled at the save question starts nothing, not even the lock-out.
  void readCancelledAtTheSaveQuestion() {
    ScriptedDialogs dialogs;
    SetForms(kTwoForms, true);
    Main()->LockTimer()->stop();
    dialogs.answers = {Answer::Cancel};
    Main()->NStrReadClick();
    QCOMPARE(dialogs.Texts(), QStringList{"Сохранить проект?"});
    QCOMPARE(Main()->Project().FormCount(), 2);
    QCOMPARE(Status(), QString());
    QVERIFY(!Locked());
  }

  // ---------------------------------------------------------------- each command

  void writeShowsItsProgressAndReports() {
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    dialogs.answers = {Answer::Yes};
    QCOMPARE(Run("StrWriteButton"), QString("Запись таблиц ?|Запись...|0"));
    QVERIFY2(StrBar().startsWith("632 |OK|"), qPrintable(StrBar()));
    QCOMPARE(dialogs.Texts().mid(1), QStringList{"Запись таблиц завершена." + kPowerCycle});
  }

  // ---------------------------------------------------------------- questions before a change

  // The write names the port and the project, and once a compare has
  // counted the unit's tables, how many go; the delete defaults to No.
  void questionBeforeAChange_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("project");
    QTest::addColumn<bool>("counted");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("defaultNo");
    QTest::newRow("write") << "NStrWrite" << "" << false
                           << "Записать 2 таблицы в БВ через COM1? Таблицы БВ будут заменены." << false;
    QTest::newRow("write of a named project")
        << "NStrWrite" << "/srv/forms/station.fs" << false
        << "Записать 2 таблицы проекта station.fs в БВ через COM1? Таблицы БВ будут заменены." << false;
    QTest::newRow("write after a compare") << "NStrWrite" << "" << true
                                           << "Записать 2 таблицы в БВ через COM1? Таблицы БВ (2) будут заменены."
                                           << false;
    QTest::newRow("delete") << "NStrClear" << "" << false << "Удалить все таблицы БВ через COM1?" << true;
  }
  void questionBeforeAChange() {
    QFETCH(QString, command);
    QFETCH(QString, project);
    QFETCH(bool, counted);
    QFETCH(QString, text);
    QFETCH(bool, defaultNo);
    ScriptedDialogs dialogs;
    if (counted) {
      QVERIFY(WriteTwoForms(dialogs));
      Run("NStrCompare");
      dialogs.Clear();
    } else {
      SetForms(kTwoForms);
    }
    if (!project.isEmpty()) Main()->Project().SetName(tgx::FromQt(project));
    Run(command.toLatin1().constData());
    QCOMPARE(dialogs.Texts(), QStringList{text});
    QCOMPARE(dialogs.OfKind(ScriptedDialogs::Kind::YesNo).at(0).defaultNo, defaultNo);
  }

  // No: no session, no status, no lock-out, the unit as it was.
  void writeAnsweredNoSendsNothing() {
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    dialogs.answers = {Answer::No};
    QCOMPARE(Run("NStrWrite"), QString());
    QCOMPARE(Status(), QString());
    QVERIFY(!Locked());
    Run("NStrCompare");
    QCOMPARE(dialogs.Texts().last(), kNoTables);
  }

  // Delete answered No keeps the unit's tables: a compare finds them the
  // same, gives no reason lines and starts the lock-out second.
  void deleteAnsweredNoKeepsTheUnitsTables() {
    ScriptedDialogs dialogs;
    QVERIFY(WriteTwoForms(dialogs));
    dialogs.answers = {Answer::No};
    QCOMPARE(Run("NStrClear"), QString());
    dialogs.Clear();
    QCOMPARE(Run("NStrCompare"), QString("Чтение таблиц ?|Сравнение...|0"));
    QCOMPARE(dialogs.Texts(), QStringList{"Таблицы системы совпадают с проектом."});
    QCOMPARE(dialogs.OfKind(ScriptedDialogs::Kind::Inform).at(0).detail, QString());
    QVERIFY(Locked());
  }

  // One table more than the unit has: its channel named; the project stays.
  void compareFindsDifferentTables() {
    ScriptedDialogs dialogs;
    QVERIFY(WriteTwoForms(dialogs));
    Main()->NTabAddNewClick();
    Run("NStrCompare");
    QCOMPARE(dialogs.Texts(), QStringList{"Таблицы системы отличны от проекта !"});
    QCOMPARE(dialogs.OfKind(ScriptedDialogs::Kind::Inform).at(0).detail, QString("Канал 3: нет в БВ"));
    QCOMPARE(Grid()->rowCount(), 3);
  }

  // The modified project is offered for saving first.
  void readBuildsTheProjectOfTheUnit() {
    ScriptedDialogs dialogs;
    QVERIFY(WriteTwoForms(dialogs));
    Main()->NTabAddNewClick();
    dialogs.answers = {Answer::No};
    QCOMPARE(Run("StrReadButton"), QString("Чтение таблиц ?|Чтение...|0"));
    QCOMPARE(dialogs.Texts(), QStringList{"Сохранить проект?"});
    QCOMPARE(Main()->Project().Name(), tgx::FromUtf8("Система"));
    QVERIFY(Main()->Project().Modified());
    QCOMPARE(Status(), QString("OK"));
    QCOMPARE(Grid()->rowCount(), 2);
    QCOMPARE(Grid()->item(1, TPrjForm::kLevelColumn)->text(), QString("60"));
  }

  void deleteReportsAndKeepsTheProject() {
    ScriptedDialogs dialogs;
    QVERIFY(WriteTwoForms(dialogs));
    dialogs.answers = {Answer::Yes};
    QCOMPARE(Run("NStrClear"), QString("Удаление таблиц ?|Удаление...|0"));
    QCOMPARE(dialogs.Texts().mid(1), QStringList{"Таблицы удалены." + kPowerCycle});
    QCOMPARE(Grid()->rowCount(), 2);
  }

  // A read from an empty unit empties the project and is recorded with its
  // port; outside test mode a click on the status shows no byte log.
  void readFromAnEmptyUnit() {
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    Run("NStrRead");
    QCOMPARE(dialogs.Texts(), QStringList{kNoTables});
    QCOMPARE(Main()->Project().FormCount(), 0);
    QVERIFY(Grid()->isHidden());
    QCOMPARE(int(Newest().Operation), int(tgx::JournalOp::Read));
    QCOMPARE(Newest().Port, std::string("COM1"));
    dialogs.Clear();
    QTest::mouseClick(Main()->findChild<QLabel*>("StrBarPanel2"), Qt::LeftButton);
    QVERIFY(dialogs.shown.empty());
  }

  // ---------------------------------------------------------------- the journal

  tgx::SessionSummary Newest() {
    auto opened = tgx::Journal::Open(data_->Path().string());
    const auto list = opened.Instance->List({}, 1);
    return list.Sessions.empty() ? tgx::SessionSummary{} : list.Sessions.front();
  }

  void writeKeepsTheUnitsTablesFirst() {
    ScriptedDialogs dialogs;
    QVERIFY(WriteTwoForms(dialogs));
    Main()->NTabAddNewClick();
    dialogs.answers = {Answer::Yes};
    Run("NStrWrite");
    QCOMPARE(Newest().BackupCount, 2);
  }

  void backupOptionOffKeepsNone() {
    ScriptedDialogs dialogs;
    tgx::SaveBackupOption(false);
    QVERIFY(WriteTwoForms(dialogs));
    tgx::SaveBackupOption(true);
    QCOMPARE(Newest().BackupCount, -1);
  }

  // A journal that cannot be written: a status line the first time, never a
  // box, and the session's own outcome as always.
  void journalFailureIsToldOnceInTheStatusLine() {
    ScriptedDialogs dialogs;
    const std::string blocker = data_->File("file");
    QFile f(QString::fromStdString(blocker));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    qputenv("TGX_DATA_DIR", QByteArray::fromStdString(blocker));
    Run("NStrRead");
    QVERIFY(!Main()->StatusLine().isEmpty());
    QCOMPARE(dialogs.Texts(), QStringList{kNoTables});
    Main()->findChild<QStatusBar*>("ProjBar")->clearMessage();
    Run("NStrRead");
    QCOMPARE(Main()->StatusLine(), QString());
  }

  // ---------------------------------------------------------------- the byte log

  void statusBarShowsTheLogInTestMode() {
    tgx::StopApplication();
    Start({"-t"});
    ScriptedDialogs dialogs;
    Run("NStrRead");
    dialogs.Clear();
    QString log;
    WhenModal([&log](QWidget* w) {
      if (w->objectName() != "SessionLogForm") return false;
      log = w->findChild<QPlainTextEdit*>()->toPlainText();
      static_cast<QDialog*>(w)->reject();
      return true;
    });
    QTest::mouseClick(Main()->findChild<QLabel*>("StrBarPanel1"), Qt::LeftButton);
    QVERIFY2(log.size() > 10, qPrintable(log));
    QVERIFY(dialogs.shown.empty());
  }

  // ---------------------------------------------------------------- failures and cancel

  // A failed session leaves its message in the dialog, with the bar hidden,
  // until the operator cancels (button or Escape); a running one ends after
  // Cancel, the GUI thread staying free meanwhile. No report follows, a
  // failed or cancelled read still empties the project, and the lock-out
  // second starts.
  void failedOrCancelledSession_data() {
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<bool>("busy");  // the port held by another program
    QTest::addColumn<bool>("read");  // else a write
    QTest::addColumn<bool>("fails");
    QTest::newRow("the unit refuses a write") << QStringList{"--status", "7=4"} << false << false << true;
    QTest::newRow("a slow read cancelled") << QStringList{"--byte-delay-ms", "40"} << false << true << false;
    QTest::newRow("a read on a busy port") << QStringList{} << true << true << true;
  }
  void failedOrCancelledSession() {
    QFETCH(QStringList, simOptions);
    QFETCH(bool, busy);
    QFETCH(bool, read);
    QFETCH(bool, fails);
    std::vector<std::string> options;
    for (const QString& o : simOptions) options.push_back(o.toStdString());
    StartSim(options);
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    dialogs.answers = {Answer::Yes};  // the write's question
    UKEDR_DRV holder;
    if (busy) QVERIFY(holder.OpenLink(0, 500));
    QString label;
    bool barHidden = false;
    QElapsedTimer clock, shown;
    qint64 cancelledAt = -1;
    int ticks = 0, ticksAtCancel = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    WhenModal([&](QWidget* w) {
      if (w != Progress()) return false;
      // While the session runs the label may tell the time left; a failure
      // puts its message there and hides the bar.
      label = Progress()->findChild<QLabel*>("Label1")->text();
      barHidden = Progress()->findChild<QProgressBar*>("ProgressBar1")->isHidden();
      if (fails && !barHidden) return false;  // a failure waits for its message
      if (!shown.isValid()) shown.start();
      // A failure stays up by itself; a running session is cancelled once the
      // GUI thread has shown it runs meanwhile.
      if (fails ? shown.elapsed() < 700 : ticks < 3) return false;
      cancelledAt = clock.elapsed();
      ticksAtCancel = ticks;
      read ? QTest::mouseClick(Progress()->findChild<QPushButton*>("CancelBtn"), Qt::LeftButton)
           : QTest::keyClick(Progress(), Qt::Key_Escape);
      return true;
    }, 20000);
    Main()->LockTimer()->stop();
    clock.start();
    read ? Main()->NStrReadClick() : Main()->NStrWriteClick();
    const qint64 closedAt = clock.elapsed();
    QVERIFY2(cancelledAt > 0, qPrintable(StrBar()));
    QVERIFY2(closedAt - cancelledAt < kWaitMs, qPrintable(QString::number(closedAt - cancelledAt)));
    QCOMPARE(barHidden, fails);
    QVERIFY(!Progress()->isVisible());
    QVERIFY(Progress()->Session().Finished);
    // The dialog gives the session's reason lines under the status.
    if (fails) QCOMPARE(Status(), label.section('\n', 0, 0));
    if (busy) QCOMPARE(StrBar(), QString("?|Порт занят|0"));
    QCOMPARE(Main()->Project().FormCount(), read ? 0 : 2);
    QCOMPARE(Grid()->isHidden(), read);
    QVERIFY(dialogs.OfKind(ScriptedDialogs::Kind::Inform).empty());
    QVERIFY(Locked());
    QVERIFY2(ticksAtCancel > 0, "the GUI thread waited for the session");
  }

  // The status panel shows the status text, the reason lines wait in its
  // tooltip; the busy port works once freed.
  void failedSessionGivesItsReasonInTheStatusTooltip() {
    ScriptedDialogs dialogs;
    auto holder = std::make_unique<UKEDR_DRV>();
    QVERIFY(holder->OpenLink(0, 500));
    WhenModal([](QWidget* w) {
      if (w != Progress() || Progress()->findChild<QLabel*>("Label1")->text().isEmpty()) return false;
      Progress()->CancelBtnClick();
      return true;
    }, kWaitMs);
    Main()->LockTimer()->stop();
    Main()->NStrReadClick();
    const TBVLink& session = Progress()->Session();
    QVERIFY(!session.StatusDetail.empty());
    QCOMPARE(Main()->findChild<QLabel*>("StrBarPanel2")->toolTip(),
             tgx::ToQt(session.StatusText) + "\n" + tgx::ToQt(session.StatusDetail));
    QCOMPARE(Status(), QString("Порт занят"));
    holder.reset();  // the port works again once freed
    Run("NStrRead");
    QCOMPARE(Status(), QString("OK"));
  }

};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TestSystemOps)
#include "tst_systemops.moc"
