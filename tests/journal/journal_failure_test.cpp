// The journal when things go wrong around it: two programs at once, a damaged
// file, places it may not write to, a full disk. No call throws, a failure
// says why, and nothing that was in the journal is lost.

#include <fcntl.h>
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
using tgx::RecordResult;

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

void WriteBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::vector<std::string> DamagedFiles(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename().string().rfind("journal.sqlite.damaged-", 0) == 0) names.push_back(e.path().string());
  return names;
}

struct ChildLimits {
  bool unprivileged = false;  // as an ordinary user, so that file modes bind even for root
  rlim_t file_size = RLIM_INFINITY;
};

enum ChildExit { kRecorded, kNotRecorded, kThrew, kNoLimits };

// Runs `body` in a child process under `limits`: the exit code says how the
// record went, the message comes back over a pipe.
std::pair<int, std::string> InChild(ChildLimits limits, const std::function<RecordResult()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return {-1, ""};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    bool ready = true;
    if (limits.unprivileged && ::geteuid() == 0) {
      constexpr uid_t kNobody = 65534;
      ready = ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
    }
    if (limits.file_size != RLIM_INFINITY) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{limits.file_size, limits.file_size};
      ready = ready && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    if (!ready) ::_exit(kNoLimits);
    try {
      const RecordResult r = body();
      (void)!::write(fds[1], r.Message.data(), r.Message.size());
      ::_exit(r.Ok ? kRecorded : kNotRecorded);
    } catch (...) {
      ::_exit(kThrew);
    }
  }
  ::close(fds[1]);
  std::string message;
  char buf[4096];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) message.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, message};
}

class JournalFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // An unprivileged child must be able to reach the data folder.
    ::chmod(dir_.Path().c_str(), 0755);
    fs::create_directory(folder_);
  }

  std::unique_ptr<Journal> OpenOk() {
    auto opened = Journal::Open(folder_);
    EXPECT_TRUE(opened.Ok) << tgx::ToUtf8(opened.Message);
    return std::move(opened.Instance);
  }

  std::size_t SessionCount() {
    auto j = OpenOk();
    return j->List({}, 0).Sessions.size();
  }

  TempDir dir_{"tgx-journal"};
  std::string folder_ = dir_.File("data");
  std::string path_ = folder_ + "/" + Journal::kFileName;
};

TEST_F(JournalFailureTest, TwoProgramsRecordingAtOnceBothLand) {
  constexpr int kPrograms = 2;
  constexpr int kEach = 25;
  OpenOk();  // the file exists before the race, as it does after the first run
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < kPrograms; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(gate[1]);
      char c;
      (void)!::read(gate[0], &c, 1);  // both start when the gate closes
      int failures = 0;
      auto opened = Journal::Open(folder_);
      for (int i = 0; i < kEach; ++i) failures += opened.Instance->Record(SampleWrite(p * 1000 + i)).Ok ? 0 : 1;
      ::_exit(failures);
    }
    children.push_back(pid);
  }
  ::close(gate[0]);
  ::close(gate[1]);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed records in one program";
  }
  EXPECT_EQ(SessionCount(), static_cast<std::size_t>(kPrograms * kEach));
}

// Garbage is found when the file opens. With a whole first page the file
// opens, and the damage shows only when the record reaches the pages behind.
TEST_F(JournalFailureTest, DamagedJournalIsMovedAsideAndRecordingGoesOn) {
  {
    auto j = OpenOk();
    for (int i = 0; i < 3; ++i) j->Record(SampleWrite(i));
  }
  const std::string whole = ReadBytes(path_);
  ASSERT_GT(whole.size(), 8192u);
  struct Case {
    const char* name;
    std::string bytes;
    bool foundAtOpen;
  };
  const std::vector<Case> cases = {
      {"garbage", Garbage(8192), true},
      {"pages after the first", whole.substr(0, 4096) + Garbage(whole.size() - 4096), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder_);
    fs::create_directory(folder_);
    WriteBytes(path_, c.bytes);
    auto opened = Journal::Open(folder_);
    const RecordResult r = opened.Instance->Record(SampleWrite(9));
    EXPECT_TRUE(r.Ok);
    const std::string aside = c.foundAtOpen ? opened.MovedAside : r.MovedAside;
    const std::string message = c.foundAtOpen ? opened.Message : r.Message;
    ASSERT_EQ(DamagedFiles(folder_), std::vector<std::string>{aside});
    EXPECT_EQ(ReadBytes(aside), c.bytes);
    EXPECT_EQ(message, tgx::FromUtf8("Журнал сеансов был повреждён и перенесён в ") + tgx::FromUtf8(aside) +
                           tgx::FromUtf8("; начат новый журнал."));
    EXPECT_EQ(SessionCount(), 1u);
  }
}

TEST_F(JournalFailureTest, PlacesThatCannotBeWrittenGiveAFailureAndKeepTheFile) {
  const std::string notRecorded = tgx::FromUtf8("Сеанс не записан в журнал: ");
  const std::string noAccess = notRecorded + tgx::FromUtf8("нет доступа на запись к ") + tgx::FromUtf8(path_);
  struct Case {
    const char* name;
    std::function<void()> setup;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"read-only folder", [&] { ::chmod(folder_.c_str(), 0555); }, noAccess},
      {"read-only file",
       [&] {
         OpenOk()->Record(SampleWrite());
         ::chmod(path_.c_str(), 0444);
         ::chmod(folder_.c_str(), 0777);
       },
       noAccess},
      {"damaged file in a read-only folder",
       [&] {
         WriteBytes(path_, Garbage(5000));
         ::chmod(folder_.c_str(), 0555);
       },
       notRecorded + tgx::FromUtf8("файл журнала повреждён и не может быть перенесён: ") + tgx::FromUtf8(path_)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::chmod(folder_.c_str(), 0755);
    fs::remove_all(folder_);
    fs::create_directory(folder_);
    c.setup();
    const std::string before = ReadBytes(path_);
    const auto [exit, message] =
        InChild({.unprivileged = true}, [&] { return Journal::Open(folder_).Instance->Record(SampleWrite(5)); });
    EXPECT_EQ(exit, kNotRecorded);
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(ReadBytes(path_), before);
    EXPECT_TRUE(DamagedFiles(folder_).empty());
  }
  ::chmod(folder_.c_str(), 0755);  // so that the folder can be removed
}

TEST_F(JournalFailureTest, FullDiskFailsTheRecordAndKeepsTheJournal) {
  const int64_t first = OpenOk()->Record(SampleWrite()).Id;
  // Entries that do not follow a curve take several bytes each.
  tgx::SessionRecord big = SampleWrite();
  std::mt19937 random(7);
  big.Tables = GROUPTAB();
  for (int k = 0; k < 16; ++k) {
    PARTAB t;
    for (int i = 0; i < 3000; ++i) t.Append(static_cast<int32_t>(random()));
    big.Tables->Add(t);
  }
  const auto size = static_cast<rlim_t>(fs::file_size(path_));
  const auto [exit, message] =
      InChild({.file_size = size + 16384}, [&] { return Journal::Open(folder_).Instance->Record(big); });
  EXPECT_EQ(exit, kNotRecorded);
  EXPECT_EQ(message.rfind(tgx::FromUtf8("Сеанс не записан в журнал: "), 0), 0u);
  EXPECT_TRUE(DamagedFiles(folder_).empty());
  auto j = OpenOk();
  EXPECT_EQ(j->Load(first).Session.Tables, SampleWrite().Tables);
  EXPECT_TRUE(j->Record(big).Ok);
}

}  // namespace
}  // namespace tgxtest
