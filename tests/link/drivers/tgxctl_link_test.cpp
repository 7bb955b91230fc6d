// tgxctl's link commands as a script sees them: the result lines, the exit
// code, and the traffic the simulated unit received.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "link/Ukdr_drv.h"
#include "support/SimRunner.h"

namespace fs = std::filesystem;
using tgxtest::SimRunner;
using Strings = std::vector<std::string>;

namespace {
std::string Example(const char* name) { return std::string(TGX_SOURCE_DIR) + "/examples/" + name; }
std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TgxctlLink : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tgx-ctl-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // tgxctl in a clean environment with a private configuration folder; its
  // standard error is dropped. The shell's process id becomes tgxctl's.
  FILE* Start(const Strings& args, const std::string& env = "", pid_t* pid = nullptr) {
    std::string cmd = "echo $$; exec env -i PATH=/usr/bin:/bin TGX_CONFIG_DIR=" + dir_ + " " + env + " " TGX_CTL_PATH;
    for (const auto& a : args) cmd += " '" + a + "'";
    FILE* f = ::popen((cmd + " 2>/dev/null").c_str(), "r");
    char line[32] = {};
    if (!f || !::fgets(line, sizeof line, f)) throw std::runtime_error("cannot start tgxctl");
    if (pid) *pid = std::atoi(line);
    return f;
  }
  // Output lines, then the exit code.
  static std::pair<Strings, int> Finish(FILE* f) {
    std::string out;
    char buf[4096];
    for (size_t n; (n = ::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    const int status = ::pclose(f);
    Strings lines;
    std::istringstream s(out);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    return {lines, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  }
  std::pair<Strings, int> Run(const Strings& args, const std::string& env = "") { return Finish(Start(args, env)); }
  // The output is `lines`; a first line ending in a tab is the start of the
  // line (status, version), the longest wait follows.
  void Expect(const Strings& args, int exit, const Strings& lines, const std::string& env = "") {
    SCOPED_TRACE(args.back());
    auto [out, code] = Run(args, env);
    EXPECT_EQ(code, exit);
    ASSERT_EQ(out.size(), lines.size()) << ::testing::PrintToString(out);
    EXPECT_EQ(lines[0].back() == '\t' ? out[0].substr(0, lines[0].size()) : out[0], lines[0]);
    EXPECT_EQ(Strings(out.begin() + 1, out.end()), Strings(lines.begin() + 1, lines.end()));
  }

  std::string dir_;
};

TEST_F(TgxctlLink, EveryCommandAgainstAnOpenEndedUnit) {
  SimRunner sim({"--version-code", "9616"});
  const std::string dev = sim.Path(), gap = Example("station_with_gap.fs"), other = Example("vertical_cylinder.fs");
  Expect({"--device", dev, "compare", other}, 4, {"OK\t96XX\t", "Таблицы объёма в системе отсутствуют"});
  Expect({"--device", dev, "--timeout", "1500", "write", gap}, 0,
         {"OK\t96XX\t", "Запись таблиц завершена.", "Выполняется перезагрузка системы"});
  Expect({"--device", dev, "compare", gap}, 0, {"OK\t96XX\t", "Таблицы системы совпадают с проектом."});
  Expect({"--device", dev, "compare", other}, 4, {"OK\t96XX\t", "Таблицы системы отличны от проекта !"});
  // The project read back is written as .fs whatever extension was asked for.
  Expect({"--device", dev, "read", dir_ + "/unit.txt"}, 0, {"OK\t96XX\t", dir_ + "/unit.fs"});
  Expect({"--device", dev, "compare", dir_ + "/unit.fs"}, 0, {"OK\t96XX\t", "Таблицы системы совпадают с проектом."});

  // Delete on the configured port (COM5, index 4), which tgxctl never rewrites.
  const std::string cfg = std::string("\3\0\0\0tgx\4\0\0\0\x09\0\0\0\xA0\x0F\0\0\0\0\0\0\0\1\0\0\0", 28);
  std::ofstream(dir_ + "/tgx.cfg", std::ios::binary) << cfg;
  Expect({"delete"}, 0, {"OK\t96XX\t", "Таблицы удалены.", "Выполняется перезагрузка системы"}, "TGX_COM5=" + dev);
  EXPECT_EQ(ReadFile(dir_ + "/tgx.cfg"), cfg);
}

TEST_F(TgxctlLink, PowerCycleNoticeAndFailedSessions) {
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
  Expect({"--device", sim.Path(), "read", dir_ + "/x.fs"}, 1, {"Порт занят\t?\t0"});
  EXPECT_TRUE(sim.LogSinceMark().empty());
}

// A project that cannot be written, or a bad command line, ends tgxctl
// before the port is opened.
TEST_F(TgxctlLink, RefusalsBeforeThePortIsOpened) {
  SimRunner sim({"--version-code", "6320"});
  std::string form = ReadFile(Example("horizontal_cylinder.f1"));
  ASSERT_NE(form.find("5938"), std::string::npos);
  form.replace(form.find("5938"), 4, "   ?");  // a volume that is not a number
  std::ofstream(dir_ + "/bad.f1", std::ios::binary) << form;
  const std::pair<Strings, int> cases[] = {
      {{"--device", sim.Path(), "write", dir_ + "/bad.f1"}, 3},
      {{"--device", sim.Path(), "compare", dir_ + "/missing.fs"}, 2},
      {{"--device", sim.Path(), "write"}, 64},
      {{"--port", "COM1", "--device", sim.Path(), "delete"}, 64},
      {{"--timeout", "0", "--device", sim.Path(), "delete"}, 64},
  };
  for (const auto& [args, exit] : cases) EXPECT_EQ(Run(args), std::make_pair(Strings{}, exit)) << args.back();
  EXPECT_TRUE(sim.Log().empty());
}

// Ctrl-C cancels the session within a byte wait and the port is free again.
TEST_F(TgxctlLink, InterruptCancelsAndClosesThePort) {
  SimRunner slow({"--version-code", "8530", "--byte-delay-ms", "4=20"});  // the directory takes 2 s
  pid_t pid = -1;
  FILE* ctl = Start({"--device", slow.Path(), "read", dir_ + "/x.fs"}, "", &pid);
  ASSERT_GT(pid, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  const auto t0 = std::chrono::steady_clock::now();
  ::kill(pid, SIGINT);
  auto [out, code] = Finish(ctl);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(300));
  EXPECT_EQ(code, 1);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].substr(0, out[0].find('\t')), "Ошибка связи");
  UKEDR_DRV after;
  EXPECT_TRUE(after.OpenDevice(slow.Path(), 500));
}
}  // namespace
