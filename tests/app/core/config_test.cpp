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
void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

auto Settings() {
  return std::make_tuple(Chanpar()->PortIndex, Chanpar()->Spare, Chanpar()->ReplyTimeoutMs, int(Chanpar()->SpareFlag),
                         Syspar()->FormsFolder(), Syspar()->KeyboardType());
}

const std::string kReadError = tgx::FromUtf8("Ошибка при чтении файла конфигурации");
const std::string kWriteError = tgx::FromUtf8("Ошибка при записи файла конфигурации");

// Each test has a folder for the executable and one named by TGX_CONFIG_DIR,
// and starts with the settings of a first run.
class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tgx-config-XXXXXX";
    root_ = ::mkdtemp(tmpl);
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
  std::string CfgPath() const { return root_ + "/cfg/tgx.cfg"; }
  int FilesIn(const std::string& dir) const { return int(std::distance(fs::directory_iterator(dir), {})); }

  std::string root_;
  tgx::RecordingSink sink_;
  tgx::ScopedMessageSink scoped_{sink_};
};

TEST_F(ConfigTest, DefaultsForeignFilesAndTheByteLayout) {
  // Another program's file is passed over in silence: the first run's
  // defaults stand, and a save replaces it.
  const std::string exeDir = root_ + "/bin/";
  WriteFile(CfgPath(), Str("abc") + Le32(5) + Le32(9) + Le32(100));
  EXPECT_FALSE(LoadConfiguration());
  EXPECT_EQ(Settings(), std::make_tuple(0, 9, 4000, 0, exeDir, 1));
  ASSERT_TRUE(SaveConfiguration());
  EXPECT_EQ(ReadFile(CfgPath()), Image(0, 9, 4000, 0, exeDir, 1));  // 28 + folder bytes

  const std::string folder = tgx::FromUtf8("/данные/формы/");
  Chanpar()->PortIndex = 4, Chanpar()->Spare = -7, Chanpar()->ReplyTimeoutMs = 1234, Chanpar()->SpareFlag = 0xA5;
  Syspar()->SetFormsFolderText(folder);
  Syspar()->SetKeyboardType(3);
  fs::remove(CfgPath());  // a longer old file would keep its tail
  ASSERT_TRUE(SaveConfiguration());
  EXPECT_EQ(ReadFile(CfgPath()), Image(4, -7, 1234, char(0xA5), folder, 3));
  CreateSettings();
  EXPECT_EQ(Settings(), std::make_tuple(4, -7, 1234, 0xA5, folder, 3));
  EXPECT_TRUE(sink_.shown.empty());
}

// A damaged file keeps what it did hold and reports the rest once, whether
// cut short or holding a length that the file cannot hold.
TEST_F(ConfigTest, DamagedFilesKeepWhatWasRead) {
  const std::string chan = Str("tgx") + Le32(3) + Le32(9) + Le32(2500) + '\0', exeDir = root_ + "/bin/";
  const struct {
    const char* name;
    std::string bytes;
    int32_t port, timeout;
    std::string folder;
  } cases[] = {
      {"cut after the channel", chan, 3, 2500, exeDir},
      {"cut inside the channel", Str("tgx") + Le32(3) + Le32(9) + "\x10", 3, 4000, exeDir},
      {"cut inside the folder", chan + Le32(10) + "/ab", 3, 2500, exeDir},
      {"folder length beyond the file", chan + Le32(0x7FFFFFFF) + "/x/", 3, 2500, exeDir},
      {"negative folder length", chan + Le32(-1), 3, 2500, exeDir},
      {"cut before the keyboard", chan + Str("/f/"), 3, 2500, "/f/"},
      {"huge signature length", Le32(0x40000000) + "tgx", 0, 4000, exeDir},
      {"empty file", "", 0, 4000, exeDir},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(CfgPath());
    CreateSettings();
    WriteFile(CfgPath(), c.bytes);
    sink_.shown.clear();
    EXPECT_FALSE(LoadConfiguration());
    EXPECT_EQ(sink_.shown, std::vector<std::string>{kReadError});
    EXPECT_EQ(Settings(), std::make_tuple(c.port, 9, c.timeout, 0, c.folder, 1));
  }
}

// The file is overwritten from its start but never shortened, through a
// temporary file that replaces it.
TEST_F(ConfigTest, ShorterSaveKeepsTheOldTailAndStillLoads) {
  Syspar()->SetFormsFolderText("/a/very/long/folder/name/");
  ASSERT_TRUE(SaveConfiguration());
  const std::string longer = ReadFile(CfgPath());
  Syspar()->SetFormsFolderText("/b/");
  ASSERT_TRUE(SaveConfiguration());
  const std::string fresh = Image(0, 9, 4000, 0, "/b/", 1);
  EXPECT_EQ(ReadFile(CfgPath()), fresh + longer.substr(fresh.size()));
  EXPECT_EQ(FilesIn(root_ + "/cfg"), 1);
  Syspar()->SetFormsFolderText("/elsewhere/");
  EXPECT_TRUE(LoadConfiguration());
  EXPECT_EQ(Syspar()->FormsFolder(), "/b/");
}

TEST_F(ConfigTest, FailedSaveReportsAndKeepsTheOldFile) {
  ASSERT_TRUE(SaveConfiguration());
  const std::string old = ReadFile(CfgPath());
  Chanpar()->PortIndex = 6;
  Syspar()->SetFormsFolderText(std::string(200, 'f'));
  // The disk fills up half-way through the new contents.
  rlimit keep{};
  ::getrlimit(RLIMIT_FSIZE, &keep);
  const rlimit full{old.size(), keep.rlim_max};
  ::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &full);
  const bool saved = SaveConfiguration();
  ::setrlimit(RLIMIT_FSIZE, &keep);
  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadFile(CfgPath()), old);
  EXPECT_EQ(FilesIn(root_ + "/cfg"), 1);
  // A folder that cannot be made.
  WriteFile(root_ + "/blocker", "x");
  ::setenv("TGX_CONFIG_DIR", (root_ + "/blocker/tgx").c_str(), 1);
  EXPECT_FALSE(SaveConfiguration());
  EXPECT_EQ(sink_.shown, std::vector<std::string>(2, kWriteError));
  EXPECT_EQ(Chanpar()->PortIndex, 6);
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
  ::unsetenv("XDG_CONFIG_HOME");
  if (const char* home = ::getenv("HOME"); home && *home) {
    EXPECT_EQ(tgx::ConfigFilePath(), std::string(home) + "/.config/tgx/tgx.cfg");
  }
}

TEST(SysparTest, FolderFromPathKeepsTheTrailingSeparator) {
  const std::pair<const char*, const char*> cases[] = {
      {"/home/op/forms/x.fs", "/home/op/forms/"}, {"/home/op/forms/", "/home/op/forms/"}, {"/x.fs", "/"},
      {"x.fs", ""}, {"", ""},
  };
  for (const auto& [path, folder] : cases) {
    SYSPAR s;
    s.SetFormsFolderText("old");
    s.SetFolderFromPath(path);
    EXPECT_EQ(s.FormsFolder(), folder) << path;
  }
}
}  // namespace
