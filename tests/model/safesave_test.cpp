// Small files that may be something else: reading only regular files within a
// bound, and saving through a temporary file (what is left beside the target,
// which names and targets are refused, which links are followed).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "model/Regfile.h"
#include "model/Safesave.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace tgxtest {
namespace {

int Entries(const fs::path& dir) { return static_cast<int>(std::distance(fs::directory_iterator(dir), {})); }

// A file over the bound gives only its beginning; a device or a FIFO gives
// nothing, and a FIFO is refused at open, not waited on (an alarm far beyond
// any honest run ends the program if it is).
TEST(ReadRegularFile, StatusAndBytesOfEachKindOfFile) {
  TempDir dir;
  WriteBytes(dir.File("big"), std::string(5000, 'x'));
  WriteBytes(dir.File("small"), "COM3=/dev/ttyUSB0\n");
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  const struct {
    std::string path;
    RegFileStatus status;
    size_t size;
  } cases[] = {{"/dev/zero", RegFileStatus::NotRegular, 0},    {dir.File("fifo"), RegFileStatus::NotRegular, 0},
               {dir.File("big"), RegFileStatus::TooLarge, 100}, {dir.File("none"), RegFileStatus::Missing, 0},
               {dir.File("small"), RegFileStatus::Ok, 18}};
  ::alarm(20);
  for (const auto& c : cases) {
    std::string bytes;
    EXPECT_EQ(ReadRegularFile(c.path, 100, bytes), c.status) << c.path;
    EXPECT_EQ(bytes.size(), c.size) << c.path;
  }
  ::alarm(0);
}

// The user's own link is followed and stays a link; a 255-byte name is saved.
TEST(SafeSave, WritesTheContentAndLeavesNothingBeside) {
  TempDir dir;
  WriteBytes(dir.File("real"), "old");
  fs::create_symlink(dir.File("real"), dir.File("link"));
  for (const std::string& name : {std::string("link"), std::string(255, 'n')}) {
    SCOPED_TRACE(name.size());
    ASSERT_TRUE(SaveFileSafely(dir.File(name), "new"));
    EXPECT_EQ(ReadBytes(dir.File(name)), "new");
  }
  EXPECT_TRUE(fs::is_symlink(dir.File("link")));
  EXPECT_EQ(ReadBytes(dir.File("real")), "new");
  EXPECT_EQ(Entries(dir.Path()), 3);
}

// A save abandoned before its commit leaves the old file and no temporary.
TEST(SafeSave, AnAbandonedSaveKeepsTheOldFile) {
  TempDir dir;
  WriteBytes(dir.File("a"), "old");
  {
    SAFEFILE f;
    ASSERT_TRUE(f.Open(dir.File("a")));
    ASSERT_TRUE(f.Write("new"));
  }
  EXPECT_EQ(ReadBytes(dir.File("a")), "old");
  EXPECT_EQ(Entries(dir.Path()), 1);
}

void RemoveAndDie(int sig) {
  RemovePendingTempFiles();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// A save interrupted by a signal in its middle: the handler removes the
// temporary file, the target keeps its old content.
TEST(SafeSave, ASignalDuringASaveLeavesNoTemporaryFile) {
  for (const int sig : {SIGINT, SIGTERM}) {
    TempDir dir;
    WriteBytes(dir.File("t.fs"), "old");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::signal(sig, RemoveAndDie);
      SAFEFILE f;
      if (!f.Open(dir.File("t.fs")) || !f.Write("half")) ::_exit(2);
      ::raise(sig);
      ::_exit(3);  // not reached
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child did not get as far as the signal";
    EXPECT_EQ(Entries(dir.Path()), 1) << sig;
    EXPECT_EQ(ReadBytes(dir.File("t.fs")), "old") << sig;
  }
}

TEST(SafeSave, ChecksTheTargetBeforeSaving) {
  TempDir dir;
  fs::create_directory(dir.File("sub"));
  WriteBytes(dir.File("plain.fs"), "x");
  const struct {
    std::string path;
    bool allowed;
  } cases[] = {
      {dir.File("sub") + "/", false}, {dir.File(".hidden"), false}, {dir.File("sub"), false},
      {"/dev/null", false},           {dir.File("new.fs"), true},   {dir.File("plain.fs"), true},
      {dir.File(".x.fs"), true},
  };
  for (const auto& c : cases) {
    std::string message;
    EXPECT_EQ(CheckSaveTarget(c.path, message), c.allowed) << c.path;
    EXPECT_EQ(message.empty(), c.allowed) << c.path;
  }
  EXPECT_FALSE(SaveFileSafely("/dev/null", "x")) << "a device is never replaced";
}

// In a sticky folder open to all, a link that another user planted is not
// followed: the file it points at stays as it was.
TEST(SafeSave, APlantedLinkIsRefusedAndItsTargetStaysUnchanged) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a link to another user needs root";
  TempDir shared{"tgx-shared"}, victim{"tgx-victim"};
  ASSERT_EQ(::chmod(shared.Path().c_str(), 01777), 0);
  WriteBytes(victim.File("passwd"), "precious");
  fs::create_symlink(victim.File("passwd"), shared.File("X.fs"));
  ASSERT_EQ(::lchown(shared.File("X.fs").c_str(), 65534, 65534), 0);
  std::string why, message;
  EXPECT_FALSE(CheckSaveTarget(shared.File("X.fs"), message));
  EXPECT_FALSE(SaveFileSafely(shared.File("X.fs"), "evil", &why));
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(ReadBytes(victim.File("passwd")), "precious");
}

}  // namespace
}  // namespace tgxtest
