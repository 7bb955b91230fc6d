// The form import dialog driven through its real widgets: the check column
// and OK, title editing in place, the "Сохранить форму?" question on closing,
// the file name that follows the form type, and Cyrillic titles through edit
// and save. Message boxes and the save dialog are answered by ScriptedDialogs.

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QDir>
#include <QTableWidget>
#include <QtTest>
#include <functional>

#include "editor/Feditdlg.h"
#include "app/Fimport.h"
#include "editor/Fedittab.h"
#include "forms/Fdata.h"
#include "forms/Readback.h"
#include "model/Cp1251.h"
#include "model/Messages.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

using Answer = tgx::DialogService::Answer;
using Kind = ScriptedDialogs::Kind;

// A file of a temporary folder, as the dialogs give it.
QString FilePath(const TempDir& dir, const QString& name) {
  return QString::fromStdString(dir.File(name.toStdString()));
}

QString Ui(const std::string& cp1251) { return QString::fromStdString(tgx::ToUtf8(cp1251)); }
QByteArray Cp(const QString& s) { return QByteArray::fromStdString(tgx::FromUtf8(s.toStdString())); }

QByteArray ReadBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The grid's rows as "number|mark|title", joined by ';'.
QString Rows(QTableWidget* grid) {
  QStringList rows;
  for (int r = 0; r < grid->rowCount(); ++r)
    rows << grid->item(r, 0)->text() + '|' + grid->item(r, 1)->text() + '|' + grid->item(r, 2)->text();
  return rows.join(';');
}

// Runs `step` once the next modal window is up.
void WhenModalRun(std::function<void()> step) {
  WhenModal([step](QWidget*) { return step(), true; });
}

void Click(QWidget* dlg, const char* name) { QTest::mouseClick(dlg->findChild<QPushButton*>(name), Qt::LeftButton); }

constexpr const char* kType4 =
    "\n\n# Резервуар «Южный» №2 — ёмкость\n\n|         0         0\n|      1000        50\n|      2500       200\n"
    "\n\n# Т2\n\n|         0         0\n|       305        12\n|      1505        80\n";

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

  void checkColumnAndOk_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<bool>("okEnabled");
    QTest::newRow("all convert, one not smooth")
        << "all.fs" << "\r\n# Резервуар 1\r\n|  0 10 20 30 40 50 60\r\n\r\n# Резервуар 2\r\n|  0 0 500 0\r\n"
        << "1|OK |Резервуар 1;2|OK*|Резервуар 2" << true;
    QTest::newRow("one does not convert")
        << "bad.f1"
        << "\n# Дизель\n|   0   0\n|   1000   50\n\n# Бензин\n|   0   0\n|   1055   ?\n"
        << "1|OK |Дизель;2|-|Бензин" << false;
    QTest::newRow("gap between forms")
        << "gap.fs" << "\n# t1\n|  0 1 2 3\n\n# пропуск\n\n\n# t3\n|  5 6 7 8\n"
        << "1|OK |t1;2||пропуск;3|OK |t3" << true;
  }
  void checkColumnAndOk() {
    QFETCH(QString, file);
    QFETCH(QString, text);
    QFETCH(QString, rows);
    QFETCH(bool, okEnabled);
    ScriptedDialogs dialogs;
    const QString path = WriteForm(file, text);
    const QByteArray before = ReadBytes(path);
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(dlg.Project().Load(path.toStdString()));
    WhenModalRun([&] {
      QCOMPARE(dlg.windowTitle(), "Импорт " + path);
      QCOMPARE(Rows(dlg.TabGrid()), rows);
      QCOMPARE(dlg.TabGrid()->currentColumn(), 2);
      QCOMPARE(dlg.findChild<QPushButton*>("OkButton")->isEnabled(), okEnabled);
      // A disabled OK does nothing; Cancel always ends the dialog.
      Click(&dlg, "OkButton");
      if (dlg.isVisible()) Click(&dlg, "CancelButton");
    });
    QCOMPARE(dlg.exec(), okEnabled ? int(QDialog::Accepted) : int(QDialog::Rejected));
    // Nothing was changed, so nothing was asked and the file stays as it was.
    QVERIFY(dialogs.shown.empty());
    QCOMPARE(ReadBytes(path), before);
  }

  // A CSV file comes in through the CSV import and shows its forms as a
  // form file does.
  void csvFileShowsItsForms() {
    ScriptedDialogs dialogs;
    const QString path = WriteForm("levels.csv", "level;Дизель;Бензин\n0;0;0\n10;5;7\n20;12;15\n");
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(dlg.LoadFile(path));
    QCOMPARE(dlg.Project().FormCount(), 2);
    dlg.ShowImport();
    QCOMPARE(Rows(dlg.TabGrid()), QStringLiteral("1|OK |Дизель;2|OK |Бензин"));
    QVERIFY(dialogs.shown.empty());
  }

  void refusedCsvNamesItsLineInABox() {
    ScriptedDialogs dialogs;
    const QString path = WriteForm("bad.txt", "level;t1\n0;0\n10;x\n");
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(!dlg.LoadFile(path));
    QCOMPARE(dialogs.Texts().size(), 1);
    QVERIFY2(dialogs.Texts().front().startsWith(QStringLiteral("Строка 3")), qPrintable(dialogs.Texts().front()));
  }

  // A text the form file would give back otherwise: the form's title is red
  // and saving asks first; any answer but Yes writes nothing.
  void unsafeTextIsRedAndAskedAboutBeforeSaving_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("written");
    QTest::newRow("Yes saves") << Answer::Yes << true;
    QTest::newRow("No keeps the file away") << Answer::No << false;
  }
  void unsafeTextIsRedAndAskedAboutBeforeSaving() {
    QFETCH(Answer, answer);
    QFETCH(bool, written);
    TempDir out;
    ScriptedDialogs dialogs;
    dialogs.answers = {answer};
    dialogs.files = {FilePath(out, "unsafe.f1")};
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(dlg.Project().Load(WriteForm("unsafe.f1", kType4).toStdString()));
    FDATA forms;
    dlg.Project().CopyFormsTo(forms);
    forms.Form(1).SetVolumeText(1, "12x4");
    dlg.Project().SetForms(forms);
    dlg.ShowImport();
    QCOMPARE(dlg.TabGrid()->item(1, 2)->foreground().color(), QColor(Qt::red));
    QVERIFY(dlg.TabGrid()->item(0, 2)->foreground().color() != QColor(Qt::red));
    QCOMPARE(dlg.SaveForm(), written);
    QCOMPARE(dialogs.Texts().size(), 1);
    QVERIFY2(dialogs.Texts().front().startsWith(QStringLiteral("Форма 2, строка 2")), qPrintable(dialogs.Texts().front()));
    QCOMPARE(QFileInfo::exists(FilePath(out, "unsafe.f1")), written);
  }

  // The name the type's extension gives may be another file than the one the
  // save dialog asked about: replacing it is asked again.
  void replacingTheFileOfTheTypesExtensionIsAsked_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("Yes replaces") << Answer::Yes << true;
    QTest::newRow("No keeps it") << Answer::No << false;
  }
  void replacingTheFileOfTheTypesExtensionIsAsked() {
    QFETCH(Answer, answer);
    QFETCH(bool, replaced);
    TempDir out;
    const QString existing = FilePath(out, "tanks.f1");
    {
      QFile f(existing);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("old");
    }
    ScriptedDialogs dialogs;
    dialogs.answers = {answer};
    dialogs.files = {FilePath(out, "tanks")};
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(dlg.Project().Load(WriteForm("tanks-src.f1", kType4).toStdString()));
    QCOMPARE(dlg.SaveForm(), replaced);
    QCOMPARE(dialogs.Texts(), QStringList{"Файл " + existing + " уже существует. Заменить?"});
    QCOMPARE(ReadBytes(existing) == "old", !replaced);
  }

  void formThatDoesNotConvertSaysWhyInItsTooltip() {
    const QString path = WriteForm("bad2.f1", "\n# Дизель\n|   0   0\n|   1000   50\n\n# Бензин\n|   0   0\n|   1055   ?\n");
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(dlg.Project().Load(path.toStdString()));
    dlg.ShowImport();
    const QString why = QString::fromStdString(tgx::ToUtf8(ConversionFailureText(dlg.Project().Form(1))));
    QVERIFY(!why.isEmpty());
    QCOMPARE(dlg.TabGrid()->item(1, 2)->toolTip(), why);
    QCOMPARE(dlg.TabGrid()->item(0, 2)->toolTip(), QString());
  }

  void titleEditInPlaceAndSavedInCyrillic_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("edits");
    QTest::newRow("double click on the title") << "dblclick" << 2 << true;
    QTest::newRow("Enter on the title") << "enter" << 2 << true;
    QTest::newRow("double click on the number") << "dblclick" << 0 << false;
    QTest::newRow("double click on the check") << "dblclick" << 1 << false;
    QTest::newRow("Enter on the check") << "enter" << 1 << false;
    QTest::newRow("double click on the header") << "header" << 0 << false;
  }
  void titleEditInPlaceAndSavedInCyrillic() {
    QFETCH(QString, how);
    QFETCH(int, col);
    QFETCH(bool, edits);
    const QString typed = "Ёмкость №3: дизель «Л»";
    const QString title = edits ? typed : "Резервуар «Южный» №2 — ёмкость";
    TempDir out;
    const QString saved = FilePath(out, "Резервуары.f1");
    ScriptedDialogs dialogs;
    dialogs.files.push_back(saved);
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(dlg.Project().Load(WriteForm("cyr.f1", kType4).toStdString()));
    QRect placed;
    QTableWidget* grid = dlg.TabGrid();
    WhenModalRun([&] {
      WhenModal([&](QWidget* w) {
        if (w != &edit_dlg_) return false;
        placed = w->geometry();
        edit_dlg_.SetText(typed);
        QTest::keyClick(edit_dlg_.EdBox(), Qt::Key_Return);
        return true;
      });
      // Each way in returns once the editor, if it came up, has closed.
      const QPoint at = grid->visualRect(grid->model()->index(0, col)).center();
      grid->setCurrentCell(0, col);
      if (how == "enter") QTest::keyClick(grid, Qt::Key_Return);
      if (how == "dblclick") QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
      if (how == "header") QTest::mouseDClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {}, {5, 5});
      QCOMPARE(grid->item(0, 2)->text(), title);
      // A changed title is a change of the forms like any other.
      QCOMPARE(dlg.Project().Modified(), edits);
      Click(&dlg, "SaveButton");
      Click(&dlg, "OkButton");
    });
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    const QRect cell = grid->visualRect(grid->model()->index(0, 2));
    QCOMPARE(placed, edits ? QRect(grid->viewport()->mapToGlobal(cell.topLeft()), cell.size()) : QRect());
    QCOMPARE(dialogs.Texts(), QStringList());
    QVERIFY(messages_.shown.empty());
    QVERIFY(ReadBytes(saved).contains("# " + Cp(title) + "\r\n"));
    EPROJECT back;
    QVERIFY(back.Load(saved.toStdString()));
    QCOMPARE(Ui(back.Form(0).Title()), title);
    QCOMPARE(Ui(back.Form(1).Title()), QString("Т2"));
    QCOMPARE(Ui(back.Name()), saved);
  }

  void closingAChangedProject_data() {
    QTest::addColumn<QString>("button");  // pressed once per answer; all but the last leave it open
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QString>("file");     // save dialog result in the folder; "" cancels
    QTest::addColumn<QString>("savedAs");  // "" when nothing may be written
    QTest::addColumn<QString>("message");
    QTest::newRow("Cancel keeps it open, No closes")
        << "CancelButton" << QList<Answer>{Answer::Cancel, Answer::No} << "" << "" << "";
    QTest::newRow("No closes without saving") << "CancelButton" << QList<Answer>{Answer::No} << "" << "" << "";
    // A type 4 set written as .fs would come back as type 1.
    QTest::newRow("Yes saves under the type's extension")
        << "CancelButton" << QList<Answer>{Answer::Yes} << "copy.fs" << "copy.f1" << "";
    QTest::newRow("Yes then the save dialog cancelled")
        << "CancelButton" << QList<Answer>{Answer::Yes, Answer::No} << "" << "" << "";
    QTest::newRow("Yes and a failed write") << "CancelButton" << QList<Answer>{Answer::Yes, Answer::No}
                                            << "no-such-folder/x.f1" << "" << "Невозможно записать файл!";
    QTest::newRow("OK asks as well") << "OkButton" << QList<Answer>{Answer::Yes} << "ok-copy" << "ok-copy.f1" << "";
  }
  void closingAChangedProject() {
    QFETCH(QString, button);
    QFETCH(QList<Answer>, answers);
    QFETCH(QString, file);
    QFETCH(QString, savedAs);
    QFETCH(QString, message);
    TempDir out;
    ScriptedDialogs dialogs;
    dialogs.answers.assign(answers.begin(), answers.end());
    if (answers.first() == Answer::Yes) dialogs.files.push_back(file.isEmpty() ? file : FilePath(out, file));
    const QString path = WriteForm("changed.f1", kType4);
    const QByteArray before = ReadBytes(path);
    TImportDlg dlg(&edit_dlg_, &editor_);
    QVERIFY(dlg.Project().Load(path.toStdString()));
    bool hiddenDuringEdit = false;
    WhenModalRun([&] {
      // A row added in the table editor makes the project modified. Hiding a
      // running dialog would end its modal loop: while the editor runs the
      // import dialog is only off the screen.
      WhenModal([&](QWidget* w) {
        if (w != &editor_) return false;
        hiddenDuringEdit = !dlg.isVisible();
        editor_.SNewButtonClick();
        editor_.reject();
        return true;
      });
      Click(&dlg, "EditButton");
      QVERIFY(dlg.isVisible());
      for (int i = 0; i < answers.size(); ++i) {
        Click(&dlg, button.toLatin1().constData());
        QCOMPARE(dlg.isVisible(), i + 1 < answers.size());
      }
    });
    QCOMPARE(dlg.exec(), button == "OkButton" ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QVERIFY(hiddenDuringEdit);
    QCOMPARE(dialogs.Texts(), QStringList(answers.size(), "Сохранить форму?"));
    QCOMPARE(dialogs.unanswered, 0);
    for (const auto& s : dialogs.OfKind(Kind::SaveFile)) {
      QCOMPARE(s.fileName, path);  // the loaded file is proposed
      QCOMPARE(s.filter, QString("fs, fs1, fs2, f1|*.fs*;*.f1"));
      QVERIFY(s.confirmOverwrite);
    }
    QCOMPARE(messages_.shown.empty() ? QString() : Ui(messages_.shown.front()), message);
    // The loaded file never changes here; only the chosen name is written.
    QCOMPARE(ReadBytes(path), before);
    QCOMPARE(QDir(QString::fromStdString(out.Path().string())).entryList(QDir::Files), savedAs.isEmpty() ? QStringList() : QStringList{savedAs});
    if (savedAs.isEmpty()) return;
    QVERIFY(!dlg.Project().Modified());
    EPROJECT back;
    QVERIFY(back.Load(out.File(savedAs.toStdString())));
    QCOMPARE(back.Form(0).RowCount(), 4);
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TstImport)
#include "tst_import.moc"
