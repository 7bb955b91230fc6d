// Form commands: the same loading, checking, conversion and packing that the
// windows use, printed one record per line for scripts.

#include <cstdio>
#include <string>
#include <vector>

#include "forms/Fdata.h"
#include "forms/Readback.h"
#include "link/Arjvol.h"
#include "model/Cp1251.h"
#include "model/Messages.h"
#include "model/Prjvol.h"
#include "model/Safesave.h"
#include "project/Eprj.h"
#include "tgxctl/Commands.h"
#include "tgxctl/Output.h"

namespace tgxctl {
namespace {
int UsageError(const char* what) {
  std::fprintf(stderr, "tgxctl: %s; подробности: tgxctl --help\n", what);
  return kExitUsage;
}

// Loads as the import dialog does; the loader's message goes to stderr.
bool LoadProject(const std::string& path, EPROJECT& project) { return project.Load(path); }

std::string Join(const std::vector<int32_t>& v) {
  std::string s;
  for (size_t i = 0; i < v.size(); ++i) {
    if (i) s += ' ';
    s += std::to_string(v[i]);
  }
  return s;
}

// `why`: the reason of each form that does not convert goes to stderr as
// "<channel>\t<reason>", so stdout keeps its records.
int Check(const std::string& file, bool why) {
  EPROJECT p;
  if (!LoadProject(file, p)) return kExitLoadFailed;
  p.Check();
  for (int i = 0; i < p.FormCount(); ++i) {
    Out(std::to_string(i + 1) + "\t" + p.ControlMark(i) + "\t" + std::to_string(p.Form(i).RowCount()) + "\t" +
        tgx::ToUtf8(p.Form(i).Title()) + "\n");
    if (why && !p.IsGap(i) && !p.Converted(i)) {
      std::string reason = tgx::ToUtf8(ConversionFailureText(p.Form(i)));
      for (char& c : reason)
        if (c == '\n' || c == '\r') c = ' ';
      std::fprintf(stderr, "%d\t%s\n", i + 1, reason.c_str());
    }
  }
  return kExitOk;
}

int Tables(const std::string& file) {
  EPROJECT p;
  if (!LoadProject(file, p)) return kExitLoadFailed;
  GROUPTAB tables;
  p.ToTables(tables);
  for (int i = 0; i < p.FormCount(); ++i) {
    const std::string channel = std::to_string(i + 1);
    if (!p.Converted(i)) {
      Out(channel + "\t-\n");
      continue;
    }
    const PARTAB& t = tables.Table(i);
    Out(channel + "\t" + std::to_string(t.Count()) + "\t" + Join(t.Values()) + "\n");
  }
  return kExitOk;
}

int Convert(const std::string& file, const std::string& out) {
  if (!SaveTargetAcceptable(out)) return kExitLoadFailed;
  EPROJECT converted;
  if (const int code = LoadAndConvert(file, converted, "файл не записан")) return code;
  return SaveAndPrint(converted, FDATA::FileNameForType(out, 1));
}

std::string Hex(const uint8_t* bytes, int32_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(static_cast<size_t>(n) * 3);
  for (int32_t i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += kDigits[bytes[i] >> 4];
    s += kDigits[bytes[i] & 15];
  }
  return s;
}

int Pack(const std::string& file, int32_t mode) {
  EPROJECT p;
  if (!LoadProject(file, p)) return kExitLoadFailed;
  GROUPTAB tables;
  p.ToTables(tables);
  TArjTab packer(mode);
  packer.Pack(tables);
  const TableDirectory& d = packer.Directory;
  Out("errors\t" + std::to_string(packer.Errors) + "\n");
  Out("unique\t" + std::to_string(d.UniqueCount) + "\n");
  Out("slots\t" + Join({d.Slots.begin(), d.Slots.end()}) + "\n");
  Out("counts\t" + Join({d.Counts.begin(), d.Counts.end()}) + "\n");
  Out("size\t" + std::to_string(packer.Size()) + "\n");
  Out("image\t" + Hex(packer.Bytes(), packer.Size()) + "\n");
  return kExitOk;
}
}  // namespace

bool SaveTargetAcceptable(const std::string& out) {
  std::string message;
  if (CheckSaveTarget(out, message)) return true;
  std::fprintf(stderr, "tgxctl: %s\n", tgx::ToUtf8(message).c_str());
  return false;
}

int SaveAndPrint(EPROJECT& project, const std::string& path) {
  // The target as extended may still be a folder or a device.
  if (!SaveTargetAcceptable(path)) return kExitLoadFailed;
  if (!project.Save(path)) {
    std::fprintf(stderr, "tgxctl: файл %s не записан\n", path.c_str());
    return kExitLoadFailed;
  }
  Out(path + "\n");
  return kExitOk;
}

int LoadAndConvert(const std::string& file, EPROJECT& converted, const char* consequence) {
  EPROJECT source;
  if (!LoadProject(file, source)) return kExitLoadFailed;
  source.Check();
  for (int i = 0; i < source.FormCount(); ++i) {
    if (!source.IsGap(i) && !source.Converted(i)) {
      std::fprintf(stderr, "Форма %d (%s) не преобразуется в таблицу; %s.\n", i + 1,
                   tgx::ToUtf8(source.Form(i).Title()).c_str(), consequence);
      return kExitNotConverted;
    }
  }
  converted.ConvertFrom(source);
  return kExitOk;
}

std::string FormUsage() {
  return "Команды форм (вывод UTF-8, одна запись в строке, поля через TAB):\n"
         "  tgxctl check ФАЙЛ [--why]      канал, контроль (\"OK \", \"OK*\", \"-\" или пусто для пропуска),\n"
         "                                 число строк и заголовок каждой формы; --why: причина каждой\n"
         "                                 непреобразуемой формы на stderr (канал TAB причина)\n"
         "  tgxctl tables ФАЙЛ             канал, число значений и значения таблицы объёма каждой формы\n"
         "                                 (\"-\" для формы, которая не преобразуется)\n"
         "  tgxctl convert ФАЙЛ ВЫХОД      импорт: все формы в тип 1 (.fs), по строке на сантиметр;\n"
         "                                 печатает путь записанного файла\n"
         "  tgxctl pack ФАЙЛ [--mode 0|1]  упаковка таблиц: errors, unique, slots, counts, size, image\n";
}

int RunFormCommand(const std::vector<std::string>& args) {
  const std::string& cmd = args[0];
  if (cmd == "check") {
    std::vector<std::string> files;
    bool why = false;
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--why") why = true;
      else files.push_back(args[i]);
    }
    if (files.size() != 1) return UsageError("команде нужен один файл");
    return Check(files[0], why);
  }
  if (cmd == "tables") {
    if (args.size() != 2) return UsageError("команде нужен один файл");
    return Tables(args[1]);
  }
  if (cmd == "convert") {
    if (args.size() != 3) return UsageError("convert: нужны ФАЙЛ и ВЫХОД");
    return Convert(args[1], args[2]);
  }
  if (cmd == "pack") {
    int32_t mode = 0;
    std::string file;
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--mode") {
        if (i + 1 >= args.size() || (args[i + 1] != "0" && args[i + 1] != "1"))
          return UsageError("--mode принимает 0 или 1");
        mode = args[++i] == "1" ? 1 : 0;
      } else if (file.empty()) {
        file = args[i];
      } else {
        return UsageError("pack: лишний аргумент");
      }
    }
    if (file.empty()) return UsageError("pack: нужен файл");
    return Pack(file, mode);
  }
  return UsageError("неизвестная команда");
}
}  // namespace tgxctl
