// The settings: where they live, the configuration file (its byte layout, the
// silent and the reported failures, the reply time-out's range, files that
// are no regular file) and the small text options file beside it.

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "support/TempDir.h"
#include "app/core/Options.h"
#include "app/core/Syscfg.h"
#include "model/Cp1251.h"
#include "model/Messages.h"

namespace tgxtest {
namespace {
namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

std::string Le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string Str(const std::string& s) { return Le32(uint32_t(s.size())) + s; }
std::string Image(int32_t port, int32_t spare, int32_t timeout, char flag, const std::string& folder, int32_t keys) {
  return Str("tgx") + Le32(port) + Le32(spare) + Le32(timeout) + flag + Str(folder) + Le32(keys);
}

auto Settings() {
  return std::make_tuple(Chanpar()->PortIndex, Chanpar()->Spare, Chanpar()->ReplyTimeoutMs, int(Chanpar()->SpareFlag),
                         Syspar()->FormsFolder(), Syspar()->KeyboardType());
}

const std::string kReadError = tgx::FromUtf8("Ошибка при чтении файла конфигурации");
const std::string kWriteError = tgx::FromUtf8("Ошибка при записи файла конфигурации");

// Each test has a folder for the executable, one named by TGX_CONFIG_DIR and
// a home folder, none of the other variables, and the settings of a first run.
class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "TGX_DATA_DIR"}) ::unsetenv(name);
    for (const char* dir : {"/bin", "/cfg", "/home"}) fs::create_directories(root_ + dir);
    tgx::SetExePathForTest(root_ + "/bin/tgx");
    ::setenv("TGX_CONFIG_DIR", (root_ + "/cfg").c_str(), 1);
    ::setenv("HOME", home_.c_str(), 1);
    CreateSettings();
  }
  void TearDown() override {
    ::setenv("TGX_CONFIG_DIR", (root_ + "/cfg").c_str(), 1);  // the final save stays in here
    fs::remove(cfg_);
    DestroySettings();
    tgx::SetExePathForTest({});
  }
  int CfgFiles() const { return int(std::distance(fs::directory_iterator(root_ + "/cfg"), {})); }
  // Fresh first-run settings and an empty message list before each row.
  void Fresh() {
    fs::remove(cfg_);
    CreateSettings();
    sink_.shown.clear();
  }

  TempDir dir_{"tgx-config"};
  const std::string root_ = dir_.Path().string(), cfg_ = root_ + "/cfg/tgx.cfg", home_ = root_ + "/home/",
                    exe_ = root_ + "/bin/";
  tgx::RecordingSink sink_;
  tgx::ScopedMessageSink scoped_{sink_};
};

TEST_F(ConfigTest, ForeignFileLayoutAndShorterSave) {
  // Another program's file is passed over in silence; a save overwrites it from its
  // start but never shortens it, and the old tail does not stop a load.
  const std::string foreign = Str("abc") + std::string(60, 'U');
  WriteBytes(cfg_, foreign);
  EXPECT_FALSE(LoadConfiguration());
  EXPECT_EQ(Settings(), std::make_tuple(0, 9, 4000, 0, home_, 1));
  const std::string folder = tgx::FromUtf8("/данные/");
  Chanpar()->PortIndex = 4, Chanpar()->Spare = -7, Chanpar()->ReplyTimeoutMs = 1234, Chanpar()->SpareFlag = 0xA5;
  Syspar()->SetFormsFolderText(folder);
  Syspar()->SetKeyboardType(3);
  ASSERT_TRUE(SaveConfiguration());
  const std::string fresh = Image(4, -7, 1234, char(0xA5), folder, 3);
  EXPECT_EQ(ReadBytes(cfg_), fresh + foreign.substr(fresh.size()));
  CreateSettings();
  EXPECT_EQ(Settings(), std::make_tuple(4, -7, 1234, 0xA5, folder, 3));
  EXPECT_TRUE(sink_.shown.empty());
}

// A damaged file keeps what it did hold and reports the rest once, whether
// cut short or holding a length that the file cannot hold.
TEST_F(ConfigTest, DamagedFilesKeepWhatWasRead) {
  const std::string chan = Str("tgx") + Le32(3) + Le32(9) + Le32(2500) + '\0';
  const std::tuple<const char*, std::string, int32_t, int32_t, std::string> cases[] = {  // port, time-out, folder
      {"cut inside the channel", Str("tgx") + Le32(3) + Le32(9) + "\x10", 3, 4000, home_},
      {"folder length beyond the file", chan + Le32(0x7FFFFFFF) + "/x/", 3, 2500, home_},
      {"cut before the keyboard", chan + Str("/f/"), 3, 2500, "/f/"},
      {"empty file", "", 0, 4000, home_},
  };
  for (const auto& [name, bytes, port, timeout, folder] : cases) {
    SCOPED_TRACE(name);
    Fresh();
    std::ofstream(cfg_, std::ios::binary) << bytes;
    EXPECT_FALSE(LoadConfiguration());
    EXPECT_EQ(sink_.shown, Texts{kReadError});
    EXPECT_EQ(Settings(), std::make_tuple(port, 9, timeout, 0, folder, 1));
  }
}

// A stored time-out outside the range is taken at its nearest bound.
TEST_F(ConfigTest, StoredReplyTimeoutIsBroughtIntoRange) {
  const std::pair<int32_t, int32_t> cases[] = {{INT32_MIN, 100}, {99, 100}, {4000, 4000}, {60001, 60000}, {INT32_MAX, 60000}};
  for (const auto& [stored, used] : cases) {
    std::ofstream(cfg_, std::ios::binary | std::ios::trunc) << Image(2, 9, stored, 0, "/f/", 2);
    ASSERT_TRUE(LoadConfiguration()) << stored;
    EXPECT_EQ(Chanpar()->ReplyTimeoutMs, used) << stored;
  }
}

// The disk fills up half-way through the new contents, or the folder cannot
// be made: each is reported, and the old file stays as it was.
TEST_F(ConfigTest, FailedSaveReportsAndKeepsTheOldFile) {
  ASSERT_TRUE(SaveConfiguration());
  const std::string old = ReadBytes(cfg_);
  Syspar()->SetFormsFolderText(std::string(200, 'f'));
  rlimit keep{};
  ::getrlimit(RLIMIT_FSIZE, &keep);
  const rlimit full{old.size(), keep.rlim_max};
  ::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &full);
  const bool saved = SaveConfiguration();
  ::setrlimit(RLIMIT_FSIZE, &keep);
  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadBytes(cfg_), old);
  EXPECT_EQ(CfgFiles(), 1);
  std::ofstream(root_ + "/blocker") << "x";
  ::setenv("TGX_CONFIG_DIR", (root_ + "/blocker/tgx").c_str(), 1);
  EXPECT_FALSE(SaveConfiguration());
  EXPECT_EQ(sink_.shown, Texts(2, kWriteError));
}

// A FIFO, an endless device or a folder under the name is refused at once:
// opening a FIFO to read used to wait for a writer for ever, a device's
// "strings" were read as far as their random lengths said (an alarm far
// beyond any honest load ends the program if one waits). A save never writes
// through any of them: the thing under the name stays.
TEST_F(ConfigTest, NoRegularFileUnderTheNameIsReadOrWritten) {
  const std::pair<std::string, fs::file_type> cases[] = {
      {"fifo", fs::file_type::fifo}, {"device", fs::file_type::symlink}, {"folder", fs::file_type::directory}};
  for (const auto& [kind, type] : cases) {
    SCOPED_TRACE(kind);
    Fresh();
    if (kind == "fifo") ASSERT_EQ(::mkfifo(cfg_.c_str(), 0644), 0);
    else if (kind == "device") fs::create_symlink("/dev/urandom", cfg_);
    else fs::create_directory(cfg_);
    ::alarm(20);
    EXPECT_FALSE(LoadConfiguration());
    ::alarm(0);
    EXPECT_EQ(sink_.shown, Texts{kReadError});
    EXPECT_EQ(Settings(), std::make_tuple(0, 9, 4000, 0, home_, 1));
    EXPECT_FALSE(SaveConfiguration());
    EXPECT_EQ(sink_.shown.back(), kWriteError);
    EXPECT_EQ(fs::symlink_status(cfg_).type(), type);
    EXPECT_EQ(CfgFiles(), 1);
  }
}

// A configuration kept elsewhere and linked in is saved where it lives; the
// link stays a link.
TEST_F(ConfigTest, SaveThroughALinkKeepsTheLink) {
  const std::string real = root_ + "/home/tgx.cfg";
  WriteBytes(real, Image(1, 9, 4000, 0, "/f/", 1));
  fs::create_symlink(real, cfg_);
  ASSERT_TRUE(SaveConfiguration());
  EXPECT_TRUE(fs::is_symlink(cfg_));
  EXPECT_EQ(ReadBytes(real), Image(0, 9, 4000, 0, home_, 1));
}

// A writable folder of the executable is not enough: only a configuration
// file or the marker makes an install portable, whatever the executable's
// name. XDG folders count when absolute; the TGX_ variables outrank all.
TEST_F(ConfigTest, ConfigurationAndDataFolders) {
  const struct {
    const char* name;
    std::string marker, exe, xdg, tgx, config, data;
    bool portable;
  } cases[] = {
      {"installed", "", "tgx", "", "", home_ + ".config/tgx/", home_ + ".local/share/tgx/", false},
      {"configuration beside", "tgx.cfg", "tgx", root_ + "/x", "", exe_, exe_, true},
      {"marker beside", "tgx.portable", "tgx", "", "", exe_, exe_, true},
      {"renamed portable", "tgx.portable", "tgx-old", "", "", exe_, exe_, true},
      {"XDG absolute", "", "tgx", root_ + "/x", "", root_ + "/x/tgx/", root_ + "/x/tgx/", false},
      {"XDG relative", "", "tgx", "rel/x", "", home_ + ".config/tgx/", home_ + ".local/share/tgx/", false},
      {"variables over portable", "tgx.portable", "tgx", root_ + "/x", root_ + "/v", root_ + "/v/", root_ + "/v/", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* marker : {"tgx.cfg", "tgx.portable"}) fs::remove(exe_ + marker);
    if (!c.marker.empty()) std::ofstream(exe_ + c.marker) << "";
    tgx::SetExePathForTest(exe_ + c.exe);
    for (const char* xdg : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) ::setenv(xdg, c.xdg.c_str(), 1);
    for (const char* tgx : {"TGX_CONFIG_DIR", "TGX_DATA_DIR"}) {
      if (c.tgx.empty()) ::unsetenv(tgx);
      else ::setenv(tgx, c.tgx.c_str(), 1);
    }
    EXPECT_EQ(tgx::IsPortableInstall(), c.portable);
    EXPECT_EQ(tgx::ConfigFilePath(), c.config + "tgx.cfg");
    EXPECT_EQ(tgx::PortMapFilePath(), c.config + "tgx.ports");
    EXPECT_EQ(tgx::DataDir(), c.data);
  }
}

// Without HOME (a service, a bare su shell) the account's home stands in.
TEST_F(ConfigTest, HomeFolderFallsBackToTheAccount) {
  const passwd* pw = ::getpwuid(::getuid());
  ASSERT_NE(pw, nullptr);
  const std::string account = std::string(pw->pw_dir) + (std::string(pw->pw_dir).back() == '/' ? "" : "/");
  ::unsetenv("HOME");
  EXPECT_EQ(tgx::HomeFolder(), account);
}

// On without a file; off is kept; a later program's keys survive the rewrite
// and lines without a key are dropped.
TEST_F(ConfigTest, BackupOptionAmongOtherLines) {
  EXPECT_TRUE(tgx::LoadBackupOption());
  std::ofstream(tgx::OptionsFilePath(), std::ios::binary) << "# by a later program\nfuture_key=a=b\r\ngarbage\n=value\n";
  tgx::SaveBackupOption(false);
  EXPECT_FALSE(tgx::LoadBackupOption());
  const auto options = tgx::ReadOptionsFile(tgx::OptionsFilePath());
  EXPECT_EQ(options.size(), 2u);
  EXPECT_EQ(options.at("future_key"), "a=b");
}

}  // namespace
}  // namespace tgxtest
