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
// file or the marker makes an install portable.
TEST_F(FoldersTest, ConfigurationOfAnInstalledProgramIsInTheUsersConfigFolder) {
  EXPECT_FALSE(tgx::IsPortableInstall());
  EXPECT_EQ(tgx::ConfigDir(), home_ + "/.config/tgx/");
  EXPECT_EQ(tgx::ConfigFilePath(), home_ + "/.config/tgx/tgx.cfg");
  EXPECT_EQ(tgx::PortMapFilePath(), home_ + "/.config/tgx/tgx.ports");
}

TEST_F(FoldersTest, PortableInstallKeepsTheConfigurationBesideTheExecutable) {
  for (const char* name : {"tgx.cfg", "tgx.portable"}) {
    SCOPED_TRACE(name);
    Touch(exeDir_ + name);
    EXPECT_TRUE(tgx::IsPortableInstall());
    EXPECT_EQ(tgx::ConfigFilePath(), exeDir_ + "tgx.cfg");
    EXPECT_EQ(tgx::PortMapFilePath(), exeDir_ + "tgx.ports");
    fs::remove(exeDir_ + name);
  }
}

// The executable's own name does not matter; the file is always tgx.cfg.
TEST_F(FoldersTest, RenamedExecutableKeepsTheFileName) {
  Touch(exeDir_ + "tgx.portable");
  tgx::SetExePathForTest(exeDir_ + "tgx-old");
  EXPECT_EQ(tgx::ConfigFilePath(), exeDir_ + "tgx.cfg");
}

TEST_F(FoldersTest, XdgConfigHomeWhenAbsolute) {
  const std::pair<std::string, std::string> cases[] = {
      {root_ + "/xdg", root_ + "/xdg/tgx/"},
      {root_ + "/xdg/", root_ + "/xdg/tgx/"},
      {"relative/xdg", home_ + "/.config/tgx/"},
      {"", home_ + "/.config/tgx/"},
  };
  for (const auto& [value, folder] : cases) {
    SCOPED_TRACE(value);
    ::setenv("XDG_CONFIG_HOME", value.c_str(), 1);
    EXPECT_EQ(tgx::ConfigDir(), folder);
  }
}

TEST_F(FoldersTest, ConfigDirVariableOutranksAPortableInstall) {
  Touch(exeDir_ + "tgx.portable");
  ::setenv("TGX_CONFIG_DIR", (root_ + "/cfg").c_str(), 1);
  EXPECT_EQ(tgx::ConfigDir(), root_ + "/cfg/");
}

TEST_F(FoldersTest, DataOfAnInstalledProgramIsInTheUsersDataFolder) {
  EXPECT_EQ(tgx::DataDir(), home_ + "/.local/share/tgx/");
}

TEST_F(FoldersTest, XdgDataHomeWhenAbsolute) {
  const std::pair<std::string, std::string> cases[] = {
      {root_ + "/data", root_ + "/data/tgx/"},
      {"relative/data", home_ + "/.local/share/tgx/"},
  };
  for (const auto& [value, folder] : cases) {
    SCOPED_TRACE(value);
    ::setenv("XDG_DATA_HOME", value.c_str(), 1);
    EXPECT_EQ(tgx::DataDir(), folder);
  }
}

TEST_F(FoldersTest, PortableInstallKeepsTheDataBesideTheConfiguration) {
  Touch(exeDir_ + "tgx.cfg");
  ::setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
  EXPECT_EQ(tgx::DataDir(), exeDir_);
}

TEST_F(FoldersTest, DataDirVariableOutranksEverything) {
  Touch(exeDir_ + "tgx.portable");
  ::setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
  ::setenv("TGX_DATA_DIR", (root_ + "/journal").c_str(), 1);
  EXPECT_EQ(tgx::DataDir(), root_ + "/journal/");
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
