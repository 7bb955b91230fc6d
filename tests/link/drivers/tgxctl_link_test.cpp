// tgxctl's link commands as a script sees them: the first output line, the
// result lines, the exit code, and the traffic the simulated unit received.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/Bvlink.h"
#include "link/Ukdr_drv.h"
#include "support/SimRunner.h"

namespace fs = std::filesystem;
using tgxtest::SimRunner;

namespace {
struct CtlResult {
  int exit = -1;
  std::vector<std::string> lines;
  std::string out;
};

// Runs tgxctl with a private configuration folder and the extra environment.
class Ctl {
 public:
  Ctl() {
    char tmpl[] = "/tmp/tgx-ctl-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  ~Ctl() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  const std::string& Dir() const { return dir_; }

  pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int& outFd) {
    int out[2];
    if (::pipe(out) != 0) return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> argvS{TGX_CTL_PATH};
    argvS.insert(argvS.end(), args.begin(), args.end());
    std::vector<std::string> envS{"TGX_CONFIG_DIR=" + dir_, "PATH=/usr/bin:/bin"};
    envS.insert(envS.end(), env.begin(), env.end());
    std::vector<char*> argv, envp;
    for (auto& a : argvS) argv.push_back(a.data());
    for (auto& e : envS) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, TGX_CTL_PATH, &fa, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    outFd = out[0];
    return pid;
  }
  static CtlResult Collect(pid_t pid, int outFd) {
    CtlResult r;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(outFd, buf, sizeof buf)) > 0) r.out.append(buf, static_cast<size_t>(n));
    ::close(outFd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream s(r.out);
    std::string line;
    while (std::getline(s, line)) r.lines.push_back(line);
    return r;
  }
  CtlResult Run(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    int fd = -1;
    const pid_t pid = Spawn(args, env, fd);
    return Collect(pid, fd);
  }

 private:
  std::string dir_;
};

std::string Example(const char* name) { return std::string(TGX_SOURCE_DIR) + "/examples/" + name; }

// "<status>\t<label>\t<wait>"
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> f;
  std::string cur;
  for (char c : line) {
    if (c == '\t') {
      f.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  f.push_back(cur);
  return f;
}

TEST(TgxctlLink, WriteReadCompareDeleteAgainstAnOpenEndedUnit) {
  Ctl ctl;
  SimRunner sim({"--version-code", "9616"});
  const std::vector<std::string> dev{"--device", sim.Path()};
  auto with = [&](std::vector<std::string> a) {
    a.insert(a.begin(), dev.begin(), dev.end());
    return a;
  };

  CtlResult r = ctl.Run(with({"compare", Example("vertical_cylinder.fs")}));
  ASSERT_GE(r.lines.size(), 2u) << r.out;
  EXPECT_EQ(r.lines[1], "Таблицы объёма в системе отсутствуют");
  EXPECT_EQ(r.exit, 4);

  r = ctl.Run(with({"--timeout", "1500", "write", Example("station_with_gap.fs")}));
  ASSERT_EQ(r.lines.size(), 3u) << r.out;
  const auto f = Fields(r.lines[0]);
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0], "OK");
  EXPECT_EQ(f[1], "96XX");
  EXPECT_GE(std::stoi(f[2]), 0);
  EXPECT_EQ(r.lines[1], "Запись таблиц завершена.");
  EXPECT_EQ(r.lines[2], "Выполняется перезагрузка системы");
  EXPECT_EQ(r.exit, 0);

  r = ctl.Run(with({"compare", Example("station_with_gap.fs")}));
  ASSERT_EQ(r.lines.size(), 2u) << r.out;
  EXPECT_EQ(r.lines[1], "Таблицы системы совпадают с проектом.");
  EXPECT_EQ(r.exit, 0);
  r = ctl.Run(with({"compare", Example("vertical_cylinder.fs")}));
  EXPECT_EQ(r.lines.at(1), "Таблицы системы отличны от проекта !");
  EXPECT_EQ(r.exit, 4);

  // The project read back is written as .fs whatever extension was asked for.
  const std::string out = ctl.Dir() + "/unit.txt";
  r = ctl.Run(with({"read", out}));
  ASSERT_EQ(r.lines.size(), 2u) << r.out;
  EXPECT_EQ(r.lines[1], ctl.Dir() + "/unit.fs");
  EXPECT_TRUE(fs::exists(ctl.Dir() + "/unit.fs"));
  r = ctl.Run(with({"compare", ctl.Dir() + "/unit.fs"}));
  EXPECT_EQ(r.exit, 0) << r.out;

  r = ctl.Run(with({"--log", "delete"}));
  ASSERT_GE(r.lines.size(), 4u) << r.out;
  EXPECT_EQ(r.lines[1], "Таблицы удалены.");
  EXPECT_EQ(r.lines[2], "Выполняется перезагрузка системы");
  EXPECT_EQ(r.lines[3].substr(0, 1), "#");  // the session log follows
  EXPECT_EQ(r.exit, 0);
}

TEST(TgxctlLink, PowerCycleNoticeAndFailedSessions) {
  Ctl ctl;
  SimRunner sim({"--version-code", "6320"});
  CtlResult r = ctl.Run({"--device", sim.Path(), "write", Example("vertical_cylinder.fs")});
  ASSERT_EQ(r.lines.size(), 5u) << r.out;
  EXPECT_EQ(Fields(r.lines[0])[1], "632 ");
  EXPECT_EQ(r.lines[2], "Внимание !");
  EXPECT_EQ(r.lines[3], "Чтобы записанный проект стал активным,");
  EXPECT_EQ(r.lines[4], "необходимо переключить питание системы");

  // Channel 3 of this station is too rough for a header unit.
  r = ctl.Run({"--device", sim.Path(), "write", Example("station_with_gap.fs")});
  ASSERT_EQ(r.lines.size(), 1u) << r.out;
  EXPECT_EQ(Fields(r.lines[0])[0], "Ошибка сжатия таблиц");
  EXPECT_EQ(r.exit, 1);

  SimRunner busy({"--version-code", "6320", "--status", "20=254"});
  r = ctl.Run({"--device", busy.Path(), "delete"});
  ASSERT_EQ(r.lines.size(), 1u) << r.out;
  EXPECT_EQ(Fields(r.lines[0])[0], "Инициализация БВ");
  EXPECT_EQ(r.exit, 1);

  UKEDR_DRV holder;
  ASSERT_TRUE(holder.OpenDevice(sim.Path(), 500));
  sim.MarkLog();
  r = ctl.Run({"--device", sim.Path(), "read", ctl.Dir() + "/x.fs"});
  EXPECT_EQ(r.out, "Порт занят\t?\t0\n");
  EXPECT_EQ(r.exit, 1);
  EXPECT_TRUE(sim.LogSinceMark().empty());
}

TEST(TgxctlLink, PortsThroughTheMapAndTheConfiguration) {
  Ctl ctl;
  SimRunner sim({"--version-code", "8530"});
  CtlResult r = ctl.Run({"--port", "COM3", "delete"}, {"TGX_COM3=" + sim.Path()});
  EXPECT_EQ(r.exit, 0) << r.out;
  EXPECT_EQ(Fields(r.lines.at(0))[1], "853 ");

  // A configuration naming COM5 (index 4).
  std::string cfg = std::string("\x03\0\0\0tgx", 7) + std::string("\x04\0\0\0", 4) + std::string("\x09\0\0\0", 4) +
                    std::string("\xA0\x0F\0\0", 4) + std::string(1, '\0') + std::string(4, '\0') +
                    std::string("\x01\0\0\0", 4);
  std::ofstream(ctl.Dir() + "/tgx.cfg", std::ios::binary) << cfg;
  r = ctl.Run({"delete"}, {"TGX_COM5=" + sim.Path()});
  EXPECT_EQ(r.exit, 0) << r.out;
  // The port map file beside the configuration.
  std::ofstream(ctl.Dir() + "/tgx.ports") << "COM7=" << sim.Path() << "\n";
  r = ctl.Run({"--port", "COM7", "delete"});
  EXPECT_EQ(r.exit, 0) << r.out;
  // tgxctl never rewrites the configuration.
  std::ifstream in(ctl.Dir() + "/tgx.cfg", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), cfg);
}

TEST(TgxctlLink, RefusalsBeforeThePortIsOpened) {
  Ctl ctl;
  SimRunner sim({"--version-code", "6320"});
  // A level/volume form with a volume that is not a number.
  std::ifstream in(Example("horizontal_cylinder.f1"), std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(in), {});
  const size_t at = text.find("5938");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 4, "   ?");
  const std::string bad = ctl.Dir() + "/bad.f1";
  std::ofstream(bad, std::ios::binary) << text;

  const struct {
    std::vector<std::string> args;
    int exit;
  } cases[] = {
      {{"--device", sim.Path(), "write", bad}, 3},
      {{"--device", sim.Path(), "write", ctl.Dir() + "/missing.fs"}, 2},
      {{"--device", sim.Path(), "write"}, 64},
      {{"--device", sim.Path(), "delete", "extra"}, 64},
      {{"--port", "COMX", "delete"}, 64},
      {{"--port", "COM1", "--device", sim.Path(), "delete"}, 64},
      {{"--timeout", "0", "--device", sim.Path(), "delete"}, 64},
      {{"--device"}, 64},
  };
  for (const auto& c : cases) {
    CtlResult r = ctl.Run(c.args);
    EXPECT_EQ(r.exit, c.exit) << c.args.back();
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  EXPECT_TRUE(sim.Log().empty());
}

TEST(TgxctlLink, InterruptCancelsAndClosesThePort) {
  Ctl ctl;
  const std::string state = ctl.Dir() + "/unit.state";
  {
    SimRunner fast({"--version-code", "8530"}, state);
    TBVLink session(false);
    session.DevicePath = fast.Path();
    session.Operation = TBVLink::kOpWrite;
    PARTAB t(20000);
    for (int i = 0; i < 20000; ++i) t[i] = i;
    session.Tables.Add(t);
    session.Start();
    session.WaitFinished();
    ASSERT_TRUE(session.Succeeded) << session.StatusText;
  }
  SimRunner paced({"--version-code", "8530", "--pace"}, state);
  int fd = -1;
  const pid_t pid = ctl.Spawn({"--device", paced.Path(), "read", ctl.Dir() + "/x.fs"}, {}, fd);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const auto t0 = std::chrono::steady_clock::now();
  ::kill(pid, SIGINT);
  CtlResult r = Ctl::Collect(pid, fd);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(ms, 300);
  EXPECT_EQ(r.exit, 1);
  ASSERT_EQ(r.lines.size(), 1u) << r.out;
  EXPECT_EQ(Fields(r.lines[0])[0], "Ошибка связи");
  UKEDR_DRV after;
  EXPECT_TRUE(after.OpenDevice(paced.Path(), 500));
}
}  // namespace
