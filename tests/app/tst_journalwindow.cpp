// «Журнал сеансов»: the list newest first, the filters, and what can be done
// with a session's tables (look at them, save them, take them as the project).

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "app/Fjournal.h"
#include "app/Qtext.h"
#include "editor/Fedittab.h"
#include "journal/Journal.h"
#include "model/Prjvol.h"
#include "project/Eprj.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

GROUPTAB Tables(int count, int32_t step) {
  GROUPTAB set;
  for (int k = 0; k < count; ++k) {
    PARTAB t;
    for (int i = 0; i < 20; ++i) t.Append(i * (step + k));
    set.Add(t);
  }
  return set;
}

tgx::SessionRecord Session(int64_t startMs, tgx::JournalOp op, const char* port, const char* version) {
  tgx::SessionRecord s;
  s.Started = tgx::JournalTime(std::chrono::milliseconds(startMs));
  s.Ended = s.Started + std::chrono::seconds(5);
  s.Port = port;
  s.Device = "/dev/null";
  s.VersionLabel = version;
  s.Operation = op;
  s.StatusText = "OK";
  return s;
}

QString Cell(TJournalForm& form, int row, int column) { return form.Grid()->item(row, column)->text(); }

}  // namespace

class TestJournalWindow : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> data_;

  // Three sessions: a read on COM1 (oldest), a write with a backup on COM2,
  // a delete on COM1 (newest).
  void Fill() {
    auto opened = tgx::Journal::Open(data_->Path().string());
    QVERIFY(opened.Ok);
    auto read = Session(1'700'000'000'000, tgx::JournalOp::Read, "COM1", "632 ");
    read.Tables = Tables(2, 10);
    QVERIFY(opened.Instance->Record(read).Ok);
    auto write = Session(1'700'000'100'000, tgx::JournalOp::Write, "COM2", "853 ");
    write.Tables = Tables(3, 20);
    write.Backup = Tables(1, 30);
    QVERIFY(opened.Instance->Record(write).Ok);
    auto erase = Session(1'700'000'200'000, tgx::JournalOp::Delete, "COM1", "632 ");
    QVERIFY(opened.Instance->Record(erase).Ok);
  }

 private slots:
  void init() {
    data_ = std::make_unique<TempDir>("tgx-journalwindow");
    qputenv("TGX_DATA_DIR", QByteArray::fromStdString(data_->Path().string()));
    Fill();
  }
  void cleanup() {
    StopWatching();
    data_.reset();
  }

  // Newest first; a row shows the port, the version and the channels.
  void sessionsNewestFirst() {
    TJournalForm form({});
    QCOMPARE(form.Grid()->rowCount(), 3);
    QCOMPARE(Cell(form, 0, TJournalForm::kOperationColumn), QString("Удаление"));
    QCOMPARE(Cell(form, 2, TJournalForm::kOperationColumn), QString("Чтение"));
    QCOMPARE(Cell(form, 1, TJournalForm::kPortColumn), QString("COM2"));
    QCOMPARE(Cell(form, 1, TJournalForm::kVersionColumn), QString("853"));
    QCOMPARE(Cell(form, 1, TJournalForm::kChannelsColumn), QString("3 (копия БВ: 1)"));
  }

  void filters() {
    struct Row { const char* choice; int rows; QComboBox* (*box)(TJournalForm&); };
    for (const Row& r : {Row{"COM2", 1, [](TJournalForm& f) { return f.PortFilter(); }},
                         Row{"632", 2, [](TJournalForm& f) { return f.VersionFilter(); }},
                         Row{"Запись", 1, [](TJournalForm& f) { return f.OperationFilter(); }}}) {
      TJournalForm form({});
      r.box(form)->setCurrentIndex(r.box(form)->findText(r.choice));
      QVERIFY2(form.Grid()->rowCount() == r.rows, r.choice);
    }
  }

  // A delete recorded no tables: nothing to save; a write offers its
  // tables and the backup.
  void tablesOffered() {
    TJournalForm form({});
    form.Grid()->selectRow(0);
    QVERIFY(!form.findChild<QPushButton*>("JournalSaveButton")->isEnabled());
    form.Grid()->selectRow(1);
    QCOMPARE(form.SetChoice()->count(), 2);
  }

  void openAsProjectHandsOverTheChosenTables() {
    GROUPTAB given;
    TJournalForm::Hooks hooks;
    hooks.openAsProject = [&given](const GROUPTAB& t, const std::string&) {
      given = t;
      return true;
    };
    TJournalForm form(hooks);
    form.Grid()->selectRow(1);
    form.SetChoice()->setCurrentIndex(1);  // the unit's tables before the write
    form.OpenButtonClick();
    QVERIFY(given == Tables(1, 30));
  }

  void saveAsProjectWritesAFormFile() {
    ScriptedDialogs dialogs;
    TempDir out;
    dialogs.files = {QString::fromStdString(out.File("backup"))};
    TJournalForm form({});
    form.Grid()->selectRow(2);
    form.SaveButtonClick();
    EPROJECT back;
    QVERIFY(back.Load(out.File("backup.fs")));
    GROUPTAB tables;
    back.ToTables(tables);
    QVERIFY(tables == Tables(2, 10));
  }

  // The editor gets a copy; what it does there never reaches the journal.
  void tablesOpenInTheEditor() {
    TEditTabForm editor(nullptr);
    TJournalForm::Hooks hooks;
    hooks.tableEditor = &editor;
    TJournalForm form(hooks);
    form.Grid()->selectRow(2);
    bool shown = false;
    WhenModalIs<TEditTabForm>([&shown](TEditTabForm* e) {
      shown = true;
      e->reject();
    });
    form.TablesButtonClick();
    QVERIFY(shown);
  }

  void emptyJournalListsNothing() {
    data_ = std::make_unique<TempDir>("tgx-journalwindow-empty");
    qputenv("TGX_DATA_DIR", QByteArray::fromStdString(data_->Path().string()));
    TJournalForm form({});
    QCOMPARE(form.Grid()->rowCount(), 0);
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TestJournalWindow)
#include "tst_journalwindow.moc"
