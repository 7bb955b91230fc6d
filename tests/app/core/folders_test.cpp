// Where the configuration, the port map and the data live: beside the
// executable only in a portable install, else in the user's XDG folders, or
// where TGX_CONFIG_DIR and TGX_DATA_DIR say.

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "support/TempDir.h"
#include "app/core/Syscfg.h"

namespace tgxtest {
namespace {
namespace fs = std::filesystem;

const char* const kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "TGX_CONFIG_DIR", "TGX_DATA_DIR"};

// An executable in a writable folder of its own, a home folder, and none of
// the variables set but HOME; the environment is given back afterwards.
class FoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kVariables) {
      if (const char* v = ::getenv(name)) saved_[name] = v;
      ::unsetenv(name);
    }
    fs::create_directories(root_ + "/opt/tgx");
    fs::create_directories(home_);
    ::setenv("HOME", home_.c_str(), 1);
    tgx::SetExePathForTest(exeDir_ + "tgx");
  }
  void TearDown() override {
    for (const char* name : kVariables) {
      auto it = saved_.find(name);
      if (it == saved_.end()) ::unsetenv(name);
      else ::setenv(name, it->second.c_str(), 1);
    }
    tgx::SetExePathForTest({});
  }
  void Touch(const std::string& path) { std::ofstream(path) << ""; }

  TempDir dir_{"tgx-folders"};
  const std::string root_ = dir_.Path().string(), home_ = root_ + "/home/op", exeDir_ = root_ + "/opt/tgx/";
  std::map<std::string, std::string> saved_;
};

// A writable folder of the executable is not enough: only a configuration
// file or the marker makes an install portable; its file is always tgx.cfg,
// whatever the executable's name. XDG_CONFIG_HOME counts when absolute, and
// TGX_CONFIG_DIR outranks everything.
TEST_F(FoldersTest, ConfigurationFolder) {
  const struct {
    const char* name;
    std::string marker, exe, xdg, variable, folder;
    bool portable;
  } cases[] = {
      {"installed", "", "tgx", "", "", home_ + "/.config/tgx/", false},
      {"configuration beside", "tgx.cfg", "tgx", "", "", exeDir_, true},
      {"marker beside", "tgx.portable", "tgx", "", "", exeDir_, true},
      {"renamed portable", "tgx.portable", "tgx-old", "", "", exeDir_, true},
      {"XDG absolute", "", "tgx", root_ + "/xdg", "", root_ + "/xdg/tgx/", false},
      {"XDG with a slash", "", "tgx", root_ + "/xdg/", "", root_ + "/xdg/tgx/", false},
      {"XDG relative", "", "tgx", "relative/xdg", "", home_ + "/.config/tgx/", false},
      {"variable over portable", "tgx.portable", "tgx", "", root_ + "/cfg", root_ + "/cfg/", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* marker : {"tgx.cfg", "tgx.portable"}) fs::remove(exeDir_ + marker);
    if (!c.marker.empty()) Touch(exeDir_ + c.marker);
    tgx::SetExePathForTest(exeDir_ + c.exe);
    ::setenv("XDG_CONFIG_HOME", c.xdg.c_str(), 1);
    if (c.variable.empty()) ::unsetenv("TGX_CONFIG_DIR");
    else ::setenv("TGX_CONFIG_DIR", c.variable.c_str(), 1);
    EXPECT_EQ(tgx::IsPortableInstall(), c.portable);
    EXPECT_EQ(tgx::ConfigDir(), c.folder);
    EXPECT_EQ(tgx::ConfigFilePath(), c.folder + "tgx.cfg");
    EXPECT_EQ(tgx::PortMapFilePath(), c.folder + "tgx.ports");
  }
}

// The data of an installed program go to the user's data folder, of a
// portable one beside the configuration; TGX_DATA_DIR outranks everything.
TEST_F(FoldersTest, DataFolder) {
  const struct {
    const char* name;
    std::string marker, xdg, variable, folder;
  } cases[] = {
      {"installed", "", "", "", home_ + "/.local/share/tgx/"},
      {"XDG absolute", "", root_ + "/data", "", root_ + "/data/tgx/"},
      {"XDG relative", "", "relative/data", "", home_ + "/.local/share/tgx/"},
      {"portable", "tgx.cfg", root_ + "/data", "", exeDir_},
      {"variable over all", "tgx.portable", root_ + "/data", root_ + "/journal", root_ + "/journal/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* marker : {"tgx.cfg", "tgx.portable"}) fs::remove(exeDir_ + marker);
    if (!c.marker.empty()) Touch(exeDir_ + c.marker);
    ::setenv("XDG_DATA_HOME", c.xdg.c_str(), 1);
    if (c.variable.empty()) ::unsetenv("TGX_DATA_DIR");
    else ::setenv("TGX_DATA_DIR", c.variable.c_str(), 1);
    EXPECT_EQ(tgx::DataDir(), c.folder);
  }
}

// Without HOME (a service, a bare su shell) the account's home stands in.
TEST_F(FoldersTest, HomeFolderFallsBackToTheAccount) {
  const passwd* pw = ::getpwuid(::getuid());
  ASSERT_NE(pw, nullptr);
  const std::string account = std::string(pw->pw_dir) + (std::string(pw->pw_dir).back() == '/' ? "" : "/");
  EXPECT_EQ(tgx::HomeFolder(), home_ + "/");
  ::unsetenv("HOME");
  EXPECT_EQ(tgx::HomeFolder(), account);
  ::setenv("HOME", "relative", 1);
  EXPECT_EQ(tgx::HomeFolder(), account);
}
}  // namespace
}  // namespace tgxtest
