// The session journal: what goes in comes out, lists, the first layout's
// files, tables damaged inside the file, and things going wrong around it:
// two programs at once, a damaged file, places it may not write to, a full
// disk. No call throws, a failure says why, nothing in the journal is lost.
// Last, the record the programs make of a finished session.

#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "journal/Journal.h"
#include "journal/JournalSamples.h"
#include "journal/Schema.h"
#include "journal/Sessionentry.h"
#include "journal/Sqlite.h"
#include "journal/TableCodec.h"
#include "link/session/Bvlink.h"
#include "model/Cp1251.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

namespace fs = std::filesystem;
using tgx::Journal;
using tgx::JournalOp;
using tgx::SessionRecord;

std::string Garbage(std::size_t n) {
  std::mt19937 random(12345);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::vector<std::string> DamagedFiles(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename().string().rfind("journal.sqlite.damaged-", 0) == 0) names.push_back(e.path().string());
  return names;
}

// Runs `body` in a child process; its exit code, -1 when it did not exit.
pid_t Fork(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  return pid;
}
int Wait(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The message of a record of `s` that fails in a child process, with files
// limited to `fileSize` bytes, as an ordinary user when `asNobody` (so that
// file modes bind even for root); "recorded" when it succeeds.
std::string FailedRecord(const std::string& folder, const tgx::SessionRecord& s, bool asNobody,
                         rlim_t fileSize = RLIM_INFINITY) {
  int fds[2];
  if (::pipe(fds) != 0) return "no pipe";
  const pid_t pid = Fork([&] {
    constexpr uid_t kNobody = 65534;
    const rlimit limit{fileSize, fileSize};
    ::signal(SIGXFSZ, SIG_IGN);
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 1;
    if (asNobody && ::geteuid() == 0 && (::setgroups(0, nullptr) || ::setgid(kNobody) || ::setuid(kNobody))) return 1;
    const tgx::RecordResult r = Journal::Open(folder).Instance->Record(s);
    const std::string message = r.Ok ? "recorded" : r.Message;
    return ::write(fds[1], message.data(), message.size()) == ssize_t(message.size()) ? 0 : 1;
  });
  ::close(fds[1]);
  std::string message;
  char buf[4096];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) message.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  EXPECT_EQ(Wait(pid), 0);
  return message;
}

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::chmod(dir_.Path().c_str(), 0755);  // an unprivileged child must reach the data folder
    journal_ = OpenOk();
  }
  std::unique_ptr<Journal> OpenOk() {
    auto opened = Journal::Open(folder_);
    EXPECT_TRUE(opened.Ok) << tgx::ToUtf8(opened.Message);
    return std::move(opened.Instance);
  }
  int64_t RecordOk(const SessionRecord& s) {
    const auto r = journal_->Record(s);
    EXPECT_TRUE(r.Ok) << tgx::ToUtf8(r.Message);
    return r.Id;
  }
  // A second connection to the same file, as another program would have.
  tgx::sql::Database Raw() { return tgx::sql::Database(path_, SQLITE_OPEN_READWRITE); }
  // An empty data folder in place of the one there.
  void Fresh() {
    ::chmod(folder_.c_str(), 0755);
    fs::remove_all(folder_);
    fs::create_directory(folder_);
  }

  TempDir dir_{"tgx-journal"};
  std::string folder_ = dir_.File("data");
  std::string path_ = folder_ + "/" + Journal::kFileName;
  std::unique_ptr<Journal> journal_;
};

// Every field comes back, the one Windows-1251 byte without a character too;
// a backup of nothing and an empty one (the unit had no tables) stay apart;
// texts are readable UTF-8 in the file; an unknown id is not found.
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
    s.ProjectFile += '\x98';
    s.Backup = backup;
    const int64_t id = RecordOk(s);
    const auto back = journal_->Load(id);
    ASSERT_EQ(back.Status, tgx::LoadStatus::Loaded);
    EXPECT_EQ(back.Session.Id, id);
    EXPECT_TRUE(fields(back.Session) == fields(s));
    EXPECT_TRUE(back.Message.empty());
  }
  EXPECT_EQ(Raw().QueryInt("SELECT count(*) FROM session WHERE status_text = 'Недостаточно памяти БВ!'"), 3);
  EXPECT_FALSE(journal_->Exists(999));
  EXPECT_EQ(journal_->Load(999).Status, tgx::LoadStatus::NotFound);
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
  EXPECT_EQ(starts({.Operation = JournalOp::Write}, 0), (V{3000, 2000}));  // no other operation stored as a write
  EXPECT_EQ(starts({.Operation = JournalOp::Delete}, 0), (V{4000}));
  EXPECT_EQ(starts({.Port = "COM1", .VersionLabel = "853 "}, 1), (V{4000}));
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
  tgx::sql::Database(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
      .Exec("CREATE TABLE future(x); PRAGMA user_version = 99;");
  auto opened = Journal::Open(dir.Path().string());
  EXPECT_FALSE(opened.Ok);
  EXPECT_EQ(opened.Message, tgx::FromUtf8("Журнал сеансов не открыт: журнал ведёт более новая версия программы: ") +
                                tgx::FromUtf8(path));
  EXPECT_FALSE(opened.Instance->Record(SampleWrite()).Ok);
  EXPECT_EQ(tgx::sql::Database(path, SQLITE_OPEN_READONLY).QueryInt("PRAGMA user_version"), 99);
}

TEST_F(JournalTest, TwoProgramsRecordingAtOnceBothLand) {
  constexpr int kPrograms = 2, kEach = 25;
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < kPrograms; ++p)
    children.push_back(Fork([&] {
      ::close(gate[1]);
      char c;
      (void)!::read(gate[0], &c, 1);  // both start when the gate closes
      auto opened = Journal::Open(folder_);
      int failures = 0;
      for (int i = 0; i < kEach; ++i) failures += opened.Instance->Record(SampleWrite(p * 1000 + i)).Ok ? 0 : 1;
      return failures;
    }));
  ::close(gate[0]);
  ::close(gate[1]);
  for (pid_t pid : children) EXPECT_EQ(Wait(pid), 0) << "failed records in one program";
  EXPECT_EQ(OpenOk()->List({}, 0).Sessions.size(), static_cast<std::size_t>(kPrograms * kEach));
}

// Garbage is found when the file opens. With a whole first page the file
// opens, and the damage shows only when the record reaches the pages behind.
TEST_F(JournalTest, DamagedJournalIsMovedAsideAndRecordingGoesOn) {
  for (int i = 0; i < 3; ++i) RecordOk(SampleWrite(i));
  journal_.reset();  // closed, so that everything is in the file
  const std::string whole = ReadBytes(path_);
  ASSERT_GT(whole.size(), 8192u);
  const std::tuple<const char*, std::string, bool> cases[] = {
      {"garbage", Garbage(8192), true},
      {"pages after the first", whole.substr(0, 4096) + Garbage(whole.size() - 4096), false},
  };
  for (const auto& [name, bytes, foundAtOpen] : cases) {
    SCOPED_TRACE(name);
    Fresh();
    std::ofstream(path_, std::ios::binary) << bytes;
    auto opened = Journal::Open(folder_);
    const tgx::RecordResult r = opened.Instance->Record(SampleWrite(9));
    EXPECT_TRUE(r.Ok);
    const std::string aside = foundAtOpen ? opened.MovedAside : r.MovedAside;
    ASSERT_EQ(DamagedFiles(folder_), std::vector<std::string>{aside});
    EXPECT_EQ(ReadBytes(aside), bytes);
    EXPECT_EQ(foundAtOpen ? opened.Message : r.Message,
              tgx::FromUtf8("Журнал сеансов был повреждён и перенесён в " + aside + "; начат новый журнал."));
    EXPECT_EQ(OpenOk()->List({}, 0).Sessions.size(), 1u);
  }
}

TEST_F(JournalTest, PlacesThatCannotBeWrittenGiveAFailureAndKeepTheFile) {
  const std::string notRecorded = "Сеанс не записан в журнал: ";
  const std::string noAccess = notRecorded + "нет доступа на запись к " + path_;
  const std::tuple<const char*, std::function<void()>, std::string> cases[] = {
      {"read-only folder", [&] { ::chmod(folder_.c_str(), 0555); }, noAccess},
      {"read-only file in a folder open to all",
       [&] {
         OpenOk()->Record(SampleWrite());
         ::chmod(path_.c_str(), 0444);
         ::chmod(folder_.c_str(), 0777);
       },
       noAccess},
      {"damaged file in a read-only folder",
       [&] {
         std::ofstream(path_, std::ios::binary) << Garbage(5000);
         ::chmod(folder_.c_str(), 0555);
       },
       notRecorded + "файл журнала повреждён и не может быть перенесён: " + path_},
  };
  for (const auto& [name, setup, message] : cases) {
    SCOPED_TRACE(name);
    Fresh();
    setup();
    const std::string before = ReadBytes(path_);
    EXPECT_EQ(FailedRecord(folder_, SampleWrite(5), true), tgx::FromUtf8(message));
    EXPECT_EQ(ReadBytes(path_), before);
    EXPECT_TRUE(DamagedFiles(folder_).empty());
  }
  ::chmod(folder_.c_str(), 0755);  // so that the folder can be removed
}

TEST_F(JournalTest, FullDiskFailsTheRecordAndKeepsTheJournal) {
  const int64_t first = RecordOk(SampleWrite());
  journal_.reset();
  PARTAB wild;  // entries off any curve take several bytes each
  for (int i = 0; i < 3000; ++i) wild.Append(i % 2 ? INT32_MIN : INT32_MAX - i);
  tgx::SessionRecord big = SampleWrite();
  big.Tables = GROUPTAB();
  for (int k = 0; k < 16; ++k) big.Tables->Add(wild);
  const std::string message = FailedRecord(folder_, big, false, fs::file_size(path_) + 16384);
  EXPECT_EQ(message.rfind(tgx::FromUtf8("Сеанс не записан в журнал: "), 0), 0u);
  EXPECT_TRUE(DamagedFiles(folder_).empty());
  auto j = OpenOk();
  EXPECT_EQ(j->Load(first).Session.Tables, SampleWrite().Tables);
  EXPECT_TRUE(j->Record(big).Ok);
}

// A finished session as the worker leaves it.
void Finish(TBVLink& s, bool succeeded) {
  s.Succeeded = succeeded;
  s.StatusText = succeeded ? "OK" : "Fail";
  s.StartedAt = At(1'700'000'000'000);
  s.EndedAt = At(1'700'000'004'500);
  s.Channel.PortIndex = 2;
  s.Tables = SmoothSet(2, 50);
  s.Backup = SmoothSet(1, 40);
}

TEST(SessionEntry, PortDurationDetailAndProjectChecksum) {
  TempDir dir("tgx-entry");
  const std::string file = dir.File("p.fs");
  std::ofstream(file) << "# a\r\n| 0 10\r\n";
  TBVLink s(false);
  Finish(s, false);
  s.StatusDetail = "why";
  const tgx::SessionRecord r = tgx::SessionEntry(s, JournalOp::Write, file);
  EXPECT_EQ(r.Port, "COM3");
  EXPECT_EQ(r.DurationMs, 4500);
  EXPECT_EQ(r.StatusText, "Fail\nwhy");
  EXPECT_EQ(r.ProjectChecksum, tgx::FileChecksumText(file));
  s.DevicePath = "/dev/pts/9";  // a device given outright names no port
  EXPECT_EQ(tgx::SessionEntry(s, JournalOp::Read, "").Port, "");
  EXPECT_EQ(tgx::SessionEntry(s, JournalOp::Read, "").Device, "/dev/pts/9");
}

// Tables only from a read or write that succeeded; a backup only when taken.
TEST(SessionEntry, TablesAndBackupKept) {
  struct Row { const char* name; JournalOp op; bool succeeded, backupTaken, tables, backup; };
  const Row rows[] = {
      {"failed read", JournalOp::Read, false, false, false, false},
      {"delete", JournalOp::Delete, true, true, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TBVLink s(false);
    Finish(s, row.succeeded);
    s.BackupTaken = row.backupTaken;
    const tgx::SessionRecord r = tgx::SessionEntry(s, row.op, "");
    EXPECT_EQ(r.Tables.has_value(), row.tables);
    EXPECT_EQ(r.Backup.has_value(), row.backup);
  }
}

// A data folder that is a file cannot hold the journal, which is said the first time only.
TEST(RecordSession, RecordsAndTellsAFailureOnce) {
  TempDir dir("tgx-record");
  ::setenv("TGX_DATA_DIR", dir.Path().c_str(), 1);
  ASSERT_EQ(tgx::RecordSession(SampleWrite()), "");
  EXPECT_EQ(tgx::Journal::Open(dir.Path().string()).Instance->List({}, 0).Sessions.size(), 1u);
  std::ofstream(dir.File("file")) << "x";
  ::setenv("TGX_DATA_DIR", dir.File("file").c_str(), 1);
  EXPECT_NE(tgx::RecordSessionOnce(SampleWrite()), "");
  EXPECT_EQ(tgx::RecordSessionOnce(SampleWrite()), "");
  ::unsetenv("TGX_DATA_DIR");
}

}  // namespace
}  // namespace tgxtest
