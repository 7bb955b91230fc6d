// The main window driven through its real widgets: enable states, the grid
// and its control column, the table commands, title editing, the windows it
// opens, the save question, the toolkit's boxes and the settings kept at exit.

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>

#include "app/Appinfo.h"
#include "app/Fabout.h"
#include "app/Fchancfg.h"
#include "app/Feditdlg.h"
#include "app/core/Syscfg.h"
#include "editor/Fedittab.h"
#include "model/Cp1251.h"
#include "panel/Fbik.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"

using namespace tgx::test;
using Answer = tgx::DialogService::Answer;
using Kind = ScriptedDialogs::Kind;

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
QString Cell(int row, int column = TPrjForm::kTitleColumn) {
  return Grid()->item(row, column) ? Grid()->item(row, column)->text() : QString();
}
QStringList Column(int column = TPrjForm::kTitleColumn) {
  QStringList out;
  for (int r = 0; r < Grid()->rowCount(); ++r) out << Cell(r, column);
  return out;
}

// Answers the in-place title editor with a text, or with Escape.
void AnswerEditDlg(const QString& text, bool accept = true) {
  WhenModalIs<TEditDlg>([text, accept](TEditDlg* dlg) {
    if (!accept) return dlg->reject();
    dlg->SetText(text);
    dlg->Accept();
  });
}

// The item view takes a double-click only after a press on the same cell.
void DoubleClick(int row, int column) {
  const QPoint at = Grid()->visualItemRect(Grid()->item(row, column)).center();
  QTest::mousePress(Grid()->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseRelease(Grid()->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

  QTemporaryDir config_;

 private slots:
  void initTestCase() { qputenv("TGX_CONFIG_DIR", config_.path().toUtf8()); }
  void init() {
    QFile::remove(config_.filePath("tgx.cfg"));
    Start();
  }
  void cleanup() {
    StopWatching();
    tgx::StopApplication();
  }

  // No explicit activation here: the first showing alone must set the
  // caption and the enable states.
  void startsWithNoProject() {
    QVERIFY(Grid()->isHidden());
    const TAppInfo info;
    QCOMPARE(PrjForm->windowTitle(), U("Тирель-Сервис. Градуировочные таблицы  (%1.%2.%3.%4 )")
                                         .arg(info.Major()).arg(info.Minor()).arg(info.Release()).arg(info.Build()));
    QCOMPARE(PrjForm->size(), QSize(404, 477));
    QVERIFY(PrjForm->minimumSize() == PrjForm->maximumSize() && !(PrjForm->windowFlags() & Qt::WindowMaximizeButtonHint));
    for (const char* name : {"NPrjNew", "NFormRead", "NStrRead", "NStrClear", "SpeedButton1", "ImportButton",
                             "StrReadButton", "NBiButton"})
      QVERIFY2(Enabled(name), name);
    for (const char* name : {"NFormWrite", "NStrWrite", "NStrCompare", "NTabPaste", "TabEditButton",
                             "StrWriteButton", "ExportButton", "ReportButton"})
      QVERIFY2(!Enabled(name), name);
    QVERIFY(!PrjForm->findChild<QMenu*>("NTab")->menuAction()->isEnabled());
    QVERIFY(Button("ReportButton")->isHidden() && !Action("NReport")->isVisible());
  }

  void newProjectGivesOneConvertingRow() {
    ScriptedDialogs dialogs;
    QTest::mouseClick(Button("SpeedButton1"), Qt::LeftButton);
    QVERIFY(!Grid()->isHidden() && Grid()->rowCount() == 1);
    QCOMPARE((QStringList{Cell(0, 0), Cell(0, 1), Cell(0, 2), Cell(0, 3), Cell(0, 4)}),
             (QStringList{"1", "OK ", "10", "1", ""}));
    QVERIFY(Enabled("NStrWrite") && Enabled("StrWriteButton") && Enabled("TabEditButton"));
    QCOMPARE(Panel("ProjBarPanel1"), QString("NONAME"));
    QVERIFY(Modified() && dialogs.shown.empty());

    // A second "Новый" asks first; Cancel leaves the project as it is.
    PrjForm->NTabAddNewClick();
    Action("NPrjNew")->trigger();
    QCOMPARE(dialogs.Texts(), QStringList{U("Сохранить проект?")});
    QCOMPARE(Grid()->rowCount(), 2);
  }

  void controlColumnMarksEachForm_data() {
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("marks");
    QTest::addColumn<QStringList>("lasts");  // last level and volume as shown
    QTest::addColumn<bool>("writable");
    auto row = [](const char* name, const std::string& body, QStringList marks, QStringList lasts, bool writable) {
      QTest::newRow(name) << QString::fromStdString(body) << marks << lasts << writable;
    };
    row("all smooth", Form("a") + Form("b"), {"OK ", "OK "}, {"50 50", "50 50"}, true);
    row("rough and gap do not block", Form("a", kRough) + "# gap\n" + Form("c"), {"OK*", "", "OK "},
        {"40 2001", " ", "50 50"}, true);
    row("third does not convert", Form("a") + Form("b") + Form("c", kBroken) + Form("d", kRough),
        {"OK ", "OK ", "-", "OK*"}, {"50 50", "50 50", "30 30", "40 2001"}, false);
    row("volumes as typed", Form("a", "0 10 20") + Form("b", "0 1 007"), {"OK ", "OK "}, {"20 20", "20 007"}, true);
  }
  void controlColumnMarksEachForm() {
    QFETCH(QString, body);
    QFETCH(QStringList, marks);
    QFETCH(QStringList, lasts);
    QFETCH(bool, writable);
    SetForms(body.toStdString());
    QCOMPARE(Column(TPrjForm::kControlColumn), marks);
    for (int r = 0; r < Grid()->rowCount(); ++r) {
      QCOMPARE(Cell(r, TPrjForm::kChannelColumn), QString::number(r + 1));
      QCOMPARE(Cell(r, TPrjForm::kLevelColumn) + " " + Cell(r, TPrjForm::kVolumeColumn), lasts[r]);
    }
    QCOMPARE(Enabled("NStrWrite"), writable);
    QCOMPARE(Enabled("StrWriteButton"), writable);
    QVERIFY(Enabled("NStrCompare"));  // comparing needs no conversion of every form
    QCOMPARE(Grid()->currentRow(), 0);
  }

  // The table commands act on the selected form and put the selection back
  // on the first row; delete asks first; refused commands change nothing.
  void tableCommandsAndPasteEnableState() {
    ScriptedDialogs dialogs;
    SetForms(Form("a") + Form("b") + Form("c"));
    QAction* paste = Action("NTabPaste");
    QVERIFY(!paste->isEnabled());
    Trigger("NTabCopy", 1);
    QVERIFY(paste->isEnabled());
    dialogs.answers = {Answer::Cancel, Answer::Ok};
    Trigger("NTabDelete", 1);
    QVERIFY(Grid()->rowCount() == 3 && !Modified());
    Trigger("NTabDelete", 1);
    QVERIFY(Grid()->currentRow() == 0 && Modified());
    Trigger("NTabPaste");
    QCOMPARE(Column(), (QStringList{"b", "a", "c"}));

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
    QCOMPARE(Column() + Column(TPrjForm::kLevelColumn),
             (QStringList{"", "b", "", "a", "c", "", "10", "50", "", "50", "50", "10"}));

    // The last form stays (the question is still asked); its cut only copies.
    SetForms(Form("only"));
    dialogs.answers = {Answer::Ok};
    Trigger("NTabDelete");
    Trigger("NTabCut");
    QVERIFY(Grid()->rowCount() == 1 && !Modified() && paste->isEnabled());
    QCOMPARE(PrjForm->Project().Clipboard().Title(), std::string("only"));
    QCOMPARE(dialogs.Texts(), QStringList(3, U("Удалить таблицу?")));

    // Sixteen forms: nothing more goes in.
    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += Form("f");
    SetForms(sixteen);
    for (const char* name : {"NTabNew", "NTabInsert", "NTabInsertEmpty", "NTabPaste"}) {
      Trigger(name, 3);
      QVERIFY2(Grid()->rowCount() == 16 && !Modified() && Grid()->currentRow() == 0, name);
    }
  }

  void titleEditingDoesNotMarkModified() {
    ScriptedDialogs dialogs;
    SetForms(Form("a") + Form("b"));
    Grid()->setCurrentCell(1, 0);  // Enter edits the row's title from any column
    AnswerEditDlg(U("Резервуар №2"));
    QTest::keyClick(Grid(), Qt::Key_Return);
    QCOMPARE(Cell(1), U("Резервуар №2"));
    QCOMPARE(PrjForm->Project().Form(1).Title(), tgx::FromUtf8("Резервуар №2"));
    QVERIFY(!Modified());

    // Escape discards what was typed.
    Grid()->setCurrentCell(0, 4);
    AnswerEditDlg(U("ignored"), false);
    QTest::keyClick(Grid(), Qt::Key_Enter);
    QCOMPARE(Cell(0), QString("a"));

    // A double-click edits only in the title column.
    AnswerEditDlg(U("x"));
    DoubleClick(1, TPrjForm::kLevelColumn);
    QTest::qWait(100);
    QCOMPARE(Cell(1), U("Резервуар №2"));
    DoubleClick(1, TPrjForm::kTitleColumn);
    QCOMPARE(Cell(1), QString("x"));

    QVERIFY(PrjForm->close() && dialogs.Texts().isEmpty());  // no question at exit for a title edit only
  }

  void otherWindowsOpenFromTheirCommands() {
    // The table editor works on a copy while the main window is hidden;
    // only a real edit marks the project.
    ScriptedDialogs dialogs;
    SetForms(Form("a") + Form("b"));
    for (bool edit : {false, true}) {
      bool hidden = false;
      WhenModalIs<TEditTabForm>([&](TEditTabForm* editor) {
        hidden = !PrjForm->isVisible();
        if (edit) editor->SNewButtonClick();
        editor->accept();
      });
      QTest::mouseClick(Button("TabEditButton"), Qt::LeftButton);
      QVERIFY(hidden && PrjForm->isVisible());
      QCOMPARE(Modified(), edit);
    }
    QCOMPARE(PrjForm->Project().Form(0).RowCount(), 7);

    // The channel window's run is followed by a save, whatever was done.
    qputenv("TGX_COM1", QDir::temp().filePath("tgx-no-such-port").toUtf8());
    WhenModalIs<TChanCfgForm>([](TChanCfgForm* form) { form->reject(); });
    Action("NChan")->trigger();
    QVERIFY(QFile::exists(config_.filePath("tgx.cfg")));

    // The remote panel gets the port and the keyboard type and gives the type back.
    Chanpar()->PortIndex = 0;
    Syspar()->SetKeyboardType(1);
    int given = 0;
    WhenModalIs<TBikForm>([&](TBikForm* panel) {
      given = panel->KeyboardType();
      panel->SetKeyboardType(2);
      panel->reject();
    });
    QTest::mouseClick(Button("NBiButton"), Qt::LeftButton);
    QVERIFY(given == 1 && Syspar()->KeyboardType() == 2);
    qunsetenv("TGX_COM1");
  }

  void saveQuestionOnClose_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("giveFile");
    QTest::addColumn<bool>("closes");
    QTest::newRow("cancel") << int(Answer::Cancel) << false << false;
    QTest::newRow("yes, save cancelled") << int(Answer::Yes) << false << false;
    QTest::newRow("yes, saved") << int(Answer::Yes) << true << true;
    QTest::newRow("no") << int(Answer::No) << false << true;
  }
  void saveQuestionOnClose() {
    QFETCH(int, answer);
    QFETCH(bool, giveFile);
    QFETCH(bool, closes);
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QString path = dir.filePath("saved.fs");
    dialogs.answers = {Answer(answer)};
    dialogs.files = {giveFile ? path : QString()};
    PrjForm->NPrjNewClick();
    QSignalSpy closed(PrjForm, &TPrjForm::Closed);
    QCOMPARE(PrjForm->close(), closes);
    QCOMPARE(closed.count(), int(closes));
    QCOMPARE(dialogs.Texts(), QStringList{U("Сохранить проект?")});
    QCOMPARE(QFile::exists(path), giveFile);
    const auto saves = dialogs.OfKind(Kind::SaveFile);
    QCOMPARE(saves.size(), size_t(Answer(answer) == Answer::Yes));
    for (const auto& s : saves) QVERIFY(s.fileName == "NONAME.fs" && s.confirmOverwrite);
  }

  // The version id is a signed byte: below 4 nothing is said.
  void writeReportByVersion_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("notice");
    const QString cycle = U("\rВнимание !\nЧтобы записанный проект стал активным,\nнеобходимо переключить питание системы");
    for (int id : {-56, 3}) QTest::addRow("%d", id) << id << QString();
    for (int id : {4, 9}) QTest::addRow("%d", id) << id << cycle;
    for (int id : {10, 127}) QTest::addRow("%d", id) << id << U("\rВыполняется перезагрузка системы");
  }
  void writeReportByVersion() {
    QFETCH(int, id);
    QFETCH(QString, notice);
    ScriptedDialogs dialogs;
    PrjForm->ReportWriteResult(int8_t(id), U("Таблицы удалены."));
    QCOMPARE(dialogs.Texts(), notice.isEmpty() ? QStringList() : QStringList{U("Таблицы удалены.") + notice});
  }

  void configurationIsWrittenAtExit() {
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
  // plain text with its carriage returns as line breaks, the exact buttons.
  void qtBoxesCarryTheTitleAndTheirButtons() {
    using B = QMessageBox;
    const struct {
      int kind;  // 0 information, 1 yes/no/cancel, 2 ok/cancel
      B::StandardButton press;  // NoButton: Escape
      B::StandardButtons buttons;
      Answer answer;
    } cases[] = {{0, B::Ok, B::Ok, Answer::Ok},
                 {1, B::No, B::Yes | B::No | B::Cancel, Answer::No},
                 {1, B::NoButton, B::Yes | B::No | B::Cancel, Answer::Cancel},
                 {2, B::Ok, B::Ok | B::Cancel, Answer::Ok},
                 {2, B::NoButton, B::Ok | B::Cancel, Answer::Cancel}};
    tgx::DialogService& qt = tgx::Dialogs();
    const QString text = U("Таблицы удалены.\r<b>перезагрузка</b>");
    for (const auto& c : cases) {
      QString seen;
      WhenModalIs<B>([&](B* box) {
        seen = box->windowTitle() + "|" + box->text() + "|" + QString::number(box->standardButtons().toInt());
        QCOMPARE(box->textFormat(), Qt::PlainText);
        c.press == B::NoButton ? QTest::keyClick(box, Qt::Key_Escape) : box->button(c.press)->click();
      });
      const Answer answer = c.kind == 0   ? (qt.Inform(PrjForm, text), Answer::Ok)
                            : c.kind == 1 ? qt.AskYesNoCancel(PrjForm, text)
                                          : qt.AskOkCancel(PrjForm, text);
      QCOMPARE(answer, c.answer);
      QCOMPARE(seen, tgx::AppTitle() + U("|Таблицы удалены.\n<b>перезагрузка</b>|") + QString::number(c.buttons.toInt()));
    }
  }

  void onlyAnExactFirstArgumentIsTestMode() {
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"-t"}, true}, {{"-T"}, false}, {{"-t1"}, false}, {{"t"}, false}, {{""}, false}, {{"x", "-t"}, false},
        {{}, false}};
    for (const auto& [args, test] : cases)
      QVERIFY2(WithArgs(args, tgx::IsTestModeArgument) == test, args.empty() ? "" : args.back().c_str());
  }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
