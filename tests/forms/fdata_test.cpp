// The form set: reading and writing form files, the files that are not what
// they claim, the limits of a set and the memory a file may cost.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "forms/Fdata.h"
#include "model/Cp1251.h"
#include "model/Messages.h"
#include "model/Prjvol.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace tgxtest {
namespace {

std::string FirstLine(const std::string& m) { return m.substr(0, m.find('\n')); }

// Runs `body` in a child and returns its exit code; a child that hangs is
// ended by an alarm well beyond any honest run (-1).
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

std::string TypeOneForm(int values) {
  std::string s = "\n# big\n";
  for (int i = 0; i < values; ++i) s += (i % 10 == 0 ? "\n| " : " ") + std::to_string(i % 10);
  return s;
}

// Sixteen pair forms whose top level is 9,999.98 m: a few hundred bytes that
// would ask for sixteen tables of a million entries.
std::string HighPairForms() {
  std::string s;
  for (int k = 0; k < 16; ++k) s += "# f\n| 0 0\n| 99999980 5\n";
  return s;
}

class FormFile : public ::testing::Test {
 protected:
  void TearDown() override { ::alarm(0); }
  std::string Path(const std::string& name) const { return dir.File(name); }
  TempDir dir{"tgx-forms"};
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink scoped{sink};
  FDATA d;
};

// A middle form without data stays as a gap; trailing ones are cut; sixteen
// forms at most, and the 17th form's data is not taken either.
TEST(FdataReadText, GapsLastFormsAndTheSeventeenth) {
  FDATA d;
  ASSERT_TRUE(d.ReadText("# a\n| 1 2\n# b\n# c\n| 3 4\n# d\n| 5\n# e\n", 1));
  EXPECT_EQ(d.Count(), 3);
  EXPECT_FALSE(d.Form(1).Defined());
  EXPECT_FALSE(d.ReadText("# only\n| 5\n", 1)) << "no defined form at all";
  std::string seventeen;
  for (int k = 0; k < 17; ++k) seventeen += "# f" + std::to_string(k) + "\n| 1 2\n";
  ASSERT_TRUE(d.ReadText(seventeen, 1));
  EXPECT_EQ(d.Count(), 16);
  EXPECT_EQ(d.Form(15).RowCount(), 2);
}

TEST(FdataReadText, TheLongestTableIsReadAndOneRowMoreIsRefused) {
  FDATA d;
  ASSERT_TRUE(d.ReadText(TypeOneForm(65535), 1));
  EXPECT_EQ(d.Form(0).RowCount(), 65535);
  std::string why;
  EXPECT_FALSE(d.ReadText(TypeOneForm(65536), 1, &why));
  EXPECT_NE(why.find(tgx::FromUtf8("форма 1")), std::string::npos) << tgx::ToUtf8(why);
  EXPECT_TRUE(d.ReadText("# a\n|" + std::string(64 * 1024 - 1, ' ') + "\n| 1 2\n", 1)) << "a line at the bound";
}

TEST(FdataWriteText, LayoutOfEachType) {
  const struct {
    int32_t type;
    const char *in, *out;
  } cases[] = {
      // Text before the first title is no form; a title loses only the writer's blank.
      {1, "junk before\n| 1 2\n# one\n| 1 2 3\n#two\r\n| 4 5\r\n#  three\n| 6 7",
       "\r\n\r\n# one\r\n\r\n|  1 2 3\r\n\r\n# two\r\n\r\n|  4 5\r\n\r\n#  three\r\n\r\n|  6 7"},
      {1, "# t1\n| 0 1 2 3 4 5 6 7 8 9 10 11\n", "\r\n\r\n# t1\r\n\r\n|  0 1 2 3 4 5 6 7 8 9\r\n|  10 11"},
      {4, "# t1\n| 0 0\n| 1055 7\n", "\r\n\r\n# t1\r\n\r\n|         0         0\r\n|      1055         7"},
      {2, "# c\n1,5\n12345678901\n", "\r\n\r\n# c\r\n\r\n      1.5\r\n12345678901"},
  };
  for (const auto& c : cases) {
    FDATA d;
    ASSERT_TRUE(d.ReadText(c.in, c.type)) << c.in;
    EXPECT_EQ(d.WriteText(), c.out) << c.in;
  }
}

TEST(FdataWriteText, SaveAndLoadKeepTitlesAndValuesForEveryType) {
  const char* bodies[] = {"", "| 0 1 2 3 4 5 6 7 8 9 10 11 12", "0.5\n1,25\n7", "1\n2\n3", "| 10 1\n| -5 ?\n| 30"};
  const std::string title = tgx::FromUtf8("Резервуар №3 ") + "  ";
  for (int32_t type = 1; type <= 4; ++type) {
    FDATA first, again, lf_only;
    ASSERT_TRUE(first.ReadText("#" + title + "\n" + bodies[type] + "\n#\n#x\n" + bodies[type], type)) << type;
    std::string text = first.WriteText();
    for (int cycle = 0; cycle < 3; ++cycle, text = again.WriteText()) ASSERT_TRUE(again.ReadText(text, type));
    EXPECT_TRUE(again == first) << type;
    EXPECT_EQ(again.Form(0).Title(), title);
    std::erase(text, '\r');
    ASSERT_TRUE(lf_only.ReadText(text, type));
    EXPECT_TRUE(lf_only == first) << type;
  }
}

// Each refusal's first line says what is wrong and the rest names the file
// (and the line or form at fault); a file that is no form file leaves the set
// untouched. A FIFO or /dev/zero must not block the load: an alarm far beyond
// any honest run ends the program if one does.
TEST_F(FormFile, LoadShowsWhyItFailed) {
  ::alarm(60);
  d.AddNew();
  fs::create_directory(Path("folder.fs"));
  ASSERT_EQ(::mkfifo(Path("pipe.fs").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", Path("zero.fs"));
  const struct {
    const char* file;
    std::string bytes;  // none: made above or missing
    const char* first;
    const char* names;
  } cases[] = {
      {"a.f2", "# a\n| 1 2\n| 3 4\n", "Неизвестная форма!", ""},
      {"missing.fs", "", "Файл испорчен!", ""},
      {"folder.fs", "", "Файл испорчен!", ""},
      {"one.fs", "# one value\n| 5\n", " Ошибка формы! ", ""},
      {"big.f1", "# a\n| 0 0\n| 10 1\n" + std::string(9 * 1024 * 1024, ' '), "Файл испорчен!", ""},
      {"long.fs", "# a\n| 1 2\n" + std::string(100 * 1024, '7') + "\n| 3\n", "Файл испорчен!", "строка 3 "},
      // UTF-16, whose digits would come one by one
      {"wide.fs", std::string("#\0 \0a\0\n\0|\0 \0" "1\0" "2\0", 16), "Файл испорчен!", "строка 1 "},
      {"high.f1", HighPairForms(), " Ошибка формы! ", "форма 1: верхний уровень 99999980 (мм*10) дал бы таблицу длиннее 65535 значений"},
      {"pipe.fs", "", "Файл испорчен!", ""},
      {"zero.fs", "", "Файл испорчен!", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    if (!c.bytes.empty()) WriteBytes(Path(c.file), c.bytes);
    sink.shown.clear();
    EXPECT_FALSE(d.Load(Path(c.file)));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(FirstLine(sink.shown[0]), tgx::FromUtf8(c.first));
    EXPECT_NE(sink.shown[0].find('\n' + Path(c.file)), std::string::npos);
    EXPECT_NE(sink.shown[0].find(tgx::FromUtf8(c.names)), std::string::npos);
    EXPECT_EQ(d.Count(), std::string(c.file).starts_with("a.") ? 1 : 0);
  }
  WriteBytes(Path("UP.FS2"), "\r\n\r\n# a\r\n\r\n        1\r\n        2");
  ASSERT_TRUE(d.Load(Path("UP.FS2")));
  EXPECT_EQ(d.Form(0).Type(), 3);
}

// A folder under the name is refused; a full disk (a file
// size limit in a child) fails part way and the old file stays whole, with
// its mode and no temporary beside it.
TEST_F(FormFile, SaveReplacesTheFileWholeOrNotAtAll) {
  ASSERT_TRUE(d.ReadText("# a\n| 1 2 3\n", 1));
  const std::string target = Path("t.fs"), written = "\r\n\r\n# a\r\n\r\n|  1 2 3";
  WriteBytes(target, "old");
  ::chmod(target.c_str(), 0640);
  ASSERT_TRUE(d.Save(target));
  EXPECT_EQ(ReadBytes(target), written);
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms(0640));
  fs::create_directory(Path("taken.fs"));
  EXPECT_FALSE(d.Save(Path("taken.fs")));
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(FirstLine(sink.shown[0]), tgx::FromUtf8("Невозможно записать файл!"));
  sink.shown.clear();
  std::string rows = "# big\n";
  for (int i = 0; i < 20000; ++i) rows += "| 1234567\n";
  ASSERT_TRUE(d.ReadText(rows, 1));
  EXPECT_EQ(InChild([&] {
              ::signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{4096, 4096};
              ::setrlimit(RLIMIT_FSIZE, &limit);
              return !d.Save(target) && sink.shown.size() == 1 ? 0 : 1;
            }),
            0);
  EXPECT_EQ(ReadBytes(target), written);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 2);
}

TEST(FdataFileName, GivesEveryNameItsTypesExtension) {
  const struct {
    const char* path;
    int32_t type;
    const char* named;
  } cases[] = {
      {"/d/a", 1, "/d/a.fs"},       {"/d/a", 4, "/d/a.f1"},         {"/d/a.fs", 2, "/d/a.fs1"},
      {"/d/a.FS2", 1, "/d/a.fs"},   {"/d/a.f1", 5, "/d/a.f2"},      {"/d.x/a", 3, "/d.x/a.fs2"},
  };
  for (const auto& c : cases) EXPECT_EQ(FDATA::FileNameForType(c.path, c.type), c.named) << c.path;
}

TEST(FdataTables, ToTablesAndFromTables) {
  FDATA d;
  ASSERT_TRUE(d.ReadText("# ok\n| 0 0\n| 1000 50\n| 2500 200\n# gap\n# bad\n| 0 0\n| 100 ?\n| 200 5\n", 4));
  GROUPTAB tables;
  ASSERT_TRUE(d.ToTables(tables));
  ASSERT_EQ(tables.Count(), 3);
  EXPECT_EQ(tables.Table(1).Count(), 0);
  EXPECT_EQ(tables.Table(2).Values(), (std::vector<int32_t>{0, 0, 0}));  // zeros, one per row: slots line up
  GROUPTAB three;
  three.Add(PARTAB(2));
  three.AddEmpty();
  three.Add(PARTAB(2));
  d.FromTables(three);
  EXPECT_EQ(d.WriteText(), "\r\n\r\n# t1\r\n\r\n|  0 0\r\n\r\n# t2\r\n\r\n\r\n# t3\r\n\r\n|  0 0");
}

// The peak resident size of a child that loads, converts and checks a file,
// against 20 times the file's size and 50 MB: 0 within, 1 beyond, 2 when the
// file was not accepted or refused as expected.
int PeakWithinAllowance(const std::string& path, bool accepted) {
  return InChild([&] {
    tgx::RecordingSink quiet;
    tgx::ScopedMessageSink scoped(quiet);
    FDATA d;
    if (d.Load(path) != accepted) return 2;
    GROUPTAB tables;
    d.ToTables(tables);
    d.Check();
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss * 1024LL <= 20 * static_cast<long long>(fs::file_size(path)) + 50LL * 1024 * 1024 ? 0 : 1;
  });
}

TEST_F(FormFile, EveryFileStaysWithinItsMemoryAllowance) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "resident size means nothing under a sanitizer";
#endif
  // Each file is made just before its child runs, so no child inherits the others.
  const struct {
    const char* name;
    std::function<std::string()> bytes;
    bool accepted;
  } cases[] = {
      {"high.f1", HighPairForms, false},
      {"full.fs", [] {  // the largest file accepted
         std::string s;
         for (int k = 0; k < 16; ++k) s += TypeOneForm(65535);
         return s;
       }, true},
      {"huge.fs", [] {  // four million values in one form: more than a table holds
         std::string s = "# a\n";
         while (s.size() < 8 * 1024 * 1024 - 32) s += "\n| 1 2 3 4 5 6 7 8 9 0";
         return s;
       }, false},
  };
  for (const auto& c : cases) {
    WriteBytes(Path(c.name), c.bytes());
    EXPECT_EQ(PeakWithinAllowance(Path(c.name), c.accepted), 0) << c.name;
  }
}

}  // namespace
}  // namespace tgxtest
