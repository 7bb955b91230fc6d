// The form set: reading and writing form files, their limits and the
// conversions of a whole set.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
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
using Texts = std::vector<std::string>;

std::string ReadBytes(const fs::path& p) {
  std::ostringstream s;
  s << std::ifstream(p, std::ios::binary).rdbuf();
  return s.str();
}

void WriteBytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::string Msg(const char* utf8) { return tgx::FromUtf8(utf8); }

// A private folder and a recorded message sink for the tests that touch files.
class FdataFile : public ::testing::Test {
 protected:
  std::string Path(const char* file) const { return folder.File(file); }

  TempDir folder{"tgx-forms"};
  const fs::path& dir = folder.Path();
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink scope{sink};
  FDATA d;
};
}  // namespace

// A middle form without data stays as a gap; trailing ones are cut.
TEST(FdataReadText, GapsStayTrailingFormsWithoutDataGo) {
  FDATA d;
  ASSERT_TRUE(d.ReadText("# a\n| 1 2\n# b\n# c\n| 3 4\n# d\n| 5\n# e\n", 1));
  EXPECT_EQ(d.Count(), 3);
  EXPECT_FALSE(d.Form(1).Defined());
  EXPECT_FALSE(d.ReadText("# only\n| 5\n", 1)) << "no defined form at all";
}

TEST(FdataReadText, SixteenFormsAtMost) {
  FDATA d;
  std::string seventeen;
  for (int k = 0; k < 17; ++k) seventeen += "# f" + std::to_string(k) + "\n| 1 2\n";
  ASSERT_TRUE(d.ReadText(seventeen, 1));
  EXPECT_EQ(d.Count(), 16);
  EXPECT_EQ(d.Form(15).Title(), "f15");
  EXPECT_EQ(d.Form(15).RowCount(), 2);  // the 17th form's data is not taken either
}

TEST(FdataReadText, LongLines) {
  FDATA d;
  std::string line = "|";
  for (int i = 0; i < 3000; ++i) line += " " + std::to_string(i);
  ASSERT_TRUE(d.ReadText("# long\n" + line + "\n", 1));
  ASSERT_EQ(d.Form(0).RowCount(), 3000);
  EXPECT_EQ(d.Form(0).VolumeText(2999), "2999");
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

// Each refusal's first line says what is wrong; the second names the file.
// A file that is no form file leaves the set untouched.
TEST_F(FdataFile, LoadShowsWhyItFailed) {
  d.AddNew();
  WriteBytes(Path("a.f2"), "# a\n| 1 2\n| 3 4\n");
  WriteBytes(Path("a.txt"), "# a\n| 1 2\n| 3 4\n");
  fs::create_directory(Path("folder.fs"));
  WriteBytes(Path("one.fs"), "# one value\n| 5\n");
  WriteBytes(Path("big.f1"), "# a\n| 0 0\n| 10 1\n" + std::string(9 * 1024 * 1024, ' '));  // beyond any form
  const std::pair<const char*, const char*> cases[] = {
      {"a.f2", "Неизвестная форма!"}, {"a.txt", "Неизвестная форма!"}, {"missing.fs", "Файл испорчен!"},
      {"folder.fs", "Файл испорчен!"},  {"one.fs", " Ошибка формы! "},   {"big.f1", "Файл испорчен!"},
  };
  for (const auto& [file, first] : cases) {
    SCOPED_TRACE(file);
    sink.shown.clear();
    EXPECT_FALSE(d.Load(Path(file)));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].substr(0, sink.shown[0].find('\n')), Msg(first));
    EXPECT_NE(sink.shown[0].find('\n' + Path(file)), std::string::npos);
    if (std::string(file).starts_with("a.")) {
      EXPECT_EQ(d.Count(), 1);
    }
  }
  EXPECT_EQ(d.Count(), 0);
  WriteBytes(Path("UP.FS2"), "\r\n\r\n# a\r\n\r\n        1\r\n        2");
  ASSERT_TRUE(d.Load(Path("UP.FS2")));
  EXPECT_EQ(d.Form(0).Type(), 3);
}

TEST_F(FdataFile, SaveReplacesTheFileWholeOrNotAtAll) {
  ASSERT_TRUE(d.ReadText("# a\n| 1 2 3\n", 1));
  const std::string target = Path("t.fs"), written = "\r\n\r\n# a\r\n\r\n|  1 2 3";
  WriteBytes(target, "old");
  ::chmod(target.c_str(), 0640);
  fs::create_symlink(target, Path("link.fs"));
  ASSERT_TRUE(d.Save(Path("link.fs")));  // the linked file is written; the link and the mode stay
  EXPECT_EQ(ReadBytes(target), written);
  EXPECT_TRUE(fs::is_symlink(Path("link.fs")));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms(0640));

  fs::create_directory(Path("taken.fs"));  // a folder is never replaced
  EXPECT_FALSE(d.Save(Path("taken.fs")));
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(sink.shown[0].substr(0, sink.shown[0].find('\n')), Msg("Невозможно записать файл!"));
  sink.shown.clear();

  // A full disk, made by a file size limit in a child: the new contents fail part way.
  std::string rows = "# big\n";
  for (int i = 0; i < 20000; ++i) rows += "| 1234567\n";
  ASSERT_TRUE(d.ReadText(rows, 1));
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(!d.Save(target) && sink.shown == Texts(1, Msg("Невозможно записать файл!")) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save in the child did not fail as it should";
  EXPECT_EQ(ReadBytes(target), written);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 3);  // no temporary left
}

TEST(FdataTables, ToTablesFromTablesAndCheck) {
  FDATA d;
  const char* text = "# ok\n| 0 0\n| 1000 50\n| 2500 200\n# gap\n# bad\n| 0 0\n| 100 ?\n| 200 5\n"
                     "# steep\n| 0 0\n| 100 0\n| 200 500\n";
  ASSERT_TRUE(d.ReadText(text, 4));
  d.Check();
  std::string flags;  // per form: converted and smooth, converted only, neither
  for (int k = 0; k < d.Count(); ++k) flags += d.Form(k).Smooth() ? 's' : d.Form(k).Converted() ? 'c' : '-';
  EXPECT_EQ(flags, "s--c");
  GROUPTAB tables;
  ASSERT_TRUE(d.ToTables(tables));
  ASSERT_EQ(tables.Count(), 4);
  EXPECT_EQ(tables.Table(1).Count(), 0);
  EXPECT_EQ(tables.Table(2).Values(), (std::vector<int32_t>{0, 0, 0}));  // zeros, one per row: slots line up

  GROUPTAB three;
  three.Add(PARTAB(2));
  three.AddEmpty();
  three.Add(PARTAB(2));
  d.FromTables(three);
  EXPECT_EQ(d.WriteText(), "\r\n\r\n# t1\r\n\r\n|  0 0\r\n\r\n# t2\r\n\r\n\r\n# t3\r\n\r\n|  0 0");
}

}  // namespace tgxtest
