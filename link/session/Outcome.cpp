#include "link/session/Outcome.h"

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
