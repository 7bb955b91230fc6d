// journal list | journal export: the sessions that the window program and
// tgxctl recorded, and the tables of one of them back as a project file, so
// that tables a write replaced can be put back.

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/core/Folders.h"
#include "journal/Journal.h"
#include "link/Portcol.h"
#include "link/session/Outcome.h"
#include "model/Cp1251.h"
#include "model/Prjvol.h"
#include "project/Eprj.h"
#include "tgxctl/Commands.h"
#include "tgxctl/Output.h"

namespace tgxctl {
namespace {
int UsageError(const std::string& what) {
  std::fprintf(stderr, "tgxctl: journal: %s; подробности: tgxctl --help\n", what.c_str());
  return kExitUsage;
}

bool ParseCount(const std::string& text, int64_t& value) {
  if (text.empty() || text.size() > 15) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  value = std::strtoll(text.c_str(), nullptr, 10);
  return value > 0;
}

// "2026-12-06T19:02:03Z"
std::string IsoUtc(tgx::JournalTime t) {
  const time_t seconds = std::chrono::system_clock::to_time_t(t);
  tm parts{};
  gmtime_r(&seconds, &parts);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

// A field of one record: a line end inside would split it.
std::string Field(std::string utf8) {
  for (char& c : utf8)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  return utf8;
}

std::string Trimmed(const std::string& s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool OpenJournal(tgx::JournalOpen& opened) {
  opened = tgx::Journal::Open(tgx::DataDir());
  if (!opened.Message.empty()) std::fprintf(stderr, "tgxctl: %s\n", tgx::ToUtf8(opened.Message).c_str());
  return opened.Ok && opened.Instance != nullptr;
}

int List(const std::vector<std::string>& args) {
  tgx::JournalFilter filter;
  std::optional<std::string> version;
  int64_t limit = 0;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (i + 1 >= args.size()) return UsageError(a + ": нужно значение");
    const std::string& value = args[++i];
    if (a == "--limit") {
      if (!ParseCount(value, limit)) return UsageError("--limit: нужно положительное число");
    } else if (a == "--port") {
      const int index = PortIndexOfName(value);
      if (index < 0) return UsageError("--port: нужно имя вида COM1");
      filter.Port = PortName(index);
    } else if (a == "--version") {
      version = Trimmed(tgx::FromUtf8(value));
    } else if (a == "--operation") {
      if (value == "read") filter.Operation = tgx::JournalOp::Read;
      else if (value == "write") filter.Operation = tgx::JournalOp::Write;
      else if (value == "compare") filter.Operation = tgx::JournalOp::Compare;
      else if (value == "delete") filter.Operation = tgx::JournalOp::Delete;
      else return UsageError("--operation принимает read, write, compare или delete");
    } else {
      return UsageError("неизвестный параметр " + a);
    }
  }
  tgx::JournalOpen opened;
  if (!OpenJournal(opened)) return kExitLoadFailed;
  // The label is matched without its trailing blank ("632" finds "632 "), so
  // the limit is applied here, after that filter.
  const tgx::ListResult listed = opened.Instance->List(filter, version ? 0 : static_cast<int>(limit));
  if (!listed.Ok) {
    std::fprintf(stderr, "tgxctl: %s\n", tgx::ToUtf8(listed.Message).c_str());
    return kExitLoadFailed;
  }
  int64_t shown = 0;
  for (const tgx::SessionSummary& s : listed.Sessions) {
    if (version && Trimmed(s.VersionLabel) != *version) continue;
    if (limit > 0 && shown == limit) break;
    ++shown;
    Out(std::to_string(s.Id) + "\t" + IsoUtc(s.Started) + "\t" + tgx::JournalOpName(s.Operation) + "\t" +
        Field(s.Port.empty() ? "-" : s.Port) + "\t" + Field(tgx::ToUtf8(s.VersionLabel)) + "\t" +
        Field(tgx::ToUtf8(s.StatusText)) + "\t" + (s.TableCount < 0 ? "-" : std::to_string(s.TableCount)) + "\t" +
        (s.BackupCount >= 0 ? "backup" : "-") + "\n");
  }
  return kExitOk;
}

int Export(const std::vector<std::string>& args) {
  std::vector<std::string> operands;
  bool backup = false;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--backup") backup = true;
    else if (args[i].rfind("--", 0) == 0) return UsageError("неизвестный параметр " + args[i]);
    else operands.push_back(args[i]);
  }
  int64_t id = 0;
  if (operands.size() != 2) return UsageError("export: нужны ИД и ВЫХОД");
  if (!ParseCount(operands[0], id)) return UsageError("export: ИД — номер сеанса из journal list");
  if (!SaveTargetAcceptable(operands[1])) return kExitLoadFailed;

  tgx::JournalOpen opened;
  if (!OpenJournal(opened)) return kExitLoadFailed;
  const tgx::LoadResult loaded = opened.Instance->Load(id);
  if (loaded.Status == tgx::LoadStatus::NotFound) {
    std::fprintf(stderr, "tgxctl: сеанса %lld в журнале нет\n", static_cast<long long>(id));
    return kExitLoadFailed;
  }
  if (loaded.Status != tgx::LoadStatus::Loaded) {
    std::fprintf(stderr, "tgxctl: %s\n", tgx::ToUtf8(loaded.Message).c_str());
    return kExitLoadFailed;
  }
  const tgx::SessionRecord& s = loaded.Session;
  const bool useBackup = backup && s.Backup.has_value();
  const std::optional<GROUPTAB>& chosen = useBackup ? s.Backup : s.Tables;
  if (!chosen) {
    std::fprintf(stderr, "tgxctl: %s\n",
                 loaded.Message.empty() ? "в сеансе нет таблиц" : tgx::ToUtf8(loaded.Message).c_str());
    return kExitLoadFailed;
  }
  if (chosen->Count() == 0) {
    OutLine1251(NoTablesText());
    return kExitOk;
  }
  EPROJECT project;
  project.FromTables(*chosen, ReadProjectName());
  return SaveAndPrint(project, std::filesystem::path(operands[1]).replace_extension(".fs").string());
}
}  // namespace

std::string JournalUsage() {
  return "Журнал сеансов (TGX_DATA_DIR или ~/.local/share/tgx/journal.sqlite):\n"
         "  tgxctl journal list [--limit N] [--port COMn] [--version МЕТКА] [--operation read|write|compare|delete]\n"
         "                                 новые первыми: ид, начало (UTC), операция, порт (\"-\" для --device),\n"
         "                                 версия, состояние, число таблиц (\"-\" нет), backup или \"-\"\n"
         "  tgxctl journal export ИД ВЫХОД [--backup]\n"
         "                                 таблицы сеанса (с --backup: резервная копия БВ, когда она есть)\n"
         "                                 в проект ВЫХОД с расширением .fs, как read; печатает путь\n";
}

int RunJournalCommand(const std::vector<std::string>& args) {
  if (args.size() >= 2 && args[1] == "list") return List(args);
  if (args.size() >= 2 && args[1] == "export") return Export(args);
  return UsageError("нужно list или export");
}
}  // namespace tgxctl
