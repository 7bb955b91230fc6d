// Texts that a form file would not give back unchanged, the question asked
// before such a form is saved, and why a form does not convert.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "forms/Fdata.h"
#include "forms/Forma.h"
#include "forms/Readback.h"
#include "model/Cp1251.h"

namespace tgxtest {
namespace {

FORMA FormOfType(int32_t type) {
  FORMA f;
  f.Init(type);
  return f;
}

struct Case {
  int32_t type;
  bool volume;
  const char* text;
  bool safe;
  int32_t values;
};

const Case kCases[] = {
    {1, true, "1234", true, 1},      {1, true, " 12 ", true, 1},   {1, true, "12x4", false, 2},
    {1, true, "5OO", false, 1},      {1, true, "-300", false, 1},  {1, true, "", false, 0},
    {1, true, "abc", false, 0},      {1, true, "1.5", false, 2},   {1, true, "7*8", false, 1},
    {1, false, "anything", true, 1}, {3, true, "12x4", false, 2},  {3, true, "42", true, 1},
    {2, true, "1.25", true, 1},      {2, true, "1,25", true, 1},   {2, true, "-1.5", false, 1},
    {2, true, ".5", false, 1},       {2, true, "1e5", false, 2},   {2, true, "", false, 0},
    {4, false, "1050", true, 1},     {4, false, "-5", true, 1},    {4, false, "?", true, 1},
    {4, false, "", false, 0},        {4, false, "10 5", false, 2}, {4, false, "1.5", false, 2},
    {4, true, "-300", true, 1},      {4, true, "", true, 0},       {4, true, "5OO", false, 1},
    {4, true, "1 2 3", false, 3},    {5, true, "12x4", false, 2},  {5, false, "0x10", false, 2},
    {1, true, "12\n# t", false, 1},  {4, true, "7\n| 8", false, 2},
};

// The answers agree with the file itself: a form holding a text that reads
// back is saved as text and read again with all its rows.
TEST(Readback, TellsWhetherATextReadsBackAndHowManyValuesItGives) {
  for (const Case& c : kCases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " \"" + c.text + '"');
    EXPECT_EQ(TextReadsBack(FormOfType(c.type), c.text, c.volume), c.safe);
    EXPECT_EQ(ValuesReadBack(FormOfType(c.type), c.text, c.volume), c.values);
    if (!c.safe) continue;
    FDATA forms;
    forms.AddNew();
    FORMA& f = forms.Form(0);
    f.Init(c.type);
    c.volume ? f.SetVolumeText(1, c.text) : f.SetLevelText(1, c.text);
    f.AppendRow("2000", "3000");
    FDATA again;
    again.ReadText(forms.WriteText(), c.type);
    EXPECT_EQ(again.Form(0).RowCount(), f.RowCount());
  }
}

TEST(Readback, FindsTheFirstUnsafeTextAndWhatItReadsAs) {
  FORMA f;
  f.Init(4);
  f.AppendRow("200", "12x4");
  f.AppendRow("x", "5");
  auto t = FirstUnsafeText(f);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->Row, 2);
  EXPECT_TRUE(t->Volume);
  EXPECT_EQ(t->Text, "12x4");
  EXPECT_EQ(t->Values, 2);
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
}

TEST(Readback, CutsALongTextInTheQuestion) {
  UNSAFETEXT t{0, true, std::string(5000, 'x'), 0, ""};
  EXPECT_LT(UnsafeTextQuestion(0, t).size(), 200u);
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
  FORMA letters = FormOfType(1), high = FormOfType(4);
  letters.SetVolumeText(1, "5OO");
  high.SetLevelText(1, "99999980");
  EXPECT_EQ(tgx::ToUtf8(ConversionFailureText(letters)), "строка 2: объём «5OO» не является целым числом литров");
  EXPECT_EQ(tgx::ToUtf8(ConversionFailureText(high)),
            "верхний уровень 99999980 (мм*10) дал бы таблицу длиннее 65535 значений");
}

}  // namespace
}  // namespace tgxtest
