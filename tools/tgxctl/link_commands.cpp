// Link commands: one session with the unit per call, reported the way the main
// window's status bar and message boxes report it.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "app/core/Chanpar.h"
#include "app/core/Syscfg.h"
#include "journal/Sessionentry.h"
#include "link/Portcol.h"
#include "link/session/Bvlink.h"
#include "link/session/Outcome.h"
#include "model/Cp1251.h"
#include "model/Prjvol.h"
#include "project/Eprj.h"
#include "tgxctl/Commands.h"
#include "tgxctl/Output.h"
#include "tgxctl/Signals.h"

namespace tgxctl {
namespace {
struct LinkOptions {
  std::string device;
  int port = -1;      // 0-based; -1: the configured port
  int timeout = -1;   // ms; -1: the configured time-out
  bool log = false;
  bool backup = false;  // write, delete: the unit's tables are read first, into the journal
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
    } else if (a == "--backup") {
      o.backup = true;
    } else if (o.command.empty()) {
      if (!IsCommandWord(a)) return "неизвестная команда";
      o.command = a;
    } else {
      o.operands.push_back(a);
    }
  }
  if (o.command.empty()) return "нет команды";
  if (!o.device.empty() && o.port >= 0) return "--port и --device вместе";
  if (o.backup && o.command != "write" && o.command != "delete") return "--backup только для write и delete";
  const size_t wanted = o.command == "delete" ? 0 : 1;
  if (o.operands.size() != wanted) return o.command + ": неверное число аргументов";
  return {};
}

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

std::string Duration(int64_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return text;
}

// One line on a terminal's stderr, redrawn in place: percent, bytes and the
// time the rest takes at the line's speed.
class ProgressBar {
 public:
  ProgressBar() : shown_(::isatty(STDERR_FILENO) == 1) {}
  void Draw(const TBVLink& s) {
    if (!shown_) return;
    // The total is known once the unit has been identified; until then the
    // session's own percentage stands.
    const int64_t done = s.WireBytesDone.load(), total = s.WireBytesTotal.load();
    int percent = s.Progress.load();
    std::string figures;
    if (total > 0) {
      const int64_t rest = std::max<int64_t>(total - done, 0);
      percent = static_cast<int>(std::min(done, total) * 100 / total);
      figures = "  " + std::to_string(done) + "/" + std::to_string(total) + " байт  осталось " +
                Duration((rest + TBVLink::kLineBytesPerSecond - 1) / TBVLink::kLineBytesPerSecond);
    }
    percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    const std::string line = "\r[" + std::string(static_cast<size_t>(filled), '#') +
                             std::string(static_cast<size_t>(kWidth - filled), '-') + "] " +
                             std::to_string(percent) + "%" + figures;
    width_ = std::max(width_, line.size());
    std::fputs((line + std::string(width_ - line.size(), ' ')).c_str(), stderr);
    std::fflush(stderr);
  }
  // Clears the bar, so that what follows starts on a clean line.
  void Clear() {
    if (!shown_ || width_ == 0) return;
    std::fputs(("\r" + std::string(width_, ' ') + "\r").c_str(), stderr);
    std::fflush(stderr);
  }

 private:
  bool shown_;
  size_t width_ = 0;
};

// Runs the session to its end, drawing the bar meanwhile; a signal cancels it.
void RunToEnd(TBVLink& session, SignalGuard& signals) {
  signals.SetCancel(&session.Cancel);
  session.Start();
  // Start clears Cancel: a signal that came just before is applied again.
  if (SignalGuard::Interrupted()) session.Cancel = true;
  ProgressBar bar;
  while (!session.Finished.load()) {
    bar.Draw(session);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  session.WaitFinished();
  signals.SetCancel(nullptr);
  bar.Clear();
}

tgx::JournalOp JournalOperation(const std::string& command) {
  if (command == "write") return tgx::JournalOp::Write;
  if (command == "compare") return tgx::JournalOp::Compare;
  if (command == "delete") return tgx::JournalOp::Delete;
  return tgx::JournalOp::Read;
}

// The journal's record of the session. A journal that cannot be written is
// told on stderr and changes nothing else.
void Record(const TBVLink& session, const LinkOptions& o) {
  std::string project;
  if (o.command == "write" || o.command == "compare") {
    std::error_code ec;
    project = std::filesystem::absolute(o.operands[0], ec).string();
    if (ec) project = o.operands[0];
  }
  const std::string message = tgx::RecordSessionOnce(tgx::SessionEntry(session, JournalOperation(o.command), project));
  if (!message.empty()) {
    std::string line = tgx::ToUtf8(message);
    for (char& c : line)
      if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "tgxctl: журнал: %s\n", line.c_str());
  }
}

// The done text, then the notice that follows a successful write or delete.
void ReportChange(uint8_t versionId, const std::string& doneText) {
  OutLine1251(doneText);
  for (const std::string& line : ChangeNoticeLines(versionId)) OutLine1251(line);
}
}  // namespace

bool IsLinkCommand(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--device" || a == "--port" || a == "--timeout") {
      ++i;
      continue;
    }
    if (a == "--log" || a == "--backup") continue;
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
         "  --timeout МС      время ожидания ответа при записи и удалении (по умолчанию из конфигурации, 4000;\n"
         "                    приводится к 100 ... 60000)\n"
         "  --backup          write, delete: сначала прочитать таблицы БВ в журнал (резервная копия)\n"
         "  --log             печатает журнал обмена после результата\n"
         "  compare печатает после вердикта по строке на канал: канал, differs, missing или extra.\n"
         "  Каждый сеанс записывается в журнал сеансов. Ctrl-C прерывает сеанс; порт закрывается.\n";
}

int RunLinkCommand(const std::vector<std::string>& args, SignalGuard& signals) {
  LinkOptions o;
  const std::string problem = Parse(args, o);
  if (!problem.empty()) return UsageError(problem);

  if (o.command == "read" && !SaveTargetAcceptable(o.operands[0])) return kExitLoadFailed;
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
  if (o.timeout > 0) session->Channel.ReplyTimeoutMs = ClampReplyTimeout(o.timeout);
  session->DevicePath = o.device;
  session->Operation = operation;
  if (operation == kOpWrite) session->Tables = projectTables;
  // Without --backup the unit gets exactly the sequence it always got.
  session->BackupFirst = o.backup;

  RunToEnd(*session, signals);
  Record(*session, o);

  const bool ok = session->Succeeded;
  Out(tgx::ToUtf8(session->StatusText) + "\t" + tgx::ToUtf8(VersionLabel(session->VersionId)) + "\t" +
      std::to_string(session->LongestWait.load()) + "\n");

  int exitCode = ok ? kExitOk : kExitSessionFailed;
  if (ok) {
    const GROUPTAB& unitTables = session->Tables;
    if (o.command == "read") {
      if (unitTables.Count() == 0) {
        OutLine1251(NoTablesText());
      } else {
        EPROJECT project;
        project.FromTables(unitTables, ReadProjectName());
        // The signal handler stays in place until this save is done: an
        // interruption removes its temporary file.
        exitCode = SaveAndPrint(project, std::filesystem::path(o.operands[0]).replace_extension(".fs").string());
      }
    } else if (o.command == "compare") {
      const CompareVerdict verdict = CompareTables(unitTables, projectTables);
      OutLine1251(VerdictText(verdict));
      if (verdict != CompareVerdict::Same) exitCode = kExitDifferent;
      if (verdict == CompareVerdict::Differ) {
        for (const TableDiff& d : DiffTables(unitTables, projectTables))
          Out(std::to_string(d.Channel) + "\t" + DiffKindName(d.Kind) + "\n");
      }
    } else if (o.command == "write") {
      ReportChange(session->VersionId, WriteDoneText());
    } else {
      ReportChange(session->VersionId, DeleteDoneText());
    }
  }
  if (o.log) Out(tgx::ToUtf8(session->SessionLog) + "\n");
  if (SignalGuard::Interrupted()) TellInterrupted();
  return exitCode;
}
}  // namespace tgxctl
