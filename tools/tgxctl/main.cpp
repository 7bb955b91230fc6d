// tgxctl: the command-line front end, for scripting and tests. Form commands
// work on files alone; link commands run one session with the unit.

#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Version.h"
#if TGXCTL_WITH_REPORT
#include "report/qt/Command.h"
#endif
#include "tgxctl/Commands.h"
#include "tgxctl/Output.h"
#include "tgxctl/Signals.h"

namespace {
std::string Usage() {
  std::string text =
      "Использование: tgxctl КОМАНДА ...\n"
      "Сервисная программа градуировочных таблиц, командная строка.\n\n";
  text += tgxctl::FormUsage();
  text += "\n" + tgxctl::ExchangeUsage();
#if TGXCTL_WITH_REPORT
  text += "\n" + ReportUsage();
#endif
  text += "\n" + tgxctl::PortsUsage();
  text += "\n" + tgxctl::LinkUsage();
  text += "\n" + tgxctl::JournalUsage();
  text +=
      "\n  tgxctl --version                 имя и версия программы\n"
      "\nКоды завершения: 0 успех; 1 сеанс с БВ не удался; 2 файл не прочитан или не записан\n"
      "(в том числе стандартный вывод); 3 форма не преобразуется в таблицу; 4 таблицы системы\n"
      "отличны от проекта или отсутствуют; 64 неверный вызов.\n";
  return text;
}

std::string VersionText() {
  return "tgxctl " + std::to_string(tgx::kVersionMajor) + "." + std::to_string(tgx::kVersionMinor) + "." +
         std::to_string(tgx::kVersionRelease) + "." + std::to_string(tgx::kVersionBuild) + "\n";
}

int Dispatch(const std::vector<std::string>& args, tgxctl::SignalGuard& signals) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
    tgxctl::Out(Usage());
    return tgxctl::kExitOk;
  }
  if (args.size() == 1 && args[0] == "--version") {
    tgxctl::Out(VersionText());
    return tgxctl::kExitOk;
  }
  if (!args.empty()) {
    const std::string& cmd = args[0];
    if (cmd == "check" || cmd == "tables" || cmd == "convert" || cmd == "pack") return tgxctl::RunFormCommand(args);
    if (cmd == "import-csv" || cmd == "export-csv") return tgxctl::RunExchangeCommand(args);
#if TGXCTL_WITH_REPORT
    if (cmd == "report") return RunReportCommand(args, stdout, stderr);
#else
    // A build without Qt has no document layout.
    if (cmd == "report") {
      std::fputs("tgxctl: report: эта сборка без документов\n", stderr);
      return tgxctl::kExitUsage;
    }
#endif
    if (cmd == "ports") return tgxctl::RunPortsCommand(args);
    if (cmd == "journal") return tgxctl::RunJournalCommand(args);
    if (tgxctl::IsLinkCommand(args)) return tgxctl::RunLinkCommand(args, signals);
  }
  std::fputs("tgxctl: неверный вызов; подробности: tgxctl --help\n", stderr);
  return tgxctl::kExitUsage;
}
}  // namespace

int main(int argc, char** argv) {
  // A reader that went away shows as a write error (exit 2), not as a silent death.
  ::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  int code;
  {
    tgxctl::SignalGuard signals(tgxctl::IsLinkCommand(args));
    code = Dispatch(args, signals);
  }
  return tgxctl::FinishOutput(code);
}
