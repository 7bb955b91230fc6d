// Form commands: the same loading, checking, conversion and packing that the
// windows use, printed one record per line for scripts.

#include <cstdio>
#include <string>
#include <vector>

#include "forms/Fdata.h"
#include "link/Arjvol.h"
#include "model/Cp1251.h"
#include "model/Messages.h"
#include "model/Prjvol.h"
#include "project/Eprj.h"
#include "tgxctl/Commands.h"

namespace tgxctl {
namespace {
void Out(const std::string& utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stdout); }

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

int Check(const std::string& file) {
  EPROJECT p;
  if (!LoadProject(file, p)) return kExitLoadFailed;
  p.Check();
  for (int i = 0; i < p.FormCount(); ++i) {
    Out(std::to_string(i + 1) + "\t" + p.ControlMark(i) + "\t" + std::to_string(p.Form(i).RowCount()) + "\t" +
        tgx::ToUtf8(p.Form(i).Title()) + "\n");
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
  EPROJECT converted;
  if (const int code = LoadAndConvert(file, converted, "файл не записан")) return code;
  const std::string path = FDATA::FileNameForType(out, 1);
  if (!converted.Save(path)) return kExitLoadFailed;
  Out(path + "\n");
  return kExitOk;
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
         "  tgxctl check ФАЙЛ              канал, контроль (\"OK \", \"OK*\", \"-\" или пусто для пропуска),\n"
         "                                 число строк и заголовок каждой формы\n"
         "  tgxctl tables ФАЙЛ             канал, число значений и значения таблицы объёма каждой формы\n"
         "                                 (\"-\" для формы, которая не преобразуется)\n"
         "  tgxctl convert ФАЙЛ ВЫХОД      импорт: все формы в тип 1 (.fs), по строке на сантиметр;\n"
         "                                 печатает путь записанного файла\n"
         "  tgxctl pack ФАЙЛ [--mode 0|1]  упаковка таблиц: errors, unique, slots, counts, size, image\n";
}

int RunFormCommand(const std::vector<std::string>& args) {
  const std::string& cmd = args[0];
  if (cmd == "check" || cmd == "tables") {
    if (args.size() != 2) return UsageError("команде нужен один файл");
    return cmd == "check" ? Check(args[1]) : Tables(args[1]);
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
