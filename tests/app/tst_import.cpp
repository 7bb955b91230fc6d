// The form import dialog driven through its real widgets: the check column
// and OK, title editing in place, the "Сохранить форму?" question on closing,
// the file name that follows the form type, and Cyrillic titles through edit
// and save. Message boxes and the save dialog are answered by ScriptedDialogs.

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/Feditdlg.h"
#include "app/Fimport.h"
#include "app/Forms.h"
#include "editor/Fedittab.h"
#include "model/Cp1251.h"
#include "model/Messages.h"
#include "support/ScriptedDialogs.h"

using Answer = tgx::DialogService::Answer;
using Kind = tgx::test::ScriptedDialogs::Kind;

namespace {

// Form files are Windows-1251 on disk; the test writes them from UTF-8.
QString WriteForm(const QTemporaryDir& dir, const QString& name, const QString& utf8) {
  const QString path = dir.filePath(name);
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return {};
  const std::string bytes = tgx::FromUtf8(utf8.toStdString());
  f.write(bytes.data(), static_cast<qint64>(bytes.size()));
  return path;
}

QByteArray ReadBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString Ui(const std::string& cp1251) { return QString::fromStdString(tgx::ToUtf8(cp1251)); }
std::string Cp(const QString& s) { return tgx::FromUtf8(s.toStdString()); }

QStringList Column(QTableWidget* grid, int col) {
  QStringList out;
  for (int r = 0; r < grid->rowCount(); ++r) out << (grid->item(r, col) ? grid->item(r, col)->text() : "<none>");
  return out;
}

// Runs `step` inside the next modal loop.
void WhenModal(std::function<void()> step) { QTimer::singleShot(0, step); }

// Types into the cell editor once it is up and ends it with Enter, then runs
// `then`; `opened` tells whether the editor came up within a short while.
// Polled, because Qt Test's mouse and key functions spin the event loop and a
// plain single-shot timer could fire before the editor is shown.
void AnswerEditDlg(const QString& text, bool* opened, QRect* geometry = nullptr,
                   std::function<void()> then = {}) {
  constexpr int kPollMs = 5;
  constexpr int kTries = 60;
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  *opened = false;
  QObject::connect(timer, &QTimer::timeout, [=] {
    const bool up = EditDlg->isVisible() && QApplication::activeModalWidget() == EditDlg;
    if (!up && ++*tries < kTries) return;
    timer->stop();
    timer->deleteLater();
    if (up) {
      *opened = true;
      if (geometry) *geometry = EditDlg->geometry();
      EditDlg->SetText(text);
      QTest::keyClick(EditDlg->EdBox(), Qt::Key_Return);
    }
    if (then) QTimer::singleShot(0, then);
  });
  timer->start(kPollMs);
}

void Click(QWidget* dlg, const char* name) {
  auto* b = dlg->findChild<QPushButton*>(name);
  QVERIFY(b);
  QTest::mouseClick(b, Qt::LeftButton);
}

QPoint CellCentre(QTableWidget* grid, int row, int col) {
  return grid->visualRect(grid->model()->index(row, col)).center();
}

constexpr const char* kType1 =
    "\r\n\r\n# Резервуар 1\r\n\r\n|  0 10 20 30 40 50 60\r\n"
    "\r\n\r\n# Резервуар 2\r\n\r\n|  0 0 500 0\r\n";
constexpr const char* kType4Bad =
    "\n\n# Дизель\n\n|         0         0\n|      1000        50\n"
    "\n\n# Бензин\n\n|         0         0\n|      1055         ?\n";
constexpr const char* kType1Gap =
    "\n\n# t1\n\n|  0 1 2 3\n"
    "\n\n# пропуск\n\n"
    "\n\n# t3\n\n|  5 6 7 8\n";
constexpr const char* kType4 =
    "\n\n# Резервуар «Южный» №2 — ёмкость\n\n|         0         0\n|      1000        50\n|      2500       200\n"
    "\n\n# Т2\n\n|         0         0\n|       305        12\n|      1505        80\n";

}  // namespace

class TstImport : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void init();

  void checkColumnAndOk_data();
  void checkColumnAndOk();
  void titleEditInPlace_data();
  void titleEditInPlace();
  void closingAChangedProject_data();
  void closingAChangedProject();
  void cyrillicTitleSurvivesEditAndSave();
  void tableEditorRunKeepsTheDialogRunning();

 private:
  QTemporaryDir dir_;
  tgx::RecordingSink messages_;
};

void TstImport::initTestCase() {
  QVERIFY(dir_.isValid());
  tgx::SetMessageSink(&messages_);
  EditDlg = new TEditDlg;
}

void TstImport::cleanupTestCase() {
  delete EditDlg;
  EditDlg = nullptr;
  tgx::SetMessageSink(nullptr);
}

void TstImport::init() { messages_.shown.clear(); }

// ---------------------------------------------------------------- check column

void TstImport::checkColumnAndOk_data() {
  QTest::addColumn<QString>("file");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QStringList>("titles");
  QTest::addColumn<QStringList>("marks");
  QTest::addColumn<bool>("okEnabled");
  QTest::newRow("all convert") << "all.fs" << kType1 << QStringList{"Резервуар 1", "Резервуар 2"}
                               << QStringList{"OK ", "OK*"} << true;
  QTest::newRow("one does not convert") << "bad.f1" << kType4Bad << QStringList{"Дизель", "Бензин"}
                                        << QStringList{"OK ", "-"} << false;
  QTest::newRow("gap between forms") << "gap.fs" << kType1Gap << QStringList{"t1", "пропуск", "t3"}
                                     << QStringList{"OK ", "", "OK "} << true;
}

void TstImport::checkColumnAndOk() {
  QFETCH(QString, file);
  QFETCH(QString, text);
  QFETCH(QStringList, titles);
  QFETCH(QStringList, marks);
  QFETCH(bool, okEnabled);
  tgx::test::ScriptedDialogs dialogs;
  const QString path = WriteForm(dir_, file, text);
  const QByteArray before = ReadBytes(path);

  TImportDlg dlg;
  QVERIFY(dlg.Project().Load(path.toStdString()));
  QVERIFY(!dlg.TabGrid()->isVisible());
  WhenModal([&] {
    QTableWidget* grid = dlg.findChild<QTableWidget*>("TabGrid");
    QVERIFY(grid->isVisible());
    QCOMPARE(dlg.windowTitle(), "Импорт " + path);
    QStringList numbers;
    for (int i = 1; i <= titles.size(); ++i) numbers << QString::number(i);
    QCOMPARE(Column(grid, 0), numbers);
    QCOMPARE(Column(grid, 1), marks);
    QCOMPARE(Column(grid, 2), titles);
    QCOMPARE(grid->currentRow(), 0);
    QCOMPARE(grid->currentColumn(), 2);
    QCOMPARE(dlg.findChild<QPushButton*>("OkButton")->isEnabled(), okEnabled);
    QVERIFY(dlg.findChild<QPushButton*>("CancelButton")->isEnabled());
    // A disabled OK does nothing; Cancel always ends the dialog.
    Click(&dlg, "OkButton");
    if (dlg.isVisible()) Click(&dlg, "CancelButton");
  });
  QCOMPARE(dlg.exec(), okEnabled ? int(QDialog::Accepted) : int(QDialog::Rejected));
  // Nothing was changed, so nothing was asked and the file stays as it was.
  QVERIFY(dialogs.shown.empty());
  QCOMPARE(ReadBytes(path), before);
}

// ---------------------------------------------------------------- titles

void TstImport::titleEditInPlace_data() {
  QTest::addColumn<QString>("how");  // dblclick or enter
  QTest::addColumn<int>("col");
  QTest::addColumn<bool>("edits");
  QTest::newRow("double click on the title") << "dblclick" << 2 << true;
  QTest::newRow("Enter on the title") << "enter" << 2 << true;
  QTest::newRow("double click on the number") << "dblclick" << 0 << false;
  QTest::newRow("double click on the check") << "dblclick" << 1 << false;
  QTest::newRow("Enter on the check") << "enter" << 1 << false;
  QTest::newRow("double click on the header") << "header" << 2 << false;
}

void TstImport::titleEditInPlace() {
  QFETCH(QString, how);
  QFETCH(int, col);
  QFETCH(bool, edits);
  tgx::test::ScriptedDialogs dialogs;
  const QString path = WriteForm(dir_, "titles.fs", kType1);
  const QString newTitle = "Новый, заголовок 7";

  TImportDlg dlg;
  QVERIFY(dlg.Project().Load(path.toStdString()));
  bool opened = false;
  QRect placed;
  QRect cell;
  WhenModal([&] {
    QTableWidget* grid = dlg.TabGrid();
    const QRect r = grid->visualRect(grid->model()->index(1, 2));
    cell = QRect(grid->viewport()->mapToGlobal(r.topLeft()), r.size());
    AnswerEditDlg(newTitle, &opened, &placed, [&] { Click(&dlg, "OkButton"); });
    if (how == "dblclick") {
      QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, CellCentre(grid, 1, col));
    } else if (how == "enter") {
      grid->setCurrentCell(1, col);
      QTest::keyClick(grid, Qt::Key_Return);
    } else {
      QTest::mouseDClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {},
                         QPoint(grid->columnViewportPosition(col) + 5, 5));
    }
  });
  QCOMPARE(dlg.exec(), int(QDialog::Accepted));
  QCOMPARE(opened, edits);
  const QString expected = edits ? newTitle : QString("Резервуар 2");
  QCOMPARE(Ui(dlg.Project().Form(1).Title()), expected);
  QCOMPARE(dlg.TabGrid()->item(1, 2)->text(), expected);
  QCOMPARE(Ui(dlg.Project().Form(0).Title()), QString("Резервуар 1"));
  if (edits) QCOMPARE(placed, cell);
  // A title edit is not a change worth a question.
  QVERIFY(!dlg.Project().Modified());
  QVERIFY(dialogs.shown.empty());

  // What the main window takes over carries the edited title.
  EPROJECT current;
  QVERIFY(current.ConvertFrom(dlg.Project()));
  QCOMPARE(Ui(current.Form(1).Title()), expected);
}

// ---------------------------------------------------------------- closing

void TstImport::closingAChangedProject_data() {
  QTest::addColumn<QStringList>("presses");  // buttons pressed in turn; all but the last leave it open
  QTest::addColumn<QList<Answer>>("answers");
  QTest::addColumn<QStringList>("files");    // save dialog results, relative to the folder; "" cancels
  QTest::addColumn<int>("result");
  QTest::addColumn<QString>("savedAs");      // relative; "" when nothing may be written
  QTest::addColumn<QString>("message");      // form-file message expected, if any

  const int cancel = QDialog::Rejected;
  const int ok = QDialog::Accepted;
  QTest::newRow("Cancel keeps it open, No closes")
      << QStringList{"CancelButton", "CancelButton"} << QList<Answer>{Answer::Cancel, Answer::No}
      << QStringList{} << cancel << "" << "";
  QTest::newRow("No closes without saving")
      << QStringList{"CancelButton"} << QList<Answer>{Answer::No} << QStringList{} << cancel << "" << "";
  QTest::newRow("Yes saves under the type's extension")
      << QStringList{"CancelButton"} << QList<Answer>{Answer::Yes} << QStringList{"copy.fs"} << cancel
      << "copy.f1" << "";
  QTest::newRow("Yes then the save dialog cancelled")
      << QStringList{"CancelButton", "CancelButton"} << QList<Answer>{Answer::Yes, Answer::No}
      << QStringList{""} << cancel << "" << "";
  QTest::newRow("Yes and a failed write")
      << QStringList{"CancelButton", "CancelButton"} << QList<Answer>{Answer::Yes, Answer::No}
      << QStringList{"no-such-folder/x.f1"} << cancel << "" << "Невозможно записать файл!";
  QTest::newRow("OK asks as well")
      << QStringList{"OkButton"} << QList<Answer>{Answer::Yes} << QStringList{"ok-copy"} << ok << "ok-copy.f1"
      << "";
}

void TstImport::closingAChangedProject() {
  QFETCH(QStringList, presses);
  QFETCH(QList<Answer>, answers);
  QFETCH(QStringList, files);
  QFETCH(int, result);
  QFETCH(QString, savedAs);
  QFETCH(QString, message);

  QTemporaryDir out;
  tgx::test::ScriptedDialogs dialogs;
  for (Answer a : answers) dialogs.answers.push_back(a);
  for (const QString& f : files) dialogs.files.push_back(f.isEmpty() ? f : out.filePath(f));
  const QString path = WriteForm(dir_, "changed.f1", kType4);
  const QByteArray before = ReadBytes(path);

  TImportDlg dlg;
  QVERIFY(dlg.Project().Load(path.toStdString()));
  // What the table editor hands back after a volume was typed.
  FDATA edited;
  dlg.Project().CopyFormsTo(edited);
  edited.Form(1).SetVolumeText(2, "81");
  dlg.Project().SetForms(edited);
  QVERIFY(dlg.Project().Modified());

  WhenModal([&] {
    for (int i = 0; i < presses.size(); ++i) {
      Click(&dlg, presses[i].toLatin1().constData());
      QCOMPARE(dlg.isVisible(), i + 1 < presses.size());
    }
  });
  QCOMPARE(dlg.exec(), result);

  QStringList asked;
  for (int i = 0; i < answers.size(); ++i) asked << "Сохранить форму?";
  QCOMPARE(dialogs.Texts(), asked);
  QCOMPARE(dialogs.unanswered, 0);
  for (const auto& s : dialogs.OfKind(Kind::SaveFile)) {
    QCOMPARE(s.fileName, path);  // the loaded file is proposed
    QCOMPARE(s.filter, QString("fs, fs1, fs2, f1|*.fs*;*.f1"));
    QVERIFY(!s.confirmOverwrite);
  }
  QStringList shown;
  for (const std::string& m : messages_.shown) shown << Ui(m);
  QCOMPARE(shown, message.isEmpty() ? QStringList{} : QStringList{message});

  // The loaded file never changes here; only the chosen name is written.
  QCOMPARE(ReadBytes(path), before);
  QStringList written = QDir(out.path()).entryList(QDir::Files);
  QCOMPARE(written, savedAs.isEmpty() ? QStringList{} : QStringList{savedAs});
  if (!savedAs.isEmpty()) {
    QVERIFY(!dlg.Project().Modified());
    EPROJECT back;
    QVERIFY(back.Load(out.filePath(savedAs).toStdString()));
    QVERIFY(back.Forms() == dlg.Project().Forms());
    QCOMPARE(back.Form(1).VolumeText(2), std::string("81"));
  }
}

void TstImport::cyrillicTitleSurvivesEditAndSave() {
  tgx::test::ScriptedDialogs dialogs;
  QTemporaryDir out;
  const QString path = WriteForm(dir_, "cyr.f1", kType4);
  const QString loaded = "Резервуар «Южный» №2 — ёмкость";
  const QString typed = "Ёмкость №3: дизель «Л»";
  dialogs.files.push_back(out.filePath("Резервуары.f1"));

  TImportDlg dlg;
  QVERIFY(dlg.Project().Load(path.toStdString()));
  bool opened = false;
  WhenModal([&] {
    QCOMPARE(dlg.TabGrid()->item(0, 2)->text(), loaded);
    AnswerEditDlg(typed, &opened, nullptr, [&] {
      QCOMPARE(dlg.TabGrid()->item(0, 2)->text(), typed);
      Click(&dlg, "SaveButton");
      Click(&dlg, "CancelButton");
    });
    QTest::keyClick(dlg.TabGrid(), Qt::Key_Return);
  });
  QCOMPARE(dlg.exec(), int(QDialog::Rejected));
  QVERIFY(opened);
  QVERIFY(dialogs.Texts().isEmpty());
  QVERIFY(messages_.shown.empty());

  const QString saved = out.filePath("Резервуары.f1");
  QVERIFY(ReadBytes(saved).contains(QByteArray::fromStdString("# " + Cp(typed) + "\r\n")) ||
          ReadBytes(saved).contains(QByteArray::fromStdString("# " + Cp(typed) + "\n")));
  EPROJECT back;
  QVERIFY(back.Load(saved.toStdString()));
  QCOMPARE(Ui(back.Form(0).Title()), typed);
  QCOMPARE(Ui(back.Form(1).Title()), QString("Т2"));
  // The project's name shows the folder and file name in Cyrillic too.
  QCOMPARE(Ui(back.Name()), saved);
}

void TstImport::tableEditorRunKeepsTheDialogRunning() {
  // Hiding a running dialog would end its modal loop; while the editor runs
  // the import dialog is off the screen but its run goes on.
  tgx::test::ScriptedDialogs dialogs;
  dialogs.answers.push_back(Answer::No);
  const QString path = WriteForm(dir_, "edit.fs", kType1);
  TEditTabForm editor;
  EditTabForm = &editor;

  TImportDlg dlg;
  QVERIFY(dlg.Project().Load(path.toStdString()));
  bool importHidden = false;
  bool shownAgain = false;
  WhenModal([&] {
    QTimer::singleShot(0, [&] {
      importHidden = !dlg.isVisible() && QApplication::activeModalWidget() == &editor;
      editor.SNewButtonClick();  // appends a row to the first form
      editor.reject();
    });
    Click(&dlg, "EditButton");
    shownAgain = dlg.isVisible();
    QCOMPARE(dlg.TabGrid()->rowCount(), 2);
    Click(&dlg, "CancelButton");
  });
  QCOMPARE(dlg.exec(), int(QDialog::Rejected));
  EditTabForm = nullptr;
  QVERIFY(importHidden);
  QVERIFY(shownAgain);
  // The added row made the project modified, hence the question.
  QCOMPARE(dialogs.Texts(), QStringList{"Сохранить форму?"});
  QCOMPARE(dlg.Project().Form(0).RowCount(), 8);
}

QTEST_MAIN(TstImport)
#include "tst_import.moc"
