// tgxctl: the command-line front end, for scripting and tests. Form commands
// work on files alone; link commands run one session with the unit.

#include <cstdio>
#include <string>
#include <vector>

#include "tgxctl/Commands.h"

namespace {
std::string Usage() {
  std::string text =
      "Использование: tgxctl КОМАНДА ...\n"
      "Сервисная программа градуировочных таблиц, командная строка.\n\n";
  text += tgxctl::FormUsage();
  const std::string link = tgxctl::LinkUsage();
  if (!link.empty()) text += "\n" + link;
  text +=
      "\nКоды завершения: 0 успех; 1 сеанс с БВ не удался; 2 файл не прочитан или не записан;\n"
      "3 форма не преобразуется в таблицу; 4 таблицы системы отличны от проекта или отсутствуют;\n"
      "64 неверный вызов.\n";
  return text;
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
    std::fputs(Usage().c_str(), stdout);
    return tgxctl::kExitOk;
  }
  if (!args.empty()) {
    const std::string& cmd = args[0];
    if (cmd == "check" || cmd == "tables" || cmd == "convert" || cmd == "pack") return tgxctl::RunFormCommand(args);
    if (tgxctl::IsLinkCommand(args)) return tgxctl::RunLinkCommand(args);
  }
  std::fputs("tgxctl: неверный вызов; подробности: tgxctl --help\n", stderr);
  return tgxctl::kExitUsage;
}
