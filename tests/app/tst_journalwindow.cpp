// «Журнал сеансов»: the list newest first, the filters, and what can be done
// with a session's tables (save them, take them as the project).

#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "app/Fjournal.h"
#include "journal/JournalSamples.h"
#include "project/Eprj.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace tgxtest {

class TestJournalWindow : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> data_;

 private slots:
  // Three sessions: a read on COM1 (oldest), a write with a backup on COM2,
  // a delete on COM1 (newest).
  void init() {
    data_ = std::make_unique<TempDir>("tgx-journalwindow");
    qputenv("TGX_DATA_DIR", QByteArray::fromStdString(data_->Path().string()));
    auto opened = tgx::Journal::Open(data_->Path().string());
    QVERIFY(opened.Ok);
    tgx::SessionRecord read = SampleWrite(), write = SampleWrite(), erase = SampleWrite();
    write.Port = "COM2";
    read.Operation = tgx::JournalOp::Read;
    erase.Operation = tgx::JournalOp::Delete;
    read.VersionLabel = erase.VersionLabel = "632 ";
    read.Tables = SmoothSet(2, 20);
    read.Backup = erase.Tables = erase.Backup = std::nullopt;
    read.Started = At(1'714'558'000'000);
    erase.Started = At(1'714'558'600'000);
    for (const auto& s : {read, write, erase}) QVERIFY(opened.Instance->Record(s).Ok);
  }
  void cleanup() {
    StopWatching();
    data_.reset();
  }

  // Newest first; a row shows the port, the version and the channels.
  void sessionsNewestFirst() {
    TJournalForm form({});
    QCOMPARE(form.Grid()->rowCount(), 3);
    QCOMPARE(form.Grid()->item(0, TJournalForm::kOperationColumn)->text(), QString("Удаление"));
    QCOMPARE(form.Grid()->item(1, TJournalForm::kPortColumn)->text(), QString("COM2"));
    QCOMPARE(form.Grid()->item(1, TJournalForm::kVersionColumn)->text(), QString("853"));
    QCOMPARE(form.Grid()->item(1, TJournalForm::kChannelsColumn)->text(), QString("3 (копия БВ: 2)"));
  }

  void filters() {
    struct Row { const char* choice; int rows; QComboBox* (TJournalForm::*box)() const; };
    for (const Row& r : {Row{"COM2", 1, &TJournalForm::PortFilter}, Row{"632", 2, &TJournalForm::VersionFilter},
                         Row{"Запись", 1, &TJournalForm::OperationFilter}}) {
      TJournalForm form({});
      QComboBox* box = (form.*r.box)();
      box->setCurrentIndex(box->findText(r.choice));
      QVERIFY2(form.Grid()->rowCount() == r.rows, r.choice);
    }
  }

  // A delete recorded no tables: nothing to save; a write offers its tables
  // and the backup, and the chosen set is what becomes the project.
  void openAsProjectHandsOverTheChosenTables() {
    GROUPTAB given;
    TJournalForm form({nullptr, [&given](const GROUPTAB& t, const std::string&) {
                         given = t;
                         return true;
                       }});
    form.Grid()->selectRow(0);
    QVERIFY(!form.findChild<QPushButton*>("JournalSaveButton")->isEnabled());
    form.Grid()->selectRow(1);
    QCOMPARE(form.SetChoice()->count(), 2);
    form.SetChoice()->setCurrentIndex(1);  // the unit's tables before the write
    form.OpenButtonClick();
    QVERIFY(given == SampleWrite().Backup);
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
    QVERIFY(tables == SmoothSet(2, 20));
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TestJournalWindow)
#include "tst_journalwindow.moc"
