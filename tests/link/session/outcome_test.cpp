// What a finished session reports: the notice after a change by version id,
// and the compare verdict.

#include <gtest/gtest.h>

#include <tuple>

#include "link/session/Outcome.h"
#include "model/Cp1251.h"

namespace tgxtest {
namespace {
using Strings = std::vector<std::string>;

Strings Utf8(const Strings& cp1251) {
  Strings out;
  for (const auto& s : cp1251) out.push_back(tgx::ToUtf8(s));
  return out;
}

const Strings kRestart = {"Выполняется перезагрузка системы"};
const Strings kPowerCycle = {"Внимание !", "Чтобы записанный проект стал активным,",
                             "необходимо переключить питание системы"};

TEST(ChangeNotice, ByVersionId) {
  const std::pair<uint8_t, const Strings*> cases[] = {
      {3, nullptr}, {4, &kPowerCycle}, {9, &kPowerCycle}, {10, &kRestart}, {127, &kRestart}, {128, nullptr},
  };
  for (const auto& [id, lines] : cases) EXPECT_EQ(Utf8(ChangeNoticeLines(id)), lines ? *lines : Strings{}) << int(id);
}

// A set whose channel k (0-based) holds `fill[k]` entries of value `base[k]`
// (0 entries: a gap).
GROUPTAB Set(std::initializer_list<std::pair<int, int>> channels) {
  GROUPTAB g;
  for (const auto& [n, base] : channels) {
    PARTAB t(n);
    for (int i = 0; i < n; ++i) t[i] = base + i;
    g.Add(t);
  }
  return g;
}

TEST(CompareVerdict, OfUnitAndProjectTables) {
  const GROUPTAB none;
  EXPECT_EQ(CompareTables(Set({{3, 0}}), Set({{3, 0}})), CompareVerdict::Same);
  EXPECT_EQ(CompareTables(Set({{3, 0}}), Set({{3, 1}})), CompareVerdict::Differ);
  EXPECT_EQ(CompareTables(none, Set({{3, 0}})), CompareVerdict::NoTables);
  EXPECT_EQ(CompareTables(Set({{3, 0}}), none), CompareVerdict::Differ);
}

TEST(CompareVerdict, Texts) {
  EXPECT_EQ(tgx::ToUtf8(VerdictText(CompareVerdict::Same)), "Таблицы системы совпадают с проектом.");
  EXPECT_EQ(tgx::ToUtf8(VerdictText(CompareVerdict::Differ)), "Таблицы системы отличны от проекта !");
  EXPECT_EQ(VerdictText(CompareVerdict::NoTables), NoTablesText());
  EXPECT_EQ(tgx::ToUtf8(NoTablesText()), "Таблицы объёма в системе отсутствуют");
}

TEST(TableDiff, ChannelsAndKinds) {
  using K = TableDiffKind;
  const std::tuple<const char*, GROUPTAB, GROUPTAB, std::vector<TableDiff>> cases[] = {  // name, unit, project, diffs
      {"same", Set({{5, 0}, {0, 0}, {3, 7}}), Set({{5, 0}, {0, 0}, {3, 7}}), {}},
      {"values differ", Set({{5, 0}, {3, 7}}), Set({{5, 0}, {3, 8}}), {{2, K::Differs}}},
      {"lengths differ", Set({{5, 0}}), Set({{6, 0}}), {{1, K::Differs}}},
      {"not in the unit", Set({{5, 0}}), Set({{5, 0}, {0, 0}, {4, 1}}), {{3, K::Missing}}},
      {"not in the project", Set({{5, 0}, {4, 1}}), Set({{5, 0}, {0, 0}}), {{2, K::Extra}}},
      {"a trailing gap is no table", Set({{5, 0}}), Set({{5, 0}, {0, 0}}), {}},
      {"unit empty", Set({}), Set({{2, 0}, {2, 0}}), {{1, K::Missing}, {2, K::Missing}}},
      {"sixteenth channel", Set({{1, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0},
                                {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {2, 0}}),
       Set({{1, 0}}), {{16, K::Extra}}},
  };
  for (const auto& [name, unit, project, diffs] : cases) EXPECT_EQ(DiffTables(unit, project), diffs) << name;
}

TEST(TableDiff, TextHasOneLineForEveryChannel) {
  const std::vector<TableDiff> diffs = {
      {2, TableDiffKind::Differs}, {5, TableDiffKind::Missing}, {7, TableDiffKind::Extra}};
  EXPECT_EQ(tgx::ToUtf8(DiffText(diffs)), "Канал 2: отличается\nКанал 5: нет в БВ\nКанал 7: нет в проекте");
  EXPECT_EQ(DiffText({}), "");
}

}  // namespace
}  // namespace tgxtest
