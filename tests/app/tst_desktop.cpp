// The main window as a desktop program: the toolkit's boxes in Russian, the
// shortcuts, the command line, a drop and the recent list, the journal,
// CSV export, the save path's extension and questions. The decisions behind them are the core's tests; these check
// the wiring with one case each.

#include <QAction>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QUrl>
#include <algorithm>

#include "app/Fhelp.h"
#include "app/Fjournal.h"
#include "app/Fimport.h"
#include "app/Appinfo.h"
#include "app/Qtext.h"
#include "journal/JournalSamples.h"
#include "app/core/Options.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

using Answer = tgx::DialogService::Answer;
using Kind = ScriptedDialogs::Kind;

const char* kTwoForms = "# a\n| 0 10 20 30 40\n# b\n| 0 5 10 15 20 25 30\n";

QAction* Action(const char* name) { return Main()->findChild<QAction*>(name); }

QString Example(const char* name) { return QString(TGX_SOURCE_DIR "/examples/") + name; }

void AcceptImport() {
  WhenModalIs<TImportDlg>([](TImportDlg* dlg) { dlg->accept(); });
}

QStringList ButtonTexts(QDialogButtonBox* box) {
  QStringList out;
  for (QAbstractButton* b : box->buttons()) out << b->text().remove('&');
  out.sort();
  return out;
}

// Sends a drag of `path` as a file manager makes it, then drops it when taken; true when taken.
bool DropFile(const QString& path) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(path)});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Main(), &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Main(), &drop);
  return true;
}

}  // namespace

class TestDesktop : public QObject {
  Q_OBJECT

  TempDir config_{"tgx-desktop"};

 private slots:
  void initTestCase() {
    qputenv("TGX_CONFIG_DIR", QByteArray::fromStdString(config_.Path().string()));
    qputenv("TGX_DATA_DIR", QByteArray::fromStdString(config_.Path().string()));
  }
  void init() {
    QFile::remove(QString::fromStdString(tgx::OptionsFilePath()));
    Start();
  }
  void cleanup() {
    StopWatching();
    if (Main() && Main()->HelpForm()) Main()->HelpForm()->close();
    tgx::StopApplication();
  }

  // Russian buttons; plain text, a carriage return breaking the line (a
  // session log is full of "<"); Escape answers Cancel; before
  // the unit is changed Enter must not delete by accident; many reason lines
  // would run the box off the screen and go to its details.
  void toolkitBoxes() {
    QStringList seen;
    QString defaultButton, text;
    bool plain = false;
    WhenModalIs<QMessageBox>([&](QMessageBox* box) {
      seen = ButtonTexts(box->findChild<QDialogButtonBox*>());
      text = box->text();
      plain = box->textFormat() == Qt::PlainText;
      QTest::keyClick(box, Qt::Key_Escape);
    });
    QCOMPARE(tgx::Dialogs().AskYesNoCancel(Main(), "<b>a</b>\rb"), Answer::Cancel);
    QCOMPARE(seen, (QStringList{"Да", "Нет", "Отмена"}));
    QCOMPARE(text, QString("<b>a</b>\nb"));
    QVERIFY(plain);
    WhenModalIs<QMessageBox>([&](QMessageBox* box) {
      defaultButton = box->defaultButton()->text().remove('&');
      box->reject();
    });
    QCOMPARE(tgx::Dialogs().AskYesNo(Main(), "?", true), Answer::No);
    QCOMPARE(defaultButton, QString("Нет"));
    QStringList reason;
    for (int k = 1; k <= 16; ++k) reason << QString("Канал %1: отличается").arg(k);
    QString details;
    WhenModalIs<QMessageBox>([&details](QMessageBox* box) {
      details = box->detailedText();
      box->reject();
    });
    tgx::Dialogs().InformDetail(Main(), "Таблицы системы отличны от проекта !", reason.join('\n'));
    QCOMPARE(details, reason.join('\n'));
  }

  // Each key is shown in its menu and runs its command; a modal window it
  // opens is closed at once.
  void shortcutsTriggerTheirCommand() {
    const struct { const char* action; const char* keys; } rows[] = {
        {"NPrjNew", "Ctrl+N"}, {"NFormRead", "Ctrl+O"}, {"NFormWrite", "Ctrl+S"}, {"NTabEdit", "Ctrl+E"},
        {"NReport", "Ctrl+P"}, {"NStrRead", "Ctrl+R"},  {"NContents", "F1"},      {"NExit", "Ctrl+Q"},
    };
    ScriptedDialogs dialogs;
    for (const auto& row : rows) {
      SetForms(kTwoForms);
      QVERIFY2(Action(row.action)->shortcut() == QKeySequence(row.keys), row.action);
      Main()->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(Main()));
      QSignalSpy triggered(Action(row.action), &QAction::triggered);
      WhenModal([](QWidget* w) {
        QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
        return true;
      }, 3000);
      QTest::keySequence(Main(), QKeySequence(row.keys));
      QVERIFY2(triggered.count() == 1, row.action);
    }
  }

  // exitCode -1: the program runs.
  void commandLineAnswers() {
    const struct { QStringList args; int code; bool testMode; QString file, says; } rows[] = {
        {{"-t", "a.fs"}, -1, true, "a.fs", ""},
        {{"a.fs", "-t"}, -1, false, "a.fs", ""},  // -t after the file is ignored
        {{"--version"}, 0, false, "", "tgx " + QString::fromStdString(TAppInfo().VersionText()) + "\n"},
        {{"--bogus"}, 64, false, "", ""},
    };
    for (const auto& row : rows) {
      const tgx::CommandLine line = tgx::ParseCommandLine(QStringList{"tgx"} + row.args);
      const QByteArray name = row.args.join(' ').toUtf8();
      QVERIFY2(line.exit == (row.code >= 0), name);
      QVERIFY2(line.exitCode == std::max(row.code, 0), name);
      QVERIFY2(line.testMode == row.testMode, name);
      QVERIFY2(line.file == row.file, name);
      QVERIFY2(line.output.contains(row.says), name);
      QVERIFY2(line.toStderr == (row.code > 0), name);  // a usage error goes to standard error
    }
  }

  // The file goes through the import dialog as «Открыть» takes it.
  void fileOnTheCommandLineBecomesTheProject() {
    tgx::StopApplication();
    ScriptedDialogs dialogs;
    AcceptImport();
    Start({Example("station_with_gap.fs").toStdString()});
    QTRY_COMPARE_WITH_TIMEOUT(Main()->Project().FormCount(), 3, 10000);
  }

  // The toolkit hands a drop only to a window that took the drag in.
  void droppedFormFileBecomesTheProject() {
    ScriptedDialogs dialogs;
    QVERIFY(!DropFile(TGX_SOURCE_DIR "/README.md"));
    AcceptImport();
    QVERIFY(DropFile(Example("vertical_cylinder.fs")));
    QTRY_COMPARE_WITH_TIMEOUT(Main()->Project().FormCount(), 1, 10000);
  }

  // An opened file heads the recent list and opens again from it.
  void openedFileIsRemembered() {
    ScriptedDialogs dialogs;
    QVERIFY(!Action("NRecent1")->isVisible());  // an unused place is hidden
    AcceptImport();
    Main()->OpenFormFile(Example("cubic_metres.fs1"));
    QCOMPARE(Action("NRecent1")->text(), QString("&1 cubic_metres.fs1"));
    tgx::AddRecentFile(Example("vertical_cylinder.fs").toStdString());
    AcceptImport();
    Action("NRecent1")->trigger();
    QCOMPARE(Main()->Project().Name(), tgx::FromQt(QFileInfo(Example("vertical_cylinder.fs")).absoluteFilePath()));
  }

  // Tables from the journal replace a modified project only past its save question; the menu opens the journal.
  void tablesFromTheJournalBecomeTheProject() {
    ScriptedDialogs dialogs;
    SetForms(kTwoForms, true);
    const GROUPTAB tables = SmoothSet(1, 10);
    dialogs.answers = {Answer::Cancel, Answer::No};
    QVERIFY(!Main()->OpenTablesAsProject(tables, "x"));
    QCOMPARE(Main()->Project().FormCount(), 2);
    QVERIFY(Main()->OpenTablesAsProject(tables, "x"));
    QCOMPARE(Grid()->rowCount(), 1);
    bool opened = false;
    WhenModalIs<TJournalForm>([&opened](TJournalForm* journal) {
      opened = true;
      journal->reject();
    });
    Action("NJournal")->trigger();
    QVERIFY(opened);
  }

  void exportCsv() {
    for (bool writable : {true, false}) {
      ScriptedDialogs dialogs;
      TempDir out;
      SetForms(kTwoForms);
      dialogs.files = {writable ? QString::fromStdString(out.File("tables")) : "/nonexistent-tgx-folder/tables.csv"};
      Action("NExportCsv")->trigger();
      QFile file(QString::fromStdString(out.File("tables.csv")));
      QCOMPARE(file.open(QIODevice::ReadOnly), writable);
      QCOMPARE(file.readAll().contains("level_mm;a;b"), writable);
      QCOMPARE(dialogs.Texts(), writable ? QStringList{} : QStringList{"Невозможно записать файл!"});
    }
  }

  // Answered No, the unsafe-text question ends the save before its file
  // dialog; answered Yes, the save goes on, and the type's extension follows
  // whatever the name ends with.
  void saveAsksAboutUnsafeTextAndGivesTheTypesExtension() {
    ScriptedDialogs dialogs;
    TempDir out;
    SetForms("# a\n| 0 10 20 30 40\n", true);
    FDATA forms;
    Main()->Project().CopyFormsTo(forms);
    forms.Form(0).SetVolumeText(2, "12x4");
    Main()->Project().SetForms(forms);
    dialogs.answers = {Answer::No, Answer::Yes};
    QVERIFY(!Main()->ExportProject());
    QVERIFY2(dialogs.Texts().value(0).startsWith("Форма 1, строка 3"), qPrintable(dialogs.Texts().value(0)));
    QVERIFY(dialogs.OfKind(Kind::SaveFile).empty());
    dialogs.files = {QString::fromStdString(out.File("tanks.v2"))};
    QVERIFY(Main()->ExportProject());
    QCOMPARE(QDir(QString::fromStdString(out.Path().string())).entryList(QDir::Files), QStringList{"tanks.v2.fs"});
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TestDesktop)
#include "tst_desktop.moc"
