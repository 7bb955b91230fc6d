// The main window driven through its real widgets: enable states, the grid
// and its control column, the table commands, title editing, the save
// question, the toolkit's boxes, the settings kept at exit and the dialogs
// it is given.

#include <QAction>
#include <QHeaderView>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QToolButton>

#include "app/Appinfo.h"
#include "app/Fabout.h"
#include "app/Qtext.h"
#include "app/core/Syscfg.h"
#include "editor/Feditdlg.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

using Answer = tgx::DialogService::Answer;

// A type 1 form body: volumes per centimetre.
std::string Form(const char* title, const char* volumes = "0 10 20 30 40 50") {
  return "# " + tgx::FromUtf8(title) + "\n| " + volumes + "\n";
}
const char* kRough = "0 1 500 2000 2001";     // second differences far beyond a byte
const char* kBroken = "0 10 99999999999 30";  // a volume beyond 32 bits does not convert

QAction* Action(const char* name) { return Main()->findChild<QAction*>(name); }
QToolButton* Button(const char* name) { return Main()->findChild<QToolButton*>(name); }
bool Enabled(const char* name) { return Action(name) ? Action(name)->isEnabled() : Button(name)->isEnabled(); }
bool Modified() { return Main()->Project().Modified(); }
void Trigger(const char* action, int row = -1) {
  if (row >= 0) Grid()->setCurrentCell(row, TPrjForm::kTitleColumn);
  Action(action)->trigger();
}
// Each row's cells from column `from` to the title, joined by "|".
QStringList Rows(int from = 0) {
  QStringList rows;
  for (int r = 0; r < Grid()->rowCount(); ++r) {
    QStringList cells;
    for (int c = from; c <= TPrjForm::kTitleColumn; ++c) cells << Grid()->model()->index(r, c).data().toString();
    rows << cells.join('|');
  }
  return rows;
}
QStringList Titles() { return Rows(TPrjForm::kTitleColumn); }

// Answers the in-place title editor with a text, or types it and leaves with Escape.
void AnswerEditDlg(const QString& text, bool accept = true) {
  WhenModalIs<TEditDlg>([text, accept](TEditDlg* dlg) {
    dlg->SetText(text);
    accept ? dlg->Accept() : dlg->reject();
  });
}

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

  TempDir config_{"tgx-mainwindow"};

 private slots:
  void initTestCase() {
    qputenv("TGX_CONFIG_DIR", QByteArray::fromStdString(config_.Path().string()));
    // A session that a command starts records into the test's folder only.
    qputenv("TGX_DATA_DIR", QByteArray::fromStdString(config_.Path().string()));
  }
  void init() { Start(); }
  void cleanup() {
    StopWatching();
    tgx::StopApplication();
  }

  // ---------------------------------------------------------------- no project

  // No explicit activation here: the first showing alone sets the caption.
  void captionCarriesTheVersion() {
    const TAppInfo info;
    QCOMPARE(Main()->windowTitle(), QString("Тирель-Сервис. Градуировочные таблицы  (%1.%2.%3.%4 )")
                                        .arg(info.Major()).arg(info.Minor()).arg(info.Release()).arg(info.Build()));
  }

  // Without a project, then after "Новый" (-1: not checked there).
  void enableStates_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("afterNew");
    for (const char* name : {"NPrjNew", "NFormRead", "NStrRead", "NStrClear", "SpeedButton1", "ImportButton",
                             "StrReadButton", "NBiButton"})
      QTest::newRow(name) << name << true << -1;
    for (const char* name : {"NStrWrite", "NStrCompare", "TabEditButton", "StrWriteButton", "ExportButton"})
      QTest::newRow(name) << name << false << 1;
    for (const char* name : {"NFormWrite", "NTabPaste", "ReportButton", "NExportCsv"})
      QTest::newRow(name) << name << false << -1;
  }
  void enableStates() {
    QFETCH(QString, control);
    QFETCH(bool, enabled);
    QFETCH(int, afterNew);
    QCOMPARE(Enabled(control.toLatin1().constData()), enabled);
    Main()->NPrjNewClick();
    if (afterNew >= 0) QCOMPARE(Enabled(control.toLatin1().constData()), bool(afterNew));
  }

  // Whatever the desktop's font, each column is at least as wide as its
  // caption ("Ёмкость (л)" was clipped at the original widths).
  void everyCaptionFitsItsColumn() {
    QHeaderView* header = Grid()->horizontalHeader();
    for (int c = 0; c < Grid()->columnCount() - 1; ++c) {
      const QString caption = Grid()->horizontalHeaderItem(c)->text();
      QVERIFY2(header->fontMetrics().horizontalAdvance(caption) < Grid()->columnWidth(c), qPrintable(caption));
    }
  }
  void noProjectHidesTheGridAndTheTableMenu() {
    QVERIFY(Grid()->isHidden());
    QVERIFY(!Main()->findChild<QMenu*>("NTab")->menuAction()->isEnabled());
  }

  void reportCommandIsShown() {
    QVERIFY(!Button("ReportButton")->isHidden());
    QVERIFY(Action("NReport")->isVisible());
    QCOMPARE(Button("ReportButton")->toolTip(), QString("Отчёт"));
  }

  // ---------------------------------------------------------------- new project

  // "Новый" gives one converting form, unsaved, without a question.
  void newProjectGivesOneConvertingForm() {
    ScriptedDialogs dialogs;
    QTest::mouseClick(Button("SpeedButton1"), Qt::LeftButton);
    QVERIFY(!Grid()->isHidden());
    QCOMPARE(Rows(), QStringList{"1|OK |10|1|"});
    QCOMPARE(Panel("ProjBarPanel1"), QString("NONAME"));
    QVERIFY(Modified());
    QVERIFY(dialogs.shown.empty());
  }

  void newProjectAsksFirstWhenTheOldOneIsModified() {
    ScriptedDialogs dialogs;
    Main()->NPrjNewClick();
    Main()->NTabAddNewClick();
    dialogs.answers = {Answer::Cancel};
    Action("NPrjNew")->trigger();
    QCOMPARE(dialogs.Texts(), QStringList{"Сохранить проект?"});
    QCOMPARE(Grid()->rowCount(), 2);  // Cancel leaves the project as it is
  }

  // ---------------------------------------------------------------- control column

  // "OK " smooth, "OK*" rough, "-" does not convert, nothing for a gap;
  // levels and volumes show as typed. Writing needs every defined form to
  // convert, comparing does not.
  void controlColumnMarks_data() {
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("writable");
    QTest::newRow("rough, gap, smooth")
        << QString::fromStdString(Form("a", kRough) + "# gap\n" + Form("c"))
        << QStringList{"1|OK*|40|2001|a", "2||||gap", "3|OK |50|50|c"} << true;
    QTest::newRow("one does not convert")
        << QString::fromStdString(Form("a") + Form("b", kBroken) + Form("c", kRough))
        << QStringList{"1|OK |50|50|a", "2|-|30|30|b", "3|OK*|40|2001|c"} << false;
    QTest::newRow("volumes as typed")
        << QString::fromStdString(Form("a", "0 10 20") + Form("b", "0 1 007"))
        << QStringList{"1|OK |20|20|a", "2|OK |20|007|b"} << true;
  }
  void controlColumnMarks() {
    QFETCH(QString, body);
    QFETCH(QStringList, rows);
    QFETCH(bool, writable);
    SetForms(body.toStdString());
    QCOMPARE(Rows(), rows);
    QCOMPARE(Grid()->currentRow(), 0);
    QCOMPARE(Enabled("NStrWrite"), writable);
    QCOMPARE(Enabled("StrWriteButton"), writable);
    QVERIFY(Enabled("NStrCompare"));
  }

  // ---------------------------------------------------------------- table commands

  // Delete asks first; a copied form is pasted before the selection.
  void deleteAsksFirstAndPasteGoesBeforeTheSelection() {
    ScriptedDialogs dialogs;
    SetForms(Form("a") + Form("b") + Form("c"));
    Trigger("NTabCopy", 1);
    dialogs.answers = {Answer::Cancel, Answer::Ok};
    Trigger("NTabDelete", 1);
    QCOMPARE(Titles(), (QStringList{"a", "b", "c"}));
    QVERIFY(!Modified());
    Trigger("NTabDelete", 1);
    QCOMPARE(Titles(), (QStringList{"a", "c"}));
    QVERIFY(Modified());
    QCOMPARE(Grid()->currentRow(), 0);
    QCOMPARE(dialogs.Texts(), QStringList(2, "Удалить таблицу?"));
    QVERIFY(Action("NTabPaste")->isEnabled());
    Trigger("NTabPaste", 0);
    QCOMPARE(Titles(), (QStringList{"b", "a", "c"}));
  }

  // Any return to the main window (here from the about box) disables paste;
  // the clipboard stays.
  void returnFromAModalWindowDisablesPaste() {
    SetForms(Form("a") + Form("b"));
    Trigger("NTabCopy", 1);
    WhenModalIs<TAboutDlg>([](TAboutDlg* about) { about->accept(); });
    Trigger("NAbout");
    QVERIFY(!Action("NTabPaste")->isEnabled());
    QVERIFY(Main()->Project().ClipboardValid());
  }

  void insertsGoBeforeTheSelectionANewFormAfterTheLast() {
    SetForms(Form("a") + Form("b"));
    Trigger("NTabInsertEmpty", 1);
    Trigger("NTabInsert", 0);
    Trigger("NTabNew");
    QCOMPARE(Rows(TPrjForm::kLevelColumn), (QStringList{"10|1|", "50|50|a", "||", "50|50|b", "10|1|"}));
  }

  // The last form stays (the question is still asked); its cut only copies.
  void theLastFormStays() {
    ScriptedDialogs dialogs;
    SetForms(Form("only"));
    dialogs.answers = {Answer::Ok};
    Trigger("NTabDelete");
    QCOMPARE(dialogs.Texts(), QStringList{"Удалить таблицу?"});
    Trigger("NTabCut");
    QCOMPARE(Grid()->rowCount(), 1);
    QVERIFY(!Modified());
    QVERIFY(Action("NTabPaste")->isEnabled());
    QCOMPARE(Main()->Project().Clipboard().Title(), std::string("only"));
  }

  // ---------------------------------------------------------------- titles

  // Enter edits the row's title from any column; Escape discards what was
  // typed. The title is saved in the form file: a changed one is an edit.
  void keysEditTheTitle_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("modified");
    QTest::newRow("Enter, a new title") << "Резервуар №2" << true << true;
    QTest::newRow("Enter, the same title") << "b" << true << false;
    QTest::newRow("Escape") << "ignored" << false << false;
  }
  void keysEditTheTitle() {
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(bool, modified);
    SetForms(Form("a") + Form("b"));
    Grid()->setCurrentCell(1, 0);
    AnswerEditDlg(typed, accept);
    QTest::keyClick(Grid(), accept ? Qt::Key_Return : Qt::Key_Enter);
    QCOMPARE(Titles(), (QStringList{"a", accept ? typed : "b"}));
    QCOMPARE(Main()->Project().Form(1).Title(), tgx::FromQt(accept ? typed : "b"));
    QCOMPARE(Modified(), modified);
  }

  // The item view takes a double-click only after a press on the same cell.
  void doubleClickEditsOnlyTheTitle_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("title");
    QTest::newRow("title") << int(TPrjForm::kTitleColumn) << "x";
    QTest::newRow("level") << int(TPrjForm::kLevelColumn) << "b";
    QTest::newRow("control") << int(TPrjForm::kControlColumn) << "b";
  }
  void doubleClickEditsOnlyTheTitle() {
    QFETCH(int, column);
    QFETCH(QString, title);
    SetForms(Form("a") + Form("b"));
    AnswerEditDlg("x");
    const QPoint at = Grid()->visualItemRect(Grid()->item(1, column)).center();
    QTest::mousePress(Grid()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(Grid()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(Titles().at(1), title);
  }

  // ---------------------------------------------------------------- closing

  // The window stays, hidden, after a close: the next round asks again.
  void saveQuestionOnClose_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("giveFile");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Cancel stays") << int(Answer::Cancel) << false << false;
    QTest::newRow("Yes, save dialog cancelled, stays") << int(Answer::Yes) << false << false;
    QTest::newRow("No closes without saving") << int(Answer::No) << false << true;
    QTest::newRow("Yes saves and closes") << int(Answer::Yes) << true << true;
  }
  void saveQuestionOnClose() {
    QFETCH(int, answer);
    QFETCH(bool, giveFile);
    QFETCH(bool, closes);
    ScriptedDialogs dialogs;
    TempDir dir;
    const QString path = QString::fromStdString(dir.File("saved.fs"));
    QSignalSpy closed(Main(), &TPrjForm::Closed);
    Main()->NPrjNewClick();
    dialogs.answers = {Answer(answer)};
    dialogs.files = {giveFile ? path : QString()};
    QCOMPARE(Main()->close(), closes);
    QCOMPARE(closed.count(), int(closes));
    QCOMPARE(dialogs.Texts(), QStringList{"Сохранить проект?"});
    QCOMPARE(QFile::exists(path), giveFile);
  }

  void saveDialogProposesTheProjectNameAsAFormFile() {
    ScriptedDialogs dialogs;
    Main()->NPrjNewClick();
    Main()->ExportProject();
    const auto saves = dialogs.OfKind(ScriptedDialogs::Kind::SaveFile);
    QCOMPARE(saves.size(), size_t(1));
    QCOMPARE(QFileInfo(saves[0].fileName).fileName(), QString("NONAME.fs"));
    QVERIFY(saves[0].confirmOverwrite);
  }

  // ---------------------------------------------------------------- settings

  // Written at exit in its binary layout, read back at the next start.
  void configurationIsKeptAcrossARestart() {
    QFile::remove(QString::fromStdString(config_.File("tgx.cfg")));  // a longer old file would keep its tail
    Chanpar()->PortIndex = 2;
    Syspar()->SetKeyboardType(3);
    Syspar()->SetFormsFolderText("/srv/forms/");
    tgx::StopApplication();
    QFile f(QString::fromStdString(config_.File("tgx.cfg")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(bytes.size(), 28 + 11);
    QCOMPARE(bytes.mid(0, 8), QByteArray("\x03\x00\x00\x00tgx\x02", 8));
    QCOMPARE(bytes.mid(24, 12), QByteArray("/srv/forms/\x03"));
    Start();
    QCOMPARE(Chanpar()->PortIndex, 2);
    QCOMPARE(Syspar()->KeyboardType(), 3);
  }

  // ---------------------------------------------------------------- the toolkit's boxes

  // With no scripted service the toolkit's boxes show: the program's title,
  // plain text with its carriage returns as line breaks, one OK button. The
  // notice goes by the version id, a signed byte: below 4 nothing is said.
  void writeReportInTheToolkitsBox_data() {
    QTest::addColumn<int>("versionId");
    QTest::addColumn<QString>("notice");  // "" for no box
    const QString cycle = "Внимание !\nЧтобы записанный проект стал активным,\nнеобходимо переключить питание системы";
    const QString restart = "Выполняется перезагрузка системы";
    QTest::newRow("200 is -56") << 200 << "";
    QTest::newRow("3") << 3 << "";
    QTest::newRow("4") << 4 << cycle;
    QTest::newRow("10") << 10 << restart;
  }
  void writeReportInTheToolkitsBox() {
    QFETCH(int, versionId);
    QFETCH(QString, notice);
    QString seen;
    WhenModalIs<QMessageBox>([&seen](QMessageBox* box) {
      seen = QString("%1 %2 ").arg(box->standardButtons().toInt()).arg(box->textFormat() == Qt::PlainText) +
             box->windowTitle() + "|" + box->text();
      QTest::keyClick(box, Qt::Key_Escape);
    });
    Main()->ReportWriteResult(uint8_t(versionId), "<b>Таблицы</b> удалены.");
    StopWatching();  // where no box came
    const QString box = QString::number(QMessageBox::Ok) + " 1 " + tgx::AppTitle() + "|<b>Таблицы</b> удалены.\n";
    QCOMPARE(seen, notice.isEmpty() ? QString() : box + notice);
  }

  // ---------------------------------------------------------------- the dialogs it is given

  // A main window built alone, without the program's start: the commands
  // whose dialogs it was not given do nothing, and a title edit runs the
  // cell editor it was handed.
  void commandsUseOnlyTheDialogsGiven() {
    tgx::StopApplication();
    ScriptedDialogs dialogs;
    TPrjForm form(false);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.NPrjNewClick();
    form.LockTimer()->stop();
    form.NStrReadClick();
    form.NTabEditClick();
    form.EditTitle();
    QVERIFY(form.isVisible());
    QVERIFY(!form.LockTimer()->isActive());  // no session ran
    QCOMPARE(form.Project().Form(0).Title(), std::string());
    QVERIFY(dialogs.shown.empty());

    TEditDlg editor;
    form.SetWindows({&editor, nullptr, nullptr, nullptr});
    QWidget* ran = nullptr;
    WhenModal([&ran, &editor](QWidget* w) {
      ran = w;
      editor.SetText("t");
      editor.Accept();
      return true;
    });
    form.EditTitle();
    QCOMPARE(ran, static_cast<QWidget*>(&editor));
    QCOMPARE(form.Project().Form(0).Title(), std::string("t"));
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TestMainWindow)
#include "tst_mainwindow.moc"
