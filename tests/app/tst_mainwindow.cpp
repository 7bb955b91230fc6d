// The main window driven through its real widgets: enable states, the grid
// and its control column, the table commands, title editing, the save
// question and the settings kept at exit.

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QSignalSpy>
#include <QToolButton>

#include "app/Appinfo.h"
#include "app/Fabout.h"
#include "app/Qtext.h"
#include "app/core/Syscfg.h"
#include "editor/Feditdlg.h"
#include "forms/Readback.h"
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
  // the table menu are hidden and the commands that need a form are
  // disabled; «Новый» (its tool button) gives one converting form, unsaved,
  // without a question, and asks first the next time.
  void withoutAProjectThenNew() {
    ScriptedDialogs dialogs;
    const TAppInfo info;
    QCOMPARE(Main()->windowTitle(), QString("Тирель-Сервис. Градуировочные таблицы  (%1.%2.%3.%4 )")
                                        .arg(info.Major()).arg(info.Minor()).arg(info.Release()).arg(info.Build()));
    QVERIFY(Grid()->isHidden());
    QVERIFY(!Main()->findChild<QMenu*>("NTab")->menuAction()->isEnabled());
    const char* needAForm[] = {"NStrWrite", "NStrCompare", "TabEditButton", "StrWriteButton", "ExportButton"};
    for (const char* name : needAForm) QVERIFY2(!Enabled(name), name);
    for (const char* name : {"NFormWrite", "NTabPaste", "ReportButton", "NExportCsv"}) QVERIFY2(!Enabled(name), name);
    QTest::mouseClick(Button("SpeedButton1"), Qt::LeftButton);
    for (const char* name : needAForm) QVERIFY2(Enabled(name), name);
    QVERIFY(!Grid()->isHidden());
    QCOMPARE(Rows(), QStringList{"1|OK |10|1|"});
    QCOMPARE(Panel("ProjBarPanel1"), QString("NONAME"));
    QVERIFY(Main()->Project().Modified());
    QVERIFY(dialogs.shown.empty());
    Main()->NTabAddNewClick();
    Action("NPrjNew")->trigger();  // answered Cancel: the project stays
    QCOMPARE(dialogs.Texts(), QStringList{"Сохранить проект?"});
    QCOMPARE(Grid()->rowCount(), 2);
  }

  // The marks and the volumes as typed; a form that does not convert blocks
  // the write, not the compare, and its title's tooltip says why.
  void controlColumnMarks() {
    SetForms(Form("a", "0 1 500 2000 2001") + "# gap\n" + Form("c", "0 1 007") + Form("d", "0 10 99999999999 30"));
    QCOMPARE(Rows(), (QStringList{"1|OK*|40|2001|a", "2||||gap", "3|OK |20|007|c", "4|-|30|30|d"}));
    QCOMPARE(Grid()->currentRow(), 0);
    QVERIFY(!Enabled("NStrWrite"));
    QVERIFY(!Enabled("StrWriteButton"));
    QVERIFY(Enabled("NStrCompare"));
    QCOMPARE(Grid()->item(3, TPrjForm::kTitleColumn)->toolTip(), tgx::ToQt(ConversionFailureText(Main()->Project().Form(3))));
  }

  // Delete asks first; a copied form is pasted before the selection, the
  // inserts too, a new form after the last; any return to the main window
  // (here from the about box) disables paste, the clipboard staying.
  void tableCommands() {
    ScriptedDialogs dialogs;
    SetForms(Form("a") + Form("b") + Form("c"));
    Trigger("NTabCopy", 1);
    dialogs.answers = {Answer::Cancel, Answer::Ok};
    Trigger("NTabDelete", 1);
    QCOMPARE(Titles(), (QStringList{"a", "b", "c"}));
    Trigger("NTabDelete", 1);
    QCOMPARE(Titles(), (QStringList{"a", "c"}));
    QCOMPARE(Grid()->currentRow(), 0);
    QCOMPARE(dialogs.Texts(), QStringList(2, "Удалить таблицу?"));
    Trigger("NTabPaste", 0);
    QCOMPARE(Titles(), (QStringList{"b", "a", "c"}));
    Trigger("NTabInsertEmpty", 1);
    Trigger("NTabInsert", 0);
    Trigger("NTabNew");
    QCOMPARE(Rows(TPrjForm::kLevelColumn), (QStringList{"10|1|", "50|50|b", "||", "50|50|a", "50|50|c", "10|1|"}));
    WhenModalIs<TAboutDlg>([](TAboutDlg* about) { about->accept(); });
    Trigger("NAbout");
    QVERIFY(!Action("NTabPaste")->isEnabled());
    QVERIFY(Main()->Project().ClipboardValid());
  }

  // Enter edits the row's title from any column, a double-click only on the
  // title (the view takes it after a press on the same cell); a changed title
  // is an edit of the form file.
  // Whatever the desktop's font, each column is at least as wide as its caption.
  void everyCaptionFitsItsColumn() {
    for (int c = 0; c < Grid()->columnCount() - 1; ++c) {
      const QString caption = Grid()->horizontalHeaderItem(c)->text();
      QVERIFY2(Grid()->horizontalHeader()->fontMetrics().horizontalAdvance(caption) < Grid()->columnWidth(c),
               qPrintable(caption));
    }
  }

  void editTheTitle() {
    const struct { const char* name; int column; bool key, edits; } rows[] = {
        {"Enter", TPrjForm::kControlColumn, true, true},
        {"double-click on the title", TPrjForm::kTitleColumn, false, true},
        {"double-click on the level", TPrjForm::kLevelColumn, false, false},
    };
    for (const auto& row : rows) {
      SetForms(Form("a") + Form("b"));
      WhenModalIs<TEditDlg>([](TEditDlg* dlg) {
        dlg->SetText("Резервуар №2");
        dlg->Accept();
      });
      const QPoint at = Grid()->visualItemRect(Grid()->item(1, row.column)).center();
      QTest::mousePress(Grid()->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseRelease(Grid()->viewport(), Qt::LeftButton, {}, at);
      if (row.key) QTest::keyClick(Grid(), Qt::Key_Enter);
      else QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, at);
      StopWatching();
      const QString title = row.edits ? "Резервуар №2" : "b";
      QVERIFY2(Titles().at(1) == title, row.name);
      QVERIFY2(Main()->Project().Form(1).Title() == tgx::FromQt(title), row.name);
      QVERIFY2(Main()->Project().Modified() == row.edits, row.name);
    }
  }

  // The save dialog proposes the project's name as a form file.
  void saveQuestionOnClose() {
    TempDir dir;
    const struct { const char* name; Answer answer; bool giveFile, closes; } rows[] = {
        {"Cancel stays", Answer::Cancel, false, false},
        {"No closes without saving", Answer::No, false, true},
        {"Yes saves and closes", Answer::Yes, true, true},
    };
    for (const auto& row : rows) {
      ScriptedDialogs dialogs;
      const QString path = QString::fromStdString(dir.File(std::string(row.name) + ".fs"));
      QSignalSpy closed(Main(), &TPrjForm::Closed);
      Main()->Project().Reset();  // no question before the new project
      Main()->NPrjNewClick();
      Main()->show();
      dialogs.answers = {row.answer};
      dialogs.files = {row.giveFile ? path : QString()};
      QVERIFY2(Main()->close() == row.closes, row.name);
      QVERIFY2(closed.count() == int(row.closes), row.name);
      QCOMPARE(dialogs.Texts(), QStringList{"Сохранить проект?"});
      QVERIFY2(QFile::exists(path) == row.giveFile, row.name);
      if (row.answer != Answer::Yes) continue;
      const auto save = dialogs.OfKind(ScriptedDialogs::Kind::SaveFile).at(0);
      QCOMPARE(QFileInfo(save.fileName).fileName(), QString("NONAME.fs"));
      QVERIFY(save.confirmOverwrite);
    }
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
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TestMainWindow)
#include "tst_mainwindow.moc"
