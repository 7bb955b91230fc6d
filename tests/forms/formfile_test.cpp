// Form files that are not what they claim: FIFOs and devices, overlong lines,
// forms whose tables no unit could hold; and the memory a file may cost.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "forms/Fdata.h"
#include "model/Cp1251.h"
#include "model/Messages.h"
#include "model/Prjvol.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace tgxtest {
namespace {

void WriteBytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::string FirstLine(const std::string& m) { return m.substr(0, m.find('\n')); }

// Runs `body` in a child process and returns its exit code; a child that
// hangs is ended by an alarm well beyond any honest run (-1), so a
// regression fails instead of stopping the test program.
int InChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(60);
    ::_exit(body());
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class FormFile : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir.File(name); }
  // Loads in the child; 0 when the load failed with `first` as its message's
  // first line.
  int LoadFailsWith(const std::string& file, const char* first) {
    return InChild([&] {
      tgx::RecordingSink sink;
      tgx::ScopedMessageSink scoped(sink);
      FDATA d;
      if (d.Load(file)) return 1;
      return sink.shown.size() == 1 && FirstLine(sink.shown[0]) == tgx::FromUtf8(first) ? 0 : 2;
    });
  }
  TempDir dir{"tgx-formfile"};
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink scoped{sink};
};

// Neither may block the load: a FIFO waits for a writer, /dev/zero never ends.
TEST_F(FormFile, AFifoOrADeviceIsRefusedAtOnce) {
  ASSERT_EQ(::mkfifo(Path("pipe.fs").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", Path("zero.fs"));
  for (const char* name : {"pipe.fs", "zero.fs"}) EXPECT_EQ(LoadFailsWith(Path(name), "Файл испорчен!"), 0) << name;
}

// An overlong line, and a file in UTF-16 whose digits would come one by one:
// both refused, naming the line.
TEST_F(FormFile, ALineThatIsNoFormLineIsRefusedByItsNumber) {
  const struct {
    const char* name;
    std::string bytes;
    const char* line;
  } cases[] = {
      {"long.fs", "# a\n| 1 2\n" + std::string(100 * 1024, '7') + "\n| 3\n", "строка 3 "},
      {"wide.fs", std::string("#\0 \0a\0\n\0|\0 \0" "1\0" "2\0", 16), "строка 1 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sink.shown.clear();
    WriteBytes(Path(c.name), c.bytes);
    FDATA d;
    EXPECT_FALSE(d.Load(Path(c.name)));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(FirstLine(sink.shown[0]), tgx::FromUtf8("Файл испорчен!"));
    EXPECT_NE(sink.shown[0].find(tgx::FromUtf8(c.line)), std::string::npos);
  }
  FDATA d;
  EXPECT_TRUE(d.ReadText("# a\n|" + std::string(64 * 1024 - 1, ' ') + "\n| 1 2\n", 1)) << "a line at the bound";
}

std::string TypeOneForm(int values) {
  std::string s = "\n# big\n";
  for (int i = 0; i < values; ++i) s += (i % 10 == 0 ? "\n| " : " ") + std::to_string(i % 10);
  return s;
}

TEST_F(FormFile, AFormOfTheLongestTableIsReadAndOneRowMoreIsRefused) {
  FDATA d;
  ASSERT_TRUE(d.ReadText(TypeOneForm(65535), 1));
  EXPECT_EQ(d.Form(0).RowCount(), 65535);
  std::string why;
  EXPECT_FALSE(d.ReadText(TypeOneForm(65536), 1, &why));
  EXPECT_NE(why.find(tgx::FromUtf8("форма 1")), std::string::npos) << tgx::ToUtf8(why);
}

// Sixteen pair forms whose top level is 9,999.98 m: a few hundred bytes that
// would ask for sixteen tables of a million entries.
std::string HighPairForms() {
  std::string s;
  for (int k = 0; k < 16; ++k) s += "# f\n| 0 0\n| 99999980 5\n";
  return s;
}

TEST_F(FormFile, APairFormTooHighForAUnitNamesTheFormAndItsTopLevel) {
  WriteBytes(Path("high.f1"), HighPairForms());
  FDATA d;
  EXPECT_FALSE(d.Load(Path("high.f1")));
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(FirstLine(sink.shown[0]), tgx::FromUtf8(" Ошибка формы! "));
  EXPECT_NE(sink.shown[0].find(tgx::FromUtf8("форма 1: верхний уровень 99999980")), std::string::npos);
}

// (6553300 / 100) + 2 = 65535 entries: the highest level a table holds.
TEST(FormConvert, APairFormJustLowEnoughIsReadAndOneStepHigherIsNotBuilt) {
  FDATA d;
  ASSERT_TRUE(d.ReadText("# f\n| 0 0\n| 6553399 5\n", 4));
  d.Form(0).SetLevelText(1, "6553400");
  GROUPTAB tables;
  d.ToTables(tables);
  EXPECT_FALSE(d.Form(0).Converted());
}

// The peak resident size of a child that loads, converts and checks a file,
// against the allowance of 20 times the file's size and 50 MB: 0 within it,
// 1 beyond, 2 when the file was not accepted or refused as expected.
int PeakWithinAllowance(const std::string& path, bool accepted) {
  return InChild([&] {
    tgx::RecordingSink quiet;
    tgx::ScopedMessageSink scoped(quiet);
    FDATA d;
    const bool loaded = d.Load(path);
    if (loaded != accepted) return 2;
    if (loaded) {
      GROUPTAB tables;
      d.ToTables(tables);
      d.Check();
    }
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    const long long peak = static_cast<long long>(u.ru_maxrss) * 1024;
    const long long allowed = 20 * static_cast<long long>(fs::file_size(path)) + 50LL * 1024 * 1024;
    return peak <= allowed ? 0 : 1;
  });
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // shadow memory and quarantine count as resident
#else
constexpr bool kSanitized = false;
#endif

class FormFileMemory : public FormFile {
 protected:
  void SetUp() override {
    if (kSanitized) GTEST_SKIP() << "resident size means nothing under a sanitizer";
  }
};

TEST_F(FormFileMemory, EveryFileStaysWithinItsAllowance) {
  // Each file is written before the next is made, so the child that loads it
  // inherits none of the others.
  const struct {
    const char* name;
    std::function<std::string()> bytes;
    bool accepted;
  } cases[] = {
      {"high.f1", HighPairForms, false},
      {"full.fs",  // the largest file accepted
       [] {
         std::string s;
         for (int k = 0; k < 16; ++k) s += TypeOneForm(65535);
         return s;
       },
       true},
      {"huge.fs",  // four million values in one form: more than a table holds
       [] {
         std::string s = "# a\n";
         while (s.size() < 8 * 1024 * 1024 - 32) s += "\n| 1 2 3 4 5 6 7 8 9 0";
         return s;
       },
       false},
      {"pairs.f1",
       [] {
         std::string s;
         for (int k = 0; k < 16; ++k) {
           s += "# f\n";
           for (int i = 0; i < 30000; ++i) s += "| " + std::to_string(i * 16) + " " + std::to_string(i) + "\n";
         }
         return s;
       },
       true},
  };
  for (const auto& c : cases) {
    WriteBytes(Path(c.name), c.bytes());
    EXPECT_EQ(PeakWithinAllowance(Path(c.name), c.accepted), 0) << c.name;
  }
}

TEST(FormFileName, GivesEveryNameItsTypesExtension) {
  const struct {
    const char* path;
    int32_t type;
    const char* named;
  } cases[] = {
      {"/d/a", 1, "/d/a.fs"},       {"/d/a", 4, "/d/a.f1"},         {"/d/a.fs", 2, "/d/a.fs1"},
      {"/d/a.FS2", 1, "/d/a.fs"},   {"/d/a.f1", 5, "/d/a.f2"},      {"/d.x/a", 3, "/d.x/a.fs2"},
      {"/d/a.fs1", 2, "/d/a.fs1"},  {"a.f2", 4, "a.f1"},
  };
  for (const auto& c : cases) EXPECT_EQ(FDATA::FileNameForType(c.path, c.type), c.named) << c.path;
}

TEST_F(FormFile, SaveRefusesANameThatIsAllExtension) {
  FDATA d;
  d.AddNew();
  EXPECT_FALSE(d.Save(dir.File("") + ".fs"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 0);
}

}  // namespace
}  // namespace tgxtest
