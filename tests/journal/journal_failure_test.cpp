// The journal when things go wrong around it: two programs at once, a damaged
// file, places it may not write to, a full disk. No call throws, a failure
// says why, and nothing that was in the journal is lost.

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "journal/Journal.h"
#include "journal/JournalSamples.h"
#include "model/Cp1251.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

namespace fs = std::filesystem;
using tgx::Journal;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Garbage(std::size_t n) {
  std::mt19937 random(12345);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::vector<std::string> DamagedFiles(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename().string().rfind("journal.sqlite.damaged-", 0) == 0) names.push_back(e.path().string());
  return names;
}

// Runs `body` in a child process; its exit code, -1 when it did not exit.
pid_t Fork(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  return pid;
}
int Wait(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The message of a record of `s` that fails in a child process, with files
// limited to `fileSize` bytes, as an ordinary user when `asNobody` (so that
// file modes bind even for root); "recorded" when it succeeds.
std::string FailedRecord(const std::string& folder, const tgx::SessionRecord& s, bool asNobody,
                         rlim_t fileSize = RLIM_INFINITY) {
  int fds[2];
  if (::pipe(fds) != 0) return "no pipe";
  const pid_t pid = Fork([&] {
    constexpr uid_t kNobody = 65534;
    const rlimit limit{fileSize, fileSize};
    ::signal(SIGXFSZ, SIG_IGN);
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0 ||
        (asNobody && ::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)))
      return 1;
    const tgx::RecordResult r = Journal::Open(folder).Instance->Record(s);
    const std::string message = r.Ok ? "recorded" : r.Message;
    return ::write(fds[1], message.data(), message.size()) == ssize_t(message.size()) ? 0 : 1;
  });
  ::close(fds[1]);
  std::string message;
  char buf[4096];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) message.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  EXPECT_EQ(Wait(pid), 0);
  return message;
}

class JournalFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::chmod(dir_.Path().c_str(), 0755);  // an unprivileged child must reach the data folder
    fs::create_directory(folder_);
  }
  void Fresh() {
    ::chmod(folder_.c_str(), 0755);
    fs::remove_all(folder_);
    fs::create_directory(folder_);
  }
  std::unique_ptr<Journal> OpenOk() {
    auto opened = Journal::Open(folder_);
    EXPECT_TRUE(opened.Ok) << tgx::ToUtf8(opened.Message);
    return std::move(opened.Instance);
  }

  TempDir dir_{"tgx-journal"};
  std::string folder_ = dir_.File("data");
  std::string path_ = folder_ + "/" + Journal::kFileName;
};

TEST_F(JournalFailureTest, TwoProgramsRecordingAtOnceBothLand) {
  constexpr int kPrograms = 2, kEach = 25;
  OpenOk();  // the file exists before the race, as it does after the first run
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < kPrograms; ++p)
    children.push_back(Fork([&] {
      ::close(gate[1]);
      char c;
      (void)!::read(gate[0], &c, 1);  // both start when the gate closes
      auto opened = Journal::Open(folder_);
      int failures = 0;
      for (int i = 0; i < kEach; ++i) failures += opened.Instance->Record(SampleWrite(p * 1000 + i)).Ok ? 0 : 1;
      return failures;
    }));
  ::close(gate[0]);
  ::close(gate[1]);
  for (pid_t pid : children) EXPECT_EQ(Wait(pid), 0) << "failed records in one program";
  EXPECT_EQ(OpenOk()->List({}, 0).Sessions.size(), static_cast<std::size_t>(kPrograms * kEach));
}

// Garbage is found when the file opens. With a whole first page the file
// opens, and the damage shows only when the record reaches the pages behind.
TEST_F(JournalFailureTest, DamagedJournalIsMovedAsideAndRecordingGoesOn) {
  for (int i = 0; i < 3; ++i) OpenOk()->Record(SampleWrite(i));
  const std::string whole = ReadBytes(path_);
  ASSERT_GT(whole.size(), 8192u);
  const std::tuple<const char*, std::string, bool> cases[] = {
      {"garbage", Garbage(8192), true},
      {"pages after the first", whole.substr(0, 4096) + Garbage(whole.size() - 4096), false},
  };
  for (const auto& [name, bytes, foundAtOpen] : cases) {
    SCOPED_TRACE(name);
    Fresh();
    std::ofstream(path_, std::ios::binary) << bytes;
    auto opened = Journal::Open(folder_);
    const tgx::RecordResult r = opened.Instance->Record(SampleWrite(9));
    EXPECT_TRUE(r.Ok);
    const std::string aside = foundAtOpen ? opened.MovedAside : r.MovedAside;
    ASSERT_EQ(DamagedFiles(folder_), std::vector<std::string>{aside});
    EXPECT_EQ(ReadBytes(aside), bytes);
    EXPECT_EQ(foundAtOpen ? opened.Message : r.Message,
              tgx::FromUtf8("Журнал сеансов был повреждён и перенесён в " + aside + "; начат новый журнал."));
    EXPECT_EQ(OpenOk()->List({}, 0).Sessions.size(), 1u);
  }
}

TEST_F(JournalFailureTest, PlacesThatCannotBeWrittenGiveAFailureAndKeepTheFile) {
  const std::string notRecorded = "Сеанс не записан в журнал: ";
  const std::string noAccess = notRecorded + "нет доступа на запись к " + path_;
  const std::tuple<const char*, std::function<void()>, std::string> cases[] = {
      {"read-only folder", [&] { ::chmod(folder_.c_str(), 0555); }, noAccess},
      {"read-only file in a folder open to all",
       [&] {
         OpenOk()->Record(SampleWrite());
         ::chmod(path_.c_str(), 0444);
         ::chmod(folder_.c_str(), 0777);
       },
       noAccess},
      {"damaged file in a read-only folder",
       [&] {
         std::ofstream(path_, std::ios::binary) << Garbage(5000);
         ::chmod(folder_.c_str(), 0555);
       },
       notRecorded + "файл журнала повреждён и не может быть перенесён: " + path_},
  };
  for (const auto& [name, setup, message] : cases) {
    SCOPED_TRACE(name);
    Fresh();
    setup();
    const std::string before = ReadBytes(path_);
    EXPECT_EQ(FailedRecord(folder_, SampleWrite(5), true), tgx::FromUtf8(message));
    EXPECT_EQ(ReadBytes(path_), before);
    EXPECT_TRUE(DamagedFiles(folder_).empty());
  }
  ::chmod(folder_.c_str(), 0755);  // so that the folder can be removed
}

TEST_F(JournalFailureTest, FullDiskFailsTheRecordAndKeepsTheJournal) {
  const int64_t first = OpenOk()->Record(SampleWrite()).Id;
  tgx::SessionRecord big = SampleWrite();  // entries off any curve take several bytes each
  std::mt19937 random(7);
  big.Tables = GROUPTAB();
  for (int k = 0; k < 16; ++k) {
    PARTAB t;
    for (int i = 0; i < 3000; ++i) t.Append(static_cast<int32_t>(random()));
    big.Tables->Add(t);
  }
  const std::string message = FailedRecord(folder_, big, false, fs::file_size(path_) + 16384);
  EXPECT_EQ(message.rfind(tgx::FromUtf8("Сеанс не записан в журнал: "), 0), 0u);
  EXPECT_TRUE(DamagedFiles(folder_).empty());
  auto j = OpenOk();
  EXPECT_EQ(j->Load(first).Session.Tables, SampleWrite().Tables);
  EXPECT_TRUE(j->Record(big).Ok);
}

}  // namespace
}  // namespace tgxtest
