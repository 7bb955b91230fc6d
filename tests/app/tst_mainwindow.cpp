// The main window driven through its real widgets: enable states, the grid
// and its control column, the table commands, title editing, the save
// question and the settings kept at exit.

#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/App.h"
#include "app/Appinfo.h"
#include "app/Fabout.h"
#include "app/Fchancfg.h"
#include "app/Feditdlg.h"
#include "app/Fimport.h"
#include "app/Forms.h"
#include "app/Fproj.h"
#include "app/core/Syscfg.h"
#include "editor/Fedittab.h"
#include "forms/Fdata.h"
#include "panel/Fbik.h"
#include "model/Cp1251.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"

using tgx::test::ScriptedDialogs;
using Answer = tgx::DialogService::Answer;
using Kind = ScriptedDialogs::Kind;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }
std::string W(const char* utf8) { return tgx::FromUtf8(utf8); }

// A type 1 form body: volumes per centimetre.
std::string Form(const char* title, const char* volumes) {
  return "# " + W(title) + "\n| " + volumes + "\n";
}
const char* kSmooth = "0 10 20 30 40 50";
const char* kRough = "0 1 500 2000 2001";   // second differences far beyond a byte
const char* kBroken = "0 10 99999999999 30";  // a volume beyond 32 bits does not convert

QAction* Action(const char* name) { return PrjForm->findChild<QAction*>(name); }
QToolButton* Button(const char* name) { return PrjForm->findChild<QToolButton*>(name); }
QTableWidget* Grid() { return PrjForm->TabGrid(); }
QString Cell(int row, int column) {
  QTableWidgetItem* item = Grid()->item(row, column);
  return item ? item->text() : QString();
}
QString Panel(const char* name) { return PrjForm->findChild<QLabel*>(name)->text(); }

// Gives the main project the forms of a type 1 file body, as a load does:
// not modified.
void SetForms(const std::string& body) {
  FDATA forms;
  QVERIFY(forms.ReadText(body, 1));
  EPROJECT& project = PrjForm->Project();
  project.Reset();
  project.SetForms(forms);
  project.SetName(W("проба"));
  QVERIFY(project.Save(std::string(QDir::tempPath().toStdString()) + "/tgx-mw-scratch.fs"));
  PrjForm->ShowProject();
}

QStringList ControlColumn() {
  QStringList out;
  for (int r = 0; r < Grid()->rowCount(); ++r) out << Cell(r, TPrjForm::kControlColumn);
  return out;
}

// The item view takes a double-click only after a press on the same cell.
void DoubleClick(QPoint at) {
  QTest::mousePress(Grid()->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseRelease(Grid()->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, at);
}

// Answers the in-place editor with a text (accept) or with Escape (null).
void AnswerEditDlg(const QString& text, bool accept = true) {
  tgx::test::WhenModal([text, accept](QWidget* w) {
    auto* dlg = qobject_cast<TEditDlg*>(w);
    if (!dlg) return false;
    if (accept) {
      dlg->SetText(text);
      dlg->Accept();
    } else {
      dlg->reject();
    }
    return true;
  });
}

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

  QTemporaryDir config_;

 private slots:
  void initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("TGX_CONFIG_DIR", config_.path().toUtf8());
  }
  void init() {
    QFile::remove(config_.filePath("tgx.cfg"));
    char name[] = "tgx";
    char* argv[] = {name, nullptr};
    tgx::StartApplication(1, argv);
    QVERIFY(PrjForm && EditDlg && EditTabForm && LinkDlg && ImportDlg);
    QVERIFY(QTest::qWaitForWindowExposed(PrjForm));
  }
  void cleanup() {
    tgx::test::StopWatching();
    tgx::StopApplication();
  }

  void startsWithNoProject() {
    ScriptedDialogs dialogs;
    QVERIFY(Grid()->isHidden());
    const TAppInfo info;
    QCOMPARE(PrjForm->windowTitle(), U("Тирель-Сервис. Градуировочные таблицы  (%1.%2.%3.%4 )")
                                         .arg(info.Major()).arg(info.Minor()).arg(info.Release()).arg(info.Build()));
    QCOMPARE(PrjForm->size(), QSize(404, 477));
    QCOMPARE(PrjForm->minimumSize(), PrjForm->maximumSize());
    QVERIFY(!(PrjForm->windowFlags() & Qt::WindowMaximizeButtonHint));

    const struct {
      const char* name;
      bool enabled;
    } actions[] = {{"NPrjNew", true},     {"NFormRead", true},    {"NStrRead", true},  {"NStrClear", true},
                   {"NFormWrite", false}, {"NStrWrite", false},   {"NStrCompare", false}};
    for (const auto& a : actions) QVERIFY2(Action(a.name)->isEnabled() == a.enabled, a.name);
    QVERIFY(!PrjForm->findChild<QMenu*>("NTab")->menuAction()->isEnabled());
    const struct {
      const char* name;
      bool enabled;
    } buttons[] = {{"SpeedButton1", true},    {"ImportButton", true},  {"StrReadButton", true},
                   {"TabEditButton", false},  {"StrWriteButton", false}, {"ExportButton", false},
                   {"ReportButton", false},   {"NBiButton", true}};
    for (const auto& b : buttons) QVERIFY2(Button(b.name)->isEnabled() == b.enabled, b.name);
    QVERIFY(Button("ReportButton")->isHidden());
    QVERIFY(!Action("NReport")->isVisible());
    QCOMPARE(Panel("StrBarPanel0"), U("СИСТЕМА"));
    QCOMPARE(Panel("ProjBarPanel0"), U("ПРОЕКТ"));
  }

  void menuCaptionsAndHints() {
    const QList<QAction*> top = PrjForm->menuBar()->actions();
    QStringList captions;
    for (QAction* a : top) captions << a->text();
    QCOMPARE(captions, (QStringList{U("Проект    "), U("Таблица       "), U("Параметры      "), U("Справка")}));
    const struct {
      const char* name;
      const char* text;
    } items[] = {{"NStrRead", "Читать таблицы "}, {"NStrWrite", "Записать таблицы из текущего проекта"},
                 {"NTabInsertEmpty", "Вставить пропуск"}, {"NTabCut", "Переместить в буфер"},
                 {"NAbout", "О программе ..."}, {"Nfolder", "Каталог форм"}};
    for (const auto& i : items) QCOMPARE(Action(i.name)->text(), U(i.text));
    const struct {
      const char* name;
      const char* hint;
    } hints[] = {{"SpeedButton1", "Новый проект"},     {"ImportButton", "Чтение из формы"},
                 {"StrReadButton", "Чтение из системы"}, {"TabEditButton", "Редактор таблиц"},
                 {"StrWriteButton", "Записать в систему"}, {"ExportButton", "Запись в форму"},
                 {"NBiButton", "Пульт"}};
    for (const auto& h : hints) QCOMPARE(Button(h.name)->toolTip(), U(h.hint));
  }

  void newProjectGivesOneConvertingRow() {
    ScriptedDialogs dialogs;
    QTest::mouseClick(Button("SpeedButton1"), Qt::LeftButton);
    QVERIFY(!Grid()->isHidden());
    QCOMPARE(Grid()->rowCount(), 1);
    QCOMPARE((QStringList{Cell(0, 0), Cell(0, 1), Cell(0, 2), Cell(0, 3), Cell(0, 4)}),
             (QStringList{"1", "OK ", "10", "1", ""}));
    QCOMPARE(Grid()->horizontalHeaderItem(3)->text(), U("Ёмкость (л)"));
    QVERIFY(Action("NStrWrite")->isEnabled());
    QVERIFY(Button("StrWriteButton")->isEnabled());
    QVERIFY(PrjForm->findChild<QMenu*>("NTab")->menuAction()->isEnabled());
    QCOMPARE(Panel("ProjBarPanel1"), QString("NONAME"));
    QVERIFY(PrjForm->Project().Modified());
    QVERIFY(dialogs.shown.empty());

    // A second "Новый" asks first; Cancel leaves the project as it is.
    PrjForm->NTabAddNewClick();
    dialogs.answers = {Answer::Cancel};
    Action("NPrjNew")->trigger();
    QCOMPARE(dialogs.Texts(), QStringList{U("Сохранить проект?")});
    QCOMPARE(Grid()->rowCount(), 2);
  }

  void controlColumnMarksEachForm_data() {
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("marks");
    QTest::addColumn<bool>("writable");
    QTest::newRow("all smooth") << QString::fromStdString(Form("a", kSmooth) + Form("b", kSmooth))
                                << QStringList{"OK ", "OK "} << true;
    QTest::newRow("rough and gap do not block")
        << QString::fromStdString(Form("a", kRough) + "# gap\n" + Form("c", kSmooth))
        << QStringList{"OK*", "", "OK "} << true;
    QTest::newRow("third does not convert")
        << QString::fromStdString(Form("a", kSmooth) + Form("b", kSmooth) + Form("c", kBroken) + Form("d", kRough))
        << QStringList{"OK ", "OK ", "-", "OK*"} << false;
  }
  void controlColumnMarksEachForm() {
    QFETCH(QString, body);
    QFETCH(QStringList, marks);
    QFETCH(bool, writable);
    SetForms(body.toStdString());
    QCOMPARE(ControlColumn(), marks);
    QCOMPARE(Action("NStrWrite")->isEnabled(), writable);
    QCOMPARE(Button("StrWriteButton")->isEnabled(), writable);
    QVERIFY(Action("NStrCompare")->isEnabled());  // comparing needs no conversion of every form
    QCOMPARE(Cell(0, TPrjForm::kTitleColumn), QString("a"));
    QCOMPARE(Grid()->currentRow(), 0);
  }

  void lastRowTextsShowAsStored() {
    SetForms(Form("a", "0 10 20") + "# b\n| 0 1 007\n");
    QCOMPARE(Cell(0, TPrjForm::kLevelColumn), QString("20"));
    QCOMPARE(Cell(0, TPrjForm::kVolumeColumn), QString("20"));
    QCOMPARE(Cell(1, TPrjForm::kVolumeColumn), QString("007"));
    QCOMPARE(Cell(1, TPrjForm::kChannelColumn), QString("2"));
  }

  void copyCutPasteAndTheirEnableState() {
    ScriptedDialogs dialogs;
    SetForms(Form("a", kSmooth) + Form("b", kSmooth) + Form("c", kSmooth));
    PrjForm->FormActivate();
    QAction* paste = Action("NTabPaste");
    QVERIFY(!paste->isEnabled());

    // Copy form 2, delete it, paste at 1: the copy comes first.
    Grid()->setCurrentCell(1, 4);
    Action("NTabCopy")->trigger();
    QVERIFY(paste->isEnabled());
    Grid()->setCurrentCell(1, 4);
    dialogs.answers = {Answer::Ok};
    Action("NTabDelete")->trigger();
    QCOMPARE(Grid()->rowCount(), 2);
    QCOMPARE(Grid()->currentRow(), 0);  // every table command puts the selection back on the first row
    Action("NTabPaste")->trigger();
    QCOMPARE(Grid()->rowCount(), 3);
    QCOMPARE((QStringList{Cell(0, 4), Cell(1, 4), Cell(2, 4)}), (QStringList{"b", "a", "c"}));

    // Any return to the main window (here from the about box) disables
    // paste; the clipboard stays.
    Action("NTabCopy")->trigger();
    QVERIFY(paste->isEnabled());
    tgx::test::WhenModal([](QWidget* w) {
      if (!qobject_cast<TAboutDlg*>(w)) return false;
      static_cast<QDialog*>(w)->accept();
      return true;
    });
    Action("NAbout")->trigger();
    QVERIFY(!paste->isEnabled());
    QVERIFY(PrjForm->Project().ClipboardValid());

    // Cut of the only form: the delete is refused, the form is in the clipboard.
    SetForms(Form("only", kSmooth));
    Action("NTabCut")->trigger();
    QCOMPARE(Grid()->rowCount(), 1);
    QVERIFY(paste->isEnabled());
    QCOMPARE(PrjForm->Project().Clipboard().Title(), std::string("only"));
    QVERIFY(!PrjForm->Project().Modified());
  }

  void deleteAsksFirst() {
    ScriptedDialogs dialogs;
    SetForms(Form("a", kSmooth) + Form("b", kSmooth));
    Grid()->setCurrentCell(1, 4);
    dialogs.answers = {Answer::Cancel};
    Action("NTabDelete")->trigger();
    QCOMPARE(Grid()->rowCount(), 2);
    QVERIFY(!PrjForm->Project().Modified());
    dialogs.answers = {Answer::Ok};
    Action("NTabDelete")->trigger();
    QCOMPARE(Grid()->rowCount(), 1);
    QCOMPARE(Cell(0, 4), QString("a"));
    QVERIFY(PrjForm->Project().Modified());
    const auto asked = dialogs.OfKind(Kind::OkCancel);
    QCOMPARE(asked.size(), size_t(2));
    QCOMPARE(asked[0].text, U("Удалить таблицу?"));
  }

  void refusedTableCommandsChangeNothing() {
    ScriptedDialogs dialogs;
    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += Form("f", kSmooth);
    SetForms(sixteen);
    for (const char* name : {"NTabNew", "NTabInsert", "NTabInsertEmpty"}) {
      Grid()->setCurrentCell(3, 4);
      Action(name)->trigger();
      QVERIFY2(Grid()->rowCount() == 16, name);
      QVERIFY2(!PrjForm->Project().Modified(), name);
      QCOMPARE(Grid()->currentRow(), 0);
    }
    Grid()->setCurrentCell(0, 4);
    Action("NTabCopy")->trigger();
    Action("NTabPaste")->trigger();
    QCOMPARE(Grid()->rowCount(), 16);

    SetForms(Form("one", kSmooth));
    dialogs.answers = {Answer::Ok};
    Action("NTabDelete")->trigger();
    QCOMPARE(Grid()->rowCount(), 1);
    QVERIFY(!PrjForm->Project().Modified());
    QCOMPARE(dialogs.Texts(), QStringList{U("Удалить таблицу?")});  // asked, then refused silently
  }

  void insertCommandsPlaceBeforeSelection() {
    SetForms(Form("a", kSmooth) + Form("b", kSmooth));
    Grid()->setCurrentCell(1, 4);
    Action("NTabInsertEmpty")->trigger();
    QCOMPARE(ControlColumn(), (QStringList{"OK ", "", "OK "}));
    Grid()->setCurrentCell(0, 4);
    Action("NTabInsert")->trigger();
    QCOMPARE(Grid()->rowCount(), 4);
    QCOMPARE(Cell(0, TPrjForm::kLevelColumn), QString("10"));
    QCOMPARE(Cell(1, 4), QString("a"));
    Action("NTabNew")->trigger();
    QCOMPARE(Grid()->rowCount(), 5);
    QVERIFY(PrjForm->Project().Modified());
  }

  void titleEditingDoesNotMarkModified() {
    ScriptedDialogs dialogs;
    SetForms(Form("a", kSmooth) + Form("b", kSmooth));
    Grid()->setCurrentCell(1, 0);  // Enter edits the row's title from any column
    AnswerEditDlg(U("Резервуар №2"));
    QTest::keyClick(Grid(), Qt::Key_Return);
    QCOMPARE(Cell(1, 4), U("Резервуар №2"));
    QCOMPARE(PrjForm->Project().Form(1).Title(), W("Резервуар №2"));
    QVERIFY(!PrjForm->Project().Modified());

    // Escape discards what was typed.
    Grid()->setCurrentCell(0, 4);
    AnswerEditDlg(U("ignored"), false);
    QTest::keyClick(Grid(), Qt::Key_Enter);
    QCOMPARE(Cell(0, 4), QString("a"));

    // A double-click edits only in the title column.
    Grid()->setCurrentCell(1, 4);
    AnswerEditDlg(U("x"));
    const QRect fixed = Grid()->visualItemRect(Grid()->item(1, TPrjForm::kLevelColumn));
    DoubleClick(fixed.center());
    QTest::qWait(100);
    QCOMPARE(Cell(1, 4), U("Резервуар №2"));
    const QRect title = Grid()->visualItemRect(Grid()->item(1, TPrjForm::kTitleColumn));
    DoubleClick(title.center());
    QCOMPARE(Cell(1, 4), QString("x"));

    // No question at exit for a title edit only.
    QSignalSpy closed(PrjForm, &TPrjForm::Closed);
    QVERIFY(PrjForm->close());
    QCOMPARE(closed.count(), 1);
    QVERIFY(dialogs.Texts().isEmpty());
  }

  void cyrillicTitleSurvivesSaveAndImport() {
    ScriptedDialogs dialogs;
    SetForms(Form("a", kSmooth));
    AnswerEditDlg(U("Ёмкость «Север» №1"));
    QTest::keyClick(Grid(), Qt::Key_Return);

    QTemporaryDir dir;
    const QString path = dir.filePath(U("проект.fs"));
    dialogs.files = {path};
    QTest::mouseClick(Button("ExportButton"), Qt::LeftButton);
    QVERIFY(QFile::exists(path));
    const auto saved = dialogs.OfKind(Kind::SaveFile);
    QCOMPARE(saved.size(), size_t(1));
    QVERIFY(saved[0].confirmOverwrite);

    // Import it back: the import dialog's OK converts it into the project.
    dialogs.files = {path};
    tgx::test::WhenModal([](QWidget* w) {
      if (w != ImportDlg) return false;
      QTest::mouseClick(ImportDlg->findChild<QPushButton*>("OkButton"), Qt::LeftButton);
      return true;
    });
    QTest::mouseClick(Button("ImportButton"), Qt::LeftButton);
    const auto opened = dialogs.OfKind(Kind::OpenFile);
    QCOMPARE(opened.size(), size_t(1));
    QCOMPARE(opened[0].folder, QString::fromStdString(Syspar()->FormsFolder()));
    QCOMPARE(Cell(0, 4), U("Ёмкость «Север» №1"));
    QCOMPARE(Panel("ProjBarPanel1"), path);
    QVERIFY(!PrjForm->Project().Modified());

    // Export proposes the project's name with the type 1 extension.
    dialogs.files = {QString()};
    PrjForm->ExportButtonClick();
    QCOMPARE(dialogs.OfKind(Kind::SaveFile).back().fileName, path);
  }

  void importCancelKeepsTheProject() {
    ScriptedDialogs dialogs;
    SetForms(Form("keep", kSmooth));
    QTemporaryDir dir;
    FDATA other;
    QVERIFY(other.ReadText(Form("other", kSmooth), 1));
    const QString path = dir.filePath("other.fs");
    QVERIFY(other.Save(path.toStdString()));
    dialogs.files = {path};
    tgx::test::WhenModal([](QWidget* w) {
      if (w != ImportDlg) return false;
      ImportDlg->reject();
      return true;
    });
    PrjForm->ImportButtonClick();
    QCOMPARE(Cell(0, 4), QString("keep"));

    // A file that does not load says so and changes nothing either.
    const QString bad = dir.filePath("bad.txt");
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    dialogs.files = {bad};
    PrjForm->ImportButtonClick();
    QCOMPARE(Cell(0, 4), QString("keep"));
    QCOMPARE(dialogs.Texts().size(), 1);  // the loader's own message

    // A modified project cancelled at "Сохранить проект?" opens no file dialog.
    PrjForm->NTabAddNewClick();
    dialogs.Clear();
    dialogs.answers = {Answer::Cancel};
    PrjForm->ImportButtonClick();
    QCOMPARE(dialogs.Texts(), QStringList{U("Сохранить проект?")});
    QVERIFY(dialogs.OfKind(Kind::OpenFile).empty());
  }

  void tableEditorWorksOnACopyWhileTheWindowIsHidden() {
    SetForms(Form("a", kSmooth) + Form("b", kSmooth));
    bool hiddenMeanwhile = false;
    tgx::test::WhenModal([&](QWidget* w) {
      if (w != EditTabForm) return false;
      hiddenMeanwhile = !PrjForm->isVisible();
      EditTabForm->reject();
      return true;
    });
    QTest::mouseClick(Button("TabEditButton"), Qt::LeftButton);
    QVERIFY(hiddenMeanwhile);
    QVERIFY(PrjForm->isVisible());
    QVERIFY(!PrjForm->Project().Modified());  // nothing edited, nothing to save

    // A row added in the editor comes back and marks the project.
    tgx::test::WhenModal([](QWidget* w) {
      if (w != EditTabForm) return false;
      EditTabForm->SNewButtonClick();
      EditTabForm->accept();
      return true;
    });
    Action("NTabEdit")->trigger();
    QVERIFY(PrjForm->Project().Modified());
    QCOMPARE(PrjForm->Project().Form(0).RowCount(), 7);
  }

  void settingsWindowsKeepTheirValues() {
    ScriptedDialogs dialogs;
    qputenv("TGX_COM1", QDir::temp().filePath("tgx-no-such-port").toUtf8());
    // The channel window's run is followed by a save, whatever was done.
    tgx::test::WhenModal([](QWidget* w) {
      if (!qobject_cast<TChanCfgForm*>(w)) return false;
      static_cast<QDialog*>(w)->reject();
      return true;
    });
    Action("NChan")->trigger();
    QVERIFY(QFile::exists(config_.filePath("tgx.cfg")));

    // The remote panel gets the port and the keyboard type and gives the
    // type back.
    Chanpar()->PortIndex = 0;
    Syspar()->SetKeyboardType(1);
    int givenType = 0;
    tgx::test::WhenModal([&](QWidget* w) {
      auto* panel = qobject_cast<TBikForm*>(w);
      if (!panel) return false;
      givenType = panel->KeyboardType();
      panel->SetKeyboardType(2);
      panel->reject();
      return true;
    });
    QTest::mouseClick(Button("NBiButton"), Qt::LeftButton);
    QCOMPARE(givenType, 1);
    QCOMPARE(Syspar()->KeyboardType(), 2);
    qunsetenv("TGX_COM1");
  }

  void saveQuestionOnClose_data() {
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<bool>("giveFile");
    QTest::addColumn<bool>("closes");
    QTest::newRow("cancel") << QList<int>{int(Answer::Cancel)} << false << false;
    QTest::newRow("yes, save cancelled") << QList<int>{int(Answer::Yes)} << false << false;
    QTest::newRow("yes, saved") << QList<int>{int(Answer::Yes)} << true << true;
    QTest::newRow("no") << QList<int>{int(Answer::No)} << false << true;
  }
  void saveQuestionOnClose() {
    QFETCH(QList<int>, answers);
    QFETCH(bool, giveFile);
    QFETCH(bool, closes);
    ScriptedDialogs dialogs;
    for (int a : answers) dialogs.answers.push_back(Answer(a));
    QTemporaryDir dir;
    const QString path = dir.filePath("saved.fs");
    dialogs.files = {giveFile ? path : QString()};
    PrjForm->NPrjNewClick();
    QSignalSpy closed(PrjForm, &TPrjForm::Closed);
    QCOMPARE(PrjForm->close(), closes);
    QCOMPARE(closed.count(), closes ? 1 : 0);
    QCOMPARE(PrjForm->isVisible(), !closes);
    QCOMPARE(dialogs.Texts(), QStringList{U("Сохранить проект?")});
    QCOMPARE(QFile::exists(path), giveFile);
    if (answers.first() == int(Answer::Yes))
      QCOMPARE(dialogs.OfKind(Kind::SaveFile).front().fileName, QString("NONAME.fs"));
  }

  void folderChoiceIsKeptAndSaved() {
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    dialogs.files = {dir.path() + "/*.*"};
    Action("Nfolder")->trigger();
    QCOMPARE(dialogs.OfKind(Kind::Folder).front().text, U("Открыть папку"));
    QCOMPARE(QString::fromStdString(Syspar()->FormsFolder()), dir.path() + "/");
    QVERIFY(QFile::exists(config_.filePath("tgx.cfg")));

    // A cancelled choice keeps it.
    Action("Nfolder")->trigger();
    QCOMPARE(QString::fromStdString(Syspar()->FormsFolder()), dir.path() + "/");
  }

  void configurationIsWrittenAtExit() {
    Chanpar()->PortIndex = 2;
    Syspar()->SetKeyboardType(3);
    Syspar()->SetFormsFolderText("/srv/forms/");
    tgx::StopApplication();
    QFile f(config_.filePath("tgx.cfg"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const int folder = 11;
    QCOMPARE(bytes.size(), 28 + folder);
    QCOMPARE(bytes.mid(0, 7), QByteArray("\x03\x00\x00\x00tgx", 7));
    QCOMPARE(bytes.at(7), char(2));
    QCOMPARE(bytes.mid(24, folder), QByteArray("/srv/forms/"));
    QCOMPARE(bytes.at(24 + folder), char(3));

    // The next start reads them back.
    char name[] = "tgx";
    char* argv[] = {name, nullptr};
    tgx::StartApplication(1, argv);
    QCOMPARE(Chanpar()->PortIndex, 2);
    QCOMPARE(Syspar()->KeyboardType(), 3);
  }

  void statusBarClickShowsLogOnlyInTestMode() {
    ScriptedDialogs dialogs;
    QTest::mouseClick(PrjForm->findChild<QLabel*>("StrBarPanel2"), Qt::LeftButton);
    QVERIFY(dialogs.shown.empty());
    tgx::StopApplication();

    char name[] = "tgx";
    char flag[] = "-t";
    char* argv[] = {name, flag, nullptr};
    QVERIFY(tgx::IsTestModeArgument(2, argv));
    tgx::StartApplication(2, argv);
    QVERIFY(PrjForm->TestMode());
    QTest::mouseClick(PrjForm->findChild<QLabel*>("StrBarPanel2"), Qt::LeftButton);
    QCOMPARE(dialogs.OfKind(Kind::Inform).size(), size_t(1));
  }

  void qtBoxesCarryTheTitleAndTheirButtons() {
    struct Seen {
      QString title, text;
      QMessageBox::StandardButtons buttons;
    };
    auto press = [](QMessageBox::StandardButton button, Seen& seen, bool escape = false) {
      tgx::test::WhenModal([button, &seen, escape](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) return false;
        seen = {box->windowTitle(), box->text(), box->standardButtons()};
        if (escape)
          QTest::keyClick(box, Qt::Key_Escape);
        else
          box->button(button)->click();
        return true;
      });
    };
    tgx::DialogService& qt = tgx::Dialogs();  // no scripted service installed
    Seen seen;
    press(QMessageBox::Ok, seen);
    qt.Inform(PrjForm, U("Таблицы удалены.\rВыполняется перезагрузка системы"));
    QCOMPARE(seen.title, tgx::AppTitle());
    QCOMPARE(seen.text, U("Таблицы удалены.\nВыполняется перезагрузка системы"));
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    press(QMessageBox::No, seen);
    QCOMPARE(qt.AskYesNoCancel(PrjForm, U("Сохранить проект?")), Answer::No);
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    press(QMessageBox::NoButton, seen, true);
    QCOMPARE(qt.AskYesNoCancel(PrjForm, U("Сохранить проект?")), Answer::Cancel);

    press(QMessageBox::Ok, seen);
    QCOMPARE(qt.AskOkCancel(PrjForm, U("Удалить таблицу?")), Answer::Ok);
    QCOMPARE(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(seen.title, tgx::AppTitle());
    press(QMessageBox::NoButton, seen, true);
    QCOMPARE(qt.AskOkCancel(PrjForm, U("Удалить таблицу?")), Answer::Cancel);
  }

  void onlyAnExactFirstArgumentIsTestMode() {
    const struct {
      const char* first;
      bool test;
    } cases[] = {{"-t", true}, {"-T", false}, {"-t1", false}, {"t", false}, {"", false}};
    for (const auto& c : cases) {
      char name[] = "tgx";
      std::string first = c.first;
      char* argv[] = {name, first.data(), nullptr};
      QVERIFY2(tgx::IsTestModeArgument(2, argv) == c.test, c.first);
    }
    char name[] = "tgx";
    char other[] = "x";
    char flag[] = "-t";
    char* late[] = {name, other, flag, nullptr};
    QVERIFY(!tgx::IsTestModeArgument(3, late));
    char* alone[] = {name, nullptr};
    QVERIFY(!tgx::IsTestModeArgument(1, alone));
  }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
