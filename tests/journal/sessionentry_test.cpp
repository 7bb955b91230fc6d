// The journal record the programs make of a finished session, and the one
// call that keeps it.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>

#include "journal/Sessionentry.h"
#include "journal/JournalSamples.h"
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
}

TEST(SessionEntry, PortAndDurationFromTheSession) {
  TBVLink s(false);
  Finish(s, true);
  const tgx::SessionRecord r = tgx::SessionEntry(s, JournalOp::Read, "");
  EXPECT_EQ(r.Port, "COM3");
  EXPECT_EQ(r.DurationMs, 4500);
}

TEST(SessionEntry, DevicePathGivenOutrightLeavesThePortEmpty) {
  TBVLink s(false);
  Finish(s, true);
  s.DevicePath = "/dev/pts/9";
  const tgx::SessionRecord r = tgx::SessionEntry(s, JournalOp::Read, "");
  EXPECT_EQ(r.Port, "");
  EXPECT_EQ(r.Device, "/dev/pts/9");
}

TEST(SessionEntry, TablesKeptOnlyFromASuccessfulReadOrWrite) {
  struct Row { const char* name; JournalOp op; bool succeeded; bool kept; };
  for (const Row& row : {Row{"read", JournalOp::Read, true, true}, Row{"failed read", JournalOp::Read, false, false},
                         Row{"delete", JournalOp::Delete, true, false}}) {
    SCOPED_TRACE(row.name);
    TBVLink s(false);
    Finish(s, row.succeeded);
    EXPECT_EQ(tgx::SessionEntry(s, row.op, "").Tables.has_value(), row.kept);
  }
}

TEST(SessionEntry, BackupKeptOnlyWhenTaken) {
  TBVLink s(false);
  Finish(s, true);
  s.Backup = SmoothSet(1, 40);
  EXPECT_FALSE(tgx::SessionEntry(s, JournalOp::Write, "").Backup.has_value());
  s.BackupTaken = true;
  EXPECT_TRUE(tgx::SessionEntry(s, JournalOp::Write, "").Backup.has_value());
}

TEST(SessionEntry, DetailFollowsTheStatusTextAndTheProjectGetsItsChecksum) {
  TempDir dir("tgx-entry");
  const std::string file = dir.File("p.fs");
  std::ofstream(file) << "# a\r\n| 0 10\r\n";
  TBVLink s(false);
  Finish(s, false);
  s.StatusDetail = "why";
  const tgx::SessionRecord r = tgx::SessionEntry(s, JournalOp::Write, file);
  EXPECT_EQ(r.StatusText, "Fail\nwhy");
  EXPECT_EQ(r.ProjectChecksum, tgx::FileChecksumText(file));
}

// Recorded into a folder of the test's own; a data folder that is a file
// cannot hold the journal, which is said the first time only.
TEST(RecordSession, RecordsAndTellsAFailureOnce) {
  TempDir dir("tgx-record");
  const char* old = ::getenv("TGX_DATA_DIR");
  const std::string saved = old ? old : "";
  ::setenv("TGX_DATA_DIR", dir.Path().c_str(), 1);
  ASSERT_EQ(tgx::RecordSession(SampleWrite()), "");
  EXPECT_EQ(tgx::Journal::Open(dir.Path().string()).Instance->List({}, 0).Sessions.size(), 1u);
  const std::string blocker = dir.File("file");
  std::ofstream(blocker) << "x";
  ::setenv("TGX_DATA_DIR", blocker.c_str(), 1);
  EXPECT_NE(tgx::RecordSessionOnce(SampleWrite()), "");
  EXPECT_EQ(tgx::RecordSessionOnce(SampleWrite()), "");
  saved.empty() ? ::unsetenv("TGX_DATA_DIR") : ::setenv("TGX_DATA_DIR", saved.c_str(), 1);
}

}  // namespace
}  // namespace tgxtest
