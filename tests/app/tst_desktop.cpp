// The main window as a desktop program: the toolkit's texts in Russian, the
// menu shortcuts, form files from the command line, a drop and the recent
// list, the folder file dialogs start in, the help window, the report and
// CSV export commands, the save path's extension and questions, and the
// reason a form does not convert.

#include <QAction>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>
#include <memory>

#include "app/Fhelp.h"
#include "app/Fimport.h"
#include "app/Appinfo.h"
#include "app/Qtext.h"
#include "forms/Readback.h"
#include "model/Prjvol.h"
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

// Accepts the import dialog the next time it runs.
void AcceptImport() {
  WhenModalIs<TImportDlg>([](TImportDlg* dlg) { dlg->accept(); });
}

QStringList ButtonTexts(QDialogButtonBox* box) {
  QStringList out;
  for (QAbstractButton* b : box->buttons()) out << b->text().remove('&');
  out.sort();
  return out;
}

// A drag of `paths` as a file manager makes it.
QMimeData* Files(const QStringList& paths) {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
  data->setUrls(urls);
  return data;
}

}  // namespace

class TestDesktop : public QObject {
  Q_OBJECT

  TempDir config_{"tgx-desktop"};

 private slots:
  void initTestCase() {
    qputenv("TGX_CONFIG_DIR", QByteArray::fromStdString(config_.Path().string()));
    // A session that a command starts records into the test's folder only.
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

  // ---------------------------------------------------------------- the toolkit's boxes

  // A question in the toolkit's box: Russian buttons under the program's
  // title; Escape answers Cancel.
  void questionBoxInRussian() {
    QStringList seen;
    QString title;
    WhenModalIs<QMessageBox>([&](QMessageBox* box) {
      seen = ButtonTexts(box->findChild<QDialogButtonBox*>());
      title = box->windowTitle();
      QTest::keyClick(box, Qt::Key_Escape);
    });
    QCOMPARE(tgx::Dialogs().AskYesNoCancel(Main(), "?"), Answer::Cancel);
    QCOMPARE(seen, (QStringList{"Да", "Нет", "Отмена"}));
    QCOMPARE(title, tgx::AppTitle());
  }

  void fileDialogButtonsAreRussian() {
    QFileDialog dialog(Main());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    QCOMPARE(ButtonTexts(dialog.findChild<QDialogButtonBox*>()), (QStringList{"Открыть", "Отмена"}));
  }

  // Before the unit is changed: Enter must not delete by accident.
  void deleteQuestionDefaultsToNoInTheToolkitsBox() {
    QString seen;
    WhenModalIs<QMessageBox>([&seen](QMessageBox* box) {
      seen = box->defaultButton()->text().remove('&');
      box->reject();
    });
    QCOMPARE(tgx::Dialogs().AskYesNo(Main(), "?", true), Answer::No);
    QCOMPARE(seen, QString("Нет"));
  }

  // A few reason lines show under the outcome; many would run the box off
  // the screen and go to its details.
  void reasonInTheToolkitsBox_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("inDetails");
    QTest::newRow("one channel") << 1 << false;
    QTest::newRow("sixteen channels") << 16 << true;
  }
  void reasonInTheToolkitsBox() {
    QFETCH(int, lines);
    QFETCH(bool, inDetails);
    QStringList reason;
    for (int k = 1; k <= lines; ++k) reason << QString("Канал %1: отличается").arg(k);
    QString seen;
    WhenModalIs<QMessageBox>([&](QMessageBox* box) {
      seen = inDetails ? box->detailedText() : box->informativeText();
      box->reject();
    });
    tgx::Dialogs().InformDetail(Main(), "Таблицы системы отличны от проекта !", reason.join('\n'));
    QCOMPARE(seen, reason.join('\n'));
  }

  // ---------------------------------------------------------------- shortcuts

  // Each key is shown in its menu and runs its command; a modal window it
  // opens is closed at once.
  void shortcutsTriggerTheirCommand_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QKeySequence>("keys");
    QTest::newRow("Новый") << "NPrjNew" << QKeySequence("Ctrl+N");
    QTest::newRow("Открыть") << "NFormRead" << QKeySequence("Ctrl+O");
    QTest::newRow("Сохранить") << "NFormWrite" << QKeySequence("Ctrl+S");
    QTest::newRow("Редактор таблиц") << "NTabEdit" << QKeySequence("Ctrl+E");
    QTest::newRow("Отчёт") << "NReport" << QKeySequence("Ctrl+P");
    QTest::newRow("Читать таблицы") << "NStrRead" << QKeySequence("Ctrl+R");
    QTest::newRow("Содержание") << "NContents" << QKeySequence("F1");
    QTest::newRow("Выход") << "NExit" << QKeySequence("Ctrl+Q");
  }
  void shortcutsTriggerTheirCommand() {
    QFETCH(QString, action);
    QFETCH(QKeySequence, keys);
    ScriptedDialogs dialogs;
    SetForms(kTwoForms);
    QCOMPARE(Action(action.toLatin1().constData())->shortcut(), keys);
    Main()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Main()));
    QSignalSpy triggered(Action(action.toLatin1().constData()), &QAction::triggered);
    WhenModal([](QWidget* w) {
      QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
      return true;
    }, 3000);
    QTest::keySequence(Main(), keys);
    QCOMPARE(triggered.count(), 1);
  }

  // ---------------------------------------------------------------- the command line

  void commandLineAnswers_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");  // -1: the program runs
    QTest::addColumn<bool>("testMode");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("says");  // part of what is printed
    const QString version = "tgx " + QString::fromStdString(TAppInfo().VersionText()) + "\n";
    QTest::newRow("nothing") << QStringList{} << -1 << false << "" << "";
    QTest::newRow("-t first") << QStringList{"-t"} << -1 << true << "" << "";
    QTest::newRow("-t and a file") << QStringList{"-t", "a.fs"} << -1 << true << "a.fs" << "";
    QTest::newRow("-t after a file is ignored") << QStringList{"a.fs", "-t"} << -1 << false << "a.fs" << "";
    QTest::newRow("--help") << QStringList{"--help"} << 0 << false << "" << "--version";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << false << "" << version;
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 64 << false << "" << "";
    QTest::newRow("two files") << QStringList{"a.fs", "b.fs"} << 64 << false << "" << "";
  }
  void commandLineAnswers() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(bool, testMode);
    QFETCH(QString, file);
    QFETCH(QString, says);
    const tgx::CommandLine line = tgx::ParseCommandLine(QStringList{"tgx"} + args);
    QCOMPARE(line.exit, code >= 0);
    QCOMPARE(line.exitCode, std::max(code, 0));
    QCOMPARE(line.testMode, testMode);
    QCOMPARE(line.file, file);
    QVERIFY2(line.output.contains(says), qPrintable(line.output));
    QCOMPARE(line.toStderr, code > 0);  // a usage error goes to standard error
  }

  // The file goes through the import dialog as «Открыть» takes it.
  void fileOnTheCommandLineBecomesTheProject() {
    tgx::StopApplication();
    ScriptedDialogs dialogs;
    AcceptImport();
    Start({Example("station_with_gap.fs").toStdString()});
    QTRY_COMPARE_WITH_TIMEOUT(Main()->Project().FormCount(), 3, 10000);
  }

  // ---------------------------------------------------------------- drop and recent files

  void dragTakesOnlyFormFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("form file") << Example("vertical_cylinder.fs") << true;
    QTest::newRow("another file") << QString(TGX_SOURCE_DIR "/README.md") << false;
  }
  void dragTakesOnlyFormFiles() {
    QFETCH(QString, file);
    QFETCH(bool, accepted);
    std::unique_ptr<QMimeData> data(Files({file}));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Main(), &enter);
    QCOMPARE(enter.isAccepted(), accepted);
  }

  // The toolkit hands a drop only to a window that took the drag in.
  void droppedFormFileBecomesTheProject() {
    ScriptedDialogs dialogs;
    AcceptImport();
    std::unique_ptr<QMimeData> data(Files({Example("vertical_cylinder.fs")}));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Main(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Main(), &drop);
    QTRY_COMPARE_WITH_TIMEOUT(Main()->Project().FormCount(), 1, 10000);
  }

  // An opened file heads the recent list, and the open dialog starts in its folder.
  void openedFileIsRemembered() {
    ScriptedDialogs dialogs;
    QVERIFY(!Action("NRecent1")->isVisible());  // an unused place is hidden
    AcceptImport();
    Main()->OpenFormFile(Example("vertical_cylinder.fs"));
    QCOMPARE(Action("NRecent1")->text(), QString("&1 vertical_cylinder.fs"));
    dialogs.Clear();
    Main()->ImportButtonClick();
    QCOMPARE(QDir(dialogs.OfKind(Kind::OpenFile).at(0).folder), QDir(Example("")));
  }

  void ampersandInARecentNameIsShown() {
    tgx::AddRecentFile("/srv/a&b.fs");
    Main()->findChild<QMenu*>("NPrj")->popup(QPoint(0, 0));
    Main()->findChild<QMenu*>("NPrj")->hide();
    QCOMPARE(Action("NRecent1")->text(), QString("&1 a&&b.fs"));
  }

  void recentFileOpensAgain() {
    ScriptedDialogs dialogs;
    tgx::AddRecentFile(Example("cubic_metres.fs1").toStdString());
    AcceptImport();
    Action("NRecent1")->trigger();
    QCOMPARE(Main()->Project().Name(), tgx::FromQt(QFileInfo(Example("cubic_metres.fs1")).absoluteFilePath()));
  }

  // ---------------------------------------------------------------- the journal

  void menuItemOpensItsWindow_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("window");
    QTest::newRow("journal") << "NJournal" << "JournalForm";
    QTest::newRow("report") << "NReport" << "ReportDlg";
  }
  void menuItemOpensItsWindow() {
    QFETCH(QString, action);
    QFETCH(QString, window);
    SetForms(kTwoForms);
    QString shown;
    WhenModal([&shown](QWidget* w) {
      shown = w->objectName();
      static_cast<QDialog*>(w)->reject();
      return true;
    });
    Action(action.toLatin1().constData())->trigger();
    QCOMPARE(shown, window);
  }

  // Tables from the journal replace a modified project only past its save question.
  void tablesFromTheJournalBecomeTheProject() {
    ScriptedDialogs dialogs;
    SetForms(kTwoForms, true);
    GROUPTAB tables;
    PARTAB t;
    for (int i = 0; i < 10; ++i) t.Append(i * 7);
    tables.Add(t);
    dialogs.answers = {Answer::Cancel, Answer::No};
    QVERIFY(!Main()->OpenTablesAsProject(tables, "x"));
    QCOMPARE(Main()->Project().FormCount(), 2);
    QVERIFY(Main()->OpenTablesAsProject(tables, "x"));
    QCOMPARE(Grid()->rowCount(), 1);
  }

  // ---------------------------------------------------------------- help

  // The manual's contents, then a click on its first link to another page.
  void helpWindowFollowsALink() {
    Action("NContents")->trigger();
    QTextBrowser* browser = Main()->HelpForm()->Browser();
    QVERIFY(QTest::qWaitForWindowExposed(Main()->HelpForm()));
    QCOMPARE(browser->source(), THelpForm::StartPage());
    QTextCursor link;
    for (QTextBlock b = browser->document()->begin(); b.isValid() && link.isNull(); b = b.next())
      for (auto it = b.begin(); !it.atEnd(); ++it)
        if (it.fragment().charFormat().isAnchor() &&
            THelpForm::StartPage().resolved(QUrl(it.fragment().charFormat().anchorHref())).path() !=
                THelpForm::StartPage().path()) {
          link = QTextCursor(browser->document());
          link.setPosition(it.fragment().position() + 1);
          break;
        }
    QVERIFY(!link.isNull());
    browser->setTextCursor(link);
    browser->ensureCursorVisible();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, browser->cursorRect(link).center());
    QVERIFY2(browser->source() != THelpForm::StartPage(), qPrintable(browser->source().toString()));
    QCOMPARE(browser->source().scheme(), QString("qrc"));
  }

  // ---------------------------------------------------------------- report and export

  void exportCsv_data() {
    QTest::addColumn<bool>("writable");
    QTest::newRow("written") << true;
    QTest::newRow("no such folder") << false;
  }
  void exportCsv() {
    QFETCH(bool, writable);
    ScriptedDialogs dialogs;
    TempDir out;
    SetForms(kTwoForms);
    dialogs.files = {writable ? QString::fromStdString(out.File("tables")) : "/nonexistent-tgx-folder/tables.csv"};
    Action("NExportCsv")->trigger();
    QFile file(QString::fromStdString(out.File("tables.csv")));
    QCOMPARE(file.open(QIODevice::ReadOnly), writable);
    if (writable) QVERIFY(file.readAll().contains("level_mm;a;b"));
    QCOMPARE(dialogs.Texts(), writable ? QStringList{} : QStringList{"Невозможно записать файл!"});
  }

  // ---------------------------------------------------------------- saving

  void saveGivesTheTypesExtension_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("no extension") << "tanks" << "tanks.fs";
    QTest::newRow("another type's") << "tanks.f1" << "tanks.fs";
    QTest::newRow("some other ending") << "tanks.v2" << "tanks.v2.fs";
    QTest::newRow("its own") << "tanks.fs" << "tanks.fs";
  }
  void saveGivesTheTypesExtension() {
    QFETCH(QString, typed);
    QFETCH(QString, written);
    ScriptedDialogs dialogs;
    TempDir out;
    SetForms(kTwoForms, true);
    dialogs.files = {QString::fromStdString(out.File(typed.toStdString()))};
    QVERIFY(Main()->ExportProject());
    QCOMPARE(QDir(QString::fromStdString(out.Path().string())).entryList(QDir::Files), QStringList{written});
  }

  // Answered No, the question ends the save before its file dialog.
  void unsafeTextIsAskedBeforeSaving() {
    ScriptedDialogs dialogs;
    SetForms("# a\n| 0 10 20 30 40\n", true);
    FDATA forms;
    Main()->Project().CopyFormsTo(forms);
    forms.Form(0).SetVolumeText(2, "12x4");
    Main()->Project().SetForms(forms);
    dialogs.answers = {Answer::No};
    QVERIFY(!Main()->ExportProject());
    QVERIFY2(dialogs.Texts().value(0).startsWith("Форма 1, строка 3"), qPrintable(dialogs.Texts().value(0)));
    QVERIFY(dialogs.OfKind(Kind::SaveFile).empty());
  }

  // ---------------------------------------------------------------- reasons

  void formThatDoesNotConvertSaysWhyInItsTitleTooltip() {
    SetForms("# a\n| 0 10 20 30 40\n# b\n| 0 10 99999999999 30\n");
    const QString tip = Grid()->item(1, TPrjForm::kTitleColumn)->toolTip();
    QVERIFY(!tip.isEmpty());
    QCOMPARE(tip, tgx::ToQt(ConversionFailureText(Main()->Project().Form(1))));
    QCOMPARE(Grid()->item(0, TPrjForm::kTitleColumn)->toolTip(), QString());
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TestDesktop)
#include "tst_desktop.moc"
