// Link commands: one session with the unit per call, reported the way the main
// window's status bar and message boxes report it.

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/core/Syscfg.h"
#include "link/Portcol.h"
#include "link/session/Bvlink.h"
#include "link/session/Outcome.h"
#include "model/Cp1251.h"
#include "model/Prjvol.h"
#include "project/Eprj.h"
#include "tgxctl/Commands.h"

namespace tgxctl {
namespace {
struct LinkOptions {
  std::string device;
  int port = -1;      // 0-based; -1: the configured port
  int timeout = -1;   // ms; -1: the configured time-out
  bool log = false;
  std::string command;
  std::vector<std::string> operands;
};

bool IsCommandWord(const std::string& w) { return w == "read" || w == "write" || w == "compare" || w == "delete"; }

bool ParsePositive(const std::string& text, int& value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  value = std::atoi(text.c_str());
  return value > 0;
}

// Empty on success, else what is wrong.
std::string Parse(const std::vector<std::string>& args, LinkOptions& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--device") {
      if (!hasValue || args[i + 1].empty()) return "--device: нужен путь";
      o.device = args[++i];
    } else if (a == "--port") {
      o.port = hasValue ? PortIndexOfName(args[i + 1]) : -1;
      if (o.port < 0) return "--port: нужно имя вида COM1";
      ++i;
    } else if (a == "--timeout") {
      if (!hasValue || !ParsePositive(args[i + 1], o.timeout)) return "--timeout: нужно число миллисекунд";
      ++i;
    } else if (a == "--log") {
      o.log = true;
    } else if (o.command.empty()) {
      if (!IsCommandWord(a)) return "неизвестная команда";
      o.command = a;
    } else {
      o.operands.push_back(a);
    }
  }
  if (o.command.empty()) return "нет команды";
  if (!o.device.empty() && o.port >= 0) return "--port и --device вместе";
  const size_t wanted = o.command == "delete" ? 0 : 1;
  if (o.operands.size() != wanted) return o.command + ": неверное число аргументов";
  return {};
}

void Out(const std::string& utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stdout); }
// One line of a Windows-1251 text.
void OutLine(const std::string& cp1251) { Out(tgx::ToUtf8(cp1251) + "\n"); }

int UsageError(const std::string& what) {
  std::fprintf(stderr, "tgxctl: %s; подробности: tgxctl --help\n", what.c_str());
  return kExitUsage;
}

// The project's tables as the write command of the main window takes them,
// after the conversion that `convert` does. 0, or the exit code.
int ProjectTables(const std::string& file, GROUPTAB& tables) {
  EPROJECT converted;
  if (const int code = LoadAndConvert(file, converted, "сеанс не начат")) return code;
  converted.ToTables(tables);
  return kExitOk;
}

// Ctrl-C raises the running session's Cancel; the worker then ends within one
// byte wait and closes the port itself.
std::atomic<bool>* g_cancel = nullptr;
extern "C" void OnInterrupt(int) {
  if (g_cancel) g_cancel->store(true);
}

class InterruptGuard {
 public:
  explicit InterruptGuard(std::atomic<bool>& cancel) {
    g_cancel = &cancel;
    struct sigaction sa {};
    sa.sa_handler = &OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &oldInt_);
    sigaction(SIGTERM, &sa, &oldTerm_);
  }
  ~InterruptGuard() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
    g_cancel = nullptr;
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};

// The done text, then the notice that follows a successful write or delete.
void ReportChange(uint8_t versionId, const std::string& doneText) {
  OutLine(doneText);
  for (const std::string& line : ChangeNoticeLines(versionId)) OutLine(line);
}
}  // namespace

bool IsLinkCommand(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--device" || a == "--port" || a == "--timeout") {
      ++i;
      continue;
    }
    if (a == "--log") continue;
    return IsCommandWord(a);
  }
  return false;
}

std::string LinkUsage() {
  return "Команды связи с БВ (первая строка: текст состояния, версия, наибольшее ожидание в мс, через TAB):\n"
         "  tgxctl [--port COMn | --device ПУТЬ] [--timeout МС] [--log] КОМАНДА\n"
         "  read ВЫХОД        читает таблицы БВ в проект ВЫХОД с расширением .fs и печатает путь\n"
         "  write ФАЙЛ        записывает в БВ таблицы проекта (формы преобразуются, как в convert)\n"
         "  compare ФАЙЛ      сравнивает таблицы БВ с таблицами проекта, преобразованного как для write\n"
         "                    (код 4: отличны или отсутствуют)\n"
         "  delete            удаляет таблицы БВ\n"
         "  --port COMn       порт через карту портов (tgx.ports, TGX_COMn); по умолчанию порт из конфигурации\n"
         "  --device ПУТЬ     устройство напрямую\n"
         "  --timeout МС      время ожидания ответа при записи и удалении (по умолчанию из конфигурации, 4000)\n"
         "  --log             печатает журнал обмена после результата\n"
         "  Ctrl-C прерывает сеанс; порт закрывается.\n";
}

int RunLinkCommand(const std::vector<std::string>& args) {
  LinkOptions o;
  const std::string problem = Parse(args, o);
  if (!problem.empty()) return UsageError(problem);

  uint8_t operation = kOpRead;
  GROUPTAB projectTables;
  if (o.command == "write" || o.command == "compare") {
    // The project is settled before the port is touched: a refusal costs no traffic.
    const int rc = ProjectTables(o.operands[0], projectTables);
    if (rc != kExitOk) return rc;
    if (o.command == "write") operation = kOpWrite;
  } else if (o.command == "delete") {
    operation = kOpDelete;
  }

  // The configured port and time-out; a damaged configuration file is
  // reported on stderr and the defaults stand. tgxctl never writes the file.
  CreateSettings();
  SetPortMapFile(tgx::PortMapFilePath());

  auto session = std::make_unique<TBVLink>(o.log);
  session->Channel = *Chanpar();
  if (o.port >= 0) session->Channel.PortIndex = o.port;
  if (o.timeout > 0) session->Channel.ReplyTimeoutMs = o.timeout;
  session->DevicePath = o.device;
  session->Operation = operation;
  if (operation == kOpWrite) session->Tables = projectTables;

  {
    InterruptGuard guard(session->Cancel);
    session->Start();
    session->WaitFinished();
  }

  const bool ok = session->Succeeded;
  Out(tgx::ToUtf8(session->StatusText) + "\t" + tgx::ToUtf8(VersionLabel(session->VersionId)) + "\t" +
      std::to_string(session->LongestWait.load()) + "\n");

  int exitCode = ok ? kExitOk : kExitSessionFailed;
  if (ok) {
    const GROUPTAB& unitTables = session->Tables;
    if (o.command == "read") {
      if (unitTables.Count() == 0) {
        OutLine(NoTablesText());
      } else {
        const std::string path = std::filesystem::path(o.operands[0]).replace_extension(".fs").string();
        EPROJECT project;
        project.FromTables(unitTables, ReadProjectName());
        if (project.Save(path)) {
          Out(path + "\n");
        } else {
          std::fprintf(stderr, "tgxctl: файл %s не записан\n", path.c_str());
          exitCode = kExitLoadFailed;
        }
      }
    } else if (o.command == "compare") {
      const CompareVerdict verdict = CompareTables(unitTables, projectTables);
      OutLine(VerdictText(verdict));
      if (verdict != CompareVerdict::Same) exitCode = kExitDifferent;
    } else if (o.command == "write") {
      ReportChange(session->VersionId, WriteDoneText());
    } else {
      ReportChange(session->VersionId, DeleteDoneText());
    }
  }
  if (o.log) Out(tgx::ToUtf8(session->SessionLog) + "\n");
  std::fflush(stdout);
  return exitCode;
}
}  // namespace tgxctl
