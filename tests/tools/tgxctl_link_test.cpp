// tgxctl's link commands as a script sees them: the result lines, the exit
// code, and the traffic the simulated unit received.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "link/Ukdr_drv.h"
#include "support/SimRunner.h"
#include "support/TempDir.h"
#include "tools/CtlRunner.h"

namespace tgxtest {
namespace {

class TgxctlLink : public ::testing::Test {
 protected:
  // The output is `lines`; a first line ending in a tab is the start of the
  // line (status, version), the longest wait follows. A session that succeeds
  // into a file says nothing on stderr: no progress line there.
  void Expect(const Strings& args, int exit, const Strings& lines, const std::string& env = "") {
    SCOPED_TRACE(args.back());
    const CtlRunner::Result r = ctl_.Run(args, env);
    EXPECT_EQ(r.exit, exit);
    ASSERT_EQ(r.lines.size(), lines.size()) << ::testing::PrintToString(r.lines);
    EXPECT_EQ(lines[0].back() == '\t' ? r.lines[0].substr(0, lines[0].size()) : r.lines[0], lines[0]);
    EXPECT_EQ(Strings(r.lines.begin() + 1, r.lines.end()), Strings(lines.begin() + 1, lines.end()));
    if (exit == 0) {
      EXPECT_EQ(r.err, "");
    }
  }
  std::string File(const char* name) const { return dir_.File(name); }

  TempDir dir_{"tgx-ctl"};
  CtlRunner ctl_{dir_.Path().string()};
};

TEST_F(TgxctlLink, EveryCommandAgainstAnOpenEndedUnit) {
  SimRunner sim({"--version-code", "9616"});
  const std::string dev = sim.Path(), gap = Example("station_with_gap.fs");
  // Against the station's channels 1, gap, 3: one that differs, one the unit lacks, one the project lacks.
  WriteFile(File("two.fs"), "# a\r\n| 0 10 25 45\r\n# b\r\n| 0 10 25 45\r\n");
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
TEST_F(TgxctlLink, TheConfiguredPortAndAnUnchangedConfiguration) {
  SimRunner sim({"--version-code", "9616"});
  const std::string cfg = std::string("\3\0\0\0tgx\4\0\0\0\x09\0\0\0\xA0\x0F\0\0\0\0\0\0\0\1\0\0\0", 28);
  WriteFile(File("tgx.cfg"), cfg);
  Expect({"delete"}, 0, {"OK\t96XX\t", "Таблицы удалены.", "Выполняется перезагрузка системы"},
         "TGX_COM5=" + sim.Path());
  EXPECT_EQ(ReadFile(File("tgx.cfg")), cfg);
}

// --port takes the operator's port names as the port map reads them (the
// names' rules are the port map's own tests).
TEST_F(TgxctlLink, PortNamesThroughThePortMap) {
  SimRunner sim({"--version-code", "9616"});
  Expect({"--port", "com2", "read", File("x.fs")}, 0, {"OK\t96XX\t", "Таблицы объёма в системе отсутствуют"},
         "TGX_COM2=" + sim.Path());
  EXPECT_EQ(ctl_.Run({"--port", "COM129", "read", File("x.fs")}).exit, 64);
}

TEST_F(TgxctlLink, PowerCycleNoticeAfterAWriteAndFailedSessions) {
  SimRunner sim({"--version-code", "6320"});
  Expect({"--device", sim.Path(), "write", Example("vertical_cylinder.fs")}, 0,
         {"OK\t632 \t", "Запись таблиц завершена.", "Внимание !", "Чтобы записанный проект стал активным,",
          "необходимо переключить питание системы"});
  // Channel 3 of this station is too rough for a header unit.
  Expect({"--device", sim.Path(), "write", Example("station_with_gap.fs")}, 1, {"Ошибка сжатия таблиц\t632 \t"});
  // A port held by another opener: "Порт занят", and no traffic.
  UKEDR_DRV holder;
  ASSERT_TRUE(holder.OpenDevice(sim.Path(), 500));
  sim.MarkLog();
  Expect({"--device", sim.Path(), "read", File("x.fs")}, 1, {"Порт занят\t?\t0"});
  EXPECT_TRUE(sim.LogSinceMark().empty());
}

// Ctrl-C inside the header's byte wait (20 ms a byte, 15 s in all) ends the
// session at once, says so, and leaves the port free.
TEST_F(TgxctlLink, InterruptCancelsAndClosesThePort) {
  SimRunner slow({"--version-code", "6320", "--byte-delay-ms", "1=20"});
  pid_t pid = -1;
  FILE* out = ctl_.Start({"--device", slow.Path(), "read", File("x.fs")}, "", &pid);
  ASSERT_GT(pid, 1);
  const auto inHeader = [&] {
    for (const SimRunner::Transaction& t : slow.Log())
      if (t.Command() == 1) return true;
    return false;
  };
  for (int i = 0; i < 1000 && !inHeader(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(inHeader());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto t0 = std::chrono::steady_clock::now();
  ::kill(pid, SIGINT);
  const CtlRunner::Result r = ctl_.Finish(out);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  EXPECT_EQ(r.exit, 1);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(Fields(r.lines[0])[0], "Ошибка связи");
  EXPECT_NE(r.err.find("Сеанс прерван оператором"), std::string::npos) << r.err;
  UKEDR_DRV after;
  EXPECT_TRUE(after.OpenDevice(slow.Path(), 500));
}

}  // namespace
}  // namespace tgxtest
