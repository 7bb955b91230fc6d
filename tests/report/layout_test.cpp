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
REPORTGEOMETRY SmallSheet(int32_t height = 1000) {
  REPORTGEOMETRY g;
  g.pageHeight = height;
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

// Forms from form-file text; form k's volumes are 3 × i for i below its
// count; a count of -1 is a form whose volume is past 32 bits.
EPROJECT ProjectOf(const std::vector<int>& counts) {
  std::string text;
  for (int n : counts) {
    text += n < 0 ? "# f\n| 0 99999999999" : "# f\n";
    for (int i = 0; i < n; ++i) text += (i % 10 ? " " : "\n| ") + std::to_string(3 * i);
    text += "\n";
  }
  FDATA forms;
  EXPECT_TRUE(forms.ReadText(text, 1));
  EPROJECT p;
  p.New();
  p.SetForms(forms);
  return p;
}

REPORTLAYOUT Laid(const EPROJECT& p, const std::vector<int>& channels = {}, int32_t height = 1000) {
  return BuildReport(p, {}, channels, "01.02.2024", SmallSheet(height));
}

// Per page: the channel of its section, F for its first page or C, the levels of its rows
// and the blocks that stand on it with their tops.
std::string PagePlan(const REPORTLAYOUT& l) {
  std::string s;
  for (const REPORTPAGE& p : l.pages) {
    s += (s.empty() ? "" : " | ") + std::to_string(l.sections[static_cast<size_t>(p.section)].channel) + (p.first ? "F" : "C") + ":";
    if (p.tableTop >= 0) s += " T@" + std::to_string(p.tableTop);
    for (const REPORTROW& r : p.rows) s += " " + std::to_string(r.levelCm);
    if (p.summaryTop >= 0) s += " S@" + std::to_string(p.summaryTop);
    if (p.graphTop >= 0) s += " G@" + std::to_string(p.graphTop);
    if (p.reasonTop >= 0) s += " R@" + std::to_string(p.reasonTop);
  }
  return s;
}

TEST(ReportLayout, WhereRowsSummariesAndGraphsFall) {
  const struct { const char* what; std::vector<int> counts, channels; int32_t height; const char* plan; } cases[] = {
      // Two rows under the full header, three on the next page; the summary
      // (250) does not fit below 950 + 40 and the graph (300) not below
      // 600 + 250 + 40, so each starts a page of its own.
      {"page breaks at the row limit", {45}, {}, 1000, "1F: T@690 0 10 | 1C: T@600 20 30 40 | 1C: S@600 | 1C: G@600"},
      // Rows end at 690 + 50 + 300 = 1040; summary at 1080, graph at 1080 + 250 + 40.
      {"summary and graph share the last rows' page", {30}, {}, 2000, "1F: T@690 0 10 20 S@1080 G@1370"},
      {"a gap has no section, a section starts a page", {12, 0, 2}, {}, 1000,
       "1F: T@690 0 10 | 1C: S@600 | 1C: G@600 | 3F: T@690 0 | 3C: S@600 | 3C: G@600"},
      {"only the requested channels", {2, 2, 2}, {1, 3, 9}, 1000,
       "1F: T@690 0 | 1C: S@600 | 1C: G@600 | 3F: T@690 0 | 3C: S@600 | 3C: G@600"},
      {"a form that does not convert has one page for its reason", {2, -1}, {}, 1000,
       "1F: T@690 0 | 1C: S@600 | 1C: G@600 | 2F: R@690"},
  };
  for (const auto& c : cases) EXPECT_EQ(PagePlan(Laid(ProjectOf(c.counts), c.channels, c.height)), c.plan) << c.what;
  const REPORTLAYOUT l = Laid(ProjectOf({12, 0, 2}));
  EXPECT_EQ(l.sections[1].firstPage, 3);
  EXPECT_EQ(l.sections[0].pageCount, 3);
}

PARTAB TableOf(const std::vector<int32_t>& v) {
  PARTAB t;
  for (int32_t x : v) t.Append(x);
  return t;
}

// The values a zlib crc32 of the same little-endian words gives.
TEST(ReportChecksum, IsTheIeeeCrcOfTheEntriesAsLittleEndianWords) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xCBF43926u);
  // The long table is longer than one piece of the summing, so the pieces must chain.
  std::vector<int32_t> long_table;
  for (int32_t i = 0; i < 3000; ++i) long_table.push_back(i * 7919 - 5000);
  const std::pair<std::vector<int32_t>, const char*> cases[] = {
      {{0, 1, 2}, "1D760E7A"}, {{-2}, "4743989A"}, {{}, "00000000"}, {long_table, "3ADD8BDE"}};
  for (const auto& [table, crc] : cases) EXPECT_EQ(Crc32Text(TableCrc32(TableOf(table))), crc) << table.size();
}

TEST(ReportSummary, TopOfTheTableAndItsLargestSecondDifference) {
  // count, top level mm, top volume, smooth, largest, its index
  const std::pair<std::vector<int32_t>, std::string> cases[] = {
      {{0, 0, 127}, "3 20 127 smooth 127@2"},
      {{0, 0, 128}, "3 20 128 rough 128@2"},
      {{0, 0, -129, -258}, "4 30 -258 rough -129@2"},
      {{0, 5, 5, 10}, "4 30 10 smooth -5@2"},  // equal magnitudes: the first one
      {{0, 0, 2147483647, 0}, "4 30 0 rough -4294967294@3"},
  };
  for (const auto& [table, summary] : cases) {
    const TABSUMMARY s = SummarizeTable(TableOf(table));
    EXPECT_EQ(std::to_string(s.count) + " " + std::to_string(s.topLevelMm) + " " + std::to_string(s.topVolume) +
                  (s.smooth ? " smooth " : " rough ") + std::to_string(s.largestDdv) + "@" +
                  std::to_string(s.largestDdvIndex),
              summary);
  }
}

TEST(ReportTexts, HeaderNamesTheChannelsTankAndTheSourceFile) {
  SITEFIELDS fields;
  fields.tank[2] = tgx::FromUtf8("РВС-7");
  EPROJECT p = ProjectOf({2, 2, 2});
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
