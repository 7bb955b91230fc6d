#include "journal/Journal.h"

#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <stdexcept>
#include <utility>

#include "journal/Schema.h"
#include "journal/TableCodec.h"
#include "model/Cp1251.h"

namespace tgx {

namespace fs = std::filesystem;
using sql::Database;
using sql::SqliteError;
using sql::Statement;

// What a call has to tell, gathered on the way.
struct Journal::Outcome {
  std::string moved_aside;
  std::string failure;  // Windows-1251; empty while nothing failed
};

namespace {

constexpr JournalOp kOps[] = {JournalOp::Read, JournalOp::Write, JournalOp::Compare, JournalOp::Delete};

// A damaged journal that cannot be renamed (a read-only folder): nothing
// can be recorded until someone moves it.
class CannotMoveAside : public std::runtime_error {
 public:
  CannotMoveAside() : std::runtime_error("cannot move the damaged journal aside") {}
};

std::optional<JournalOp> OpOfName(std::string_view name) {
  for (JournalOp op : kOps)
    if (name == JournalOpName(op)) return op;
  return std::nullopt;
}

int64_t ToMs(JournalTime t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

JournalTime FromMs(int64_t ms) {
  // A damaged row may hold any number: keep it within what the clock's
  // nanoseconds can hold (some 290 years either side of 1970).
  constexpr int64_t kLimit = int64_t{9'000'000'000'000};
  ms = std::clamp(ms, -kLimit, kLimit);
  return JournalTime(std::chrono::duration_cast<JournalTime::duration>(std::chrono::milliseconds(ms)));
}

// Windows-1251 text as UTF-8 TEXT, readable by any SQLite tool; the few
// texts that would not come back the same (byte 0x98 has no character) are
// kept as their bytes in a BLOB.
void BindCp1251(Statement& st, int i, const std::string& cp1251) {
  std::string utf8 = ToUtf8(cp1251);
  if (FromUtf8(utf8) == cp1251)
    st.BindText(i, utf8);
  else
    st.BindBlob(i, cp1251);
}

std::string ColumnCp1251(const Statement& st, int col) {
  return st.IsBlob(col) ? st.Bytes(col) : FromUtf8(st.BytesView(col));
}

bool IsDamage(int primary) { return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB; }

// The reason part of a failure message, one text per kind of failure.
std::string ReasonText(int primary, const std::string& path) {
  switch (primary) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH: return FromUtf8("нет доступа на запись к ") + FromUtf8(path);
    case SQLITE_FULL: return FromUtf8("диск заполнен");
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return FromUtf8("журнал занят другой программой");
    case SQLITE_IOERR: return FromUtf8("ошибка чтения или записи файла ") + FromUtf8(path);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return FromUtf8("файл журнала повреждён: ") + FromUtf8(path);
    case SQLITE_NOMEM: return FromUtf8("недостаточно памяти");
    default: return FromUtf8("ошибка базы данных (") + sqlite3_errstr(primary) + ")";
  }
}

std::string UtcStamp(JournalTime t, const char* format) {
  const time_t secs = std::chrono::system_clock::to_time_t(t);
  tm parts{};
  gmtime_r(&secs, &parts);
  char text[32] = {};
  std::strftime(text, sizeof text, format, &parts);
  return text;
}

// Runs `body`, turning anything it throws into the failure text that begins
// with `what`.
template <typename Body>
void Guard(const std::string& path, const char* what, std::string& failure, Body&& body) noexcept {
  try {
    try {
      body();
    } catch (const SqliteError& e) {
      failure = FromUtf8(what) + ReasonText(e.Primary(), path);
    } catch (const CannotMoveAside&) {
      failure = FromUtf8(what) + FromUtf8("файл журнала повреждён и не может быть перенесён: ") + FromUtf8(path);
    } catch (const journal_schema::NewerVersionError&) {
      failure = FromUtf8(what) + FromUtf8("журнал ведёт более новая версия программы: ") + FromUtf8(path);
    } catch (const std::bad_alloc&) {
      failure = FromUtf8(what) + ReasonText(SQLITE_NOMEM, path);
    } catch (const std::exception& e) {
      failure = FromUtf8(what) + FromUtf8("ошибка (") + e.what() + ")";
    } catch (...) {
      failure = FromUtf8(what) + FromUtf8("неизвестная ошибка");
    }
  } catch (...) {
    // Building the text itself failed (no memory): say something short.
    failure = "?";
  }
}

std::string MovedAsideText(const std::string& aside) {
  return FromUtf8("Журнал сеансов был повреждён и перенесён в ") + FromUtf8(aside) + FromUtf8("; начат новый журнал.");
}

// Joins the texts the operator should hear, one a line.
std::string Message(const std::string& moved_aside, const std::string& failure) {
  std::string text = moved_aside.empty() ? std::string() : MovedAsideText(moved_aside);
  if (!failure.empty()) text += (text.empty() ? "" : "\n") + failure;
  return text;
}

constexpr const char* kNotRecorded = "Сеанс не записан в журнал: ";
constexpr const char* kNotRead = "Журнал сеансов не прочитан: ";
constexpr const char* kNotOpened = "Журнал сеансов не открыт: ";

constexpr const char* kSessionColumns =
    "s.id, s.started, s.ended, s.user, s.port, s.device, s.version_label, s.version_code, s.operation,"
    " s.result_code, s.status_text, s.longest_wait_ms, s.bytes, s.duration_ms, s.project_file,"
    " s.project_checksum";

// Reads the columns of kSessionColumns, from column 0 on.
void ReadSession(const Statement& st, SessionInfo& s) {
  s.Id = st.Int(0);
  s.Started = FromMs(st.Int(1));
  s.Ended = FromMs(st.Int(2));
  s.User = st.Bytes(3);
  s.Port = st.Bytes(4);
  s.Device = st.Bytes(5);
  s.VersionLabel = ColumnCp1251(st, 6);
  s.VersionCode = static_cast<int32_t>(st.Int(7));
  const auto op = OpOfName(st.BytesView(8));
  // The table's CHECK admits only the four names: another one is damage.
  if (!op) throw SqliteError(SQLITE_CORRUPT, "unknown operation");
  s.Operation = *op;
  s.ResultCode = static_cast<int32_t>(st.Int(9));
  s.StatusText = ColumnCp1251(st, 10);
  s.LongestWait = static_cast<int32_t>(st.Int(11));
  s.Bytes = st.Int(12);
  s.DurationMs = st.Int(13);
  s.ProjectFile = st.Bytes(14);
  s.ProjectChecksum = st.Bytes(15);
}

enum class SetState { Intact, Absent, ChecksumMismatch, Undecodable };

// A stored table set, checked against its checksum before it is decoded.
SetState ReadSet(Database& db, int64_t id, std::optional<GROUPTAB>& out) {
  Statement st(db, "SELECT checksum, data FROM tableset WHERE id = ?1");
  st.Bind(1, id);
  if (!st.Step()) return SetState::Absent;
  const std::string_view bytes = st.BytesView(1);
  if (static_cast<uint64_t>(st.Int(0)) != Checksum64(bytes)) return SetState::ChecksumMismatch;
  out = DecodeTables(bytes);
  return out ? SetState::Intact : SetState::Undecodable;
}

std::string SetProblemText(bool backup, int64_t session, SetState state) {
  const char* reason = nullptr;
  switch (state) {
    case SetState::ChecksumMismatch: reason = "контрольная сумма не совпадает."; break;
    case SetState::Absent: reason = backup ? "её нет в журнале." : "их нет в журнале."; break;
    case SetState::Undecodable: reason = backup ? "её нельзя прочитать." : "их нельзя прочитать."; break;
    case SetState::Intact: return {};
  }
  return FromUtf8(backup ? "Резервная копия таблиц сеанса " : "Таблицы сеанса ") + std::to_string(session) +
         FromUtf8(backup ? " в журнале повреждена: " : " в журнале повреждены: ") + FromUtf8(reason);
}

}  // namespace

const char* JournalOpName(JournalOp op) {
  switch (op) {
    case JournalOp::Read: return "read";
    case JournalOp::Write: return "write";
    case JournalOp::Compare: return "compare";
    case JournalOp::Delete: return "delete";
  }
  return "read";
}

std::string FormatJournalTime(JournalTime t) { return UtcStamp(t, "%Y-%m-%d %H:%M:%S"); }

Journal::Journal(std::string folder) : folder_(std::move(folder)), path_((fs::path(folder_) / kFileName).string()) {}

Journal::~Journal() = default;

JournalOpen Journal::Open(const std::string& folder) {
  JournalOpen result;
  Outcome out;
  try {
    result.Instance.reset(new Journal(folder));
  } catch (...) {
    // Not even the object: nothing can be promised, but nothing throws.
    result.Message = "?";
    return result;
  }
  Journal& j = *result.Instance;
  Guard(j.path_, kNotOpened, out.failure, [&] { j.EnsureOpen(out); });
  result.Ok = out.failure.empty();
  result.MovedAside = out.moved_aside;
  result.Message = Message(out.moved_aside, out.failure);
  return result;
}

void Journal::OpenDatabase() {
  db_.Close();
  // A folder that cannot be made shows up as the open's own failure.
  std::error_code ec;
  fs::create_directories(folder_, ec);
  // One thread at a time uses a journal, so the connection needs no mutex
  // of its own (it would be taken for every column of every listed row).
  Database db(path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    device_ = st.st_dev;
    inode_ = st.st_ino;
  }
  db.SetBusyTimeout(kBusyTimeoutMs);
  // WAL lets one program read while another records. FULL syncs each commit:
  // a backup of the unit's tables must not vanish with a power cut that
  // follows the write that replaced them.
  db.Exec("PRAGMA journal_mode = WAL");
  db.Exec("PRAGMA synchronous = FULL");
  journal_schema::BringToCurrent(db);
  db_ = std::move(db);
}

void Journal::EnsureOpen(Outcome& out) {
  if (db_) return;
  try {
    OpenDatabase();
  } catch (const SqliteError& e) {
    if (!IsDamage(e.Primary()) || !out.moved_aside.empty()) throw;
    MoveAside(out);
    OpenDatabase();
  }
}

void Journal::MoveAside(Outcome& out) {
  const uint64_t device = device_, inode = inode_;
  db_.Close();
  device_ = inode_ = 0;
  struct stat st {};
  // Another program that met the same damage may have moved the file aside
  // and started a new journal already: that new one is left alone.
  if (::stat(path_.c_str(), &st) != 0) return;
  if (inode != 0 && (st.st_dev != device || st.st_ino != inode)) return;
  const std::string base = path_ + ".damaged-" + UtcStamp(std::chrono::system_clock::now(), "%Y%m%dT%H%M%SZ");
  std::string aside = base;
  for (int n = 2; fs::exists(aside) || fs::exists(aside + "-wal"); ++n) aside = base + "-" + std::to_string(n);
  if (std::rename(path_.c_str(), aside.c_str()) != 0) throw CannotMoveAside();
  // Closing the connection has already folded what it could of the log into
  // the file; a log that is still there belongs to the damaged file, and its
  // name beside the moved file is the one SQLite looks for. The shared-memory
  // index is only a cache of the log and is rebuilt.
  std::rename((path_ + "-wal").c_str(), (aside + "-wal").c_str());
  std::remove((path_ + "-shm").c_str());
  out.moved_aside = aside;
}

int64_t Journal::Insert(const SessionRecord& s, const std::optional<std::string>& tables,
                        const std::optional<std::string>& backup) {
  sql::Transaction tx(db_);
  std::optional<int64_t> tables_id, backup_id;
  if (tables) tables_id = journal_schema::InternTableSet(db_, *tables);
  if (backup) backup_id = journal_schema::InternTableSet(db_, *backup);
  Statement st(db_,
               "INSERT INTO session(started, ended, user, port, device, version_label, version_code, operation,"
               " result_code, status_text, longest_wait_ms, bytes, duration_ms, project_file, project_checksum,"
               " tables_id, tables_count, backup_id, backup_count)"
               " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19)");
  st.Bind(1, ToMs(s.Started)).Bind(2, ToMs(s.Ended));
  st.BindText(3, s.User).BindText(4, s.Port).BindText(5, s.Device);
  BindCp1251(st, 6, s.VersionLabel);
  st.Bind(7, s.VersionCode).BindText(8, JournalOpName(s.Operation)).Bind(9, s.ResultCode);
  BindCp1251(st, 10, s.StatusText);
  st.Bind(11, s.LongestWait).Bind(12, s.Bytes).Bind(13, s.DurationMs);
  st.BindText(14, s.ProjectFile).BindText(15, s.ProjectChecksum);
  if (tables_id)
    st.Bind(16, *tables_id).Bind(17, s.Tables->Count());
  else
    st.BindNull(16).BindNull(17);
  if (backup_id)
    st.Bind(18, *backup_id).Bind(19, s.Backup->Count());
  else
    st.BindNull(18).BindNull(19);
  st.Step();
  const int64_t id = db_.LastInsertRowid();
  tx.Commit();
  return id;
}

RecordResult Journal::Record(const SessionRecord& session) {
  RecordResult result;
  Outcome out;
  Guard(path_, kNotRecorded, out.failure, [&] {
    // Encoded before the write lock is taken, so that the lock is held only
    // for the database work.
    std::optional<std::string> tables, backup;
    if (session.Tables) tables = EncodeTables(*session.Tables);
    if (session.Backup) backup = EncodeTables(*session.Backup);
    EnsureOpen(out);
    try {
      result.Id = Insert(session, tables, backup);
    } catch (const SqliteError& e) {
      // Damage found while recording: once per call, move the journal aside
      // and record into a new one.
      if (!IsDamage(e.Primary()) || !out.moved_aside.empty()) throw;
      MoveAside(out);
      EnsureOpen(out);
      result.Id = Insert(session, tables, backup);
    }
    result.Ok = true;
  });
  if (!result.Ok) result.Id = 0;
  result.MovedAside = out.moved_aside;
  result.Message = Message(out.moved_aside, out.failure);
  return result;
}

ListResult Journal::List(const JournalFilter& filter, int limit) {
  ListResult result;
  Outcome out;
  Guard(path_, kNotRead, out.failure, [&] {
    EnsureOpen(out);
    Statement st(db_, (std::string("SELECT ") + kSessionColumns +
                       ", s.tables_count, s.backup_count FROM session s"
                       " WHERE (?1 IS NULL OR s.port = ?1) AND (?2 IS NULL OR s.version_label = ?2)"
                       " AND (?3 IS NULL OR s.operation = ?3)"
                       " ORDER BY s.started DESC, s.id DESC LIMIT ?4")
                          .c_str());
    if (filter.Port) st.BindText(1, *filter.Port);
    if (filter.VersionLabel) BindCp1251(st, 2, *filter.VersionLabel);
    if (filter.Operation) st.BindText(3, JournalOpName(*filter.Operation));
    st.Bind(4, limit > 0 ? limit : -1);
    if (limit > 0) result.Sessions.reserve(static_cast<std::size_t>(std::min(limit, 10000)));
    while (st.Step()) {
      SessionSummary& row = result.Sessions.emplace_back();
      ReadSession(st, row);
      row.TableCount = st.IsNull(16) ? -1 : static_cast<int32_t>(st.Int(16));
      row.BackupCount = st.IsNull(17) ? -1 : static_cast<int32_t>(st.Int(17));
    }
    result.Ok = true;
  });
  if (!result.Ok) result.Sessions.clear();
  result.Message = Message(out.moved_aside, out.failure);
  return result;
}

LoadResult Journal::Load(int64_t id) {
  LoadResult result;
  Outcome out;
  std::string problems;
  Guard(path_, kNotRead, out.failure, [&] {
    EnsureOpen(out);
    Statement st(
        db_, (std::string("SELECT ") + kSessionColumns + ", s.tables_id, s.backup_id FROM session s WHERE s.id = ?1")
                 .c_str());
    st.Bind(1, id);
    if (!st.Step()) {
      result.Status = LoadStatus::NotFound;
      return;
    }
    ReadSession(st, result.Session);
    if (!st.IsNull(16)) {
      const SetState state = ReadSet(db_, st.Int(16), result.Session.Tables);
      result.TablesIntact = state == SetState::Intact;
      problems += SetProblemText(false, id, state);
    }
    if (!st.IsNull(17)) {
      const SetState state = ReadSet(db_, st.Int(17), result.Session.Backup);
      result.BackupIntact = state == SetState::Intact;
      if (!problems.empty() && state != SetState::Intact) problems += "\n";
      problems += SetProblemText(true, id, state);
    }
    result.Status = LoadStatus::Loaded;
  });
  if (!out.failure.empty()) {
    result = LoadResult{};
    result.Status = LoadStatus::Failed;
    problems.clear();
  }
  result.Message = Message(out.moved_aside, out.failure);
  if (!problems.empty()) result.Message += (result.Message.empty() ? "" : "\n") + problems;
  return result;
}

bool Journal::Exists(int64_t id) {
  bool found = false;
  Outcome out;
  Guard(path_, kNotRead, out.failure, [&] {
    EnsureOpen(out);
    Statement st(db_, "SELECT 1 FROM session WHERE id = ?1");
    st.Bind(1, id);
    found = st.Step();
  });
  return found;
}

std::string SessionUser() {
  std::string name;
  try {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    passwd entry{}, *found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr)
      name = found->pw_name;
    if (name.empty())
      if (const char* user = std::getenv("USER")) name = user;
    if (name.empty()) name = std::to_string(::geteuid());
  } catch (...) {
  }
  return name;
}

std::string FileChecksumText(const std::string& path) {
  try {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return {};
    char text[17] = {};
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(Checksum64(bytes)));
    return text;
  } catch (...) {
    return {};
  }
}

}  // namespace tgx
