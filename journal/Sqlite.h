#pragma once
// A small owning wrapper over the SQLite C API for the journal: a connection,
// a prepared statement and a write transaction. Every failure throws
// SqliteError with SQLite's extended result code; the journal catches them at
// its own interface, which never throws.

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tgx::sql {

class SqliteError : public std::runtime_error {
 public:
  SqliteError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
  int Code() const { return code_; }            // extended result code
  int Primary() const { return code_ & 0xFF; }  // SQLITE_FULL, SQLITE_CORRUPT...

 private:
  int code_;
};

class Database {
 public:
  Database() = default;
  // Opens (flags as for sqlite3_open_v2) with extended result codes on.
  Database(const std::string& path, int flags);
  ~Database() { Close(); }
  Database(Database&& other) noexcept : db_(other.db_) { other.db_ = nullptr; }
  Database& operator=(Database&& other) noexcept;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  explicit operator bool() const { return db_ != nullptr; }
  sqlite3* Handle() const { return db_; }
  void Close();

  // Runs one or more statements that return no rows of interest.
  void Exec(const char* sql);
  // The first column of the first row of a one-value query (PRAGMA user_version).
  int64_t QueryInt(const char* sql);
  void SetBusyTimeout(int ms);
  int64_t LastInsertRowid() const { return sqlite3_last_insert_rowid(db_); }
  bool ReadOnly() const { return sqlite3_db_readonly(db_, "main") == 1; }

  // Throws SqliteError for `code` with the connection's message.
  [[noreturn]] void Fail(int code) const;

 private:
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(Database& db, const char* sql);
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Parameters are numbered from 1, as in the SQL text (?1, ?2...).
  Statement& Bind(int i, int64_t v);
  Statement& BindText(int i, std::string_view text);
  Statement& BindBlob(int i, std::string_view bytes);
  Statement& BindNull(int i);

  // True when a row is ready, false when the statement has finished.
  bool Step();
  // Ready to step again with new parameters (the bound values stay).
  void Reset();

  // Columns are numbered from 0.
  bool IsNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
  bool IsBlob(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_BLOB; }
  int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
  // TEXT as its bytes, BLOB as its bytes; "" for NULL.
  std::string Bytes(int col) const;
  std::string_view BytesView(int col) const;

 private:
  Database& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE: the write lock is taken at the start (waiting up to the
// busy time-out), so two programs recording at once queue instead of failing
// when a read turns into a write. Rolled back unless committed.
class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Database& db_;
  bool open_ = true;
};

}  // namespace tgx::sql
