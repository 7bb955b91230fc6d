// The journal record the programs make of a finished session, and the one
// call that keeps it.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>

#include "journal/JournalSamples.h"
#include "journal/Sessionentry.h"
#include "link/session/Bvlink.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

using tgx::JournalOp;

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
      {"read", JournalOp::Read, true, false, true, false},
      {"failed read", JournalOp::Read, false, false, false, false},
      {"delete", JournalOp::Delete, true, true, false, true},
      {"write with a backup", JournalOp::Write, true, true, true, true},
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
