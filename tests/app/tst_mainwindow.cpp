// The main window driven through its real widgets: enable states, the grid
// and its control column, the table commands, title editing, the save
// question, the toolkit's boxes and the settings kept at exit.

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>

#include "app/Appinfo.h"
#include "app/Fabout.h"
#include "app/Feditdlg.h"
#include "app/core/Syscfg.h"
#include "model/Cp1251.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"

using namespace tgx::test;
using Answer = tgx::DialogService::Answer;

namespace {

// A type 1 form body: volumes per centimetre.
std::string Form(const char* title, const char* volumes = "0 10 20 30 40 50") {
  return "# " + tgx::FromUtf8(title) + "\n| " + volumes + "\n";
}
const char* kRough = "0 1 500 2000 2001";     // second differences far beyond a byte
const char* kBroken = "0 10 99999999999 30";  // a volume beyond 32 bits does not convert

QAction* Action(const char* name) { return PrjForm->findChild<QAction*>(name); }
QToolButton* Button(const char* name) { return PrjForm->findChild<QToolButton*>(name); }
bool Enabled(const char* name) { return Action(name) ? Action(name)->isEnabled() : Button(name)->isEnabled(); }
bool Modified() { return PrjForm->Project().Modified(); }
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

  QTemporaryDir config_;

 private slots:
  void initTestCase() { qputenv("TGX_CONFIG_DIR", config_.path().toUtf8()); }
  void init() { Start(); }
  void cleanup() {
    StopWatching();
    tgx::StopApplication();
  }

  // No explicit activation here: the first showing alone must set the
  // caption and the enable states. Then a new project, then forms of every
  // kind in the control column.
  void startsWithNoProjectThenNewProjectAndMarks() {
    ScriptedDialogs dialogs;
    QVERIFY(Grid()->isHidden());
    const TAppInfo info;
    QCOMPARE(PrjForm->windowTitle(), U("Тирель-Сервис. Градуировочные таблицы  (%1.%2.%3.%4 )")
                                         .arg(info.Major()).arg(info.Minor()).arg(info.Release()).arg(info.Build()));
    QVERIFY(PrjForm->minimumSize() == PrjForm->maximumSize());
    QVERIFY(!(PrjForm->windowFlags() & Qt::WindowMaximizeButtonHint));
    for (const char* name : {"NPrjNew", "NFormRead", "NStrRead", "NStrClear", "SpeedButton1", "ImportButton",
                             "StrReadButton", "NBiButton", "-NFormWrite", "-NStrWrite", "-NStrCompare", "-NTabPaste",
                             "-TabEditButton", "-StrWriteButton", "-ExportButton", "-ReportButton"})
      QVERIFY2(Enabled(name + (*name == '-')) == (*name != '-'), name);  // "-": disabled
    QVERIFY(!PrjForm->findChild<QMenu*>("NTab")->menuAction()->isEnabled());
    QVERIFY(Button("ReportButton")->isHidden() && !Action("NReport")->isVisible());

    // "Новый" gives one converting form, unsaved, without a question.
    QTest::mouseClick(Button("SpeedButton1"), Qt::LeftButton);
    QVERIFY(!Grid()->isHidden());
    QCOMPARE(Rows(), QStringList{"1|OK |10|1|"});
    QVERIFY(Enabled("NStrWrite") && Enabled("StrWriteButton") && Enabled("TabEditButton"));
    QCOMPARE(Panel("ProjBarPanel1"), QString("NONAME"));
    QVERIFY(Modified() && dialogs.shown.empty());
    // A second "Новый" asks first; Cancel leaves the project as it is.
    PrjForm->NTabAddNewClick();
    Action("NPrjNew")->trigger();
    QCOMPARE(dialogs.Texts(), QStringList{U("Сохранить проект?")});
    QCOMPARE(Grid()->rowCount(), 2);

    // Marks: "OK " smooth, "OK*" rough, "-" does not convert (and alone
    // blocks writing, also when later forms are fine), nothing for a gap.
    // Volumes show as typed.
    const struct {
      std::string body;
      QStringList rows;
      bool writable;
    } cases[] = {
        {Form("a", kRough) + "# gap\n" + Form("c"), {"1|OK*|40|2001|a", "2||||gap", "3|OK |50|50|c"}, true},
        {Form("a") + Form("b", kBroken) + Form("c", kRough), {"1|OK |50|50|a", "2|-|30|30|b", "3|OK*|40|2001|c"},
         false},
        {Form("a", "0 10 20") + Form("b", "0 1 007"), {"1|OK |20|20|a", "2|OK |20|007|b"}, true}};
    for (const auto& c : cases) {
      SetForms(c.body);
      QCOMPARE(Rows(), c.rows);
      QVERIFY(Enabled("NStrWrite") == c.writable && Enabled("StrWriteButton") == c.writable);
      QVERIFY(Enabled("NStrCompare") && Grid()->currentRow() == 0);  // comparing needs no conversion of every form
    }
  }

  // The table commands act on the selected form and put the selection back
  // on the first row; delete asks first; refused commands change nothing.
  // Then title editing, which never marks the project.
  void tableCommandsAndTitleEditing() {
    ScriptedDialogs dialogs;
    SetForms(Form("a") + Form("b") + Form("c"));
    QAction* paste = Action("NTabPaste");
    Trigger("NTabCopy", 1);
    QVERIFY(paste->isEnabled());
    dialogs.answers = {Answer::Cancel, Answer::Ok};
    Trigger("NTabDelete", 1);
    QVERIFY(Grid()->rowCount() == 3 && !Modified());
    Trigger("NTabDelete", 1);
    QVERIFY(Grid()->currentRow() == 0 && Modified());
    Trigger("NTabPaste");
    QCOMPARE(Rows(TPrjForm::kTitleColumn), (QStringList{"b", "a", "c"}));

    // Any return to the main window (here from the about box) disables
    // paste; the clipboard stays.
    QVERIFY(paste->isEnabled());
    WhenModalIs<TAboutDlg>([](TAboutDlg* about) { about->accept(); });
    Trigger("NAbout");
    QVERIFY(!paste->isEnabled() && PrjForm->Project().ClipboardValid());

    // Inserts go before the selected form, a new form after the last.
    Trigger("NTabInsertEmpty", 1);
    Trigger("NTabInsert", 0);
    Trigger("NTabNew");
    QCOMPARE(Rows(TPrjForm::kLevelColumn), (QStringList{"10|1|", "50|50|b", "||", "50|50|a", "50|50|c", "10|1|"}));

    // The last form stays (the question is still asked); its cut only copies.
    SetForms(Form("only"));
    dialogs.answers = {Answer::Ok};
    Trigger("NTabDelete");
    Trigger("NTabCut");
    QVERIFY(Grid()->rowCount() == 1 && !Modified() && paste->isEnabled());
    QCOMPARE(PrjForm->Project().Clipboard().Title(), std::string("only"));

    // Sixteen forms: nothing more goes in.
    SetForms(QString::fromStdString(Form("f")).repeated(16).toStdString());
    for (const char* name : {"NTabNew", "NTabInsert", "NTabInsertEmpty", "NTabPaste"}) {
      Trigger(name, 3);
      QVERIFY2(Grid()->rowCount() == 16 && !Modified() && Grid()->currentRow() == 0, name);
    }

    SetForms(Form("a") + Form("b"));
    const QString tank = U("Резервуар №2");
    Grid()->setCurrentCell(1, 0);  // Enter edits the row's title from any column
    AnswerEditDlg(tank);
    QTest::keyClick(Grid(), Qt::Key_Return);
    QCOMPARE(PrjForm->Project().Form(1).Title(), tgx::FromUtf8("Резервуар №2"));
    QVERIFY(!Modified());
    Grid()->setCurrentCell(0, 4);  // Escape discards what was typed
    AnswerEditDlg(U("ignored"), false);
    QTest::keyClick(Grid(), Qt::Key_Enter);
    QCOMPARE(Rows(TPrjForm::kTitleColumn), (QStringList{"a", tank}));

    // A double-click edits only in the title column; the item view takes it
    // only after a press on the same cell.
    AnswerEditDlg(U("x"));
    for (int column : {TPrjForm::kLevelColumn, TPrjForm::kTitleColumn}) {
      const QPoint at = Grid()->visualItemRect(Grid()->item(1, column)).center();
      QTest::mousePress(Grid()->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseRelease(Grid()->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, at);
      if (column != TPrjForm::kTitleColumn) QTest::qWait(100);
      QCOMPARE(Rows(TPrjForm::kTitleColumn).at(1), column == TPrjForm::kTitleColumn ? QString("x") : tank);
    }
    QVERIFY(PrjForm->close());  // no question at exit for a title edit only
    QCOMPARE(dialogs.Texts(), QStringList(3, U("Удалить таблицу?")));
  }

  // The window stays, hidden, after a close: the next round asks again.
  void saveQuestionOnClose() {
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QString path = dir.filePath("saved.fs");
    QSignalSpy closed(PrjForm, &TPrjForm::Closed);
    PrjForm->NPrjNewClick();
    const struct { Answer answer; bool giveFile, closes; } cases[] = {{Answer::Cancel, false, false},
        {Answer::Yes, false, false}, {Answer::No, false, true}, {Answer::Yes, true, true}};
    for (const auto& c : cases) {
      PrjForm->show();  // a closed window takes no close event
      dialogs.Clear();
      dialogs.answers = {c.answer};
      dialogs.files = {c.giveFile ? path : QString()};
      closed.clear();
      QCOMPARE(PrjForm->close(), c.closes);
      QVERIFY2(closed.count() == int(c.closes), qPrintable(QString::number(&c - cases)));
      QCOMPARE(dialogs.Texts(), QStringList{U("Сохранить проект?")});
      QCOMPARE(QFile::exists(path), c.giveFile);
      const auto saves = dialogs.OfKind(ScriptedDialogs::Kind::SaveFile);
      QCOMPARE(saves.size(), size_t(c.answer == Answer::Yes));
      for (const auto& s : saves) QVERIFY(s.fileName == "NONAME.fs" && s.confirmOverwrite);
    }
  }

  void configurationIsWrittenAtExit() {
    QFile::remove(config_.filePath("tgx.cfg"));  // a longer old file would keep its tail
    Chanpar()->PortIndex = 2;
    Syspar()->SetKeyboardType(3);
    Syspar()->SetFormsFolderText("/srv/forms/");
    tgx::StopApplication();
    QFile f(config_.filePath("tgx.cfg"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(bytes.size(), 28 + 11);
    QCOMPARE(bytes.mid(0, 8), QByteArray("\x03\x00\x00\x00tgx\x02", 8));
    QCOMPARE(bytes.mid(24, 12), QByteArray("/srv/forms/\x03"));
    Start();  // the next start reads them back
    QVERIFY(Chanpar()->PortIndex == 2 && Syspar()->KeyboardType() == 3);
  }

  // With no scripted service the toolkit's boxes show: the program's title,
  // plain text with its carriage returns as line breaks, the exact buttons;
  // Escape is Cancel. The write report's notice goes by the version id, a
  // signed byte: below 4 nothing is said.
  void writeReportInTheToolkitsBoxes() {
    QStringList seen;
    const auto watch = [&seen] {
      WhenModalIs<QMessageBox>([&seen](QMessageBox* box) {
        seen << QString("%1 %2 ").arg(box->standardButtons().toInt()).arg(box->textFormat() == Qt::PlainText) +
                    box->windowTitle() + "|" + box->text();
        QTest::keyClick(box, Qt::Key_Escape);
      });
    };
    for (int id : {-56, 3, 4, 9, 10, 127}) {
      watch();
      PrjForm->ReportWriteResult(int8_t(id), U("<b>Таблицы</b> удалены."));
      StopWatching();  // where no box came
    }
    watch();
    QCOMPARE(tgx::Dialogs().AskYesNoCancel(PrjForm, "?"), Answer::Cancel);
    const QString ok = QString::number(QMessageBox::Ok) + " 1 " + tgx::AppTitle() + U("|<b>Таблицы</b> удалены.\n");
    const auto cycle = U("Внимание !\nЧтобы записанный проект стал активным,\nнеобходимо переключить питание системы");
    const int yesNoCancel = (QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel).toInt();
    QCOMPARE(seen, (QStringList{ok + cycle, ok + cycle, ok + U("Выполняется перезагрузка системы"),
                                ok + U("Выполняется перезагрузка системы"),
                                QString::number(yesNoCancel) + " 1 " + tgx::AppTitle() + "|?"}));
  }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"