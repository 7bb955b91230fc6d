#include "journal/Sqlite.h"

#include <utility>

namespace tgx::sql {

Database::Database(const std::string& path, int flags) {
  const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (db_ != nullptr) sqlite3_extended_result_codes(db_, 1);
  if (rc != SQLITE_OK) {
    // The handle exists even after a failed open (unless memory ran out) and
    // carries the message; it still has to be closed.
    const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    const int code = db_ != nullptr ? sqlite3_extended_errcode(db_) : rc;
    Close();
    throw SqliteError(code, message);
  }
}

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = std::exchange(other.db_, nullptr);
  }
  return *this;
}

void Database::Close() {
  // Every statement is finalised by its owner before the connection goes, so
  // the close succeeds; sqlite3_close_v2 would still free a leftover later.
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

void Database::Fail(int code) const {
  // With extended result codes on, `code` is already the extended one.
  throw SqliteError(code, db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code));
}

void Database::Exec(const char* sql) {
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
}

int64_t Database::QueryInt(const char* sql) {
  Statement st(*this, sql);
  return st.Step() ? st.Int(0) : 0;
}

void Database::SetBusyTimeout(int ms) {
  const int rc = sqlite3_busy_timeout(db_, ms);
  if (rc != SQLITE_OK) Fail(rc);
}

Statement::Statement(Database& db, const char* sql) : db_(db) {
  const int rc = sqlite3_prepare_v2(db.Handle(), sql, -1, &stmt_, nullptr);
  if (rc != SQLITE_OK) db_.Fail(rc);
}

Statement& Statement::Bind(int i, int64_t v) {
  const int rc = sqlite3_bind_int64(stmt_, i, v);
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

Statement& Statement::BindText(int i, std::string_view text) {
  const int rc = sqlite3_bind_text64(stmt_, i, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

Statement& Statement::BindBlob(int i, std::string_view bytes) {
  // A zero-length blob is still a blob, not NULL: bind a non-null pointer.
  static const char kNothing = 0;
  const int rc =
      sqlite3_bind_blob64(stmt_, i, bytes.empty() ? &kNothing : bytes.data(), bytes.size(), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

Statement& Statement::BindNull(int i) {
  const int rc = sqlite3_bind_null(stmt_, i);
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

bool Statement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  // Reset so that the statement releases its locks before the error travels.
  sqlite3_reset(stmt_);
  db_.Fail(rc);
}

void Statement::Reset() { sqlite3_reset(stmt_); }

std::string_view Statement::BytesView(int col) const {
  // For TEXT and BLOB alike: ask for the pointer first, then the size.
  const void* p = IsBlob(col) ? sqlite3_column_blob(stmt_, col) : sqlite3_column_text(stmt_, col);
  const int n = sqlite3_column_bytes(stmt_, col);
  if (p == nullptr || n <= 0) return {};
  return {static_cast<const char*>(p), static_cast<std::size_t>(n)};
}

std::string Statement::Bytes(int col) const { return std::string(BytesView(col)); }

Transaction::Transaction(Database& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
  if (open_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  db_.Exec("COMMIT");
  open_ = false;
}

}  // namespace tgx::sql
