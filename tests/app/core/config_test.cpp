// The configuration file: its byte layout, the silent and the reported
// failures, and where it lives.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "app/core/Syscfg.h"
#include "model/Cp1251.h"
#include "model/Messages.h"

namespace fs = std::filesystem;

namespace {
std::string Le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string Str(const std::string& s) { return Le32(uint32_t(s.size())) + s; }
std::string Image(int32_t port, int32_t spare, int32_t timeout, char flag, const std::string& folder, int32_t keys) {
  return Str("tgx") + Le32(port) + Le32(spare) + Le32(timeout) + flag + Str(folder) + Le32(keys);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

auto Settings() {
  return std::make_tuple(Chanpar()->PortIndex, Chanpar()->Spare, Chanpar()->ReplyTimeoutMs, int(Chanpar()->SpareFlag),
                         Syspar()->FormsFolder(), Syspar()->KeyboardType());
}

// Each test has a folder for the executable and one named by TGX_CONFIG_DIR,
// and starts with the settings of a first run.
class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"/bin", "/cfg"}) fs::create_directories(root_ + dir);
    tgx::SetExePathForTest(root_ + "/bin/tgx");
    ::setenv("TGX_CONFIG_DIR", (root_ + "/cfg").c_str(), 1);
    CreateSettings();
  }
  void TearDown() override {
    ::setenv("TGX_CONFIG_DIR", (root_ + "/cfg").c_str(), 1);  // the final save stays in here
    DestroySettings();
    ::unsetenv("TGX_CONFIG_DIR");
    ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(root_);
  }
  int CfgFiles() const { return int(std::distance(fs::directory_iterator(root_ + "/cfg"), {})); }

  char tmpl_[32] = "/tmp/tgx-config-XXXXXX";
  const std::string root_ = ::mkdtemp(tmpl_), cfg_ = root_ + "/cfg/tgx.cfg", exeDir_ = root_ + "/bin/";
  tgx::RecordingSink sink_;
  tgx::ScopedMessageSink scoped_{sink_};
};

TEST_F(ConfigTest, ForeignFileLayoutAndShorterSave) {
  // Another program's file is passed over in silence: the first run's
  // defaults stand, and a save replaces it.
  std::ofstream(cfg_, std::ios::binary) << Str("abc") + Le32(5) + Le32(9) + Le32(100);
  EXPECT_FALSE(LoadConfiguration());
  EXPECT_EQ(Settings(), std::make_tuple(0, 9, 4000, 0, exeDir_, 1));
  ASSERT_TRUE(SaveConfiguration());
  const std::string old = ReadFile(cfg_);
  EXPECT_EQ(old, Image(0, 9, 4000, 0, exeDir_, 1));  // 28 + folder bytes

  // The file is overwritten from its start but never shortened, through a
  // temporary file that replaces it; the old tail does not stop a load.
  const std::string folder = tgx::FromUtf8("/данные/формы/");  // shorter than exeDir_
  Chanpar()->PortIndex = 4, Chanpar()->Spare = -7, Chanpar()->ReplyTimeoutMs = 1234, Chanpar()->SpareFlag = 0xA5;
  Syspar()->SetFormsFolderText(folder);
  Syspar()->SetKeyboardType(3);
  ASSERT_TRUE(SaveConfiguration());
  const std::string fresh = Image(4, -7, 1234, char(0xA5), folder, 3);
  EXPECT_EQ(ReadFile(cfg_), fresh + old.substr(fresh.size()));
  EXPECT_EQ(CfgFiles(), 1);
  CreateSettings();
  EXPECT_EQ(Settings(), std::make_tuple(4, -7, 1234, 0xA5, folder, 3));
  EXPECT_TRUE(sink_.shown.empty());
}

// A damaged file keeps what it did hold and reports the rest once, whether
// cut short or holding a length that the file cannot hold.
TEST_F(ConfigTest, DamagedFilesKeepWhatWasRead) {
  const std::string chan = Str("tgx") + Le32(3) + Le32(9) + Le32(2500) + '\0';
  const std::tuple<const char*, std::string, int32_t, int32_t, std::string> cases[] = {  // port, time-out, folder
      {"cut after the channel", chan, 3, 2500, exeDir_},
      {"cut inside the channel", Str("tgx") + Le32(3) + Le32(9) + "\x10", 3, 4000, exeDir_},
      {"cut inside the folder", chan + Le32(10) + "/ab", 3, 2500, exeDir_},
      {"folder length beyond the file", chan + Le32(0x7FFFFFFF) + "/x/", 3, 2500, exeDir_},
      {"negative folder length", chan + Le32(-1), 3, 2500, exeDir_},
      {"cut before the keyboard", chan + Str("/f/"), 3, 2500, "/f/"},
      {"huge signature length", Le32(0x40000000) + "tgx", 0, 4000, exeDir_},
      {"empty file", "", 0, 4000, exeDir_},
  };
  for (const auto& [name, bytes, port, timeout, folder] : cases) {
    SCOPED_TRACE(name);
    fs::remove(cfg_);
    CreateSettings();
    std::ofstream(cfg_, std::ios::binary) << bytes;
    sink_.shown.clear();
    EXPECT_FALSE(LoadConfiguration());
    EXPECT_EQ(sink_.shown, std::vector<std::string>{tgx::FromUtf8("Ошибка при чтении файла конфигурации")});
    EXPECT_EQ(Settings(), std::make_tuple(port, 9, timeout, 0, folder, 1));
  }
}

// The disk fills up half-way through the new contents, or the folder cannot
// be made: each is reported, and the old file stays as it was.
TEST_F(ConfigTest, FailedSaveReportsAndKeepsTheOldFile) {
  ASSERT_TRUE(SaveConfiguration());
  const std::string old = ReadFile(cfg_);
  Syspar()->SetFormsFolderText(std::string(200, 'f'));
  rlimit keep{};
  ::getrlimit(RLIMIT_FSIZE, &keep);
  const rlimit full{old.size(), keep.rlim_max};
  ::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &full);
  const bool saved = SaveConfiguration();
  ::setrlimit(RLIMIT_FSIZE, &keep);
  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadFile(cfg_), old);
  EXPECT_EQ(CfgFiles(), 1);
  std::ofstream(root_ + "/blocker") << "x";
  ::setenv("TGX_CONFIG_DIR", (root_ + "/blocker/tgx").c_str(), 1);
  EXPECT_FALSE(SaveConfiguration());
  EXPECT_EQ(sink_.shown, std::vector<std::string>(2, tgx::FromUtf8("Ошибка при записи файла конфигурации")));
}

TEST_F(ConfigTest, FileLivesBesideAWritableExecutableElseInTheUserConfigFolder) {
  ::unsetenv("TGX_CONFIG_DIR");
  tgx::SetExePathForTest(root_ + "/bin/other-name");  // the executable's name does not matter
  EXPECT_EQ(tgx::ConfigFilePath(), root_ + "/bin/tgx.cfg");
  EXPECT_EQ(tgx::PortMapFilePath(), root_ + "/bin/tgx.ports");
  tgx::SetExePathForTest(root_ + "/missing/tgx");  // not writable even for root: it does not exist
  ::setenv("XDG_CONFIG_HOME", (root_ + "/xdg").c_str(), 1);
  EXPECT_EQ(tgx::PortMapFilePath(), root_ + "/xdg/tgx/tgx.ports");
  ASSERT_TRUE(SaveConfiguration());
  EXPECT_TRUE(fs::exists(root_ + "/xdg/tgx/tgx.cfg"));
}
}  // namespace
