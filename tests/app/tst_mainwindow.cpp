// The main window driven through its real widgets: enable states, the grid
// and its control column, the table commands, title editing, the save
// question, the toolkit's box, the settings kept at exit and the dialogs it
// is given.

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
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

namespace tgxtest {
namespace {

using Answer = tgx::DialogService::Answer;

// A type 1 form body: volumes per centimetre.
std::string Form(const char* title, const char* volumes = "0 10 20 30 40 50") {
  return "# " + tgx::FromUtf8(title) + "\n| " + volumes + "\n";
}

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

// Answers the title editor with a text, or types it and leaves with Escape.
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
    qputenv("TGX_DATA_DIR", QByteArray::fromStdString(config_.Path().string()));  // a session's journal
  }
  void init() { Start(); }
  void cleanup() {
    StopWatching();
    tgx::StopApplication();
  }

  // The first showing alone sets the caption. Without a project the grid and
  // the table menu are hidden and only the commands that need none are
  // enabled; «Новый» (its tool button) gives one converting form, unsaved,
  // without a question.
  void withoutAProjectThenNew() {
    ScriptedDialogs dialogs;
    const TAppInfo info;
    QCOMPARE(Main()->windowTitle(), QString("Тирель-Сервис. Градуировочные таблицы  (%1.%2.%3.%4 )")
                                        .arg(info.Major()).arg(info.Minor()).arg(info.Release()).arg(info.Build()));
    QVERIFY(Grid()->isHidden());
    QVERIFY(!Main()->findChild<QMenu*>("NTab")->menuAction()->isEnabled());
    for (const char* name : {"NPrjNew", "NFormRead", "NStrRead", "NStrClear", "SpeedButton1", "ImportButton",
                             "StrReadButton", "NBiButton"})
      QVERIFY2(Enabled(name), name);
    const char* needAForm[] = {"NStrWrite", "NStrCompare", "TabEditButton", "StrWriteButton", "ExportButton"};
    for (const char* name : needAForm) QVERIFY2(!Enabled(name), name);
    for (const char* name : {"NFormWrite", "NTabPaste", "ReportButton", "NExportCsv"}) QVERIFY2(!Enabled(name), name);
    QVERIFY(!Button("ReportButton")->isHidden());
    QTest::mouseClick(Button("SpeedButton1"), Qt::LeftButton);
    for (const char* name : needAForm) QVERIFY2(Enabled(name), name);
    QVERIFY(!Grid()->isHidden());
    QCOMPARE(Rows(), QStringList{"1|OK |10|1|"});
    QCOMPARE(Panel("ProjBarPanel1"), QString("NONAME"));
    QVERIFY(Modified());
    QVERIFY(dialogs.shown.empty());
  }

  // Whatever the desktop's font, each column is at least as wide as its caption.
  void everyCaptionFitsItsColumn() {
    for (int c = 0; c < Grid()->columnCount() - 1; ++c) {
      const QString caption = Grid()->horizontalHeaderItem(c)->text();
      QVERIFY2(Grid()->horizontalHeader()->fontMetrics().horizontalAdvance(caption) < Grid()->columnWidth(c),
               qPrintable(caption));
    }
  }

  void newProjectAsksFirstWhenTheOldOneIsModified() {
    ScriptedDialogs dialogs;
    SetForms(Form("a") + Form("b"), true);
    dialogs.answers = {Answer::Cancel};
    Action("NPrjNew")->trigger();
    QCOMPARE(dialogs.Texts(), QStringList{"Сохранить проект?"});
    QCOMPARE(Titles(), (QStringList{"a", "b"}));
  }

  // The marks and the volumes as typed; writing needs every defined form to
  // convert, comparing does not.
  void controlColumnMarks() {
    const struct { std::string body; QStringList rows; bool writable; } cases[] = {
        {Form("a", "0 1 500 2000 2001") + "# gap\n" + Form("c", "0 1 007"),
         {"1|OK*|40|2001|a", "2||||gap", "3|OK |20|007|c"}, true},
        {Form("a") + Form("b", "0 10 99999999999 30"), {"1|OK |50|50|a", "2|-|30|30|b"}, false},
    };
    for (const auto& c : cases) {
      SetForms(c.body);
      QCOMPARE(Rows(), c.rows);
      QCOMPARE(Grid()->currentRow(), 0);
      QCOMPARE(Enabled("NStrWrite"), c.writable);
      QCOMPARE(Enabled("StrWriteButton"), c.writable);
      QVERIFY(Enabled("NStrCompare"));
    }
  }

  // Delete asks first; a copied form is pasted before the selection.
  void deleteAsksFirstAndPasteGoesBeforeTheSelection() {
    ScriptedDialogs dialogs;
    SetForms(Form("a") + Form("b") + Form("c"));
    Trigger("NTabCopy", 1);
    dialogs.answers = {Answer::Cancel, Answer::Ok};
    Trigger("NTabDelete", 1);
    QCOMPARE(Titles(), (QStringList{"a", "b", "c"}));
    Trigger("NTabDelete", 1);
    QCOMPARE(Titles(), (QStringList{"a", "c"}));
    QVERIFY(Modified());
    QCOMPARE(Grid()->currentRow(), 0);
    QCOMPARE(dialogs.Texts(), QStringList(2, "Удалить таблицу?"));
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

  // The last form stays; its cut only copies.
  void theLastFormStays() {
    ScriptedDialogs dialogs;
    SetForms(Form("only"));
    Trigger("NTabCut");
    QCOMPARE(Grid()->rowCount(), 1);
    QCOMPARE(Main()->Project().Clipboard().Title(), std::string("only"));
    QVERIFY(dialogs.shown.empty());
  }

  // Enter edits the row's title from any column, and a changed title is an
  // edit of the form file; Escape discards what was typed.
  void keysEditTheTitle() {
    for (bool accept : {true, false}) {
      SetForms(Form("a") + Form("b"));
      Grid()->setCurrentCell(1, 0);
      AnswerEditDlg("Резервуар №2", accept);
      QTest::keyClick(Grid(), accept ? Qt::Key_Return : Qt::Key_Enter);
      const QString title = accept ? "Резервуар №2" : "b";
      QCOMPARE(Titles().at(1), title);
      QCOMPARE(Main()->Project().Form(1).Title(), tgx::FromQt(title));
      QCOMPARE(Modified(), accept);
    }
  }

  // The item view takes a double-click only after a press on the same cell.
  void doubleClickEditsOnlyTheTitle() {
    for (int column : {TPrjForm::kLevelColumn, TPrjForm::kControlColumn, TPrjForm::kTitleColumn}) {
      SetForms(Form("a") + Form("b"));
      AnswerEditDlg("x");
      const QPoint at = Grid()->visualItemRect(Grid()->item(1, column)).center();
      QTest::mousePress(Grid()->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseRelease(Grid()->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, at);
      StopWatching();
      QCOMPARE(Titles().at(1), QString(column == TPrjForm::kTitleColumn ? "x" : "b"));
    }
  }

  void saveQuestionOnClose() {
    TempDir dir;
    const struct { const char* name; Answer answer; bool giveFile, closes; } rows[] = {
        {"Cancel stays", Answer::Cancel, false, false},
        {"Yes, the save dialog cancelled, stays", Answer::Yes, false, false},
        {"No closes without saving", Answer::No, false, true},
        {"Yes saves and closes", Answer::Yes, true, true},
    };
    for (const auto& row : rows) {
      ScriptedDialogs dialogs;
      const QString path = QString::fromStdString(dir.File(std::string(row.name) + ".fs"));
      QSignalSpy closed(Main(), &TPrjForm::Closed);
      SetForms(Form("a"), true);
      Main()->show();
      dialogs.answers = {row.answer};
      dialogs.files = {row.giveFile ? path : QString()};
      QVERIFY2(Main()->close() == row.closes, row.name);
      QVERIFY2(closed.count() == int(row.closes), row.name);
      QCOMPARE(dialogs.Texts(), QStringList{"Сохранить проект?"});
      QVERIFY2(QFile::exists(path) == row.giveFile, row.name);
    }
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

  // Written at exit, read back at the next start.
  void configurationIsKeptAcrossARestart() {
    Chanpar()->PortIndex = 2;
    Syspar()->SetKeyboardType(3);
    tgx::StopApplication();
    Start();
    QCOMPARE(Chanpar()->PortIndex, 2);
    QCOMPARE(Syspar()->KeyboardType(), 3);
  }

  // With no scripted service the toolkit's box shows the notice of a version
  // id that has one: the program's title, plain text with the carriage return
  // as a line break, one OK button.
  void writeReportInTheToolkitsBox() {
    for (int versionId : {3, 4}) {
      QString seen;
      WhenModalIs<QMessageBox>([&seen](QMessageBox* box) {
        seen = QString("%1 %2 ").arg(box->standardButtons().toInt()).arg(box->textFormat() == Qt::PlainText) +
               box->windowTitle() + "|" + box->text();
        QTest::keyClick(box, Qt::Key_Escape);
      });
      Main()->ReportWriteResult(uint8_t(versionId), "<b>Таблицы</b> удалены.");
      StopWatching();  // where no box came
      QCOMPARE(seen, versionId == 3 ? QString()
                                    : QString::number(QMessageBox::Ok) + " 1 " + tgx::AppTitle() +
                                          "|<b>Таблицы</b> удалены.\nВнимание !\nЧтобы записанный проект стал "
                                          "активным,\nнеобходимо переключить питание системы");
    }
  }

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
