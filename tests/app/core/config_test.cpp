// The configuration file: its byte layout, the silent and the reported
// failures, the reply time-out's range, and files that are no regular file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>

#include "support/TempDir.h"
#include "app/core/Syscfg.h"
#include "model/Cp1251.h"
#include "model/Messages.h"

namespace tgxtest {
namespace {
namespace fs = std::filesystem;

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

const std::string kReadError = tgx::FromUtf8("Ошибка при чтении файла конфигурации");
const std::string kWriteError = tgx::FromUtf8("Ошибка при записи файла конфигурации");

// Each test has a folder for the executable, one named by TGX_CONFIG_DIR and
// a home folder, and starts with the settings of a first run.
class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
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
    ::unsetenv("TGX_CONFIG_DIR");
    if (home_was_) ::setenv("HOME", home_was_->c_str(), 1);
    tgx::SetExePathForTest({});
  }
  int CfgFiles() const { return int(std::distance(fs::directory_iterator(root_ + "/cfg"), {})); }
  // Loads with a watchdog: a load that waits on the file fails the test
  // instead of hanging it. `unblock` makes a stuck load return.
  bool LoadWithin(std::chrono::seconds limit, const std::function<void()>& unblock) {
    auto load = std::async(std::launch::async, [] { return LoadConfiguration(); });
    if (load.wait_for(limit) != std::future_status::ready) {
      ADD_FAILURE() << "loading the configuration waited on the file";
      unblock();
    }
    return load.get();
  }

  TempDir dir_{"tgx-config"};
  const std::string root_ = dir_.Path().string(), cfg_ = root_ + "/cfg/tgx.cfg", home_ = root_ + "/home/";
  const std::optional<std::string> home_was_ = getenv("HOME") ? std::optional<std::string>(getenv("HOME")) : std::nullopt;
  tgx::RecordingSink sink_;
  tgx::ScopedMessageSink scoped_{sink_};
};

TEST_F(ConfigTest, ForeignFileLayoutAndShorterSave) {
  // Another program's file is passed over in silence: the first run's
  // defaults stand, and a save replaces it.
  std::ofstream(cfg_, std::ios::binary) << Str("abc") + Le32(5) + Le32(9) + Le32(100);
  EXPECT_FALSE(LoadConfiguration());
  EXPECT_EQ(Settings(), std::make_tuple(0, 9, 4000, 0, home_, 1));
  ASSERT_TRUE(SaveConfiguration());
  const std::string old = ReadFile(cfg_);
  EXPECT_EQ(old, Image(0, 9, 4000, 0, home_, 1));  // 28 + folder bytes

  // The file is overwritten from its start but never shortened, through a
  // temporary file that replaces it; the old tail does not stop a load.
  const std::string folder = tgx::FromUtf8("/данные/");  // shorter than home_
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
      {"cut after the channel", chan, 3, 2500, home_},
      {"cut inside the channel", Str("tgx") + Le32(3) + Le32(9) + "\x10", 3, 4000, home_},
      {"cut inside the folder", chan + Le32(10) + "/ab", 3, 2500, home_},
      {"folder length beyond the file", chan + Le32(0x7FFFFFFF) + "/x/", 3, 2500, home_},
      {"negative folder length", chan + Le32(-1), 3, 2500, home_},
      {"cut before the keyboard", chan + Str("/f/"), 3, 2500, "/f/"},
      {"huge signature length", Le32(0x40000000) + "tgx", 0, 4000, home_},
      {"empty file", "", 0, 4000, home_},
  };
  for (const auto& [name, bytes, port, timeout, folder] : cases) {
    SCOPED_TRACE(name);
    fs::remove(cfg_);
    CreateSettings();
    std::ofstream(cfg_, std::ios::binary) << bytes;
    sink_.shown.clear();
    EXPECT_FALSE(LoadConfiguration());
    EXPECT_EQ(sink_.shown, std::vector<std::string>{kReadError});
    EXPECT_EQ(Settings(), std::make_tuple(port, 9, timeout, 0, folder, 1));
  }
}

// A stored time-out outside the range is taken at its nearest bound; one
// inside stays exactly as stored.
TEST_F(ConfigTest, StoredReplyTimeoutIsBroughtIntoRange) {
  const std::pair<int32_t, int32_t> cases[] = {{INT32_MIN, 100}, {-1, 100}, {0, 100},        {99, 100},
                                               {100, 100},       {150, 150}, {4000, 4000},    {60000, 60000},
                                               {60001, 60000},   {INT32_MAX, 60000}};
  for (const auto& [stored, used] : cases) {
    SCOPED_TRACE(stored);
    std::ofstream(cfg_, std::ios::binary | std::ios::trunc) << Image(2, 9, stored, 0, "/f/", 2);
    ASSERT_TRUE(LoadConfiguration());
    EXPECT_EQ(Chanpar()->ReplyTimeoutMs, used);
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
  EXPECT_EQ(sink_.shown, std::vector<std::string>(2, kWriteError));
}

// A FIFO under the configuration's name is refused at once: opening it to
// read used to wait for a writer for ever.
TEST_F(ConfigTest, FifoIsRefusedWithoutWaiting) {
  ASSERT_EQ(::mkfifo(cfg_.c_str(), 0644), 0);
  const bool loaded = LoadWithin(std::chrono::seconds(20), [this] {
    const int fd = ::open(cfg_.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  });
  EXPECT_FALSE(loaded);
  EXPECT_EQ(sink_.shown, std::vector<std::string>{kReadError});
  EXPECT_EQ(Settings(), std::make_tuple(0, 9, 4000, 0, home_, 1));
}

// A save never writes through a FIFO or a link to a device: the thing
// under the name stays what it was.
TEST_F(ConfigTest, SaveLeavesAFifoOrALinkToADeviceAsItIs) {
  for (bool fifo : {true, false}) {
    SCOPED_TRACE(fifo ? "FIFO" : "link to /dev/null");
    fs::remove(cfg_);
    sink_.shown.clear();
    if (fifo) ASSERT_EQ(::mkfifo(cfg_.c_str(), 0644), 0);
    else fs::create_symlink("/dev/null", cfg_);
    EXPECT_FALSE(SaveConfiguration());
    EXPECT_EQ(sink_.shown, std::vector<std::string>{kWriteError});
    EXPECT_EQ(fs::symlink_status(cfg_).type(), fifo ? fs::file_type::fifo : fs::file_type::symlink);
    EXPECT_EQ(CfgFiles(), 1);
  }
}

// An endless device under the configuration's name is refused before any
// read (its "strings" used to be read as far as their random lengths said),
// and so is a folder.
TEST_F(ConfigTest, DeviceOrFolderUnderTheNameIsAReadError) {
  for (bool device : {true, false}) {
    SCOPED_TRACE(device ? "link to /dev/urandom" : "folder");
    fs::remove(cfg_);
    sink_.shown.clear();
    if (device) fs::create_symlink("/dev/urandom", cfg_);
    else fs::create_directory(cfg_);
    EXPECT_FALSE(LoadConfiguration());
    EXPECT_EQ(sink_.shown, std::vector<std::string>{kReadError});
    EXPECT_EQ(Settings(), std::make_tuple(0, 9, 4000, 0, home_, 1));
  }
}

// A configuration kept elsewhere and linked in is saved where it lives; the
// link stays a link.
TEST_F(ConfigTest, SaveThroughALinkKeepsTheLink) {
  const std::string real = root_ + "/home/tgx.cfg";
  std::ofstream(real, std::ios::binary) << Image(1, 9, 4000, 0, "/f/", 1);
  fs::create_symlink(real, cfg_);
  ASSERT_TRUE(LoadConfiguration());
  Chanpar()->PortIndex = 6;
  ASSERT_TRUE(SaveConfiguration());
  EXPECT_TRUE(fs::is_symlink(cfg_));
  EXPECT_EQ(ReadFile(real), Image(6, 9, 4000, 0, "/f/", 1));
}
}  // namespace
}  // namespace tgxtest
