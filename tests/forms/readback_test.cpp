// Texts that a form file would not give back unchanged, the question asked
// before such a form is saved, and why a form does not convert.

#include <gtest/gtest.h>

#include <string>

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

TEST(Readback, TellsWhetherATextReadsBack) {
  for (const Case& c : kCases) {
    const FORMA f = FormOfType(c.type);
    EXPECT_EQ(TextReadsBack(f, c.text, c.volume), c.safe) << "type " << c.type << " \"" << c.text << '"';
  }
}

TEST(Readback, CountsTheValuesTheFileGives) {
  for (const Case& c : kCases) {
    const FORMA f = FormOfType(c.type);
    EXPECT_EQ(ValuesReadBack(f, c.text, c.volume), c.values) << "type " << c.type << " \"" << c.text << '"';
  }
}

// The check agrees with the file itself: a form holding the text is saved
// as text and read back, and its rows are compared.
TEST(Readback, AgreesWithARealRoundTrip) {
  for (const Case& c : kCases) {
    if (std::string(c.text).find('\n') != std::string::npos) continue;
    FDATA forms;
    forms.AddNew();
    FORMA& f = forms.Form(0);
    f.Init(c.type);
    if (c.volume)
      f.SetVolumeText(1, c.text);
    else
      f.SetLevelText(1, c.text);
    f.AppendRow("2000", "3000");
    FDATA again;
    again.ReadText(forms.WriteText(), c.type);
    const bool same = again.Count() == 1 && again.Form(0).RowCount() == f.RowCount() &&
                      again.Form(0).VolumeText(2) == "3000";
    EXPECT_EQ(!FirstUnsafeText(f).has_value(), c.safe) << "type " << c.type << " \"" << c.text << '"';
    if (!c.safe) continue;
    EXPECT_TRUE(same) << "type " << c.type << " \"" << c.text << '"';
  }
}

TEST(Readback, FindsTheFirstUnsafeRowAndColumn) {
  FORMA f;
  f.Init(4);
  f.AppendRow("200", "12x4");
  f.AppendRow("x", "5");
  const auto t = FirstUnsafeText(f);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->Row, 2);
  EXPECT_TRUE(t->Volume);
  EXPECT_EQ(t->Text, "12x4");
  EXPECT_EQ(t->Values, 2);
}

TEST(Readback, ReportsTheValueAChangedTextReadsAs) {
  FORMA f;
  f.Init(1);
  f.SetVolumeText(1, "-300");
  const auto t = FirstUnsafeText(f);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->ReadAs, "300");
}

TEST(Readback, ASafeFormHasNoUnsafeText) {
  for (int32_t type = 1; type <= 5; ++type) EXPECT_FALSE(FirstUnsafeText(FormOfType(type)).has_value()) << type;
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

TEST(ConversionFailure, NamesTheRowAndText) {
  FORMA f;
  f.Init(1);
  f.SetVolumeText(1, "5OO");
  EXPECT_EQ(tgx::ToUtf8(ConversionFailureText(f)), "строка 2: объём «5OO» не является целым числом литров");
}

TEST(ConversionFailure, NamesATopLevelTooHighForAUnit) {
  FORMA f;
  f.Init(4);
  f.SetLevelText(1, "99999980");
  EXPECT_EQ(tgx::ToUtf8(ConversionFailureText(f)), "верхний уровень 99999980 (мм*10) дал бы таблицу длиннее 65535 значений");
}

TEST(ConversionFailure, IsEmptyForAFormThatConverts) { EXPECT_EQ(ConversionFailureText(FormOfType(1)), ""); }

}  // namespace
}  // namespace tgxtest
