// The form set: reading and writing form files, their limits, the editing
// operations and the conversions of a whole set.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "forms/Fdata.h"
#include "model/Cp1251.h"
#include "model/Messages.h"
#include "model/Prjvol.h"

namespace fs = std::filesystem;

namespace {
std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/tgx-forms-XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path_); }
  fs::path operator/(const char* name) const { return path_ / name; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

std::string Msg(const char* utf8) { return tgx::FromUtf8(utf8); }
}  // namespace

TEST(FdataReadText, FormsTitlesAndLimits) {
  FDATA d;
  ASSERT_TRUE(d.ReadText("junk before\n| 1 2\n# one\n| 1 2 3\n#two\r\n| 4 5\r\n#  three\n| 6 7", 1));
  ASSERT_EQ(d.Count(), 3);
  EXPECT_EQ(d.Form(0).Title(), "one");  // the writer's blank after '#' is dropped
  EXPECT_EQ(d.Form(1).Title(), "two");
  EXPECT_EQ(d.Form(2).Title(), " three");  // only one
  EXPECT_EQ(d.Form(0).Volumes(), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(d.Form(1).Volumes(), (std::vector<std::string>{"4", "5"}));
  EXPECT_EQ(d.Form(0).Type(), 1);

  // A middle form without data stays as a gap; a last one is cut.
  ASSERT_TRUE(d.ReadText("# a\n| 1 2\n# b\n# c\n| 3 4\n# d\n| 5\n", 1));
  EXPECT_EQ(d.Count(), 3);
  EXPECT_FALSE(d.Form(1).Defined());
  EXPECT_TRUE(d.Form(2).Defined());

  EXPECT_FALSE(d.ReadText("# only\n| 5\n", 1));
  EXPECT_EQ(d.Count(), 0);
  EXPECT_FALSE(d.ReadText("", 1));

  std::string twenty;
  for (int k = 0; k < 20; ++k) twenty += "# f" + std::to_string(k) + "\n| 1 2\n";
  ASSERT_TRUE(d.ReadText(twenty, 1));
  EXPECT_EQ(d.Count(), 16);
  EXPECT_EQ(d.Form(15).Title(), "f15");
}

TEST(FdataReadText, ReadsWholeLinesHoweverLong) {
  std::string line = "|";
  for (int i = 0; i < 3000; ++i) line += " " + std::to_string(i);
  FDATA d;
  ASSERT_TRUE(d.ReadText("# long\n" + line + "\n", 1));
  ASSERT_EQ(d.Form(0).RowCount(), 3000);
  EXPECT_EQ(d.Form(0).VolumeText(2999), "2999");

  ASSERT_TRUE(d.ReadText("# pairs\n|" + std::string(300, ' ') + "123456 789\n| 2 3\n", 4));
  EXPECT_EQ(d.Form(0).LevelText(0), "123456");
  EXPECT_EQ(d.Form(0).VolumeText(0), "789");
}

TEST(FdataWriteText, LayoutOfEachType) {
  FDATA d;
  ASSERT_TRUE(d.ReadText("# t1\n| 0 1 2 3 4 5 6 7 8 9 10 11\n", 1));
  EXPECT_EQ(d.WriteText(), "\r\n\r\n# t1\r\n\r\n|  0 1 2 3 4 5 6 7 8 9\r\n|  10 11");

  ASSERT_TRUE(d.ReadText("# t1\n| 0 0\n| 1055 7\n", 4));
  EXPECT_EQ(d.WriteText(), "\r\n\r\n# t1\r\n\r\n|         0         0\r\n|      1055         7");

  ASSERT_TRUE(d.ReadText("# c\n1,5\n12345678901\n", 2));
  EXPECT_EQ(d.WriteText(), "\r\n\r\n# c\r\n\r\n      1.5\r\n12345678901");

  std::string rows;
  for (int i = 0; i < 25; ++i) rows += std::to_string(i) + "\n";
  ASSERT_TRUE(d.ReadText("# x\n" + rows, 3));
  d.Form(0).SetType(1);  // a type 1 file of 25 rows: lines of 10, 10 and 5
  const std::string text = d.WriteText();
  EXPECT_NE(text.find("\r\n|  10 11 12 13 14 15 16 17 18 19\r\n|  20 21 22 23 24"), std::string::npos) << text;

  // Every form in the layout of the first.
  FDATA mixed;
  mixed.AddNew();
  mixed.AddNew();
  mixed.Form(0).Init(4);
  EXPECT_EQ(mixed.WriteText(), "\r\n\r\n# \r\n\r\n|         0         0\r\n|         1         1"
                               "\r\n\r\n# \r\n\r\n|         0         0\r\n|        10         1");
  EXPECT_EQ(FDATA().WriteText(), "");
}

TEST(FdataWriteText, SaveAndLoadKeepTitlesAndValuesForEveryType) {
  const char* bodies[] = {"", "| 0 1 2 3 4 5 6 7 8 9 10 11 12", "0.5\n1,25\n7", "1\n2\n3", "| 10 1\n| -5 ?\n| 30"};
  for (int32_t type = 1; type <= 4; ++type) {
    FDATA first;
    const std::string title = tgx::FromUtf8("Резервуар №3 ") + "  ";
    ASSERT_TRUE(first.ReadText("#" + title + "\n" + bodies[type] + "\n#\n#x\n" + bodies[type], type)) << type;
    FDATA again;
    std::string text = first.WriteText();
    for (int cycle = 0; cycle < 3; ++cycle) {
      ASSERT_TRUE(again.ReadText(text, type)) << type;
      text = again.WriteText();
    }
    EXPECT_TRUE(again == first) << type;
    EXPECT_EQ(again.Form(0).Title(), title);
    EXPECT_EQ(again.Form(1).Title(), "");
    // LF only reads the same as CR LF.
    std::string lf;
    for (char c : text)
      if (c != '\r') lf += c;
    FDATA unix_lines;
    ASSERT_TRUE(unix_lines.ReadText(lf, type));
    EXPECT_TRUE(unix_lines == first) << type;
  }
}

TEST(Fdata, EditingLimits) {
  FDATA d;
  EXPECT_FALSE(d.Delete(0) || d.Insert(0, true));
  ASSERT_TRUE(d.AddNew());
  EXPECT_FALSE(d.Delete(0) || d.Insert(1, false));  // the last form stays; add new appends
  for (int k = 1; k < 16; ++k) ASSERT_TRUE(d.AddNew());
  EXPECT_FALSE(d.AddNew() || d.Insert(0, true));

  FDATA e;
  ASSERT_TRUE(e.ReadText("#a\n|1 2\n#b\n|3 4\n#c\n|5 6", 1));
  ASSERT_TRUE(e.Insert(1, true));
  ASSERT_TRUE(e.Delete(0));
  ASSERT_EQ(e.Count(), 3);
  EXPECT_EQ(e.Form(0).RowCount(), 0);
  EXPECT_EQ(e.Form(1).Title() + e.Form(2).Title(), "bc");
  EXPECT_EQ(e.Form(3).Title(), "");  // the old last slot is cleared
  EXPECT_EQ(e.Form(3).RowCount(), 0);
}

TEST(Fdata, FileNamesAndTypes) {
  const std::pair<const char*, int32_t> types[] = {
      {"a.fs", 1}, {"/x/A.FS2", 3}, {"b.Fs1", 2}, {"c.f1", 4}, {"c.f2", 0},
      {"d.txt", 0}, {"dir.fs/file", 0}, {"noext", 0}, {"e.fs.bak", 0}, {"f.bak.f1", 4},
  };
  for (const auto& [path, type] : types) EXPECT_EQ(FDATA::TypeOfFileName(path), type) << path;
  EXPECT_EQ(FDATA::FileNameForType("/d/a.f1", 1), "/d/a.fs");
  EXPECT_EQ(FDATA::FileNameForType("/d/a.fs", 5), "/d/a.f2");
  EXPECT_EQ(FDATA::FileNameForType("/d/a.fs", 2), "/d/a.fs1");
  EXPECT_EQ(FDATA::FileNameForType("/d.x/a", 3), "/d.x/a.fs2");
  EXPECT_EQ(FDATA::FileNameForType("/d/a.fs", 7), "/d/a.fs");
}

TEST(FdataLoad, MessagesOfEachFailure) {
  TempDir dir;
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink scope(sink);
  FDATA d;
  d.AddNew();

  WriteBytes(dir / "a.f2", "# a\n| 1 2\n| 3 4\n");
  EXPECT_FALSE(d.Load((dir / "a.f2").string()));
  EXPECT_EQ(d.Count(), 1);  // not a form file: the set is untouched

  EXPECT_FALSE(d.Load((dir / "missing.fs").string()));
  EXPECT_EQ(d.Count(), 0);
  fs::create_directory(dir / "folder.fs");
  EXPECT_FALSE(d.Load((dir / "folder.fs").string()));

  WriteBytes(dir / "one.fs", "# one value\n| 5\n");
  EXPECT_FALSE(d.Load((dir / "one.fs").string()));

  EXPECT_EQ(sink.shown, (std::vector<std::string>{Msg("Неизвестная форма!"), Msg("Файл испорчен!"),
                                                  Msg("Файл испорчен!"), Msg(" Ошибка формы! ")}));

  WriteBytes(dir / "UP.FS2", "\r\n\r\n# a\r\n\r\n        1\r\n        2");
  ASSERT_TRUE(d.Load((dir / "UP.FS2").string()));
  EXPECT_EQ(d.Form(0).Type(), 3);
  EXPECT_EQ(sink.shown.size(), 4u);
}

TEST(FdataSave, WritesCrLfAndReplacesTheOldFile) {
  TempDir dir;
  FDATA d;
  ASSERT_TRUE(d.ReadText("# a\n| 1 2 3\n", 1));
  const fs::path target = dir / "t.fs";
  WriteBytes(target, "old");
  ::chmod(target.c_str(), 0640);
  ASSERT_TRUE(d.Save(target.string()));
  EXPECT_EQ(ReadBytes(target), "\r\n\r\n# a\r\n\r\n|  1 2 3");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms(0640));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"t.fs"}));  // no temporary left

  // Through a link the linked file is written and the link stays.
  fs::create_symlink(target, dir / "link.fs");
  ASSERT_TRUE(d.ReadText("# b\n| 4 5\n", 1));
  ASSERT_TRUE(d.Save((dir / "link.fs").string()));
  EXPECT_TRUE(fs::is_symlink(dir / "link.fs"));
  EXPECT_EQ(ReadBytes(target), "\r\n\r\n# b\r\n\r\n|  4 5");

  FDATA empty;
  ASSERT_TRUE(empty.Save(target.string()));
  EXPECT_EQ(ReadBytes(target), "");
}

TEST(FdataSave, FailureKeepsTheOldFileAndSaysSo) {
  TempDir dir;
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink scope(sink);
  FDATA d;
  ASSERT_TRUE(d.ReadText("# a\n| 1 2 3\n", 1));

  EXPECT_FALSE(d.Save((dir / "no-such-folder/t.fs").string()));
  fs::create_directory(dir / "taken.fs");
  WriteBytes(dir / "taken.fs/inside", "keep");
  EXPECT_FALSE(d.Save((dir / "taken.fs").string()));
  EXPECT_EQ(ReadBytes(dir / "taken.fs/inside"), "keep");
  EXPECT_EQ(sink.shown, (std::vector<std::string>(2, Msg("Невозможно записать файл!"))));

  // A full disk, made by a file size limit in a child process: the write of
  // the new contents fails part way.
  const fs::path target = dir / "full.fs";
  WriteBytes(target, "old contents");
  std::string rows = "# big\n";
  for (int i = 0; i < 20000; ++i) rows += "| 1234567\n";
  ASSERT_TRUE(d.ReadText(rows, 1));
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    tgx::RecordingSink child_sink;
    tgx::ScopedMessageSink child_scope(child_sink);
    const bool saved = d.Save(target.string());
    ::_exit(!saved && child_sink.shown.size() == 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadBytes(target), "old contents");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"full.fs", "taken.fs"}));
}

TEST(FdataTables, ToTablesFromTablesAndCheck) {
  FDATA d;
  ASSERT_TRUE(d.ReadText("# ok\n| 0 0\n| 1000 50\n| 2500 200\n"
                         "# gap\n"
                         "# bad\n| 0 0\n| 100 ?\n| 200 5\n"
                         "# steep\n| 0 0\n| 100 0\n| 200 500\n",
                         4));
  ASSERT_EQ(d.Count(), 4);
  d.Check();
  std::string flags;  // converted, smooth per form
  for (int k = 0; k < 4; ++k) flags += std::string(d.Form(k).Converted() ? "c" : "-") + (d.Form(k).Smooth() ? "s " : "- ");
  EXPECT_EQ(flags, "cs -- -- c- ");
  GROUPTAB tables;
  ASSERT_TRUE(d.ToTables(tables));
  ASSERT_EQ(tables.Count(), 4);
  EXPECT_EQ(tables.Table(0).Count(), 27);
  EXPECT_EQ(tables.Table(1).Count(), 0);  // the gap's table is empty
  EXPECT_EQ(tables.Table(2).Values(), (std::vector<int32_t>{0, 0, 0}));

  GROUPTAB three;
  PARTAB t(2);
  t[1] = 5;
  three.Add(t);
  three.AddEmpty();
  three.Add(t);
  d.FromTables(three);
  ASSERT_EQ(d.Count(), 3);
  EXPECT_EQ(d.Form(0).Title() + d.Form(1).Title() + d.Form(2).Title(), "t1t2t3");
  EXPECT_FALSE(d.Form(1).Defined());
  EXPECT_EQ(d.Form(2).Type(), 1);
  EXPECT_EQ(d.Form(2).Levels(), (std::vector<std::string>{"0", "10"}));
  EXPECT_EQ(d.Form(2).Volumes(), (std::vector<std::string>{"0", "5"}));

  FDATA empty;
  EXPECT_FALSE(empty.ToTables(tables));
  EXPECT_EQ(tables.Count(), 0);
}

TEST(FdataLoad, SampleFilesConvertAndOnlyTheStepIsUneven) {
  // Per form: converted and smooth ('s'), or converted only ('c').
  const std::pair<const char*, const char*> samples[] = {
      {"vertical_cylinder.fs", "s"}, {"horizontal_cylinder.f1", "s"}, {"cubic_metres.fs1", "s"},
      {"rectangular_tank.fs2", "s"}, {"station_with_gap.fs", "scc"},
  };
  for (const auto& [name, want] : samples) {
    const std::string path = std::string(TGX_SOURCE_DIR) + "/examples/" + name;
    FDATA d;
    ASSERT_TRUE(d.Load(path)) << name;
    d.Check();
    std::string flags;
    for (int k = 0; k < d.Count(); ++k) flags += d.Form(k).Smooth() ? 's' : d.Form(k).Converted() ? 'c' : '-';
    EXPECT_EQ(flags, want) << name;
    EXPECT_EQ(d.WriteText(), ReadBytes(path)) << name;  // written in our own layout
  }
}

TEST(FdataLoad, RefusesFilesFarLargerThanAnyForm) {
  TempDir dir;
  tgx::RecordingSink sink;
  tgx::ScopedMessageSink scope(sink);
  const fs::path big = dir / "big.f1";
  WriteBytes(big, "# a\n| 0 0\n| 10 1\n" + std::string(9 * 1024 * 1024, ' '));
  FDATA d;
  EXPECT_FALSE(d.Load(big.string()));
  EXPECT_EQ(sink.shown, (std::vector<std::string>{Msg("Файл испорчен!")}));
}
