// The configuration file: its byte layout, the silent and the reported
// failures, and where it lives.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/core/Fileserv.h"
#include "app/core/Markserv.h"
#include "app/core/Syscfg.h"
#include "model/Cp1251.h"
#include "model/Messages.h"

namespace fs = std::filesystem;

namespace {
std::string Le32(int32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
  return s;
}

std::string Str(const std::string& s) { return Le32(static_cast<int32_t>(s.size())) + s; }

std::string FileImage(int32_t port, int32_t spare, int32_t timeout, uint8_t flag, const std::string& folder,
                      int32_t keyboard) {
  return Str("tgx") + Le32(port) + Le32(spare) + Le32(timeout) + std::string(1, static_cast<char>(flag)) +
         Str(folder) + Le32(keyboard);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

const std::string kReadError = tgx::FromUtf8("Ошибка при чтении файла конфигурации");
const std::string kWriteError = tgx::FromUtf8("Ошибка при записи файла конфигурации");

// Each test gets its own folders: one for the executable, one named by
// TGX_CONFIG_DIR, and a home for the fallback.
class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tgx-config-XXXXXX";
    root_ = ::mkdtemp(tmpl);
    fs::create_directories(root_ + "/bin");
    fs::create_directories(root_ + "/cfg");
    tgx::SetExePathForTest(root_ + "/bin/tgx");
    ::setenv("TGX_CONFIG_DIR", (root_ + "/cfg").c_str(), 1);
    CreateSettingsQuietly();
  }
  void TearDown() override {
    FreeSettings();
    ::unsetenv("TGX_CONFIG_DIR");
    ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(root_);
  }
  void CreateSettingsQuietly() {
    tgx::ScopedMessageSink quiet(sink_);
    CreateSettings();
    sink_.shown.clear();
  }
  // Frees the records without the save that DestroySettings does.
  void FreeSettings() {
    const char* dir = ::getenv("TGX_CONFIG_DIR");
    std::string keep = dir ? dir : "";
    ::setenv("TGX_CONFIG_DIR", (root_ + "/discard").c_str(), 1);
    fs::create_directories(root_ + "/discard");
    tgx::ScopedMessageSink quiet(sink_);
    DestroySettings();
    if (!keep.empty()) ::setenv("TGX_CONFIG_DIR", keep.c_str(), 1);
  }
  std::string CfgPath() const { return root_ + "/cfg/tgx.cfg"; }
  bool Load() {
    tgx::ScopedMessageSink s(sink_);
    return LoadConfiguration();
  }
  bool Save() {
    tgx::ScopedMessageSink s(sink_);
    return SaveConfiguration();
  }

  std::string root_;
  tgx::RecordingSink sink_;
};

TEST_F(ConfigTest, FirstRunUsesDefaultsAndSavesTwentyEightPlusFolderBytes) {
  EXPECT_FALSE(Load());
  EXPECT_TRUE(sink_.shown.empty());
  EXPECT_EQ(Chanpar()->PortIndex, 0);
  EXPECT_EQ(Chanpar()->Spare, 9);
  EXPECT_EQ(Chanpar()->ReplyTimeoutMs, 4000);
  EXPECT_EQ(Chanpar()->SpareFlag, 0);
  EXPECT_EQ(Syspar()->KeyboardType(), 1);
  const std::string folder = root_ + "/bin/";
  EXPECT_EQ(Syspar()->FormsFolder(), folder);

  ASSERT_TRUE(Save());
  const std::string bytes = ReadFile(CfgPath());
  EXPECT_EQ(bytes.size(), 28 + folder.size());
  EXPECT_EQ(bytes, FileImage(0, 9, 4000, 0, folder, 1));
}

TEST_F(ConfigTest, SavedValuesComeBack) {
  Chanpar()->PortIndex = 4;
  Chanpar()->Spare = -7;
  Chanpar()->ReplyTimeoutMs = 1234;
  Chanpar()->SpareFlag = 0xA5;
  Syspar()->SetFormsFolderText(tgx::FromUtf8("/данные/формы/"));
  Syspar()->SetKeyboardType(3);
  ASSERT_TRUE(Save());
  EXPECT_EQ(ReadFile(CfgPath()), FileImage(4, -7, 1234, 0xA5, tgx::FromUtf8("/данные/формы/"), 3));

  FreeSettings();
  CreateSettingsQuietly();
  EXPECT_EQ(Chanpar()->PortIndex, 4);
  EXPECT_EQ(Chanpar()->Spare, -7);
  EXPECT_EQ(Chanpar()->ReplyTimeoutMs, 1234);
  EXPECT_EQ(Chanpar()->SpareFlag, 0xA5);
  EXPECT_EQ(Syspar()->FormsFolder(), tgx::FromUtf8("/данные/формы/"));
  EXPECT_EQ(Syspar()->KeyboardType(), 3);
}

TEST_F(ConfigTest, ForeignSignatureIsIgnoredSilentlyAndOverwritten) {
  const std::string foreign = Str("abc") + Le32(5) + Le32(9) + Le32(100);
  WriteFile(CfgPath(), foreign);
  EXPECT_FALSE(Load());
  EXPECT_TRUE(sink_.shown.empty());
  EXPECT_EQ(Chanpar()->PortIndex, 0);
  EXPECT_EQ(Chanpar()->ReplyTimeoutMs, 4000);
  ASSERT_TRUE(Save());
  const std::string bytes = ReadFile(CfgPath());
  EXPECT_EQ(bytes.substr(0, 7), Str("tgx"));
  EXPECT_EQ(bytes, FileImage(0, 9, 4000, 0, root_ + "/bin/", 1));
}

// A damaged file keeps what it did hold and reports the rest, whatever the
// damage: cut short, or a stored length that the file cannot hold.
TEST_F(ConfigTest, DamagedFilesKeepWhatWasReadAndReportOnce) {
  struct Case {
    const char* name;
    std::string bytes;
    int32_t port, timeout;
    bool folderKept;  // forms folder still the default
  };
  const std::string chan = Str("tgx") + Le32(3) + Le32(9) + Le32(2500) + std::string(1, '\0');
  const Case cases[] = {
      {"cut after the channel", chan, 3, 2500, true},
      {"cut inside the channel", Str("tgx") + Le32(3) + Le32(9) + "\x10", 3, 4000, true},
      {"cut inside the folder", chan + Le32(10) + "/ab", 3, 2500, true},
      {"folder length beyond the file", chan + Le32(0x7FFFFFFF) + "/x/", 3, 2500, true},
      {"negative folder length", chan + Le32(-1), 3, 2500, true},
      {"cut before the keyboard", chan + Str("/f/"), 3, 2500, false},
      {"huge signature length", Le32(0x40000000) + "tgx", 0, 4000, true},
      {"empty file", "", 0, 4000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreeSettings();
    fs::remove(CfgPath());
    CreateSettingsQuietly();
    WriteFile(CfgPath(), c.bytes);
    sink_.shown.clear();
    EXPECT_FALSE(Load());
    ASSERT_EQ(sink_.shown.size(), 1u);
    EXPECT_EQ(sink_.shown[0], kReadError);
    EXPECT_EQ(Chanpar()->PortIndex, c.port);
    EXPECT_EQ(Chanpar()->ReplyTimeoutMs, c.timeout);
    EXPECT_EQ(Syspar()->FormsFolder(), c.folderKept ? root_ + "/bin/" : "/f/");
    EXPECT_EQ(Syspar()->KeyboardType(), 1);
  }
}

TEST_F(ConfigTest, ShorterSaveKeepsTheOldTailAndStillLoads) {
  Syspar()->SetFormsFolderText("/a/very/long/folder/name/");
  ASSERT_TRUE(Save());
  const std::string longer = ReadFile(CfgPath());
  Syspar()->SetFormsFolderText("/b/");
  ASSERT_TRUE(Save());
  const std::string shorter = ReadFile(CfgPath());
  const std::string fresh = FileImage(0, 9, 4000, 0, "/b/", 1);
  ASSERT_EQ(shorter.size(), longer.size());
  EXPECT_EQ(shorter.substr(0, fresh.size()), fresh);
  EXPECT_EQ(shorter.substr(fresh.size()), longer.substr(fresh.size()));

  Syspar()->SetFormsFolderText("/elsewhere/");
  EXPECT_TRUE(Load());
  EXPECT_EQ(Syspar()->FormsFolder(), "/b/");
}

TEST_F(ConfigTest, SaveThatCannotWriteReportsAndKeepsSettings) {
  const std::string blocker = root_ + "/not-a-folder";
  WriteFile(blocker, "x");
  ::setenv("TGX_CONFIG_DIR", (blocker + "/tgx").c_str(), 1);
  Chanpar()->PortIndex = 6;
  EXPECT_FALSE(Save());
  ASSERT_EQ(sink_.shown.size(), 1u);
  EXPECT_EQ(sink_.shown[0], kWriteError);
  EXPECT_EQ(Chanpar()->PortIndex, 6);
  EXPECT_EQ(ReadFile(blocker), "x");
}

TEST_F(ConfigTest, SaveLeavesNoStrayFilesBehind) {
  ASSERT_TRUE(Save());
  ASSERT_TRUE(Save());
  int files = 0;
  for (const auto& e : fs::directory_iterator(root_ + "/cfg")) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

TEST_F(ConfigTest, FileLivesBesideAWritableExecutableElseInTheUserConfigFolder) {
  ::unsetenv("TGX_CONFIG_DIR");
  EXPECT_EQ(tgx::ConfigFilePath(), root_ + "/bin/tgx.cfg");
  EXPECT_EQ(tgx::PortMapFilePath(), root_ + "/bin/tgx.ports");
  // Renaming the executable does not rename the file.
  tgx::SetExePathForTest(root_ + "/bin/other-name");
  EXPECT_EQ(tgx::ConfigFilePath(), root_ + "/bin/tgx.cfg");

  // A folder nobody may write to (it does not exist at all here, which also
  // holds for root).
  tgx::SetExePathForTest(root_ + "/missing/tgx");
  ::setenv("XDG_CONFIG_HOME", (root_ + "/xdg").c_str(), 1);
  EXPECT_EQ(tgx::ConfigFilePath(), root_ + "/xdg/tgx/tgx.cfg");
  EXPECT_EQ(tgx::PortMapFilePath(), root_ + "/xdg/tgx/tgx.ports");
  ASSERT_TRUE(Save());
  EXPECT_TRUE(fs::exists(root_ + "/xdg/tgx/tgx.cfg"));

  ::unsetenv("XDG_CONFIG_HOME");
  const char* home = ::getenv("HOME");
  if (home && *home) {
    EXPECT_EQ(tgx::ConfigFilePath(), std::string(home) + "/.config/tgx/tgx.cfg");
  }
}

TEST(SysparTest, FolderFromPathKeepsTheTrailingSeparator) {
  const struct {
    const char* path;
    const char* folder;
  } cases[] = {
      {"/home/op/forms/x.fs", "/home/op/forms/"},
      {"/home/op/forms/", "/home/op/forms/"},
      {"/x.fs", "/"},
      {"x.fs", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SYSPAR s;
    s.SetFormsFolderText("old");
    s.SetFolderFromPath(c.path);
    EXPECT_EQ(s.FormsFolder(), c.folder) << c.path;
  }
}

TEST(MarkservTest, TheConfigurationSignatureIsRegistered) {
  (void)tgx::ConfigFilePath();  // the registration happens with the configuration module
  MARKER m = FindSignature(kConfigSignatureId);
  EXPECT_EQ(m.Extension(), ".cfg");
  EXPECT_FALSE(m.Matches());
  m.Text() = "tgx";
  EXPECT_TRUE(m.Matches());
  m.Text() = "tgx ";
  EXPECT_FALSE(m.Matches());
  MemoryStream s;
  m.WriteSignature(s);
  EXPECT_EQ(s.Bytes(), Str("tgx"));

  MARKER none = FindSignature(999);
  EXPECT_EQ(none.Extension(), "");
  none.Text() = "";
  EXPECT_FALSE(none.Matches());
  MemoryStream e;
  none.WriteSignature(e);
  EXPECT_EQ(e.Bytes(), Le32(0));
}

TEST(XfileTest, OpenReadWriteAndTheirFailures) {
  char tmpl[] = "/tmp/tgx-xfile-XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  const std::string name = dir + "/f.bin";
  XFILE f;
  try {
    f.Open(name, false);
    ADD_FAILURE() << "a missing file opened without create";
  } catch (const FileError& e) {
    EXPECT_EQ(e.code, 1);
  }
  f.Open(name, true);
  EXPECT_TRUE(f.Created());
  f << int32_t{0x01020304} << std::string("ab");
  f.Close();
  EXPECT_EQ(ReadFile(name), Le32(0x01020304) + Str("ab"));

  f.Open(name, true);
  EXPECT_FALSE(f.Created());
  EXPECT_EQ(f.available(), 10);
  int32_t v = 0;
  std::string s;
  f >> v >> s;
  EXPECT_EQ(v, 0x01020304);
  EXPECT_EQ(s, "ab");
  EXPECT_EQ(f.available(), 0);
  uint8_t b = 0;
  EXPECT_THROW(f >> b, FileError);
  f.Close();
  fs::remove_all(dir);
}
}  // namespace
