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

TEST(SessionEntry, PortIsNamedFromItsIndex) {
  TBVLink s(false);
  Finish(s, true);
  EXPECT_EQ(tgx::SessionEntry(s, JournalOp::Read, "").Port, "COM3");
}

TEST(SessionEntry, DevicePathGivenOutrightLeavesThePortEmpty) {
  TBVLink s(false);
  Finish(s, true);
  s.DevicePath = "/dev/pts/9";
  const tgx::SessionRecord r = tgx::SessionEntry(s, JournalOp::Read, "");
  EXPECT_EQ(r.Port, "");
  EXPECT_EQ(r.Device, "/dev/pts/9");
}

TEST(SessionEntry, DurationFromTheSessionsTimes) {
  TBVLink s(false);
  Finish(s, true);
  EXPECT_EQ(tgx::SessionEntry(s, JournalOp::Read, "").DurationMs, 4500);
}

TEST(SessionEntry, SuccessfulReadKeepsTheUnitsTables) {
  TBVLink s(false);
  Finish(s, true);
  EXPECT_TRUE(tgx::SessionEntry(s, JournalOp::Read, "").Tables.has_value());
}

TEST(SessionEntry, FailedReadKeepsNoTables) {
  TBVLink s(false);
  Finish(s, false);
  EXPECT_FALSE(tgx::SessionEntry(s, JournalOp::Read, "").Tables.has_value());
}

TEST(SessionEntry, DeleteKeepsNoTables) {
  TBVLink s(false);
  Finish(s, true);
  EXPECT_FALSE(tgx::SessionEntry(s, JournalOp::Delete, "").Tables.has_value());
}

TEST(SessionEntry, BackupKeptOnlyWhenTaken) {
  TBVLink s(false);
  Finish(s, true);
  s.Backup = SmoothSet(1, 40);
  EXPECT_FALSE(tgx::SessionEntry(s, JournalOp::Write, "").Backup.has_value());
  s.BackupTaken = true;
  EXPECT_TRUE(tgx::SessionEntry(s, JournalOp::Write, "").Backup.has_value());
}

TEST(SessionEntry, DetailFollowsTheStatusText) {
  TBVLink s(false);
  Finish(s, false);
  s.StatusDetail = "why";
  EXPECT_EQ(tgx::SessionEntry(s, JournalOp::Write, "").StatusText, "Fail\nwhy");
}

TEST(SessionEntry, ProjectFileGetsItsChecksum) {
  TempDir dir("tgx-entry");
  const std::string file = dir.File("p.fs");
  std::ofstream(file) << "# a\r\n| 0 10\r\n";
  TBVLink s(false);
  Finish(s, true);
  EXPECT_EQ(tgx::SessionEntry(s, JournalOp::Write, file).ProjectChecksum, tgx::FileChecksumText(file));
}

class RecordSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* v = ::getenv("TGX_DATA_DIR")) saved_ = v;
    ::setenv("TGX_DATA_DIR", dir_.Path().c_str(), 1);
  }
  void TearDown() override {
    if (saved_.empty())
      ::unsetenv("TGX_DATA_DIR");
    else
      ::setenv("TGX_DATA_DIR", saved_.c_str(), 1);
  }
  TempDir dir_{"tgx-record"};
  std::string saved_;
};

TEST_F(RecordSessionTest, RecordedSessionIsListed) {
  ASSERT_EQ(tgx::RecordSession(SampleWrite()), "");
  auto opened = tgx::Journal::Open(dir_.Path().string());
  EXPECT_EQ(opened.Instance->List({}, 0).Sessions.size(), 1u);
}

// A data folder that is a file cannot hold the journal: said the first
// time only.
TEST_F(RecordSessionTest, FailureIsToldOnce) {
  const std::string blocker = dir_.File("file");
  std::ofstream(blocker) << "x";
  ::setenv("TGX_DATA_DIR", blocker.c_str(), 1);
  EXPECT_NE(tgx::RecordSessionOnce(SampleWrite()), "");
  EXPECT_EQ(tgx::RecordSessionOnce(SampleWrite()), "");
}

}  // namespace
}  // namespace tgxtest
