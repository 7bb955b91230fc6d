// The calibration table document as data: where rows, summaries and graphs
// fall, which forms get a section, and the values its summary prints.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/Fdata.h"
#include "model/Cp1251.h"
#include "model/Prjvol.h"
#include "project/Eprj.h"
#include "report/Report.h"
#include "report/Summary.h"

namespace tgxtest {
namespace {

// A sheet small enough to count by hand: a body from 0 to 1000, a full header
// of 100 + 11 × 50 + 40 = 690, a continuation line of 600, a column header of
// 50 and rows of 100. So (1000 - 690 - 50) / 100 = 2 rows under the full
// header and (1000 - 600 - 50) / 100 = 3 on later pages.
REPORTGEOMETRY SmallSheet() {
  REPORTGEOMETRY g;
  g.pageHeight = 1000;
  g.marginTop = g.marginBottom = g.footerHeight = 0;
  g.titleHeight = 100;
  g.lineHeight = 50;
  g.blockGap = 40;
  g.continuationHeight = 600;
  g.tableHeaderHeight = 50;
  g.rowHeight = 100;
  g.graphHeight = 300;
  return g;
}

// Type 1 form-file text: one '#' header per form, then its volumes.
EPROJECT ProjectOf(const std::string& text, int32_t type = 1) {
  FDATA forms;
  EXPECT_TRUE(forms.ReadText(tgx::FromUtf8(text), type));
  EPROJECT p;
  p.New();
  p.SetForms(forms);
  return p;
}

std::string Volumes(int from, int n) {
  std::string s = "|";
  for (int i = from; i < from + n; ++i) s += " " + std::to_string(i * 3);
  return s + "\n";
}

// Per page: the levels of its rows, or the blocks that stand on it.
std::string PagePlan(const REPORTLAYOUT& l) {
  std::string s;
  for (const REPORTPAGE& p : l.pages) {
    if (!s.empty()) s += " | ";
    s += std::to_string(p.section + 1) + (p.first ? "F" : "C") + ":";
    for (const REPORTROW& r : p.rows) s += " " + std::to_string(r.levelCm);
    if (p.summaryTop >= 0) s += " S@" + std::to_string(p.summaryTop);
    if (p.graphTop >= 0) s += " G@" + std::to_string(p.graphTop);
    if (p.reasonTop >= 0) s += " R@" + std::to_string(p.reasonTop);
  }
  return s;
}

TEST(ReportGeometry, RowsPerPageOfTheA4Sheet) {
  // Body 100 .. 2970 - 100 - 60 = 2810; full header 100 + 550 + 40 = 690.
  const REPORTGEOMETRY a4;
  EXPECT_EQ(a4.RowsOnFirstPage(), (2710 - 690 - 60) / 45);
  EXPECT_EQ(a4.RowsOnNextPage(), (2710 - 70 - 60) / 45);
  EXPECT_EQ(SmallSheet().RowsOnFirstPage(), 2);
  EXPECT_EQ(SmallSheet().RowsOnNextPage(), 3);
}

TEST(ReportLayout, RowsHoldTenCentimetresEachAndTheLastOneEndsWithEmptyCells) {
  const REPORTLAYOUT l = BuildReport(ProjectOf("# a\n" + Volumes(0, 10) + Volumes(10, 10) + Volumes(20, 3)), {}, {},
                                     "01.02.2024", SmallSheet());
  ASSERT_EQ(l.pages.size(), 4u);
  const REPORTROW& second = l.pages[0].rows[1];
  EXPECT_EQ(second.levelCm, 10);
  EXPECT_EQ(second.filled, 10);
  EXPECT_EQ(second.cell[0], 30);
  EXPECT_EQ(second.cell[9], 57);
  const REPORTROW& last = l.pages[1].rows.back();
  EXPECT_EQ(last.levelCm, 20);
  EXPECT_EQ(last.filled, 3);
  EXPECT_EQ(last.cell[2], 66);
}

TEST(ReportLayout, PagesBreakAtTheRowLimitAndTheColumnHeaderRepeats) {
  // 45 entries: rows 0..40, two under the full header, three on the next page;
  // the summary (250) does not fit below 950 + 40 and the graph (300) not below
  // 600 + 250 + 40, so each starts a page of its own.
  const REPORTLAYOUT l =
      BuildReport(ProjectOf("# a\n" + Volumes(0, 45)), {}, {}, "01.02.2024", SmallSheet());
  EXPECT_EQ(PagePlan(l), "1F: 0 10 | 1C: 20 30 40 | 1C: S@600 | 1C: G@600");
  EXPECT_EQ(l.pages[0].tableTop, 690);
  EXPECT_EQ(l.pages[1].tableTop, 600);
  EXPECT_EQ(l.pages[2].tableTop, -1);
  EXPECT_EQ(l.sections[0].pageCount, 4);
}

TEST(ReportLayout, SummaryAndGraphShareThePageOfTheLastRowsWhenTheyFit) {
  REPORTGEOMETRY g = SmallSheet();
  g.pageHeight = 2000;  // later pages: (2000 - 600 - 50) / 100 = 13 rows
  const REPORTLAYOUT l = BuildReport(ProjectOf("# a\n" + Volumes(0, 30)), {}, {}, "01.02.2024", g);
  // Rows end at 690 + 50 + 300 = 1040; summary at 1080, graph at 1080 + 250 + 40.
  EXPECT_EQ(PagePlan(l), "1F: 0 10 20 S@1080 G@1370");
}

TEST(ReportLayout, GapsHaveNoSectionAndEachSectionStartsOnANewPage) {
  const REPORTLAYOUT l = BuildReport(ProjectOf("# a\n" + Volumes(0, 12) + "# gap\n# c\n" + Volumes(0, 2)), {}, {},
                                     "01.02.2024", SmallSheet());
  ASSERT_EQ(l.sections.size(), 2u);
  EXPECT_EQ(l.sections[0].channel, 1);
  EXPECT_EQ(l.sections[1].channel, 3);
  EXPECT_EQ(PagePlan(l), "1F: 0 10 | 1C: S@600 | 1C: G@600 | 2F: 0 | 2C: S@600 | 2C: G@600");
  EXPECT_EQ(l.sections[1].firstPage, 3);
}

TEST(ReportLayout, AFormThatDoesNotConvertGetsItsReasonInsteadOfTheTable) {
  // The second form's last volume does not fit 32 bits.
  const REPORTLAYOUT bad =
      BuildReport(ProjectOf("# a\n| 1 2\n# b\n| 5 99999999999\n"), {}, {}, "01.02.2024", SmallSheet());
  ASSERT_EQ(bad.sections.size(), 2u);
  EXPECT_FALSE(bad.sections[1].converted);
  EXPECT_EQ(PagePlan(bad).substr(PagePlan(bad).rfind('|')), "| 2F: R@690");
  EXPECT_EQ(bad.sections[1].table.Count(), 0);
}

TEST(ReportLayout, OnlyTheRequestedChannelsGetSections) {
  const EPROJECT p = ProjectOf("# a\n| 1 2\n# b\n| 3 4\n# c\n| 5 6\n");
  const REPORTLAYOUT l = BuildReport(p, {}, {1, 3, 9}, "01.02.2024", SmallSheet());
  ASSERT_EQ(l.sections.size(), 2u);
  EXPECT_EQ(l.sections[0].channel, 1);
  EXPECT_EQ(l.sections[1].channel, 3);
}

TEST(ReportReason, NamesTheRowAndTheTextThatStopTheConversion) {
  struct Case {
    int32_t type;
    std::string text;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {1, "# a\n| 1 2\n", ""},
      {4, "# a\n| 0 0\n| 10\n", "строка 2: объём «» не является целым числом литров"},
      {4, "# a\n| 0 0\n| ? 5\n", "строка 2: уровень «?» не является целым числом"},
      {4, "# a\n| 0 0\n| 10 ?\n", "строка 2: объём «?» не является целым числом литров"},
      {2, "# a\n0.5\n1.2.3\n", "строка 2: объём «1.2.3» не является числом кубических метров или слишком велик"},
      {1, "# a\n| 5 6 99999999999\n", "строка 3: объём «99999999999» не является целым числом литров"},
      {4, "# a\n| -400 0\n| -300 5\n", "уровни пар вне допустимого диапазона: таблица не строится"},
  };
  for (const Case& c : cases) {
    FDATA forms;
    ASSERT_TRUE(forms.ReadText(tgx::FromUtf8(c.text), c.type)) << c.text;
    EXPECT_EQ(tgx::ToUtf8(ConversionFailureReason(forms.Form(0))), c.reason) << c.text;
  }
  FORMA increments;
  increments.Init(5);
  EXPECT_EQ(tgx::ToUtf8(ConversionFailureReason(increments)), "форма приращений объёма (тип 5) не переводится в таблицу");
}

TEST(ReportReason, QuotesALongTextOnlyInPart) {
  FORMA f;
  f.Init(1);
  f.SetVolumeText(1, std::string(100, 'z'));
  EXPECT_EQ(tgx::ToUtf8(ConversionFailureReason(f)),
            "строка 2: объём «" + std::string(32, 'z') + "…» не является целым числом литров");
}

// CRC-32 the long way: bit by bit with the reflected polynomial, no table.
uint32_t BitwiseCrc32(const std::vector<uint8_t>& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

TEST(ReportChecksum, IsTheIeeeCrcOfTheEntriesAsLittleEndianWords) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xCBF43926u);
  PARTAB t;
  for (int32_t v : {0, 1, 2}) t.Append(v);
  EXPECT_EQ(TableCrc32(t), BitwiseCrc32({0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}));
  PARTAB negative;
  negative.Append(-2);
  EXPECT_EQ(TableCrc32(negative), BitwiseCrc32({0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(TableCrc32(PARTAB()), 0u);
  EXPECT_EQ(Crc32Text(0x00ABCDEFu), "00ABCDEF");
}

TEST(ReportChecksum, ALongTableIsSummedWhole) {
  // Longer than one piece of the table's summing, so the pieces must chain.
  PARTAB t;
  std::vector<uint8_t> bytes;
  for (int32_t i = 0; i < 3000; ++i) {
    const int32_t v = i * 7919 - 5000;
    t.Append(v);
    for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * b)));
  }
  EXPECT_EQ(TableCrc32(t), BitwiseCrc32(bytes));
}

PARTAB TableOf(std::initializer_list<int32_t> v) {
  PARTAB t;
  for (int32_t x : v) t.Append(x);
  return t;
}

TEST(ReportSummary, CountsTopAndLargestSecondDifference) {
  const TABSUMMARY s = SummarizeTable(TableOf({0, 5, 10, 20, 40}));
  EXPECT_EQ(s.count, 5);
  EXPECT_EQ(s.topLevelMm, 40);
  EXPECT_EQ(s.topVolume, 40);
  EXPECT_TRUE(s.smooth);
  EXPECT_EQ(s.largestDdv, 10);
  EXPECT_EQ(s.largestDdvIndex, 4);
}

TEST(ReportSummary, SmoothnessEndsAtTheUnitsByteRange) {
  struct Case {
    PARTAB table;
    bool smooth;
    int64_t largest;
    int32_t index;
  };
  const std::vector<Case> cases = {
      {TableOf({0, 0, 127}), true, 127, 2},
      {TableOf({0, 0, -128}), true, -128, 2},
      {TableOf({0, 0, 128}), false, 128, 2},
      {TableOf({0, 0, -129, -258}), false, -129, 2},
      {TableOf({0, 5, 5, 10}), true, -5, 2},  // equal magnitudes: the first one
      {TableOf({0, 0, 2147483647, 0}), false, -4294967294LL, 3},
  };
  for (const Case& c : cases) {
    const TABSUMMARY s = SummarizeTable(c.table);
    EXPECT_EQ(s.smooth, c.smooth) << c.largest;
    EXPECT_EQ(s.largestDdv, c.largest);
    EXPECT_EQ(s.largestDdvIndex, c.index) << c.largest;
  }
}

TEST(ReportTexts, SummaryAndSheetLinesReadAsPrinted) {
  const std::vector<REPORTFIELD> f = SummaryFields(SummarizeTable(TableOf({0, 0, 300, 600})));
  ASSERT_EQ(f.size(), 5u);
  EXPECT_EQ(tgx::ToUtf8(f[3].second), "нет — есть вторые разности вне пределов от -128 до 127; наибольшая по модулю 300 (уровень 2 см)");
  EXPECT_EQ(tgx::ToUtf8(f[4].second), Crc32Text(TableCrc32(TableOf({0, 0, 300, 600}))));
  EXPECT_EQ(tgx::ToUtf8(SheetText(2, 7)), "Лист 2 из 7");
}

TEST(ReportTexts, HeaderNamesTheChannelsTankAndTheSourceFile) {
  SITEFIELDS fields;
  fields.tank[2] = tgx::FromUtf8("РВС-7");
  FDATA forms;
  ASSERT_TRUE(forms.ReadText("# a\n| 1 2\n# b\n| 1 2\n# c\n| 1 2\n", 1));
  EPROJECT p;
  p.New();
  p.SetForms(forms);
  p.SetName(tgx::FromUtf8("/tmp/Станция.fs"));
  p.SetTitle(2, tgx::FromUtf8("Резервуар 3"));
  const REPORTLAYOUT l = BuildReport(p, fields, {3}, "01.02.2024");
  ASSERT_EQ(l.sections.size(), 1u);
  std::string text;
  for (const REPORTFIELD& f : HeaderFields(l, l.sections[0])) text += tgx::ToUtf8(f.first + "=" + f.second) + ";";
  EXPECT_EQ(text,
            "Проект=Станция.fs;Канал=3;Форма=Резервуар 3;Тип формы=1 (*.fs) — литры на сантиметр;"
            "Исходный файл=/tmp/Станция.fs;Организация=;Объект=;Резервуар №=РВС-7;Градуировку выполнил=;"
            "Дата градуировки=;Дата документа=01.02.2024;");
}

}  // namespace
}  // namespace tgxtest
