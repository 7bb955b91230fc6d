#include "link/session/Outcome.h"

#include <algorithm>

#include "link/Versions.h"
#include "model/Cp1251.h"

namespace {
// From the 621a on, firmware that does not restart by itself keeps new tables
// but takes them only at the next power-on; older ones need no notice.
constexpr int kFirstPowerCycleId = kVersionId621a;
}  // namespace

std::vector<std::string> ChangeNoticeLines(uint8_t versionId) {
  // The id is judged as a signed byte: an id past 127 is no firmware that
  // restarts or needs a power cycle.
  const int id = static_cast<int8_t>(versionId);
  if (id >= kFirstRestartingId) return {tgx::FromUtf8("Выполняется перезагрузка системы")};
  if (id >= kFirstPowerCycleId)
    return {tgx::FromUtf8("Внимание !"), tgx::FromUtf8("Чтобы записанный проект стал активным,"),
            tgx::FromUtf8("необходимо переключить питание системы")};
  return {};
}

std::string WriteDoneText() { return tgx::FromUtf8("Запись таблиц завершена."); }
std::string DeleteDoneText() { return tgx::FromUtf8("Таблицы удалены."); }
std::string NoTablesText() { return tgx::FromUtf8("Таблицы объёма в системе отсутствуют"); }
std::string ReadProjectName() { return tgx::FromUtf8("Система"); }

CompareVerdict CompareTables(const GROUPTAB& unit, const GROUPTAB& project) {
  if (unit.Count() == 0) return CompareVerdict::NoTables;
  return unit == project ? CompareVerdict::Same : CompareVerdict::Differ;
}

std::string VerdictText(CompareVerdict v) {
  switch (v) {
    case CompareVerdict::Same: return tgx::FromUtf8("Таблицы системы совпадают с проектом.");
    case CompareVerdict::Differ: return tgx::FromUtf8("Таблицы системы отличны от проекта !");
    case CompareVerdict::NoTables: break;
  }
  return NoTablesText();
}

namespace {
bool HasTable(const GROUPTAB& g, int k) { return k < g.Count() && g.Table(k).Count() > 0; }
}  // namespace

std::vector<TableDiff> DiffTables(const GROUPTAB& unit, const GROUPTAB& project) {
  std::vector<TableDiff> out;
  const int n = std::max(unit.Count(), project.Count());
  for (int k = 0; k < n; ++k) {
    const bool inUnit = HasTable(unit, k);
    const bool inProject = HasTable(project, k);
    if (inUnit && inProject) {
      if (!(unit.Table(k) == project.Table(k))) out.push_back({k + 1, TableDiffKind::Differs});
    } else if (inProject) {
      out.push_back({k + 1, TableDiffKind::Missing});
    } else if (inUnit) {
      out.push_back({k + 1, TableDiffKind::Extra});
    }
  }
  return out;
}

const char* DiffKindName(TableDiffKind k) {
  switch (k) {
    case TableDiffKind::Differs: return "differs";
    case TableDiffKind::Missing: return "missing";
    case TableDiffKind::Extra: return "extra";
  }
  return "differs";
}

std::string DiffText(const std::vector<TableDiff>& diffs) {
  std::string out;
  for (const TableDiff& d : diffs) {
    if (!out.empty()) out += '\n';
    out += tgx::FromUtf8("Канал ") + std::to_string(d.Channel) + ": ";
    switch (d.Kind) {
      case TableDiffKind::Differs: out += tgx::FromUtf8("отличается"); break;
      case TableDiffKind::Missing: out += tgx::FromUtf8("нет в БВ"); break;
      case TableDiffKind::Extra: out += tgx::FromUtf8("нет в проекте"); break;
    }
  }
  return out;
}
