#pragma once
// What a finished session tells the operator: the done texts, the notice after
// a change of the unit's tables, the compare verdict. The main window and
// tgxctl both report through these, so the two never disagree. All texts are
// Windows-1251.

#include <cstdint>
#include <string>
#include <vector>

#include "model/Prjvol.h"

// Lines that follow a successful write or delete: a restart notice for the
// firmware that restarts itself, a power-cycle notice for the older ones that
// keep new tables, none for the oldest.
std::vector<std::string> ChangeNoticeLines(uint8_t versionId);
std::string WriteDoneText();   // "Запись таблиц завершена."
std::string DeleteDoneText();  // "Таблицы удалены."
std::string NoTablesText();    // "Таблицы объёма в системе отсутствуют"
std::string ReadProjectName(); // "Система": the name of a project built from the unit's tables

enum class CompareVerdict { Same, Differ, NoTables };
// NoTables when the unit holds no table at all.
CompareVerdict CompareTables(const GROUPTAB& unit, const GROUPTAB& project);
std::string VerdictText(CompareVerdict v);

// Which channels differ between the unit's tables and the project's. An empty
// table is no table, so two sets that differ only in gaps after their last
// table (which CompareTables still calls different) give no difference. Missing: in the project, not in the unit; Extra: in the
// unit, not in the project.
enum class TableDiffKind { Differs, Missing, Extra };
struct TableDiff {
  int32_t Channel;  // 1-based
  TableDiffKind Kind;
  friend bool operator==(const TableDiff&, const TableDiff&) = default;
};
std::vector<TableDiff> DiffTables(const GROUPTAB& unit, const GROUPTAB& project);
// "differs", "missing", "extra": the words of tgxctl's compare lines.
const char* DiffKindName(TableDiffKind k);
// One line a channel, for the detail under the compare verdict:
// "Канал 2: отличается", "Канал 5: нет в БВ", "Канал 7: нет в проекте".
std::string DiffText(const std::vector<TableDiff>& diffs);
