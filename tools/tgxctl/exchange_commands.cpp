// Spreadsheet exchange: a CSV file becomes a form file, and a form file's
// tables become a CSV file, with the rules the import and export windows use.

#include <cstdio>
#include <string>
#include <vector>

#include "exchange/Csv.h"
#include "forms/Fdata.h"
#include "model/Cp1251.h"
#include "project/Eprj.h"
#include "tgxctl/Commands.h"
#include "tgxctl/Output.h"

namespace tgxctl {
namespace {
int UsageError(const std::string& what) {
  std::fprintf(stderr, "tgxctl: %s; подробности: tgxctl --help\n", what.c_str());
  return kExitUsage;
}

// The operands and the value of each option of the command; empty on
// success, else what is wrong.
std::string Split(const std::vector<std::string>& args, const std::vector<std::string>& options,
                  std::vector<std::string>& operands, std::vector<std::pair<std::string, std::string>>& given) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      operands.push_back(a);
      continue;
    }
    bool known = false;
    for (const std::string& o : options) known = known || o == a;
    if (!known) return args[0] + ": неизвестный параметр " + a;
    if (i + 1 >= args.size()) return a + ": нужно значение";
    given.emplace_back(a, args[++i]);
  }
  return {};
}

int ImportCsv(const std::vector<std::string>& args) {
  std::vector<std::string> operands;
  std::vector<std::pair<std::string, std::string>> given;
  const std::string problem = Split(args, {"--levels", "--volumes", "--type"}, operands, given);
  if (!problem.empty()) return UsageError(problem);
  if (operands.size() != 2) return UsageError("import-csv: нужны ФАЙЛ.csv и ВЫХОД");
  CsvImportOptions options;
  for (const auto& [name, value] : given) {
    if (name == "--levels" && !ParseCsvLevelUnit(value, options.Levels))
      return UsageError("--levels принимает mm, cm или tenths");
    if (name == "--volumes" && !ParseCsvVolumeUnit(value, options.Volumes))
      return UsageError("--volumes принимает l или m3");
    if (name == "--type") {
      if (value != "1" && value != "4") return UsageError("--type принимает 1 или 4");
      options.Type = value == "1" ? 1 : 4;
    }
  }
  const std::string& in = operands[0];
  const std::string& out = operands[1];
  if (!SaveTargetAcceptable(out)) return kExitLoadFailed;

  EPROJECT project;
  CsvImportReport report;
  if (!ImportCsvProject(in, options, project, report)) {
    std::fprintf(stderr, "%s: %s\n", in.c_str(), tgx::ToUtf8(report.Message).c_str());
    // A fault at a place in the file is its content; anything else is the
    // file itself (missing, unreadable, too large).
    return report.Line > 0 ? kExitNotConverted : kExitLoadFailed;
  }
  return SaveAndPrint(project, FDATA::FileNameForType(out, report.Type));
}

int ExportCsv(const std::vector<std::string>& args) {
  std::vector<std::string> operands;
  std::vector<std::pair<std::string, std::string>> given;
  const std::string problem = Split(args, {"--delimiter"}, operands, given);
  if (!problem.empty()) return UsageError(problem);
  if (operands.size() != 2) return UsageError("export-csv: нужны ФАЙЛ и ВЫХОД.csv");
  CsvExportOptions options;
  for (const auto& given_option : given) {
    if (!ParseCsvDelimiter(given_option.second, options.Delimiter))
      return UsageError("--delimiter принимает ';', ',' или tab");
  }
  const std::string& file = operands[0];
  const std::string& out = operands[1];
  if (!SaveTargetAcceptable(out)) return kExitLoadFailed;

  EPROJECT project;
  if (!project.Load(file)) return kExitLoadFailed;
  project.Check();
  for (int i = 0; i < project.FormCount(); ++i) {
    if (!project.IsGap(i) && !project.Converted(i)) {
      std::fprintf(stderr, "Форма %d (%s) не преобразуется в таблицу; файл не записан.\n", i + 1,
                   tgx::ToUtf8(project.Form(i).Title()).c_str());
      return kExitNotConverted;
    }
  }
  std::string message;
  if (!ExportProjectCsv(project, out, options, message)) {
    std::fprintf(stderr, "%s: %s\n", out.c_str(), tgx::ToUtf8(message).c_str());
    return kExitLoadFailed;
  }
  Out(out + "\n");
  return kExitOk;
}
}  // namespace

std::string ExchangeUsage() {
  return "Обмен с электронными таблицами:\n"
         "  tgxctl import-csv ФАЙЛ.csv ВЫХОД [--levels mm|cm|tenths] [--volumes l|m3] [--type 1|4]\n"
         "                                 формы из CSV в файл ВЫХОД с расширением своего типа; печатает путь.\n"
         "                                 Ячейка не число: строка и столбец на stderr, ничего не записано, код 3\n"
         "  tgxctl export-csv ФАЙЛ ВЫХОД.csv [--delimiter ';'|','|tab]\n"
         "                                 таблицы объёма по строке на сантиметр (UTF-8, CR LF); печатает путь\n";
}

int RunExchangeCommand(const std::vector<std::string>& args) {
  return args[0] == "import-csv" ? ImportCsv(args) : ExportCsv(args);
}
}  // namespace tgxctl
