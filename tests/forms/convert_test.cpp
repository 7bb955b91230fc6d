// One form: its data-line syntax and row operations, the number readers, the
// conversion into a volume table (the unit's single-precision line arithmetic,
// the resampling of level/volume pairs), why a form does not convert, and the
// texts a form file would not give back unchanged.

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "forms/Convert.h"
#include "forms/Fdata.h"
#include "forms/Forma.h"
#include "forms/Readback.h"
#include "model/Cp1251.h"
#include "model/Prjvol.h"

namespace tgxtest {
namespace {
using Values = std::vector<int32_t>;
using Texts = std::vector<std::string>;

// Cells of types 4 and 5 alternate level and volume; other types hold
// volumes only.
FORMA Form(int32_t type, const std::vector<std::string>& cells) {
  FORMA f;
  f.SetType(type);
  const size_t step = type >= 4 ? 2 : 1;
  for (size_t i = step - 1; i < cells.size(); i += step) f.AppendRow(step == 2 ? cells[i - 1] : "", cells[i]);
  f.CountDefined();
  return f;
}

TEST(ReadFormInteger, AcceptsDecimalAndHexWithinThirtyTwoBits) {
  const std::pair<const char*, std::optional<int32_t>> cases[] = {
      {"  42", 42}, {"-5", -5}, {"+7", 7}, {"$1F", 31}, {"x10", 16}, {"0X1f", 31}, {"-$10", -16},
      {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"$7FFFFFFF", INT32_MAX}, {"2147483648", {}},
      {"-2147483649", {}}, {"$80000000", {}}, {"99999999999999999999", {}}, {"", {}}, {"-", {}}, {"$", {}},
      {"0x", {}}, {"12 ", {}}, {"1.5", {}}, {"1e3", {}}, {"0x1G", {}}, {"--1", {}}};
  for (const auto& [text, want] : cases) {
    int32_t v = 0;
    EXPECT_EQ(ReadFormInteger(text, v) ? std::optional(v) : std::nullopt, want) << text;
  }
}

TEST(FormRowOfIndex, FirstRowAtOrAboveTheEntrysLevel) {
  const struct {
    const char* what;
    int32_t type;
    std::vector<std::string> cells;  // as Form() takes them
    int32_t index;
    int row;
  } cases[] = {
      // Generated levels 0, 10, 20, ... mm: row i stands for entry i.
      {"litres at 2 cm", 1, {"0", "5", "9", "12"}, 2, 2},
      {"litres beyond the last level", 3, {"0", "5", "9"}, 40, 2},
      // Pairs: levels in tenths of a millimetre, 100 to the centimetre.
      {"pairs on a measured level", 4, {"0", "0", "1000", "50", "2500", "200"}, 10, 1},
      {"pairs between two levels", 4, {"0", "0", "1000", "50", "2500", "200"}, 12, 2},
      {"pairs in file order, not sorted", 4, {"2500", "200", "0", "0", "1000", "50"}, 5, 0},
      {"a level that is no number is passed over", 4, {"0", "0", "?", "50", "2500", "200"}, 10, 2},
      // Increments: the index is the level itself.
      {"increments", 5, {"0", "1", "100", "2", "200", "3"}, 100, 1},
      {"no row in a form without rows", 4, {}, 0, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(FormRowOfIndex(Form(c.type, c.cells), c.index), c.row) << c.what;
}

TEST(ConvertForm, TablesOfEachType) {
  const Values first{0,  5,  10,  15,  20,  25,  30,  35,  40,  45,  50,  60,  70, 80,
                     90, 100, 110, 120, 130, 140, 150, 160, 170, 180, 190, 200, 210};
  const struct {
    int32_t type;
    std::vector<std::string> cells;
    Values want;  // none: the form is refused
  } cases[] = {
      {4, {"0", "0", "1000", "50", "2500", "200"}, first},
      {4, {"2500", "200", "1000", "50", "0", "0"}, first},
      // 10 mm lies on the line through 0/0 and 30/12 and gives 3.99999988: 3.
      {4, {"305", "12", "1505", "80"}, {0, 3, 7, 12, 17, 23, 29, 34, 40, 46, 51, 57, 63, 68, 74, 80, 85}},
      {4, {"0", "100", "100", "200"}, {100, 200, 300}},  // a first level of 0 is exact
      // Equal levels: the first in file order gives the exact value; equal
      // top levels give the top volume above them.
      {4, {"0", "0", "100", "7", "100", "9"}, {0, 7, 9}},
      {4, {"100", "9", "0", "0", "100", "7"}, {0, 9, 7}},
      {4, {"-390", "0", "-190", "20"}, {39}},  // -19 mm still leaves one entry, -20 mm none
      {4, {"-400", "0", "-200", "20"}, {}},     {4, {"100", "5"}, {}},  {4, {"0", "0", "100", "?"}, {}},
      {4, {"0", "0", "100000000", "1"}, {}},   // a stray digit must not cost gigabytes
      {4, {"0", "0", "6553400", "5"}, {}},     // one centimetre more than 65535 entries hold
      {4, {"0", "0", "10", "2147483647"}, {}},  // leaves 32 bits: refused, not wrapped
      {5, {"1", "2"}, {}}, {0, {"1", "2"}, {}},
      {1, {"0", "10", "25"}, {0, 10, 25}}, {3, {"0", "-10", "$10"}, {0, -10, 16}},
      {2, {"0.123", "1,0005", "0.0001", "1,5", "-0.5", "1e-9999"}, {123, 1000, 0, 1500, -500, 0}},
      {2, {".5", "5.", "2,5E-1", "+3", "  -2", "1e3"}, {500, 5000, 250, 3000, -2000, 1000000}},
      {2, {"2147483.647"}, {}},  // rounds to 2^31 in single precision
      {2, {"1e9999"}, {}}, {2, {"inf"}, {}}, {2, {"nan"}, {}}, {2, {"1,5 "}, {}}, {2, {"0x10"}, {}}, {2, {"1.2.3"}, {}},
  };
  for (const auto& c : cases) {
    PARTAB t;
    EXPECT_EQ(ConvertForm(Form(c.type, c.cells), t) ? t.Values() : Values{}, c.want) << c.type << " " << c.cells[0];
  }
}

// Long enough for the radix sort, shuffled, with negative levels and every
// level typed twice: each entry takes the first volume typed at its level.
TEST(ConvertForm, LongShuffledFormTakesTheFirstVolumeAtEachLevel) {
  std::vector<int> order(605);
  std::iota(order.begin(), order.end(), -5);
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  std::vector<std::string> cells;
  for (int copy = 0; copy < 2; ++copy)
    for (int k : order) cells.insert(cells.end(), {std::to_string(k * 100), std::to_string(k * k + copy)});
  PARTAB t;
  ASSERT_TRUE(ConvertForm(Form(4, cells), t));
  const Values v = t.Values();
  ASSERT_EQ(v.size(), 601u);
  for (int i = 0; i < 600; ++i) ASSERT_EQ(v[i], i * i) << i;
}

TEST(SecondDifference, FlagsValuesOutsideOneSignedByte) {
  const struct {
    Values in, out;
    bool smooth;
  } cases[] = {
      {{0, 5, 10, 20, 40}, {0, 0, 0, 5, 10}, true}, {{0, 0, 127}, {0, 0, 127}, true}, {{7, 900}, {0, 0}, true},
      {{0, 0, -128}, {0, 0, -128}, true}, {{0, 0, 128, 256}, {0, 0, 128, 0}, false},
      {{0, 0, -129, -258}, {0, 0, -129, 0}, false},
      {{INT32_MIN, INT32_MAX, INT32_MIN}, {0, 0, 2}, false},  // must not overflow
  };
  for (const auto& c : cases) {
    PARTAB in, out;
    for (int32_t v : c.in) in.Append(v);
    EXPECT_EQ(SecondDifference(in, out), c.smooth) << c.in.back();
    EXPECT_EQ(out.Values(), c.out) << c.in.back();
  }
}

// The field's desktops run with a decimal comma in their locale.
TEST(ConvertForm, IgnoresTheProcessLocale) {
  if (!std::setlocale(LC_ALL, "ru_RU.UTF-8") && !std::setlocale(LC_ALL, "ru_RU.utf8")) GTEST_SKIP() << "no ru_RU locale";
  PARTAB t;
  const bool converted = ConvertForm(Form(2, {"1.5", "1,5", "0.123"}), t);
  std::setlocale(LC_ALL, "C");
  EXPECT_TRUE(converted);
  EXPECT_EQ(t.Values(), (Values{1500, 1500, 123}));
}

TEST(FormaParseLine, FindsTheValuesOfEachType) {
  const struct {
    int32_t type;
    const char* line;
    Texts levels, volumes;
  } cases[] = {
      {1, "| 10 20 * 30", {"0", "10"}, {"10", "20"}}, {1, "|-5 1.5", {"0", "10", "20"}, {"5", "1", "5"}},
      {2, "  1,25  3.5", {"0", "10"}, {"1.25", "3.5"}}, {4, "| 1050 ? 7", {"1050"}, {"?"}},
      {4, "| -5", {"-5"}, {""}}, {4, "1050 7", {}, {}}, {4, "|  a1055b;7c", {"1055"}, {"7"}}, {0, "| 100 3", {}, {}},
      // Runs that cross and end on eight-byte boundaries, and lines ending inside a run.
      {4, "|         123456789012345678        7", {"123456789012345678"}, {"7"}},
      {1, "|1 22 333 4444 55555 666666 7777777 88888888 999999999",
       {"0", "10", "20", "30", "40", "50", "60", "70", "80"},
       {"1", "22", "333", "4444", "55555", "666666", "7777777", "88888888", "999999999"}},
  };
  for (const auto& c : cases) {
    FORMA f;
    f.SetType(c.type);
    f.ParseLine(c.line);
    EXPECT_EQ(f.Levels(), c.levels) << c.type << " '" << c.line << "'";
    EXPECT_EQ(f.Volumes(), c.volumes) << c.type << " '" << c.line << "'";
  }
}

TEST(Forma, RowOperations) {
  FORMA f, p;
  f.Init(1);
  f.DeleteRow(0);  // two rows: refused
  f.AppendRow("999", "2");
  f.InsertRow(0, "", "9");
  f.DeleteRow(1);
  EXPECT_EQ(f.Levels(), (Texts{"0", "10", "20"}));  // generated levels are renumbered
  EXPECT_EQ(f.Volumes(), (Texts{"9", "1", "2"}));
  p.Init(4);
  p.InsertRow(1, "55", "5");
  p.DeleteRow(0);
  EXPECT_EQ(p.Levels(), (Texts{"55", "1"}));  // typed levels never are
}

FORMA FormOfType(int32_t type) {
  FORMA f;
  f.Init(type);
  return f;
}

TEST(Readback, TellsWhetherATextReadsBackAndHowManyValuesItGives) {
  const struct {
    int32_t type;
    bool volume;
    const char* text;
    bool safe;
    int32_t values;
  } cases[] = {
      {1, true, "1234", true, 1},     {1, true, " 12 ", true, 1},   {1, true, "12x4", false, 2},
      {1, true, "5OO", false, 1},     {1, true, "-300", false, 1},  {1, true, "", false, 0},
      {1, false, "anything", true, 1}, {2, true, "1,25", true, 1},   {2, true, "-1.5", false, 1},
      {2, true, "1e5", false, 2},     {4, false, "?", true, 1},     {4, false, "", false, 0},
      {4, false, "10 5", false, 2},   {4, true, "-300", true, 1},   {4, true, "", true, 0},
      {1, true, "12\n# t", false, 1}, {4, true, "7\n| 8", false, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " \"" + c.text + '"');
    EXPECT_EQ(TextReadsBack(FormOfType(c.type), c.text, c.volume), c.safe);
    EXPECT_EQ(ValuesReadBack(FormOfType(c.type), c.text, c.volume), c.values);
  }
}

TEST(Readback, FindsTheFirstUnsafeTextAndWhatItReadsAs) {
  FORMA f;
  f.Init(4);
  f.AppendRow("200", "12x4");
  f.AppendRow("x", "5");
  auto t = FirstUnsafeText(f);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(std::tie(t->Row, t->Volume, t->Text, t->Values), std::make_tuple(2, true, std::string("12x4"), 2));
  f.Init(1);
  f.SetVolumeText(1, "-300");
  t = FirstUnsafeText(f);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->ReadAs, "300");
  for (int32_t type = 1; type <= 5; ++type) EXPECT_FALSE(FirstUnsafeText(FormOfType(type))) << "fresh form " << type;
}

TEST(Readback, AsksInTheOperatorsWords) {
  const struct {
    UNSAFETEXT t;
    const char* question;
  } cases[] = {
      {{13, true, "12x4", 2, ""}, "Форма 2, строка 14: \"12x4\" будет прочитано как два значения. Сохранить?"},
      {{0, true, "-300", 1, "300"}, "Форма 2, строка 1: \"-300\" будет прочитано как 300. Сохранить?"},
      {{4, false, "abc", 0, ""}, "Форма 2, строка 5: \"abc\" не будет прочитано. Сохранить?"},
      {{4, true, "1 2 3 4 5", 5, ""}, "Форма 2, строка 5: \"1 2 3 4 5\" будет прочитано как 5 значений. Сохранить?"},
  };
  for (const auto& c : cases) EXPECT_EQ(tgx::ToUtf8(UnsafeTextQuestion(1, c.t)), c.question);
  EXPECT_LT(UnsafeTextQuestion(0, UNSAFETEXT{0, true, std::string(5000, 'x'), 0, ""}).size(), 200u) << "cut short";
}

TEST(ConversionFailure, NamesTheRowAndTheTextThatStopTheConversion) {
  const std::vector<std::tuple<int32_t, std::string, std::string>> cases = {
      {1, "| 1 2", ""},
      {4, "| 0 0\n| 10", "строка 2: объём «» не является целым числом литров"},
      {4, "| 0 0\n| ? 5", "строка 2: уровень «?» не является целым числом"},
      {2, "0.5\n1.2.3", "строка 2: объём «1.2.3» не является числом кубических метров или слишком велик"},
      {1, "| 5 " + std::string(40, '9'),
       "строка 2: объём «" + std::string(32, '9') + "…» не является целым числом литров"},
      {4, "| -400 0\n| -300 5", "уровни пар вне допустимого диапазона: таблица не строится"},
  };
  for (const auto& [type, lines, reason] : cases) {
    FDATA forms;
    ASSERT_TRUE(forms.ReadText("# a\n" + lines + "\n", type)) << lines;
    EXPECT_EQ(tgx::ToUtf8(ConversionFailureText(forms.Form(0))), reason) << lines;
  }
  EXPECT_EQ(tgx::ToUtf8(ConversionFailureText(FormOfType(5))), "форма приращений объёма (тип 5) не переводится в таблицу");
}

}  // namespace
}  // namespace tgxtest
