#include "journal/Schema.h"

#include <string>

#include "journal/TableCodec.h"

namespace tgx::journal_schema {
namespace {

using sql::Database;
using sql::Statement;

// Times are UTC milliseconds since 1970. Windows-1251 texts (status text,
// version label) are UTF-8 TEXT, or their bytes as a BLOB in the rare case
// that they have no UTF-8 form (byte 0x98), so they always come back exactly.
// Native texts (user, port, device, project file) are kept as given.
constexpr const char* kTableSetDdl =
    "CREATE TABLE tableset("
    " id INTEGER PRIMARY KEY,"
    " checksum INTEGER NOT NULL,"
    " data BLOB NOT NULL);"
    "CREATE INDEX tableset_by_checksum ON tableset(checksum);";

constexpr const char* kSessionColumnsDdl =
    "(id INTEGER PRIMARY KEY,"
    " started INTEGER NOT NULL,"
    " ended INTEGER NOT NULL,"
    " user TEXT NOT NULL,"
    " port TEXT NOT NULL,"
    " device TEXT NOT NULL,"
    " version_label NOT NULL,"
    " version_code INTEGER NOT NULL,"
    " operation TEXT NOT NULL CHECK(operation IN ('read', 'write', 'compare', 'delete')),"
    " result_code INTEGER NOT NULL,"
    " status_text NOT NULL,"
    " longest_wait_ms INTEGER NOT NULL,"
    " bytes INTEGER NOT NULL,"
    " duration_ms INTEGER NOT NULL,"
    " project_file TEXT NOT NULL,"
    " project_checksum TEXT NOT NULL,"
    " tables_id INTEGER REFERENCES tableset(id),"
    " tables_count INTEGER,"
    " backup_id INTEGER REFERENCES tableset(id),"
    " backup_count INTEGER)";

constexpr const char* kSessionIndexDdl = "CREATE INDEX session_by_start ON session(started);";

void CreateCurrent(Database& db) {
  db.Exec(kTableSetDdl);
  db.Exec((std::string("CREATE TABLE session") + kSessionColumnsDdl + ";").c_str());
  db.Exec(kSessionIndexDdl);
}

// Layout 1: session(id, started, ended, user, port, version_label, operation,
// result_code, status_text, longest_wait_ms, duration_ms, project_file,
// tables BLOB, backup BLOB), the blobs in the encoding of TableCodec.
void MigrateFrom1(Database& db) {
  db.Exec(kTableSetDdl);
  db.Exec((std::string("CREATE TABLE session_v2") + kSessionColumnsDdl + ";").c_str());
  // The fields copy as they are, with their storage class (a text kept as a
  // BLOB stays one); what layout 1 did not know is empty.
  db.Exec(
      "INSERT INTO session_v2(id, started, ended, user, port, device, version_label, version_code, operation,"
      " result_code, status_text, longest_wait_ms, bytes, duration_ms, project_file, project_checksum)"
      " SELECT id, started, ended, user, port, '', version_label, 0, operation, result_code, status_text,"
      " longest_wait_ms, 0, duration_ms, project_file, '' FROM session;");
  {
    Statement rows(db, "SELECT id, tables, backup FROM session WHERE tables IS NOT NULL OR backup IS NOT NULL");
    Statement link(db,
                   "UPDATE session_v2 SET tables_id = ?2, tables_count = ?3, backup_id = ?4, backup_count = ?5"
                   " WHERE id = ?1");
    while (rows.Step()) {
      link.Reset();
      link.Bind(1, rows.Int(0));
      for (int k = 1; k <= 2; ++k) {
        const int id = 2 * k, count = 2 * k + 1;
        if (rows.IsNull(k)) {
          link.BindNull(id).BindNull(count);
          continue;
        }
        // Layout 1 kept no checksum, so the bytes are taken as they are; a
        // set that does not decode is still kept, and reported when loaded.
        const std::string_view bytes = rows.BytesView(k);
        const auto decoded = DecodeTables(bytes);
        link.Bind(id, InternTableSet(db, bytes));
        link.Bind(count, decoded ? decoded->Count() : 0);
      }
      link.Step();
    }
  }  // the statements end here: a table being read cannot be dropped
  db.Exec("DROP TABLE session; ALTER TABLE session_v2 RENAME TO session;");
  db.Exec(kSessionIndexDdl);
}

void SetVersion(Database& db, int version) { db.Exec(("PRAGMA user_version = " + std::to_string(version)).c_str()); }

}  // namespace

void BringToCurrent(Database& db) {
  if (db.QueryInt("PRAGMA user_version") == kCurrentVersion) return;
  sql::Transaction tx(db);
  // Read again under the write lock: another program may have done the work.
  const int64_t version = db.QueryInt("PRAGMA user_version");
  if (version == kCurrentVersion) return;
  if (version > kCurrentVersion) throw NewerVersionError(version);
  if (version == 0) {
    CreateCurrent(db);
  } else {
    // Each step brings one layout to the next.
    if (version <= 1) MigrateFrom1(db);
  }
  SetVersion(db, kCurrentVersion);
  tx.Commit();
}

int64_t InternTableSet(Database& db, std::string_view bytes) {
  const auto checksum = static_cast<int64_t>(Checksum64(bytes));
  Statement find(db, "SELECT id, data FROM tableset WHERE checksum = ?1");
  find.Bind(1, checksum);
  while (find.Step())
    if (find.BytesView(1) == bytes) return find.Int(0);
  Statement add(db, "INSERT INTO tableset(checksum, data) VALUES(?1, ?2)");
  add.Bind(1, checksum).BindBlob(2, bytes);
  add.Step();
  return db.LastInsertRowid();
}

}  // namespace tgx::journal_schema
