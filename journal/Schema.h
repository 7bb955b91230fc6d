#pragma once
// The journal's tables and how an older journal file is brought up to them.
// Inside the journal layer only; callers use journal/Journal.h.

#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "journal/Sqlite.h"

namespace tgx::journal_schema {

// PRAGMA user_version of a journal in the current layout.
//   1: each session row held its tables inline, without a checksum.
//   2: table sets kept once each in `tableset`, keyed by their CRC-64 and
//      referred to by the sessions, which keep the number of tables beside
//      (so that a list reads no set); device path, version code, bytes
//      exchanged and project checksum added.
inline constexpr int kCurrentVersion = 2;

// A journal written by a later program: left exactly as it is.
class NewerVersionError : public std::runtime_error {
 public:
  explicit NewerVersionError(int64_t version)
      : std::runtime_error("journal schema is newer than this program"), version_(version) {}
  int64_t Version() const { return version_; }

 private:
  int64_t version_;
};

// Creates the tables in an empty file or migrates an older layout, in one
// write transaction (a second program opening the same old file at the same
// moment waits and then finds it current). A current file is only read, so
// a journal that may not be written can still be listed. Throws SqliteError
// or NewerVersionError.
void BringToCurrent(sql::Database& db);

// The id of the set whose encoded bytes are `bytes`, stored now unless an
// equal set is there already (found by checksum, confirmed byte for byte, so
// that neither a checksum collision nor a damaged copy is reused).
// Call inside a write transaction.
int64_t InternTableSet(sql::Database& db, std::string_view bytes);

}  // namespace tgx::journal_schema
