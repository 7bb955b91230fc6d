// What a finished session reports: the notice after a change by version id,
// the compare verdict and the differences by channel.

#include <gtest/gtest.h>

#include <tuple>

#include "link/session/Outcome.h"
#include "model/Cp1251.h"

namespace tgxtest {
namespace {
using Strings = std::vector<std::string>;

TEST(ChangeNotice, ByVersionId) {
  const Strings restart = {"Выполняется перезагрузка системы"};
  const Strings power = {"Внимание !", "Чтобы записанный проект стал активным,", "необходимо переключить питание системы"};
  const std::pair<uint8_t, Strings> cases[] = {
      {3, {}}, {4, power}, {9, power}, {10, restart}, {127, restart}, {128, {}},
  };
  for (const auto& [id, lines] : cases) {
    Strings got;
    for (const auto& s : ChangeNoticeLines(id)) got.push_back(tgx::ToUtf8(s));
    EXPECT_EQ(got, lines) << int(id);
  }
}

// A set whose channel k holds `n` entries counting up from `base` (0 entries: a gap).
GROUPTAB Set(std::initializer_list<std::pair<int, int>> channels) {
  GROUPTAB g;
  for (const auto& [n, base] : channels) {
    PARTAB t(n);
    for (int i = 0; i < n; ++i) t[i] = base + i;
    g.Add(t);
  }
  return g;
}

TEST(CompareVerdict, OfUnitAndProjectTablesAndItsText) {
  const std::tuple<GROUPTAB, GROUPTAB, CompareVerdict, const char*> cases[] = {  // unit, project, verdict, text
      {Set({{3, 0}}), Set({{3, 0}}), CompareVerdict::Same, "Таблицы системы совпадают с проектом."},
      {Set({{3, 0}}), Set({{3, 1}}), CompareVerdict::Differ, "Таблицы системы отличны от проекта !"},
      {Set({{3, 0}}), {}, CompareVerdict::Differ, "Таблицы системы отличны от проекта !"},
      {{}, Set({{3, 0}}), CompareVerdict::NoTables, "Таблицы объёма в системе отсутствуют"},
  };
  for (const auto& [unit, project, verdict, text] : cases) {
    EXPECT_EQ(CompareTables(unit, project), verdict) << text;
    EXPECT_EQ(tgx::ToUtf8(VerdictText(verdict)), text);
  }
  EXPECT_EQ(tgx::ToUtf8(NoTablesText()), "Таблицы объёма в системе отсутствуют");
}

TEST(TableDiff, ChannelsKindsAndText) {
  using K = TableDiffKind;
  const std::tuple<const char*, GROUPTAB, GROUPTAB, std::vector<TableDiff>> cases[] = {  // name, unit, project, diffs
      {"same, gap included", Set({{5, 0}, {0, 0}, {3, 7}}), Set({{5, 0}, {0, 0}, {3, 7}}), {}},
      {"values differ", Set({{5, 0}, {3, 7}}), Set({{5, 0}, {3, 8}}), {{2, K::Differs}}},
      {"lengths differ", Set({{5, 0}}), Set({{6, 0}}), {{1, K::Differs}}},
      {"not in the unit", Set({{5, 0}}), Set({{5, 0}, {0, 0}, {4, 1}}), {{3, K::Missing}}},
      {"not in the project", Set({{5, 0}, {4, 1}}), Set({{5, 0}, {0, 0}}), {{2, K::Extra}}},
      {"a trailing gap is no table", Set({{5, 0}}), Set({{5, 0}, {0, 0}}), {}},
  };
  for (const auto& [name, unit, project, diffs] : cases) EXPECT_EQ(DiffTables(unit, project), diffs) << name;
  EXPECT_EQ(tgx::ToUtf8(DiffText({{2, K::Differs}, {5, K::Missing}, {7, K::Extra}})),
            "Канал 2: отличается\nКанал 5: нет в БВ\nКанал 7: нет в проекте");
  EXPECT_EQ(DiffText({}), "");
}

}  // namespace
}  // namespace tgxtest
