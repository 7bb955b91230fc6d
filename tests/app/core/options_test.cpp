// The small text settings file beside the configuration: the backup switch,
// the recent files and the last folder.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/core/Options.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* v = ::getenv("TGX_CONFIG_DIR")) saved_ = v;
    ::setenv("TGX_CONFIG_DIR", (dir_.Path().string() + "/").c_str(), 1);
  }
  void TearDown() override {
    if (saved_.empty()) ::unsetenv("TGX_CONFIG_DIR");
    else ::setenv("TGX_CONFIG_DIR", saved_.c_str(), 1);
  }
  void Write(const std::string& text) { std::ofstream(tgx::OptionsFilePath(), std::ios::binary) << text; }
  TempDir dir_{"tgx-options"};
  std::string saved_;
};

// On without a file; off and on again are each kept.
TEST_F(OptionsTest, BackupOption) {
  EXPECT_TRUE(tgx::LoadBackupOption());
  tgx::SaveBackupOption(false);
  EXPECT_FALSE(tgx::LoadBackupOption());
  tgx::SaveBackupOption(true);
  EXPECT_TRUE(tgx::LoadBackupOption());
}

TEST_F(OptionsTest, UnknownKeysSurviveARewrite) {
  Write("# by a later program\nfuture_key=a=b\n");
  tgx::SaveBackupOption(false);
  EXPECT_EQ(tgx::ReadOptionsFile(tgx::OptionsFilePath()).at("future_key"), "a=b");
}

TEST_F(OptionsTest, LinesWithoutKeyAreSkipped) {
  Write("garbage\r\n=value\r\nbackup_before_change=0\r\n");
  EXPECT_EQ(tgx::ReadOptionsFile(tgx::OptionsFilePath()).size(), 1u);
}

// Newest first; a file opened again moves to the top.
TEST_F(OptionsTest, RecentFilesNewestFirst) {
  tgx::AddRecentFile("/a.fs");
  tgx::AddRecentFile("/b.fs");
  EXPECT_EQ(tgx::LoadRecentFiles(), (std::vector<std::string>{"/b.fs", "/a.fs"}));
  tgx::AddRecentFile("/a.fs");
  EXPECT_EQ(tgx::LoadRecentFiles(), (std::vector<std::string>{"/a.fs", "/b.fs"}));
}

TEST_F(OptionsTest, RecentFilesKeepFive) {
  for (int i = 0; i < 7; ++i) tgx::AddRecentFile("/" + std::to_string(i) + ".fs");
  const auto list = tgx::LoadRecentFiles();
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list.back(), "/2.fs");
}

TEST_F(OptionsTest, NameWithLineBreakIsNotRecorded) {
  tgx::AddRecentFile("/a\nb.fs");
  EXPECT_TRUE(tgx::LoadRecentFiles().empty());
}

TEST_F(OptionsTest, WriteIntoMissingFolderFails) {
  ::setenv("TGX_CONFIG_DIR", "/nonexistent-tgx-folder/", 1);
  EXPECT_FALSE(tgx::WriteOptionsFile(tgx::OptionsFilePath(), {{"a", "1"}}));
}

}  // namespace
}  // namespace tgxtest
