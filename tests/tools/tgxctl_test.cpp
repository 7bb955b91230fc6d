// tgxctl and tgx-sim as scripts use them: each command's exact lines and
// exit code (0, 1, 2, 3, 4, 64), the sessions against the simulated unit and
// the traffic it received, the spreadsheet exchange, the document, the port
// list, the session journal, output that cannot be written or names no file,
// Ctrl-C, the progress line, and the simulator's state and link.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "link/Ukdr_drv.h"
#include "support/SimRunner.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

namespace fs = std::filesystem;

using Strings = std::vector<std::string>;

std::string Example(const char* name) { return std::string(TGX_SOURCE_DIR) + "/examples/" + name; }

// The TAB-separated fields of an output line, a trailing empty one included.
Strings Fields(const std::string& line) {
  Strings f;
  std::istringstream s(line);
  for (std::string field; std::getline(s, field, '\t');) f.push_back(field);
  if (!line.empty() && line.back() == '\t') f.push_back("");
  return f;
}

struct Result {
  Strings lines;    // standard output, one entry per line
  std::string err;  // standard error
  int exit = -1;
};

// tgxctl as a script runs it: in a clean environment whose configuration
// (TGX_CONFIG_DIR) and journal (TGX_DATA_DIR, its "data" folder) are in the
// test's folder, its output split into lines, its exit code kept.
class Tgxctl : public ::testing::Test {
 protected:
  // Starts tgxctl with `args`, extra environment assignments ("TGX_COM5=...")
  // and shell redirections after the default ones (">&5" sends the output to
  // an inherited descriptor); the process id is tgxctl's own (the shell execs it).
  FILE* Start(const Strings& args, const std::string& env = "", pid_t* pid = nullptr,
              const std::string& redirect = "") const {
    std::string cmd = "echo $$; exec env -i PATH=/usr/bin:/bin TGX_CONFIG_DIR=" + Quote(dir_.Path()) +
                      " TGX_DATA_DIR=" + Quote(File("data")) + " " + env + " " + Quote(TGX_CTL_PATH);
    for (const auto& a : args) cmd += " " + Quote(a);
    FILE* f = ::popen((cmd + " 2>" + Quote(File("stderr.txt")) + " " + redirect).c_str(), "r");
    char line[32] = {};
    if (!f || !::fgets(line, sizeof line, f)) throw std::runtime_error("cannot start tgxctl");
    if (pid) *pid = std::atoi(line);
    return f;
  }
  // Reads the output to its end and waits for the exit.
  Result Finish(FILE* f) const {
    std::string out;
    char buf[4096];
    for (size_t n; (n = ::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    const int status = ::pclose(f);
    Result r;
    std::istringstream s(out);
    for (std::string line; std::getline(s, line);) r.lines.push_back(line);
    r.err = ReadBytes(File("stderr.txt"));
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
  }
  Result Run(const Strings& args, const std::string& env = "", const std::string& redirect = "") const {
    return Finish(Start(args, env, nullptr, redirect));
  }
  static std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  }
  std::string File(const char* name) const { return dir_.File(name); }
  // The worked example of the packing, a gap, the same table again, and a
  // table too rough for packing mode 0.
  std::string Small() {
    WriteBytes(File("small.fs"), "# a\r\n| 0 10 25 45\r\n# b\r\n\r\n# c\r\n| 0 10 25 45\r\n# d\r\n| 0 10 400 0\r\n");
    return File("small.fs");
  }
  // Form 2 does not convert.
  std::string NotConverting() {
    WriteBytes(File("bad.fs"), "# a\r\n| 0 10 25 45\r\n# b\r\n| 0 99999999999\r\n");
    return File("bad.fs");
  }
  // The output is `lines`; a first line ending in a tab is the start of the
  // line (status, version), the longest wait follows. A session that succeeds
  // into a file says nothing on stderr: no progress line there.
  void Expect(const Strings& args, int exit, const Strings& lines, const std::string& env = "") {
    SCOPED_TRACE(args.back());
    const Result r = Run(args, env);
    EXPECT_EQ(r.exit, exit);
    ASSERT_EQ(r.lines.size(), lines.size()) << ::testing::PrintToString(r.lines);
    EXPECT_EQ(lines[0].back() == '\t' ? r.lines[0].substr(0, lines[0].size()) : r.lines[0], lines[0]);
    EXPECT_EQ(Strings(r.lines.begin() + 1, r.lines.end()), Strings(lines.begin() + 1, lines.end()));
    if (exit == 0) {
      EXPECT_EQ(r.err, "");
    }
  }

  TempDir dir_{"tgx-ctl"};
};

TEST_F(Tgxctl, VersionNamesTheProgramAndFourNumbers) {
  const Result r = Run({"--version"});
  EXPECT_EQ(r.exit, 0);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(r.lines[0], std::regex(R"(tgxctl \d+\.\d+\.\d+\.\d+)"))) << r.lines[0];
}

// Output that does not reach its reader is a failure, not a silent success:
// a full device, and a pipe whose reader is gone before anything is written.
TEST_F(Tgxctl, OutputThatCannotBeWrittenExitsTwo) {
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  ::close(p[0]);
  for (const std::string& redirect : {std::string(">/dev/full"), ">&" + std::to_string(p[1])}) {
    SCOPED_TRACE(redirect);
    const Result r = Run({"check", Example("station_with_gap.fs")}, "", redirect);
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("вывод не записан"), std::string::npos) << r.err;
  }
  ::close(p[1]);
}

// Each command that writes a file prints the path it wrote, with the
// extension of what it holds.
TEST_F(Tgxctl, CommandsThatWriteAFilePrintItsPath) {
  const Strings help = Run({"--help"}).lines;
  const bool withReport =
      std::any_of(help.begin(), help.end(), [](auto& l) { return l.find("tgxctl report") != l.npos; });
  WriteBytes(File("in.csv"), "level;a\r\n0;0\r\n10;100\r\n25;300\r\n");
  const std::string form = Example("vertical_cylinder.fs");
  struct Row { Strings args; std::string written, start; };
  const Row rows[] = {
      {{"import-csv", File("in.csv"), File("pairs.txt"), "--type", "4"}, File("pairs.f1"), "\r\n\r\n# a\r\n"},
      {{"convert", Example("horizontal_cylinder.f1"), File("out.txt")}, File("out.fs"), "\r\n\r\n# \xA8"},
      {{"export-csv", form, File("semi.csv")}, File("semi.csv"), "\xEF\xBB\xBFlevel_mm;"},
      {{"export-csv", form, File("tab.csv"), "--delimiter", "tab"}, File("tab.csv"), "\xEF\xBB\xBFlevel_mm\t"},
      {{"report", form, File("doc.pdf")}, File("doc.pdf"), "%PDF-"},
  };
  for (const Row& row : rows) {
    if (row.args[0] == "report" && !withReport) continue;  // built without the document layout
    SCOPED_TRACE(row.written);
    const Result r = Run(row.args);
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.lines, Strings{row.written});
    EXPECT_EQ(ReadBytes(row.written).substr(0, row.start.size()), row.start);
  }
  // The import conversion keeps the source's tables.
  EXPECT_EQ(Run({"tables", File("out.fs")}).lines, Run({"tables", Example("horizontal_cylinder.f1")}).lines);
}

// One line per form: channel, control mark, rows, title. The mark "OK " keeps
// its blank; a gap has an empty mark, a form that does not convert "-".
TEST_F(Tgxctl, CheckGivesALinePerForm) {
  const std::pair<std::string, Strings> cases[] = {
      {Example("station_with_gap.fs"),
       {"1\tOK \t201\tКанал 1: резервуар РВС-50, бензин АИ-95", "2\t\t0\tКанал 2: не используется",
        "3\tOK*\t181\tКанал 3: резервуар с уширением пояса на 1 м"}},
      {NotConverting(), {"1\tOK \t4\ta", "2\t-\t2\tb"}},
  };
  for (const auto& [file, lines] : cases) {
    SCOPED_TRACE(file);
    const Result r = Run({"check", file});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.lines, lines);
    EXPECT_EQ(r.err, "");
  }
  // --why: the same lines, and the reason of each form that does not convert on stderr.
  const Result why = Run({"check", "--why", NotConverting()});
  EXPECT_EQ(why.lines, cases[1].second);
  EXPECT_EQ(why.err.rfind("2\t", 0), 0u) << why.err;
}

// Channel, entry count, the entries; "-" alone for a form that does not
// convert; a gap has no entries.
TEST_F(Tgxctl, TablesOfEachForm) {
  EXPECT_EQ(Run({"tables", Small()}).lines,
            (Strings{"1\t4\t0 10 25 45", "2\t0\t", "3\t4\t0 10 25 45", "4\t4\t0 10 400 0"}));
  EXPECT_EQ(Run({"tables", NotConverting()}).lines, (Strings{"1\t4\t0 10 25 45", "2\t-"}));
}

// The packed image, byte by byte: the worked example stored once for
// channels 1 and 3, the rough table counted as an error in mode 0.
TEST_F(Tgxctl, PackInBothModes) {
  const std::string slots = "slots\t1 0 1 2 0 0 0 0 0 0 0 0 0 0 0 0";
  const std::string counts = "counts\t4 4 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
  EXPECT_EQ(Run({"pack", Small()}).lines,
            (Strings{"errors\t1", "unique\t2", slots, counts, "size\t12", "image\t00 00 0A 00 05 05 00 00 0A 00 7C EA"}));
  EXPECT_EQ(Run({"pack", Small(), "--mode", "1"}).lines,
            (Strings{"errors\t0", "unique\t2", slots, counts, "size\t16",
                     "image\t00 00 0A 00 0F 00 14 00 00 00 0A 00 86 01 70 FE"}));
}

// Refused with the exit code and no output, before any port is opened: files
// that cannot be read or written, paths that name no file, forms and cells
// that do not convert, and usage errors.
TEST_F(Tgxctl, RefusalsExitWithTheirCodeAndPrintNothing) {
  SimRunner sim({"--version-code", "9616"});
  fs::create_directory(File("folder"));
  WriteBytes(File("cell.csv"), "level;a\r\n0;0\r\n10;1x0\r\n");
  const std::string f = Small(), bad = NotConverting(), csv = File("cell.csv"), out = File("out.fs");
  struct Row { Strings args; int exit; const char* says = ""; };
  const Row rows[] = {
      {{"check", File("missing.fs")}, 2}, {{"tables", File("missing.fs")}, 2}, {{"pack", File("missing.fs")}, 2},
      {{"convert", f, File("no/such/folder/out.fs")}, 2}, {{"convert", f, File("folder") + "/"}, 2},
      {{"convert", f, File(".hidden")}, 2}, {{"convert", f, File("folder")}, 2}, {{"convert", f, "/dev/null"}, 2},
      {{"--device", sim.Path(), "read", File("folder") + "/"}, 2},
      {{"--device", sim.Path(), "compare", File("missing.fs")}, 2},
      {{"journal", "export", "42", File("o")}, 2, "42"},
      {{"--device", sim.Path(), "write", bad}, 3, "Форма 2 (b)"}, {{"--device", sim.Path(), "write"}, 64},
      {{"--port", "COM1", "--device", sim.Path(), "delete"}, 64},
      {{"--timeout", "0", "--device", sim.Path(), "delete"}, 64},
      {{"convert", bad, out}, 3, "Форма 2 (b)"}, {{"export-csv", bad, File("t.csv")}, 3, "Форма 2 (b)"},
      {{"import-csv", csv, out}, 3, "Строка 3, столбец 2"},
      {{}, 64}, {{"frob"}, 64}, {{"check"}, 64}, {{"check", f, f}, 64}, {{"tables"}, 64}, {{"convert", f}, 64},
      {{"pack", f, "--mode", "2"}, 64}, {{"pack", f, "--mode"}, 64}, {{"import-csv", csv}, 64},
      {{"import-csv", csv, "o", "--levels", "km"}, 64}, {{"import-csv", csv, "o", "--volumes", "gal"}, 64},
      {{"import-csv", csv, "o", "--type", "2"}, 64}, {{"export-csv", f, "o.csv", "--delimiter", "|"}, 64},
      {{"journal"}, 64}, {{"journal", "list", "--operation", "erase"}, 64}, {{"journal", "export", "x", "o"}, 64},
      // A backup is taken only before a change.
      {{"--device", sim.Path(), "--backup", "read", File("x.fs")}, 64},
      {{"--device", sim.Path(), "--backup", "compare", f}, 64},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    const Result r = Run(row.args);
    EXPECT_EQ(r.exit, row.exit);
    EXPECT_EQ(r.lines, Strings{});
    EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
  }
  for (const char* name : {"out.fs", "out.f1", "t.csv"}) EXPECT_FALSE(fs::exists(File(name))) << name;
  EXPECT_TRUE(sim.Log().empty());
}

// COM1 ... COM9 through the port map, then the devices no port reaches.
TEST_F(Tgxctl, PortsThroughThePortMap) {
  SimRunner sim({"--version-code", "9616"});
  fs::create_directories(File("sys/class/tty"));
  fs::create_directories(File("dev"));
  const Result r = Run({"ports"}, "TGX_SYSFS_ROOT=" + File("sys") + " TGX_DEV_ROOT=" + File("dev") +
                                                 " TGX_COM1=" + sim.Path() + " TGX_COM2=" + File("none"));
  EXPECT_EQ(r.exit, 0);
  ASSERT_EQ(r.lines.size(), 9u);
  EXPECT_EQ(Fields(r.lines[0]), (Strings{"COM1", sim.Path(), "usable", ""}));
  EXPECT_EQ(Fields(r.lines[1]), (Strings{"COM2", File("none"), "absent", ""}));
  EXPECT_EQ(Fields(r.lines[8])[0], "COM9");
}

// A write, a read and a write with a backup: listed newest first; the first
// project and the backup both come back into the unit as it was read.
TEST_F(Tgxctl, JournalListAndExport) {
  SimRunner sim({"--version-code", "9616"});
  const auto session = [&](Strings args) {
    args.insert(args.begin(), {"--device", sim.Path()});
    return Run(args).exit;
  };
  ASSERT_EQ(session({"write", Example("station_with_gap.fs")}), 0);
  ASSERT_EQ(session({"read", File("before.fs")}), 0);
  ASSERT_EQ(session({"--backup", "write", Example("vertical_cylinder.fs")}), 0);
  const Strings all = Run({"journal", "list"}).lines;
  ASSERT_EQ(all.size(), 3u);
  const Strings read = Fields(all[1]), newest = Fields(all[0]);
  ASSERT_EQ(read.size(), 8u);
  EXPECT_TRUE(std::regex_match(read[1], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << read[1];
  EXPECT_EQ(Strings(read.begin() + 2, read.end()), (Strings{"read", "-", "96XX", "OK", "3", "-"}));
  EXPECT_EQ(Strings(newest.begin() + 2, newest.end()), (Strings{"write", "-", "96XX", "OK", "1", "backup"}));
  EXPECT_EQ(Run({"journal", "list", "--limit", "1"}).lines, Strings{all[0]});
  const std::pair<Strings, std::string> exports[] = {
      {{"journal", "export", "1", File("back.txt")}, File("back.fs")},
      {{"journal", "export", newest[0], File("restore"), "--backup"}, File("restore.fs")},
  };
  for (const auto& [args, written] : exports) {
    SCOPED_TRACE(written);
    EXPECT_EQ(Run(args).lines, Strings{written});
    ASSERT_EQ(session({"write", written}), 0);
    ASSERT_EQ(session({"read", File("after.fs")}), 0);
    EXPECT_EQ(ReadBytes(File("after.fs")), ReadBytes(File("before.fs")));
  }
}

// A journal that cannot be written costs one line on stderr, nothing else.
TEST_F(Tgxctl, SessionWithAnUnwritableJournal) {
  SimRunner sim({"--version-code", "9616"});
  WriteBytes(File("nofolder"), "a file where the journal's folder should be");
  const Result r = Run({"--device", sim.Path(), "read", File("unit.fs")}, "TGX_DATA_DIR=" + File("nofolder"));
  EXPECT_EQ(r.exit, 0);
  ASSERT_EQ(r.lines.size(), 2u);
  EXPECT_EQ(r.lines[1], "Таблицы объёма в системе отсутствуют");
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

// On a terminal the session shows a line redrawn in place; a write's size is
// known long before its tables have gone over the line.
TEST_F(Tgxctl, ProgressLineOnATerminal) {
  SimRunner sim({"--version-code", "9616", "--pace"});
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);  // inherited by tgxctl as its stderr
  ASSERT_GE(terminal, 0);
  FILE* out = Start({"--device", sim.Path(), "write", Example("station_with_gap.fs")}, "", nullptr,
                    "2>&" + std::to_string(terminal));
  ::close(terminal);
  std::string shown;
  char buf[512];
  // Read until the terminal's last writer is gone (EIO), so tgxctl never waits on a full terminal.
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) shown.append(buf, static_cast<size_t>(n));
  ::close(master);
  EXPECT_EQ(Finish(out).exit, 0);
  EXPECT_NE(shown.find("\r["), std::string::npos) << shown;
  EXPECT_NE(shown.find("%"), std::string::npos) << shown;
  EXPECT_NE(shown.find(" байт  осталось "), std::string::npos) << shown;
}

TEST_F(Tgxctl, EveryCommandAgainstAnOpenEndedUnit) {
  SimRunner sim({"--version-code", "9616"});
  const std::string dev = sim.Path(), gap = Example("station_with_gap.fs");
  // Against the station's channels 1, gap, 3: one that differs, one the unit lacks, one the project lacks.
  WriteBytes(File("two.fs"), "# a\r\n| 0 10 25 45\r\n# b\r\n| 0 10 25 45\r\n");
  Expect({"--device", dev, "compare", gap}, 4, {"OK\t96XX\t", "Таблицы объёма в системе отсутствуют"});
  Expect({"--device", dev, "--timeout", "1500", "write", gap}, 0,
         {"OK\t96XX\t", "Запись таблиц завершена.", "Выполняется перезагрузка системы"});
  Expect({"--device", dev, "compare", gap}, 0, {"OK\t96XX\t", "Таблицы системы совпадают с проектом."});
  Expect({"--device", dev, "compare", File("two.fs")}, 4,
         {"OK\t96XX\t", "Таблицы системы отличны от проекта !", "1\tdiffers", "2\tmissing", "3\textra"});
  Expect({"--device", dev, "read", File("unit.txt")}, 0, {"OK\t96XX\t", File("unit.fs")});
  Expect({"--device", dev, "compare", File("unit.fs")}, 0, {"OK\t96XX\t", "Таблицы системы совпадают с проектом."});
}

// Delete on the configured port (COM5, index 4), which tgxctl never rewrites.
TEST_F(Tgxctl, TheConfiguredPortAndAnUnchangedConfiguration) {
  SimRunner sim({"--version-code", "9616"});
  const std::string cfg = std::string("\3\0\0\0tgx\4\0\0\0\x09\0\0\0\xA0\x0F\0\0\0\0\0\0\0\1\0\0\0", 28);
  WriteBytes(File("tgx.cfg"), cfg);
  Expect({"delete"}, 0, {"OK\t96XX\t", "Таблицы удалены.", "Выполняется перезагрузка системы"},
         "TGX_COM5=" + sim.Path());
  EXPECT_EQ(ReadBytes(File("tgx.cfg")), cfg);
}

// --port takes the operator's port names as the port map reads them (the
// names' rules are the port map's own tests).
TEST_F(Tgxctl, PortNamesThroughThePortMap) {
  SimRunner sim({"--version-code", "9616"});
  Expect({"--port", "com2", "read", File("x.fs")}, 0, {"OK\t96XX\t", "Таблицы объёма в системе отсутствуют"},
         "TGX_COM2=" + sim.Path());
  EXPECT_EQ(Run({"--port", "COM129", "read", File("x.fs")}).exit, 64);
}

TEST_F(Tgxctl, PowerCycleNoticeAfterAWriteAndABusyPort) {
  SimRunner sim({"--version-code", "6320"});
  Expect({"--device", sim.Path(), "write", Example("vertical_cylinder.fs")}, 0,
         {"OK\t632 \t", "Запись таблиц завершена.", "Внимание !", "Чтобы записанный проект стал активным,",
          "необходимо переключить питание системы"});
  // A port held by another opener: "Порт занят", and no traffic.
  UKEDR_DRV holder;
  ASSERT_TRUE(holder.OpenDevice(sim.Path(), 500));
  sim.MarkLog();
  Expect({"--device", sim.Path(), "read", File("x.fs")}, 1, {"Порт занят\t?\t0"});
  EXPECT_TRUE(sim.LogSinceMark().empty());
}

// Ctrl-C inside the header's byte wait (20 ms a byte, 15 s in all) ends the
// session at once, says so, and leaves the port free.
TEST_F(Tgxctl, InterruptCancelsAndClosesThePort) {
  SimRunner slow({"--version-code", "6320", "--byte-delay-ms", "1=20"});
  pid_t pid = -1;
  FILE* out = Start({"--device", slow.Path(), "read", File("x.fs")}, "", &pid);
  ASSERT_GT(pid, 1);
  const auto inHeader = [&] {  // the header's block comes after its handshake
    const std::vector<SimRunner::Transaction> log = slow.Log();
    return std::any_of(log.begin(), log.end(), [](const SimRunner::Transaction& t) { return t.Command() == 1; });
  };
  for (int i = 0; i < 1000 && !inHeader(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(inHeader());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto t0 = std::chrono::steady_clock::now();
  ::kill(pid, SIGINT);
  const Result r = Finish(out);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  EXPECT_EQ(r.exit, 1);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(Fields(r.lines[0])[0], "Ошибка связи");
  EXPECT_NE(r.err.find("Сеанс прерван оператором"), std::string::npos) << r.err;
  UKEDR_DRV after;
  EXPECT_TRUE(after.OpenDevice(slow.Path(), 500));
}

// Written through one handshake word, compared through the other by the next
// simulator on the same state; nothing but the state is left in its folder.
TEST_F(Tgxctl, SimKeepsTheTablesOverARestartWhateverTheHandshake) {
  fs::create_directory(File("unit"));
  const std::string state = File("unit/unit.state"), form = Example("station_with_gap.fs");
  for (const char* word : {"5577", "1234"}) {
    SCOPED_TRACE(word);
    SimRunner sim({"--version-code", "9616", "--handshake", word}, state);
    EXPECT_EQ(Run({"--device", sim.Path(), word[0] == '5' ? "write" : "compare", form}).exit, 0);
    size_t echoes = 0;  // the master writes the word back only when the unit asks for it
    for (const SimRunner::Transaction& t : sim.Log()) echoes += t.in.size() == 3 && t.in[1] == 0x77 && t.in[2] == 0x55;
    EXPECT_EQ(echoes > 0, word[0] == '5');
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(File("unit")), fs::directory_iterator{}), 1);
}

// The link points to the terminal while the simulator lives, a stale one is
// replaced, and it goes when the simulator is stopped.
TEST_F(Tgxctl, SimLinkFollowsTheTerminal) {
  fs::create_symlink("/nonexistent", File("COM1"));
  {
    SimRunner sim({"--link", File("COM1")});
    EXPECT_EQ(fs::read_symlink(File("COM1")).string(), sim.Path());
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(File("COM1"))));
}

}  // namespace
}  // namespace tgxtest
