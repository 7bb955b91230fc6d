// The four system commands against tgx-sim on a pseudo-terminal, through the
// real main window and progress dialog: the questions, the reports, the
// project afterwards, failure and cancel, the lock-out second, the journal;
// and the progress dialog's bar, time left and prompt cancel.

#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "app/Flink.h"
#include "app/Qtext.h"
#include "app/core/Options.h"
#include "journal/Journal.h"
#include "link/Ukdr_drv.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/SimRunner.h"

namespace tgxtest {
namespace {

using Answer = tgx::DialogService::Answer;

const char* kTwoForms = "# a\n| 0 10 20 30 40\n# b\n| 0 5 10 15 20 25 30\n";
const QString kPowerCycle = "\rВнимание !\nЧтобы записанный проект стал активным,\nнеобходимо переключить питание системы";
const QString kNoTables = "Таблицы объёма в системе отсутствуют";

TLinkDlg* Progress() { return Main()->GetWindows().linkDlg; }
QString Status() { return Panel("StrBarPanel2"); }
QString StrBar() { return Panel("StrBarPanel1") + "|" + Status() + "|" + Panel("StrBarPanel3"); }
bool Locked() { return Main()->LockTimer()->isActive(); }

// Runs a system command from its menu item or tool button, past the lock-out
// second, with `answers` for its boxes; returns the progress dialog's caption
// and the status bar while it ran.
QString Run(ScriptedDialogs& dialogs, const char* command, std::deque<Answer> answers = {}) {
  dialogs.Clear();
  dialogs.answers = answers;
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
  tgx::SessionSummary Newest() {
    const auto list = tgx::Journal::Open(data_->Path().string()).Instance->List({}, 1);
    return list.Sessions.empty() ? tgx::SessionSummary{} : list.Sessions.front();
  }

 private slots:
  void initTestCase() { qputenv("TGX_CONFIG_DIR", QByteArray::fromStdString(config_.Path().string())); }
  void init() {
    data_ = std::make_unique<TempDir>("tgx-systemops-data");  // each test its own journal
    qputenv("TGX_DATA_DIR", QByteArray::fromStdString(data_->Path().string()));
    StartSim();
    Start();
  }
  void cleanup() {
    StopWatching();
    tgx::StopApplication();
  }

  // Nothing reaches the unit without the operator's leave. Right after start
  // the commands are ignored without a question, a dialog or a status, until
  // the lock-out second ends by itself; then a read cancelled at the save
  // question and a write answered No start nothing, not even the lock-out.
  void nothingStartsWithoutTheOperatorsLeave() {
    ScriptedDialogs dialogs;
    SetForms(kTwoForms, true);
    QVERIFY(Locked());
    for (const char* command : {"NStrRead", "NStrWrite", "NStrCompare", "NStrClear"})
      Main()->findChild<QAction*>(command)->trigger();
    QVERIFY(dialogs.shown.empty());
    QCOMPARE(Status(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(!Locked(), 10000);
    const struct { const char* command; Answer answer; QString text; } rows[] = {
        {"NStrRead", Answer::Cancel, "Сохранить проект?"},
        {"NStrWrite", Answer::No, "Записать 2 таблицы в БВ через COM1? Таблицы БВ будут заменены."},
    };
    for (const auto& row : rows) {
      QCOMPARE(Run(dialogs, row.command, {row.answer}), QString());
      QCOMPARE(dialogs.Texts(), QStringList{row.text});
      QVERIFY2(Status().isEmpty(), row.command);
      QVERIFY2(!Locked(), row.command);
    }
    QVERIFY(!dialogs.OfKind(ScriptedDialogs::Kind::YesNo).at(0).defaultNo);
    QCOMPARE(Main()->Project().FormCount(), 2);
  }

  // A write; a delete answered No (its default) keeps the unit's tables, so a
  // compare of a project with one table more names only that channel, keeps
  // the project and lets the write question, which names the port and the
  // project's file, count the unit's tables. A read then offers the modified
  // project for saving and gives the unit's tables as «Система»; a delete
  // keeps the project; a read of the emptied unit is recorded with its port.
  // The unit's tables go into the journal before a change unless that option
  // is off.
  void writeCompareReadDelete() {
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    tgx::SaveBackupOption(false);
    QCOMPARE(Run(dialogs, "StrWriteButton", {Answer::Yes}), QString("Запись таблиц ?|Запись...|0"));
    tgx::SaveBackupOption(true);
    QVERIFY2(StrBar().startsWith("632 |OK|"), qPrintable(StrBar()));
    QCOMPARE(dialogs.Texts().mid(1), QStringList{"Запись таблиц завершена." + kPowerCycle});
    QCOMPARE(Newest().BackupCount, -1);
    QCOMPARE(Run(dialogs, "NStrClear"), QString());
    QCOMPARE(dialogs.Texts(), QStringList{"Удалить все таблицы БВ через COM1?"});
    QVERIFY(dialogs.OfKind(ScriptedDialogs::Kind::YesNo).at(0).defaultNo);
    Main()->NTabAddNewClick();
    QCOMPARE(Run(dialogs, "NStrCompare"), QString("Чтение таблиц ?|Сравнение...|0"));
    QCOMPARE(dialogs.Texts(), QStringList{"Таблицы системы отличны от проекта !"});
    QCOMPARE(dialogs.OfKind(ScriptedDialogs::Kind::Inform).at(0).detail, QString("Канал 3: нет в БВ"));
    QCOMPARE(Grid()->rowCount(), 3);
    Main()->Project().SetName("/srv/forms/station.fs");
    Run(dialogs, "NStrWrite");
    QCOMPARE(dialogs.Texts(),
             QStringList{"Записать 3 таблицы проекта station.fs в БВ через COM1? Таблицы БВ (2) будут заменены."});
    QCOMPARE(Run(dialogs, "StrReadButton", {Answer::No}), QString("Чтение таблиц ?|Чтение...|0"));
    QCOMPARE(dialogs.Texts(), QStringList{"Сохранить проект?"});
    QCOMPARE(Main()->Project().Name(), tgx::FromUtf8("Система"));
    QVERIFY(Main()->Project().Modified());
    QCOMPARE(Grid()->rowCount(), 2);
    QCOMPARE(Grid()->item(1, TPrjForm::kLevelColumn)->text(), QString("60"));
    QCOMPARE(Run(dialogs, "NStrClear", {Answer::Yes}), QString("Удаление таблиц ?|Удаление...|0"));
    QCOMPARE(dialogs.Texts().mid(1), QStringList{"Таблицы удалены." + kPowerCycle});
    QCOMPARE(Grid()->rowCount(), 2);
    QCOMPARE(Newest().BackupCount, 2);
    Run(dialogs, "NStrRead", {Answer::No});
    QCOMPARE(dialogs.Texts().mid(1), QStringList{kNoTables});
    QVERIFY(Grid()->isHidden());
    QCOMPARE(int(Newest().Operation), int(tgx::JournalOp::Read));
    QCOMPARE(Newest().Port, std::string("COM1"));
  }

  // In test mode a click on the status bar shows the session's bytes. A
  // journal that cannot be written is told once in the status line, never in
  // a box, and the session's own outcome is as always.
  void testModeLogAndAJournalThatCannotBeWritten() {
    tgx::StopApplication();
    Start({"-t"});
    ScriptedDialogs dialogs;
    const std::string blocker = data_->File("file");
    QVERIFY(QFile(QString::fromStdString(blocker)).open(QIODevice::WriteOnly));
    qputenv("TGX_DATA_DIR", QByteArray::fromStdString(blocker));
    Run(dialogs, "NStrRead");
    QVERIFY(!Main()->StatusLine().isEmpty());
    QCOMPARE(dialogs.Texts(), QStringList{kNoTables});
    Main()->findChild<QStatusBar*>("ProjBar")->clearMessage();
    Run(dialogs, "NStrRead");
    QCOMPARE(Main()->StatusLine(), QString());
    QString log;
    WhenModal([&log](QWidget* w) {
      if (w->objectName() != "SessionLogForm") return false;
      log = w->findChild<QPlainTextEdit*>()->toPlainText();
      static_cast<QDialog*>(w)->reject();
      return true;
    });
    QTest::mouseClick(Main()->findChild<QLabel*>("StrBarPanel1"), Qt::LeftButton);
    QVERIFY2(log.size() > 10, qPrintable(log));
  }

  // A failed session's dialog stays until the operator cancels (button or
  // Escape); a running one ends soon after Cancel. No report follows, a
  // failed or cancelled read still empties the project, and the lock-out
  // second starts. A busy port's status and reason lines show in the dialog
  // (without the time left) and in the status tooltip; the port works once freed.
  void failedOrCancelledSession() {
    const struct { const char* name; std::vector<std::string> sim; bool busy, read, fails; } rows[] = {
        {"the unit refuses a write", {"--status", "7=4"}, false, false, true},
        {"a slow read cancelled", {"--byte-delay-ms", "40"}, false, true, false},
        {"a read on a busy port", {}, true, true, true},
    };
    for (const auto& row : rows) {
      StartSim(row.sim);
      ScriptedDialogs dialogs;
      SetForms(kTwoForms);
      dialogs.answers = {Answer::Yes};  // the write's question
      auto holder = std::make_unique<UKEDR_DRV>();
      if (row.busy) QVERIFY(holder->OpenLink(0, 500));
      QElapsedTimer sinceCancel;
      QString label;
      bool timeLeftShown = true;
      int polls = 0;
      // A failure's message hides the bar and stays by itself; a running
      // session is cancelled after a few polls, which show the GUI thread
      // free meanwhile.
      WhenModal([&](QWidget* w) {
        const bool failed = w == Progress() && Progress()->findChild<QProgressBar*>("ProgressBar1")->isHidden();
        if (w != Progress() || (row.fails && !failed) || ++polls < (row.fails ? 25 : 8)) return false;
        sinceCancel.start();
        label = Progress()->StatusLabel()->text();
        timeLeftShown = Progress()->TimeLeftLabel()->isVisible();
        row.read ? QTest::mouseClick(Progress()->findChild<QPushButton*>("CancelBtn"), Qt::LeftButton)
                 : QTest::keyClick(Progress(), Qt::Key_Escape);
        return true;
      }, 20000);
      Main()->LockTimer()->stop();
      row.read ? Main()->NStrReadClick() : Main()->NStrWriteClick();
      StopWatching();
      QVERIFY2(sinceCancel.isValid(), row.name);
      QVERIFY2(sinceCancel.elapsed() < 10000, row.name);
      QVERIFY2(Progress()->Session().Finished, row.name);
      QCOMPARE(Main()->Project().FormCount(), row.read ? 0 : 2);
      QVERIFY2(dialogs.OfKind(ScriptedDialogs::Kind::Inform).empty(), row.name);
      QVERIFY2(Locked(), row.name);
      if (!row.busy) continue;
      const TBVLink& session = Progress()->Session();
      const QString reason = tgx::ToQt(session.StatusText) + "\n" + tgx::ToQt(session.StatusDetail);
      QCOMPARE(StrBar(), QString("?|Порт занят|0"));
      QCOMPARE(label, reason);
      QVERIFY(!timeLeftShown);
      QCOMPARE(Main()->findChild<QLabel*>("StrBarPanel2")->toolTip(), reason);
      holder.reset();
      Run(dialogs, "NStrRead");
      QCOMPARE(Status(), QString("OK"));
    }
  }

  // The bar follows the bytes on the line when their total is known, the
  // session's own progress otherwise; the time left is what the rest of the
  // bytes take at the line's rate, a part of a second counting whole.
  void barAndTimeLeft() {
    const qint64 second = TBVLink::kLineBytesPerSecond;
    const struct { qint64 done, total; int progress, value; const char* text; } cases[] = {
        {100, 100 + 42 * second, 90, 0, "Осталось 0:42"}, {250, 1000, 90, 25, "Осталось 0:01"},
        {0, 61 * second, 50, 0, "Осталось 1:01"},          {1200, 1000, 0, 100, "Осталось 0:00"},
        {250, 0, 40, 40, ""},
    };
    for (const auto& c : cases) {
      const QString row = QString("%1 of %2: ").arg(c.done).arg(c.total);
      QCOMPARE(row + QString::number(TLinkDlg::BarValue(c.done, c.total, c.progress)), row + QString::number(c.value));
      QCOMPARE(row + TLinkDlg::TimeLeftText(c.done, c.total), row + c.text);
    }
  }

  // Cancel pressed right after a progress poll, while a slow unit
  // is still answering, closes the dialog before the next poll: the worker
  // stops well within the poll's period.
  void cancelClosesBeforeTheNextPoll() {
    SimRunner sim({"--byte-delay-ms", "200"});
    TLinkDlg dlg(nullptr, false);
    dlg.Session().DevicePath = sim.Path();
    int pollsAfterCancel = -1;
    connect(dlg.findChild<QTimer*>("Timer1"), &QTimer::timeout, &dlg, [&] {
      if (pollsAfterCancel >= 0) {
        ++pollsAfterCancel;
      } else if (!dlg.Session().Finished) {
        pollsAfterCancel = 0;
        QTest::mouseClick(dlg.findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
      }
    });
    QTimer::singleShot(20000, &dlg, &TLinkDlg::CancelBtnClick);  // a test fails, never hangs
    QVERIFY(!dlg.RunRead("Чтение таблиц"));
    QCOMPARE(pollsAfterCancel, 0);
    QVERIFY(dlg.Session().Cancel);
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TestSystemOps)
#include "tst_systemops.moc"
