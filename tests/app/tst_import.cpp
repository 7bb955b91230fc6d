// The form import dialog driven through its real widgets: the check column
// and OK, a CSV file, title editing in place and Cyrillic titles saved, the
// questions of «Сохранить форму» and of closing a changed project.

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QDir>
#include <QTableWidget>
#include <QtTest>
#include <cstring>
#include <functional>

#include "editor/Feditdlg.h"
#include "app/Fimport.h"
#include "editor/Fedittab.h"
#include "forms/Fdata.h"
#include "model/Cp1251.h"
#include "model/Messages.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

using Answer = tgx::DialogService::Answer;

// A file of a temporary folder, as the dialogs give it.
QString FilePath(const TempDir& dir, const QString& name) {
  return QString::fromStdString(dir.File(name.toStdString()));
}

QByteArray Cp(const QString& s) { return QByteArray::fromStdString(tgx::FromUtf8(s.toStdString())); }

QByteArray Bytes(const QString& path) { return QByteArray::fromStdString(ReadBytes(path.toStdString())); }

// The grid's rows as "number|mark|title", joined by ';'.
QString Rows(QTableWidget* grid) {
  QStringList rows;
  for (int r = 0; r < grid->rowCount(); ++r)
    rows << grid->item(r, 0)->text() + '|' + grid->item(r, 1)->text() + '|' + grid->item(r, 2)->text();
  return rows.join(';');
}

// Runs `step` once the next modal window is up (a step may fail and return early).
void WhenModalRun(std::function<void()> step) {
  WhenModal([step](QWidget*) { return step(), true; });
}

void Click(QWidget* dlg, const char* name) { QTest::mouseClick(dlg->findChild<QPushButton*>(name), Qt::LeftButton); }

constexpr const char* kType4 =
    "\n\n# Резервуар «Южный» №2 — ёмкость\n\n|         0         0\n|      1000        50\n|      2500       200\n"
    "\n\n# Т2\n\n|         0         0\n|       305        12\n|      1505        80\n";

// Rows of a table as one QTest column holding their index.
template <class T, size_t N>
void AddRows(const T (&rows)[N]) {
  QTest::addColumn<int>("i");
  for (size_t i = 0; i < N; ++i) QTest::newRow(rows[i].name) << int(i);
}

const struct { const char* name; const char* file; const char* text; const char* rows; bool okEnabled; } kCheckRows[] = {
    {"all convert, one not smooth", "all.fs", "\r\n# Резервуар 1\r\n|  0 10 20 30 40 50 60\r\n\r\n# Резервуар 2\r\n|  0 0 500 0\r\n",
     "1|OK |Резервуар 1;2|OK*|Резервуар 2", true},
    {"one does not convert", "bad.f1", "\n# Дизель\n|   0   0\n|   1000   50\n\n# Бензин\n|   0   0\n|   1055   ?\n",
     "1|OK |Дизель;2|-|Бензин", false},
};

// «Сохранить форму» asks first when a text would come back otherwise from the
// form file (its title shown red), and again when the name the type's
// extension gives is a file that exists; any answer but Yes writes nothing.
const struct { const char* name; bool unsafe; Answer answer; bool written; } kSaveRows[] = {
    {"unsafe text, Yes saves", true, Answer::Yes, true},
    {"unsafe text, No keeps the file away", true, Answer::No, false},
    {"existing file, Yes replaces", false, Answer::Yes, true},
    {"existing file, No keeps it", false, Answer::No, false},
};

const struct { const char* name; const char* how; int col; bool edits; } kTitleRows[] = {
    {"double click on the title", "dblclick", 2, true}, {"Enter on the check", "enter", 1, false},
    {"double click on the header", "header", 0, false},
};

// The button is pressed once per answer; all but the last leave the dialog
// open. `file` is the save dialog's answer in the folder ("" cancels),
// `savedAs` the file written ("" when nothing may be).
const struct { const char* name; const char* button; QList<Answer> answers; QString file, savedAs, message; } kCloseRows[] = {
    {"Cancel keeps it open, No closes", "CancelButton", {Answer::Cancel, Answer::No}, "", "", ""},
    // A type 4 set written as .fs would come back as type 1.
    {"Yes saves under the type's extension", "CancelButton", {Answer::Yes}, "copy.fs", "copy.f1", ""},
    {"Yes then the save dialog cancelled", "CancelButton", {Answer::Yes, Answer::No}, "", "", ""},
    {"Yes and a failed write", "CancelButton", {Answer::Yes, Answer::No}, "no-such-folder/x.f1", "", "Невозможно записать файл!"},
    {"OK asks as well", "OkButton", {Answer::Yes}, "ok-copy", "ok-copy.f1", ""},
};

}  // namespace

class TstImport : public QObject {
  Q_OBJECT

  TempDir dir_{"tgx-import"};
  tgx::RecordingSink messages_;
  TEditDlg edit_dlg_;
  TEditTabForm editor_{&edit_dlg_};

  // Writes a form file in Windows-1251 as the program finds it on disk.
  QString WriteForm(const QString& name, const QString& utf8) {
    QFile f(FilePath(dir_, name));
    return f.open(QIODevice::WriteOnly) && f.write(Cp(utf8)) >= 0 ? f.fileName() : QString();
  }

 private slots:
  void initTestCase() { tgx::SetMessageSink(&messages_); }
  void cleanupTestCase() { tgx::SetMessageSink(nullptr); }
  void init() { messages_.shown.clear(); }
  void cleanup() { StopWatching(); }

  // A disabled OK does nothing. Nothing was changed, so nothing is asked.
  void checkColumnAndOk_data() { AddRows(kCheckRows); }
  void checkColumnAndOk() {
    QFETCH(int, i);
    const auto& [name, file, text, rows, okEnabled] = kCheckRows[i];
    ScriptedDialogs dialogs;
    const QString path = WriteForm(file, text);
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(dlg.LoadFile(path));
    dlg.ShowImport();
    dlg.show();
    QCOMPARE(Rows(dlg.TabGrid()), QString(rows));
    // A form that does not convert says why in its title's tooltip.
    QCOMPARE(dlg.TabGrid()->item(1, 2)->toolTip().isEmpty(), okEnabled);
    QCOMPARE(dlg.findChild<QPushButton*>("OkButton")->isEnabled(), okEnabled);
    Click(&dlg, "OkButton");
    QCOMPARE(dlg.isVisible(), !okEnabled);
    QVERIFY(dialogs.shown.empty());
  }

  // A CSV file shows its forms as a form file does; a refused one names its line in a box.
  void csvFile() {
    ScriptedDialogs dialogs;
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(dlg.LoadFile(WriteForm("levels.csv", "level;Дизель;Бензин\n0;0;0\n10;5;7\n20;12;15\n")));
    dlg.ShowImport();
    QCOMPARE(Rows(dlg.TabGrid()), QString("1|OK |Дизель;2|OK |Бензин"));
    QVERIFY(!dlg.LoadFile(WriteForm("bad.csv", "level;t1\n0;0\n10;x\n")));
    QVERIFY2(dialogs.Texts().value(0).startsWith("Строка 3"), qPrintable(dialogs.Texts().value(0)));
  }

  void saveFormAsks_data() { AddRows(kSaveRows); }
  void saveFormAsks() {
    QFETCH(int, i);
    const auto& [name, unsafe, answer, written] = kSaveRows[i];
    const QString target = FilePath(dir_, QString("save%1.f1").arg(i));
    if (!unsafe) WriteForm(QString("save%1.f1").arg(i), "old");
    ScriptedDialogs dialogs;
    dialogs.answers = {answer};
    dialogs.files = {FilePath(dir_, QString("save%1").arg(i))};
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(dlg.Project().Load(WriteForm("tanks-src.f1", kType4).toStdString()));
    if (unsafe) {
      FDATA forms;
      dlg.Project().CopyFormsTo(forms);
      forms.Form(1).SetVolumeText(1, "12x4");
      dlg.Project().SetForms(forms);
      dlg.ShowImport();
      QCOMPARE(dlg.TabGrid()->item(1, 2)->foreground().color(), QColor(Qt::red));
      QVERIFY(dlg.TabGrid()->item(0, 2)->foreground().color() != QColor(Qt::red));
    }
    QCOMPARE(dlg.SaveForm(), written);
    QCOMPARE(dialogs.Texts().size(), 1);
    const QString asked = unsafe ? "Форма 2, строка 2" : "Файл " + target + " уже существует. Заменить?";
    QVERIFY2(dialogs.Texts().front().startsWith(asked), qPrintable(dialogs.Texts().front()));
    QCOMPARE(QFileInfo::exists(target) && Bytes(target) != "old", written);
  }

  void titleEditInPlaceAndSavedInCyrillic_data() { AddRows(kTitleRows); }
  void titleEditInPlaceAndSavedInCyrillic() {
    QFETCH(int, i);
    const auto& [name, how, col, edits] = kTitleRows[i];
    const QString typed = "Ёмкость №3: дизель «Л»";
    const QString title = edits ? typed : "Резервуар «Южный» №2 — ёмкость";
    const QString saved = FilePath(dir_, QString("Резервуары%1.f1").arg(i));
    ScriptedDialogs dialogs;
    dialogs.files.push_back(saved);
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(dlg.LoadFile(WriteForm("cyr.f1", kType4)));
    dlg.ShowImport();
    dlg.show();
    QTableWidget* grid = dlg.TabGrid();
    WhenModalIs<TEditDlg>([&](TEditDlg* ed) {
      ed->SetText(typed);
      QTest::keyClick(ed->EdBox(), Qt::Key_Return);
    });
    // Each way in returns once the editor, if it came up, has closed.
    grid->setCurrentCell(0, col);
    if (!strcmp(how, "enter")) QTest::keyClick(grid, Qt::Key_Return);
    if (!strcmp(how, "dblclick"))
      QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, col)).center());
    if (!strcmp(how, "header")) QTest::mouseDClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {}, {5, 5});
    QCOMPARE(grid->item(0, 2)->text(), title);
    QCOMPARE(dlg.Project().Modified(), edits);  // a changed title is a change of the forms
    Click(&dlg, "SaveButton");
    QCOMPARE(dialogs.Texts(), QStringList());
    QVERIFY(messages_.shown.empty());
    QVERIFY(Bytes(saved).contains("# " + Cp(title) + "\r\n"));  // in Windows-1251
  }

  void closingAChangedProject_data() { AddRows(kCloseRows); }
  void closingAChangedProject() {
    QFETCH(int, i);
    const auto& [name, button, answers, file, savedAs, message] = kCloseRows[i];
    TempDir out;
    ScriptedDialogs dialogs;
    dialogs.answers.assign(answers.begin(), answers.end());
    if (answers.first() == Answer::Yes) dialogs.files.push_back(file.isEmpty() ? file : FilePath(out, file));
    const QString path = WriteForm("changed.f1", kType4);
    const QByteArray before = Bytes(path);
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(dlg.Project().Load(path.toStdString()));
    bool hiddenDuringEdit = false;
    WhenModalRun([&] {
      // Hiding a running dialog would end its modal loop: while the table
      // editor runs the import dialog is only off the screen.
      WhenModalIs<TEditTabForm>([&](TEditTabForm* editor) {
        hiddenDuringEdit = !dlg.isVisible();
        editor->SNewButtonClick();  // a row added: the project is modified
        editor->reject();
      });
      Click(&dlg, "EditButton");
      for (int i = 0; i < answers.size(); ++i) {
        Click(&dlg, button);
        QCOMPARE(dlg.isVisible(), i + 1 < answers.size());
      }
    });
    QCOMPARE(dlg.exec(), !strcmp(button, "OkButton") ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QVERIFY(hiddenDuringEdit);
    QCOMPARE(dialogs.Texts(), QStringList(answers.size(), "Сохранить форму?"));
    for (const auto& s : dialogs.OfKind(ScriptedDialogs::Kind::SaveFile)) QCOMPARE(s.fileName, path);  // the loaded file is proposed
    QCOMPARE(messages_.shown.empty() ? QString() : QString::fromStdString(tgx::ToUtf8(messages_.shown.front())), message);
    QCOMPARE(Bytes(path), before);  // only the chosen name is ever written
    QCOMPARE(QDir(QString::fromStdString(out.Path().string())).entryList(QDir::Files),
             savedAs.isEmpty() ? QStringList() : QStringList{savedAs});
    if (savedAs.isEmpty()) return;
    EPROJECT back;
    QVERIFY(back.Load(out.File(savedAs.toStdString())));
    QCOMPARE(back.Form(0).RowCount(), 4);
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TstImport)
#include "tst_import.moc"
