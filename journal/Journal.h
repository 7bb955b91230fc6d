#pragma once
// The session journal: a record of every table session (read, write, compare,
// delete) of the window program and of tgxctl, with the tables that went over
// the line and, before a write or delete, the unit's tables as they were, so
// that tables a change destroyed in the unit can be found again.
//
// One SQLite file, `journal.sqlite`, in a data folder that the caller names.
// Several programs may record into it at the same time (WAL, and a busy
// time-out of kBusyTimeoutMs: a program that holds the journal longer makes a
// record fail, never wait longer).
//
// No call throws. A record that cannot be made (read-only folder or file, full
// disk, a journal of a later program, no memory) gives a result with Ok false
// and a message; the caller shows it once and carries on. A damaged journal
// (SQLite finds no database, or a damaged one, while opening or recording) is
// moved aside to `journal.sqlite.damaged-<UTC time>` (its -wal file with it)
// and a new journal is started; the call then says so in its message.
//
// Texts: StatusText, VersionLabel and every message are Windows-1251, as
// everywhere in the core. User, Port, Device and ProjectFile are native texts
// (file names as the system gives them). The file keeps Windows-1251 texts as
// UTF-8, so that any SQLite tool shows them readably; they come back exactly.
//
// A Journal object is used by one thread at a time. Open one per program (or
// per thread); never carry one across fork().

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "journal/Sqlite.h"
#include "model/Prjvol.h"

namespace tgx {

enum class JournalOp : uint8_t { Read, Write, Compare, Delete };
// "read", "write", "compare", "delete": the names the journal keeps.
const char* JournalOpName(JournalOp op);

// UTC; the journal keeps it to the millisecond.
using JournalTime = std::chrono::system_clock::time_point;
// "2024-05-01 10:15:02" (UTC), for lists.
std::string FormatJournalTime(JournalTime t);

// What a session was, without its tables.
struct SessionInfo {
  int64_t Id = 0;  // given by the journal; ignored by Record
  JournalTime Started{};
  JournalTime Ended{};
  std::string User;          // SessionUser()
  std::string Port;          // "COM1"; empty when a device path was given outright
  std::string Device;        // the device path that was opened
  std::string VersionLabel;  // "632 " (with its blank), "?" when unknown; Windows-1251
  int32_t VersionCode = 0;   // the firmware's 4-digit code; 0 when not known
  JournalOp Operation = JournalOp::Read;
  int32_t ResultCode = 0;   // the session's result code (0 success, 6 link failure...)
  std::string StatusText;   // the session's status text; Windows-1251
  int32_t LongestWait = 0;  // ms
  int64_t Bytes = 0;        // bytes exchanged with the unit, both ways
  int64_t DurationMs = 0;
  std::string ProjectFile;      // write and compare: the project's file
  std::string ProjectChecksum;  // FileChecksumText(ProjectFile) when the session ran
};

struct SessionRecord : SessionInfo {
  // Read: the unit's tables; write and compare: the project's tables.
  // Nothing when the session got no tables (a read that failed).
  std::optional<GROUPTAB> Tables;
  // Write and delete: the unit's tables read just before the change (an empty
  // set when the unit had none); nothing when no backup was read.
  std::optional<GROUPTAB> Backup;
};

// A line of a list: the session without its tables, and how many there are.
struct SessionSummary : SessionInfo {
  int32_t TableCount = -1;   // tables in Tables; -1 when none were recorded
  int32_t BackupCount = -1;  // tables in Backup; -1 when none was recorded
};

// Each given field must match exactly; an empty filter lists everything.
struct JournalFilter {
  std::optional<std::string> Port = std::nullopt;          // "COM1"
  std::optional<std::string> VersionLabel = std::nullopt;  // Windows-1251, with its blank: "632 "
  std::optional<JournalOp> Operation = std::nullopt;
};

class Journal;

// What every call tells its caller. Ok false: the call did nothing, and
// Message says why. Ok true with a Message: done, but something happened that
// the operator should hear of once (a damaged journal was moved aside).
struct JournalOpen {
  std::unique_ptr<Journal> Instance;  // not null even when Ok is false (only when memory ran out)
  bool Ok = false;
  std::string Message;     // Windows-1251; empty when there is nothing to tell
  std::string MovedAside;  // the path a damaged journal was moved to, if that happened
};

struct RecordResult {
  bool Ok = false;
  int64_t Id = 0;  // the new session's id when Ok
  std::string Message;
  std::string MovedAside;
};

struct ListResult {
  bool Ok = false;
  std::string Message;
  std::vector<SessionSummary> Sessions;  // newest first
};

enum class LoadStatus { Loaded, NotFound, Failed };

struct LoadResult {
  LoadStatus Status = LoadStatus::Failed;
  SessionRecord Session;
  // Loaded, but a table set did not pass its checksum or did not decode:
  // that set is left empty (nothing) and Message says which.
  bool TablesIntact = true;
  bool BackupIntact = true;
  std::string Message;
};

class Journal {
 public:
  static constexpr const char* kFileName = "journal.sqlite";
  static constexpr int kBusyTimeoutMs = 2000;

  // Opens or creates `folder`/journal.sqlite, creating the folder, and brings
  // an older journal up to the current layout. When the journal cannot be
  // opened, the returned object still works: each later call tries again.
  static JournalOpen Open(const std::string& folder);

  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  const std::string& Path() const { return path_; }

  // Records one session in one transaction; the table sets are stored once
  // each, however many sessions carry the same tables.
  RecordResult Record(const SessionRecord& session);
  // Newest first (by start time, then by id); `limit` <= 0 lists all.
  ListResult List(const JournalFilter& filter, int limit);
  // One session with its tables and backup, each checked against its checksum.
  LoadResult Load(int64_t id);
  // False also when the journal cannot be read.
  bool Exists(int64_t id);

 private:
  struct Outcome;
  explicit Journal(std::string folder);

  void OpenDatabase();
  void EnsureOpen(Outcome& out);
  void MoveAside(Outcome& out);
  int64_t Insert(const SessionRecord& s, const std::optional<std::string>& tables,
                 const std::optional<std::string>& backup);

  std::string folder_;
  std::string path_;
  sql::Database db_;
  // The file the connection opened, so that a damaged journal that another
  // program has already moved aside (and replaced) is not moved again.
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
};

// The login name of the user running the program (for SessionRecord::User).
std::string SessionUser();
// The CRC-64 of a file's bytes as 16 lower-case hex digits; "" when the file
// cannot be read.
std::string FileChecksumText(const std::string& path);

}  // namespace tgx
