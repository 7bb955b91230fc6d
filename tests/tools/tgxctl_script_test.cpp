// tgxctl as scripts use it beyond forms and sessions: the spreadsheet
// exchange, the port list, the session journal, the version, output that
// cannot be written, refused output paths and the progress line.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "support/SimRunner.h"
#include "support/TempDir.h"
#include "tools/CtlRunner.h"

extern char** environ;

namespace tgxtest {
namespace {

class TgxctlScript : public ::testing::Test {
 protected:
  std::string File(const char* name) const { return dir_.File(name); }
  CtlRunner::Result Run(const Strings& args, const std::string& env = "") const { return ctl_.Run(args, env); }

  // Starts tgxctl with its standard output on `out` and its error output on
  // `err` (-1: a file read by Wait); closes both here.
  pid_t Spawn(int out, int err, const Strings& args) const {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out, 1);
    if (err >= 0) posix_spawn_file_actions_adddup2(&fa, err, 2);
    else posix_spawn_file_actions_addopen(&fa, 2, ErrFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> words{TGX_CTL_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::string config = "TGX_CONFIG_DIR=" + dir_.Path().string(), data = "TGX_DATA_DIR=" + File("data");
    char* envp[] = {config.data(), data.data(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, TGX_CTL_PATH, &fa, nullptr, argv.data(), envp) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(out);
    if (err >= 0) ::close(err);
    return pid;
  }
  static int Wait(pid_t pid) {
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string ErrFile() const { return File("spawn-stderr.txt"); }
  // The exit status and the error output of tgxctl writing onto `fd`.
  std::pair<int, std::string> RunOnto(int fd, const Strings& args) const {
    const int exit = Wait(Spawn(fd, -1, args));
    return {exit, ReadFile(ErrFile())};
  }

  TempDir dir_{"tgx-ctl"};
  CtlRunner ctl_{dir_.Path().string()};
};

TEST_F(TgxctlScript, VersionNamesTheProgramAndFourNumbers) {
  const CtlRunner::Result r = Run({"--version"});
  EXPECT_EQ(r.exit, 0);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(r.lines[0], std::regex(R"(tgxctl \d+\.\d+\.\d+\.\d+)"))) << r.lines[0];
}

// Output that does not reach its reader is a failure, not a silent success:
// a full device, and a pipe whose reader is gone before anything is written.
TEST_F(TgxctlScript, OutputThatCannotBeWrittenExitsTwo) {
  int p[2];
  ASSERT_EQ(::pipe2(p, O_CLOEXEC), 0);
  ::close(p[0]);
  const std::pair<int, Strings> cases[] = {
      {::open("/dev/full", O_WRONLY | O_CLOEXEC), {"check", Example("station_with_gap.fs")}},
      {p[1], {"tables", Example("vertical_cylinder.fs")}},
  };
  for (const auto& [fd, args] : cases) {
    SCOPED_TRACE(args[0]);
    const auto [exit, err] = RunOnto(fd, args);
    EXPECT_EQ(exit, 2);
    EXPECT_NE(err.find("вывод не записан"), std::string::npos) << err;
  }
}

// Paths that name no file are refused before anything is read or written.
TEST_F(TgxctlScript, OutputPathsThatNameNoFile) {
  std::filesystem::create_directory(File("folder"));
  for (const std::string& out : {File("folder") + "/", File(".hidden"), File("folder"), std::string("/dev/null")}) {
    SCOPED_TRACE(out);
    const CtlRunner::Result r = Run({"convert", Example("vertical_cylinder.fs"), out});
    EXPECT_EQ(r.exit, 2);
    EXPECT_TRUE(r.lines.empty());
  }
}

TEST_F(TgxctlScript, ImportCsvWritesTheFormFileOfItsType) {
  WriteFile(File("in.csv"), "level;a\r\n0;0\r\n10;100\r\n25;300\r\n");
  const CtlRunner::Result pairs = Run({"import-csv", File("in.csv"), File("pairs.txt"), "--type", "4"});
  EXPECT_EQ(pairs.exit, 0);
  EXPECT_EQ(pairs.lines, Strings{File("pairs.f1")});
  EXPECT_TRUE(std::filesystem::exists(File("pairs.f1")));
  // Levels of one centimetre each make a per-centimetre form.
  WriteFile(File("cm.csv"), "level;a\r\n0;0\r\n1;100\r\n2;300\r\n");
  const CtlRunner::Result cm = Run({"import-csv", File("cm.csv"), File("cm"), "--levels", "cm"});
  EXPECT_EQ(cm.exit, 0);
  EXPECT_EQ(cm.lines, Strings{File("cm.fs")});
}

TEST_F(TgxctlScript, UsageErrors) {
  WriteFile(File("in.csv"), "0;0\r\n10;100\r\n");
  const Strings cases[] = {
      {"import-csv", File("in.csv")},
      {"import-csv", File("in.csv"), "o", "--levels", "km"},
      {"import-csv", File("in.csv"), "o", "--volumes", "gal"},
      {"import-csv", File("in.csv"), "o", "--type", "2"},
      {"export-csv", Example("vertical_cylinder.fs"), "o.csv", "--delimiter", "|"},
      {"journal"},
      {"journal", "list", "--operation", "erase"},
      {"journal", "export", "x", File("o")},
      // A backup is taken only before a change.
      {"--device", File("none"), "--backup", "read", File("x.fs")},
      {"--device", File("none"), "--backup", "compare", Example("vertical_cylinder.fs")},
  };
  for (const Strings& args : cases) EXPECT_EQ(Run(args).exit, 64) << ::testing::PrintToString(args);
}

TEST_F(TgxctlScript, ExportCsvWithEachDelimiter) {
  for (const auto& [word, header] : {std::pair<std::string, std::string>{";", "level_mm;"}, {",", "level_mm,"},
                                     {"tab", "level_mm\t"}}) {
    SCOPED_TRACE(word);
    const CtlRunner::Result r = Run({"export-csv", Example("vertical_cylinder.fs"), File("t.csv"), "--delimiter", word});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.lines, Strings{File("t.csv")});
    EXPECT_EQ(ReadFile(File("t.csv")).substr(0, 3 + header.size()), "\xEF\xBB\xBF" + header);
  }
}

// A cell that is no number, a form that does not convert: exit 3, nothing written.
TEST_F(TgxctlScript, CsvThatDoesNotConvertExitsThreeAndWritesNothing) {
  WriteFile(File("in.csv"), "level;a\r\n0;0\r\n10;1x0\r\n");
  const CtlRunner::Result import = Run({"import-csv", File("in.csv"), File("out.fs")});
  EXPECT_EQ(import.exit, 3);
  EXPECT_NE(import.err.find("Строка 3, столбец 2"), std::string::npos) << import.err;
  EXPECT_FALSE(std::filesystem::exists(File("out.fs")));
  EXPECT_FALSE(std::filesystem::exists(File("out.f1")));
  WriteFile(File("bad.fs"), "# a\r\n| 0 10 25 45\r\n# b\r\n| 0 99999999999\r\n");
  EXPECT_EQ(Run({"export-csv", File("bad.fs"), File("t.csv")}).exit, 3);
  EXPECT_FALSE(std::filesystem::exists(File("t.csv")));
}

TEST_F(TgxctlScript, CheckWhyGivesTheReasonOnStderrOnly) {
  WriteFile(File("bad.fs"), "# a\r\n| 0 10 25 45\r\n# b\r\n| 0 99999999999\r\n");
  const CtlRunner::Result plain = Run({"check", File("bad.fs")});
  const CtlRunner::Result why = Run({"check", "--why", File("bad.fs")});
  EXPECT_EQ(why.exit, 0);
  EXPECT_EQ(why.lines, plain.lines);
  EXPECT_EQ(why.err.rfind("2\t", 0), 0u) << why.err;
  EXPECT_EQ(plain.err, "");
}

// COM1 ... COM9 through the port map, then the devices no port reaches.
TEST_F(TgxctlScript, PortsThroughThePortMap) {
  SimRunner sim({"--version-code", "9616"});
  std::filesystem::create_directories(File("sys/class/tty"));
  std::filesystem::create_directories(File("dev"));
  const CtlRunner::Result r = Run({"ports"}, "TGX_SYSFS_ROOT=" + File("sys") + " TGX_DEV_ROOT=" + File("dev") +
                                                 " TGX_COM1=" + sim.Path() + " TGX_COM2=" + File("none"));
  EXPECT_EQ(r.exit, 0);
  ASSERT_EQ(r.lines.size(), 9u);
  EXPECT_EQ(Fields(r.lines[0]), (Strings{"COM1", sim.Path(), "usable", ""}));
  EXPECT_EQ(Fields(r.lines[1]), (Strings{"COM2", File("none"), "absent", ""}));
  EXPECT_EQ(Fields(r.lines[8])[0], "COM9");
}

// The journal lines of a read and a write, newest first.
TEST_F(TgxctlScript, JournalListOfTheSessions) {
  SimRunner sim({"--version-code", "9616"});
  ASSERT_EQ(Run({"--device", sim.Path(), "write", Example("station_with_gap.fs")}).exit, 0);
  ASSERT_EQ(Run({"--device", sim.Path(), "read", File("unit.fs")}).exit, 0);
  const CtlRunner::Result all = Run({"journal", "list"});
  EXPECT_EQ(all.exit, 0);
  ASSERT_EQ(all.lines.size(), 2u);
  const Strings read = Fields(all.lines[0]);
  ASSERT_EQ(read.size(), 8u);
  EXPECT_TRUE(std::regex_match(read[1], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << read[1];
  EXPECT_EQ(Strings(read.begin() + 2, read.end()), (Strings{"read", "-", "96XX", "OK", "3", "-"}));
  EXPECT_EQ(Fields(all.lines[1])[2], "write");
  EXPECT_EQ(Run({"journal", "list", "--operation", "write"}).lines, Strings{all.lines[1]});
  EXPECT_EQ(Run({"journal", "list", "--limit", "1"}).lines, Strings{all.lines[0]});
  EXPECT_EQ(Run({"journal", "list", "--version", "96XX"}).lines, all.lines);
  EXPECT_TRUE(Run({"journal", "list", "--port", "COM3"}).lines.empty());
}

// A journal that cannot be written costs one line on stderr, nothing else.
TEST_F(TgxctlScript, SessionWithAnUnwritableJournal) {
  SimRunner sim({"--version-code", "9616"});
  WriteFile(File("nofolder"), "a file where the journal's folder should be");
  const CtlRunner::Result r = Run({"--device", sim.Path(), "read", File("unit.fs")}, "TGX_DATA_DIR=" + File("nofolder"));
  EXPECT_EQ(r.exit, 0);
  ASSERT_EQ(r.lines.size(), 2u);
  EXPECT_EQ(r.lines[1], "Таблицы объёма в системе отсутствуют");
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

// A written project, and the tables a write with a backup replaced, come back
// from the journal into the unit exactly.
TEST_F(TgxctlScript, JournalExportOfAProjectAndOfABackup) {
  SimRunner sim({"--version-code", "9616"});
  ASSERT_EQ(Run({"--device", sim.Path(), "write", Example("station_with_gap.fs")}).exit, 0);
  ASSERT_EQ(Run({"--device", sim.Path(), "read", File("before.fs")}).exit, 0);
  ASSERT_EQ(Run({"--device", sim.Path(), "--backup", "write", Example("vertical_cylinder.fs")}).exit, 0);
  const Strings newest = Fields(Run({"journal", "list", "--limit", "1"}).lines.at(0));
  ASSERT_EQ(newest.size(), 8u);
  EXPECT_EQ(newest[2], "write");
  EXPECT_EQ(newest[7], "backup");
  const std::pair<Strings, std::string> cases[] = {
      {{"journal", "export", "1", File("back.txt")}, File("back.fs")},
      {{"journal", "export", newest[0], File("restore"), "--backup"}, File("restore.fs")},
  };
  for (const auto& [args, written] : cases) {
    SCOPED_TRACE(written);
    const CtlRunner::Result exported = Run(args);
    EXPECT_EQ(exported.exit, 0);
    EXPECT_EQ(exported.lines, Strings{written});
    ASSERT_EQ(Run({"--device", sim.Path(), "write", written}).exit, 0);
    ASSERT_EQ(Run({"--device", sim.Path(), "read", File("after.fs")}).exit, 0);
    EXPECT_EQ(ReadFile(File("after.fs")), ReadFile(File("before.fs")));
  }
  const CtlRunner::Result unknown = Run({"journal", "export", "42", File("o")});
  EXPECT_EQ(unknown.exit, 2);
  EXPECT_NE(unknown.err.find("42"), std::string::npos) << unknown.err;
}

// After the verdict, one line per channel that is not the same.
TEST_F(TgxctlScript, CompareNamesTheChannelsThatDiffer) {
  SimRunner sim({"--version-code", "9616"});
  WriteFile(File("two.fs"), "# a\r\n| 0 10 25 45\r\n# b\r\n| 0 10 25 45\r\n");
  WriteFile(File("three.fs"), "# a\r\n| 0 10 25 45\r\n# b\r\n| 0 10 25 46\r\n# c\r\n| 0 5 10\r\n");
  WriteFile(File("one.fs"), "# a\r\n| 0 10 25 45\r\n");
  ASSERT_EQ(Run({"--device", sim.Path(), "write", File("two.fs")}).exit, 0);
  const CtlRunner::Result more = Run({"--device", sim.Path(), "compare", File("three.fs")});
  EXPECT_EQ(more.exit, 4);
  EXPECT_EQ(Strings(more.lines.begin() + 1, more.lines.end()),
            (Strings{"Таблицы системы отличны от проекта !", "2\tdiffers", "3\tmissing"}));
  const CtlRunner::Result fewer = Run({"--device", sim.Path(), "compare", File("one.fs")});
  EXPECT_EQ(Strings(fewer.lines.begin() + 1, fewer.lines.end()),
            (Strings{"Таблицы системы отличны от проекта !", "2\textra"}));
}

// On a terminal the session shows a line redrawn in place.
TEST_F(TgxctlScript, ProgressLineOnATerminal) {
  SimRunner sim({"--version-code", "9616", "--pace"});
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(terminal, 0);
  const pid_t pid = Spawn(::open(File("out.txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644), terminal,
                          {"--device", sim.Path(), "write", Example("station_with_gap.fs")});
  std::string shown;
  char buf[512];
  // Read until the terminal's last writer is gone (EIO), so tgxctl never waits on a full terminal.
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) shown.append(buf, static_cast<size_t>(n));
  ::close(master);
  EXPECT_EQ(Wait(pid), 0);
  EXPECT_NE(shown.find("\r["), std::string::npos) << shown;
  EXPECT_NE(shown.find("%"), std::string::npos) << shown;
  // The write's size is known long before its tables have gone over the line.
  EXPECT_NE(shown.find(" байт  осталось "), std::string::npos) << shown;
  EXPECT_NE(ReadFile(File("out.txt")).find("Запись таблиц завершена."), std::string::npos);
}

TEST_F(TgxctlScript, ReportWritesTheDocument) {
  const Strings help = Run({"--help"}).lines;
  if (std::none_of(help.begin(), help.end(), [](const std::string& l) { return l.find("tgxctl report") != std::string::npos; }))
    GTEST_SKIP() << "built without the document layout";
  const CtlRunner::Result r = Run({"report", Example("vertical_cylinder.fs"), File("doc.pdf")});
  EXPECT_EQ(r.exit, 0);
  EXPECT_EQ(r.lines, Strings{File("doc.pdf")});
  EXPECT_EQ(ReadFile(File("doc.pdf")).substr(0, 5), "%PDF-");
}

TEST_F(TgxctlScript, ReadRefusesAFolderBeforeTheSession) {
  SimRunner sim({"--version-code", "9616"});
  const CtlRunner::Result r = Run({"--device", sim.Path(), "read", dir_.Path().string() + "/"});
  EXPECT_EQ(r.exit, 2);
  EXPECT_TRUE(sim.Log().empty());
}

}  // namespace
}  // namespace tgxtest
