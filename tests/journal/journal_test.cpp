// The session journal: what goes in comes out, lists, the first layout's
// files, and tables damaged inside the file.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "journal/Journal.h"
#include "journal/JournalSamples.h"
#include "journal/Schema.h"
#include "journal/Sqlite.h"
#include "journal/TableCodec.h"
#include "model/Cp1251.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

using tgx::Journal;
using tgx::JournalOp;
using tgx::SessionRecord;

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto opened = Journal::Open(dir_.Path().string());
    ASSERT_TRUE(opened.Ok) << tgx::ToUtf8(opened.Message);
    journal_ = std::move(opened.Instance);
  }
  int64_t RecordOk(const SessionRecord& s) {
    const auto r = journal_->Record(s);
    EXPECT_TRUE(r.Ok) << tgx::ToUtf8(r.Message);
    return r.Id;
  }
  // A second connection to the same file, as another program would have.
  tgx::sql::Database Raw() { return tgx::sql::Database(journal_->Path(), SQLITE_OPEN_READWRITE); }

  TempDir dir_{"tgx-journal"};
  std::unique_ptr<Journal> journal_;
};

// Every field comes back; a backup of nothing and an empty one (the unit had
// no tables) stay apart; an unknown id is not found.
TEST_F(JournalTest, EveryFieldRoundTrips) {
  auto fields = [](const SessionRecord& r) {
    return std::tie(r.Started, r.Ended, r.User, r.Port, r.Device, r.VersionLabel, r.VersionCode, r.Operation,
                    r.ResultCode, r.StatusText, r.LongestWait, r.Bytes, r.DurationMs, r.ProjectFile,
                    r.ProjectChecksum, r.Tables, r.Backup);
  };
  const std::optional<GROUPTAB> backups[] = {SampleWrite().Backup, std::nullopt, GROUPTAB()};
  for (const std::optional<GROUPTAB>& backup : backups) {
    SCOPED_TRACE(backup ? backup->Count() : -1);
    SessionRecord s = SampleWrite();
    s.ResultCode = 83;
    s.StatusText = tgx::FromUtf8("Недостаточно памяти БВ!");
    s.Backup = backup;
    const int64_t id = RecordOk(s);
    const auto back = journal_->Load(id);
    ASSERT_EQ(back.Status, tgx::LoadStatus::Loaded);
    EXPECT_EQ(back.Session.Id, id);
    EXPECT_TRUE(fields(back.Session) == fields(s));
    EXPECT_TRUE(back.Message.empty());
  }
  EXPECT_FALSE(journal_->Exists(999));
  EXPECT_EQ(journal_->Load(999).Status, tgx::LoadStatus::NotFound);
}

// The one Windows-1251 byte without a character must come back as it went in.
TEST_F(JournalTest, TextsAreReadableUtf8InTheFileAndComeBackExactly) {
  SessionRecord s = SampleWrite();
  s.StatusText = tgx::FromUtf8("Ошибка связи");
  const int64_t readable = RecordOk(s);
  s.StatusText = std::string("\x98\xCE", 2);
  EXPECT_EQ(journal_->Load(RecordOk(s)).Session.StatusText, std::string("\x98\xCE", 2));
  auto raw = Raw();
  tgx::sql::Statement st(raw, "SELECT status_text FROM session WHERE id = ?1");
  st.Bind(1, readable);
  ASSERT_TRUE(st.Step());
  EXPECT_EQ(st.Bytes(0), "Ошибка связи");
}

TEST_F(JournalTest, ListIsNewestFirstAndFiltered) {
  const std::tuple<int64_t, const char*, const char*, JournalOp> rows[] = {
      {3000, "COM1", "853 ", JournalOp::Write},   {1000, "COM1", "632 ", JournalOp::Read},
      {5000, "COM2", "853 ", JournalOp::Compare}, {4000, "COM1", "853 ", JournalOp::Delete},
      {2000, "COM2", "632 ", JournalOp::Write},
  };
  for (const auto& [started, port, label, op] : rows) {
    SessionRecord s = SampleWrite();
    std::tie(s.Port, s.VersionLabel, s.Operation) = std::tuple(port, label, op);
    s.Started = At(started);
    RecordOk(s);
  }
  auto starts = [&](const tgx::JournalFilter& f, int limit) {
    std::vector<int64_t> out;
    for (const auto& row : journal_->List(f, limit).Sessions)
      out.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(row.Started.time_since_epoch()).count());
    return out;
  };
  using V = std::vector<int64_t>;
  EXPECT_EQ(starts({}, 0), (V{5000, 4000, 3000, 2000, 1000}));
  EXPECT_EQ(starts({}, 2), (V{5000, 4000}));
  EXPECT_EQ(starts({.Port = "COM2"}, 0), (V{5000, 2000}));
  EXPECT_EQ(starts({.VersionLabel = "632 "}, 0), (V{2000, 1000}));
  EXPECT_EQ(starts({.Operation = JournalOp::Write}, 0), (V{3000, 2000}));
  EXPECT_EQ(starts({.Port = "COM1", .VersionLabel = "853 "}, 1), (V{4000}));
  std::vector<JournalOp> ops;  // each of the four comes back as itself
  for (const auto& row : journal_->List({}, 0).Sessions) ops.push_back(row.Operation);
  EXPECT_EQ(ops, (std::vector{JournalOp::Compare, JournalOp::Delete, JournalOp::Write, JournalOp::Write,
                              JournalOp::Read}));
}

// One bit of the project's tables changes, the stored checksum stays: the
// tables are reported, the backup still loads.
TEST_F(JournalTest, TamperedTablesAreReportedAndTheRestLoads) {
  const int64_t id = RecordOk(SampleWrite());
  {
    auto raw = Raw();
    tgx::sql::Statement get(raw, "SELECT data FROM tableset WHERE id = (SELECT tables_id FROM session)");
    ASSERT_TRUE(get.Step());
    std::string data = get.Bytes(0);
    data[data.size() / 2] ^= 0x10;
    get.Reset();
    tgx::sql::Statement(raw, "UPDATE tableset SET data = ?1 WHERE id = (SELECT tables_id FROM session)")
        .BindBlob(1, data)
        .Step();
  }
  const auto back = journal_->Load(id);
  EXPECT_EQ(back.Status, tgx::LoadStatus::Loaded);
  EXPECT_FALSE(back.TablesIntact);
  EXPECT_FALSE(back.Session.Tables);
  EXPECT_TRUE(back.BackupIntact);
  EXPECT_EQ(back.Session.Backup, SampleWrite().Backup);
  EXPECT_EQ(back.Message, tgx::FromUtf8("Таблицы сеанса ") + std::to_string(id) +
                              tgx::FromUtf8(" в журнале повреждены: контрольная сумма не совпадает."));
}

// A file of the first layout: tables inline in the session rows, no device,
// version code, byte count or project checksum.
TEST(JournalMigration, FirstLayoutIsBroughtUpToDate) {
  TempDir dir("tgx-journal");
  const std::string path = dir.File(Journal::kFileName);
  const GROUPTAB shared = SmoothSet(4, 500), backup = SmoothSet(1, 20, 3);
  {
    tgx::sql::Database old(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    old.Exec(
        "CREATE TABLE session(id INTEGER PRIMARY KEY, started INTEGER NOT NULL, ended INTEGER NOT NULL,"
        " user TEXT NOT NULL, port TEXT NOT NULL, version_label TEXT NOT NULL, operation TEXT NOT NULL,"
        " result_code INTEGER NOT NULL, status_text TEXT NOT NULL, longest_wait_ms INTEGER NOT NULL,"
        " duration_ms INTEGER NOT NULL, project_file TEXT NOT NULL, tables BLOB, backup BLOB);"
        "PRAGMA user_version = 1;");
    tgx::sql::Statement add(old,
                            "INSERT INTO session VALUES(?1, 1000, 2000, 'ivanov', 'COM3', '632 ', ?2, 0,"
                            " 'Ошибка связи', 120, 1000, '/p.fs', ?3, ?4)");
    add.Bind(1, 7).BindText(2, "write").BindBlob(3, tgx::EncodeTables(shared)).BindBlob(4, tgx::EncodeTables(backup));
    add.Step();
    add.Reset();
    add.Bind(1, 9).BindText(2, "read").BindBlob(3, tgx::EncodeTables(shared)).BindNull(4);
    add.Step();
  }
  auto opened = Journal::Open(dir.Path().string());
  ASSERT_TRUE(opened.Ok) << tgx::ToUtf8(opened.Message);
  Journal& j = *opened.Instance;
  const auto write = j.Load(7);
  ASSERT_EQ(write.Status, tgx::LoadStatus::Loaded);
  EXPECT_EQ(write.Session.Operation, JournalOp::Write);
  EXPECT_EQ(write.Session.StatusText, tgx::FromUtf8("Ошибка связи"));
  EXPECT_EQ(write.Session.Tables, shared);
  EXPECT_EQ(write.Session.Backup, backup);
  EXPECT_FALSE(j.Load(9).Session.Backup);
  EXPECT_GT(j.Record(SampleWrite()).Id, 9);
  EXPECT_EQ(j.List({.Port = "COM3", .Operation = JournalOp::Write}, 0).Sessions.at(0).TableCount, 4);
  tgx::sql::Database raw(path, SQLITE_OPEN_READWRITE);
  EXPECT_EQ(raw.QueryInt("PRAGMA user_version"), tgx::journal_schema::kCurrentVersion);
  EXPECT_EQ(raw.QueryInt("SELECT count(DISTINCT tables_id) FROM session WHERE id IN (7, 9)"), 1);
}

TEST(JournalMigration, JournalOfALaterProgramIsLeftAlone) {
  TempDir dir("tgx-journal");
  const std::string path = dir.File(Journal::kFileName);
  tgx::sql::Database(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE).Exec("CREATE TABLE future(x); PRAGMA user_version = 99;");
  auto opened = Journal::Open(dir.Path().string());
  EXPECT_FALSE(opened.Ok);
  EXPECT_EQ(opened.Message, tgx::FromUtf8("Журнал сеансов не открыт: журнал ведёт более новая версия программы: ") +
                                tgx::FromUtf8(path));
  EXPECT_FALSE(opened.Instance->Record(SampleWrite()).Ok);
  EXPECT_EQ(tgx::sql::Database(path, SQLITE_OPEN_READONLY).QueryInt("PRAGMA user_version"), 99);
}

}  // namespace
}  // namespace tgxtest
