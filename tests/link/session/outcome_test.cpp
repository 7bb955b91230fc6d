// What a finished session reports: the notice after a change by version id,
// and the compare verdict.

#include <gtest/gtest.h>

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
  const struct {
    uint8_t id;
    const Strings* lines;
  } cases[] = {
      {0, nullptr},       {3, nullptr},     {4, &kPowerCycle}, {9, &kPowerCycle},  {10, &kRestart},
      {33, &kRestart},    {127, &kRestart}, {128, nullptr},    {200, nullptr},     {255, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.id));
    EXPECT_EQ(Utf8(ChangeNoticeLines(c.id)), c.lines ? *c.lines : Strings{});
  }
}

GROUPTAB OneTable(int32_t last) {
  PARTAB t(3);
  t[0] = 0;
  t[1] = 10;
  t[2] = last;
  GROUPTAB set;
  set.Add(t);
  return set;
}

TEST(CompareVerdict, OfUnitAndProjectTables) {
  const GROUPTAB none;
  EXPECT_EQ(CompareTables(OneTable(20), OneTable(20)), CompareVerdict::Same);
  EXPECT_EQ(CompareTables(OneTable(20), OneTable(21)), CompareVerdict::Differ);
  EXPECT_EQ(CompareTables(none, OneTable(20)), CompareVerdict::NoTables);
  EXPECT_EQ(CompareTables(none, none), CompareVerdict::NoTables);
  EXPECT_EQ(CompareTables(OneTable(20), none), CompareVerdict::Differ);
}

TEST(CompareVerdict, Texts) {
  EXPECT_EQ(tgx::ToUtf8(VerdictText(CompareVerdict::Same)), "Таблицы системы совпадают с проектом.");
  EXPECT_EQ(tgx::ToUtf8(VerdictText(CompareVerdict::Differ)), "Таблицы системы отличны от проекта !");
  EXPECT_EQ(VerdictText(CompareVerdict::NoTables), NoTablesText());
  EXPECT_EQ(tgx::ToUtf8(NoTablesText()), "Таблицы объёма в системе отсутствуют");
}
}  // namespace
}  // namespace tgxtest
