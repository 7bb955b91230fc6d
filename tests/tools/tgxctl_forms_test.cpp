// tgxctl's form commands as a script sees them: the exact lines, the TAB
// between fields, the exit codes 0, 2, 3 and 64, on the sample forms and on
// small forms written here.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/TempDir.h"
#include "tools/CtlRunner.h"

namespace tgxtest {
namespace {

class TgxctlForms : public ::testing::Test {
 protected:
  // A form file of type 1 (litres per centimetre) with these forms: a title,
  // then its volumes ("" for a gap).
  std::string Forms(const char* name, const std::vector<std::pair<std::string, std::string>>& forms) {
    std::ofstream out(dir_.File(name), std::ios::binary);
    for (const auto& [title, volumes] : forms) {
      out << "# " << title << "\r\n";
      out << (volumes.empty() ? std::string("\r\n") : "| " + volumes + "\r\n");
    }
    return dir_.File(name);
  }
  // The worked example of the packing, a gap, the same table again, a table
  // too rough for packing mode 0, and one that does not convert at all.
  std::string Small() {
    return Forms("small.fs", {{"a", "0 10 25 45"}, {"b", ""}, {"c", "0 10 25 45"}, {"d", "0 10 400 0"}});
  }
  std::string NotConverting() { return Forms("bad.fs", {{"a", "0 10 25 45"}, {"b", "0 99999999999"}}); }

  TempDir dir_{"tgx-ctl"};
  CtlRunner ctl_{dir_.Path().string()};
};

// One line per form: channel, control mark, rows, title. The mark "OK " keeps
// its blank; a gap has an empty mark, a form that does not convert "-".
TEST_F(TgxctlForms, CheckGivesALinePerForm) {
  const std::pair<std::string, Strings> cases[] = {
      {Example("station_with_gap.fs"),
       {"1\tOK \t201\tКанал 1: резервуар РВС-50, бензин АИ-95", "2\t\t0\tКанал 2: не используется",
        "3\tOK*\t181\tКанал 3: резервуар с уширением пояса на 1 м"}},
      {NotConverting(), {"1\tOK \t4\ta", "2\t-\t2\tb"}},
  };
  for (const auto& [file, lines] : cases) {
    const CtlRunner::Result r = ctl_.Run({"check", file});
    EXPECT_EQ(r.exit, 0) << file;
    EXPECT_EQ(r.lines, lines) << file;
  }
}

// Every sample form loads, checks and has four fields on each line.
TEST_F(TgxctlForms, CheckOfEverySampleType) {
  for (const char* name : {"vertical_cylinder.fs", "cubic_metres.fs1", "rectangular_tank.fs2", "horizontal_cylinder.f1"}) {
    SCOPED_TRACE(name);
    const CtlRunner::Result r = ctl_.Run({"check", Example(name)});
    EXPECT_EQ(r.exit, 0);
    ASSERT_EQ(r.lines.size(), 1u);
    const Strings f = Fields(r.lines[0]);
    ASSERT_EQ(f.size(), 4u) << r.lines[0];
    EXPECT_EQ(f[0], "1");
    EXPECT_EQ(f[1], "OK ");
  }
}

// Channel, entry count, the entries; "-" alone for a form that does not
// convert; a gap has no entries.
TEST_F(TgxctlForms, TablesOfEachForm) {
  EXPECT_EQ(ctl_.Run({"tables", Small()}).lines,
            (Strings{"1\t4\t0 10 25 45", "2\t0\t", "3\t4\t0 10 25 45", "4\t4\t0 10 400 0"}));
  EXPECT_EQ(ctl_.Run({"tables", NotConverting()}).lines, (Strings{"1\t4\t0 10 25 45", "2\t-"}));
}

// The import conversion: every form becomes type 1, written with .fs, the
// path printed; the tables come out as the source's.
TEST_F(TgxctlForms, ConvertWritesTheImportConversion) {
  const std::string source = Example("horizontal_cylinder.f1");
  const CtlRunner::Result r = ctl_.Run({"convert", source, dir_.File("out.txt")});
  EXPECT_EQ(r.exit, 0);
  EXPECT_EQ(r.lines, Strings{dir_.File("out.fs")});
  EXPECT_FALSE(std::filesystem::exists(dir_.File("out.txt")));
  EXPECT_EQ(ctl_.Run({"tables", dir_.File("out.fs")}).lines, ctl_.Run({"tables", source}).lines);
  EXPECT_EQ(ctl_.Run({"check", dir_.File("out.fs")}).lines,
            Strings{"1\tOK \t242\tЁмкость РГС-25 №2, горизонтальная, дизельное топливо"});
}

TEST_F(TgxctlForms, ConvertRefusesAFormThatDoesNotConvert) {
  const CtlRunner::Result r = ctl_.Run({"convert", NotConverting(), dir_.File("out.fs")});
  EXPECT_EQ(r.exit, 3);
  EXPECT_EQ(r.lines, Strings{});
  EXPECT_NE(r.err.find("Форма 2 (b)"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir_.File("out.fs")));
}

// The packed image, byte by byte: the worked example stored once for
// channels 1 and 3, the rough table counted as an error in mode 0.
TEST_F(TgxctlForms, PackInBothModes) {
  const std::string slots = "slots\t1 0 1 2 0 0 0 0 0 0 0 0 0 0 0 0";
  const std::string counts = "counts\t4 4 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
  EXPECT_EQ(ctl_.Run({"pack", Small()}).lines,
            (Strings{"errors\t1", "unique\t2", slots, counts, "size\t12", "image\t00 00 0A 00 05 05 00 00 0A 00 7C EA"}));
  EXPECT_EQ(ctl_.Run({"pack", Small(), "--mode", "1"}).lines,
            (Strings{"errors\t0", "unique\t2", slots, counts, "size\t16",
                     "image\t00 00 0A 00 0F 00 14 00 00 00 0A 00 86 01 70 FE"}));
}

TEST_F(TgxctlForms, FilesThatCannotBeReadOrWritten) {
  const std::pair<Strings, const char*> cases[] = {
      {{"check", dir_.File("missing.fs")}, "check"},
      {{"tables", dir_.File("missing.fs")}, "tables"},
      {{"pack", dir_.File("missing.fs")}, "pack"},
      {{"convert", dir_.File("missing.fs"), dir_.File("out.fs")}, "convert of a missing file"},
      {{"convert", Small(), dir_.File("no/such/folder/out.fs")}, "convert into a missing folder"},
  };
  for (const auto& [args, what] : cases) {
    const CtlRunner::Result r = ctl_.Run(args);
    EXPECT_EQ(r.exit, 2) << what;
    EXPECT_EQ(r.lines, Strings{}) << what;
    EXPECT_NE(r.err, "") << what;
  }
}

TEST_F(TgxctlForms, UsageErrors) {
  const std::string f = Small();
  const Strings cases[] = {
      {},           {"frob"},        {"check"},           {"check", f, f},         {"tables"},
      {"convert", f}, {"pack"},      {"pack", f, f},      {"pack", f, "--mode", "2"}, {"pack", f, "--mode"},
  };
  for (const Strings& args : cases) {
    const CtlRunner::Result r = ctl_.Run(args);
    EXPECT_EQ(r.exit, 64) << ::testing::PrintToString(args);
    EXPECT_EQ(r.lines, Strings{}) << ::testing::PrintToString(args);
  }
}
}  // namespace
}  // namespace tgxtest
