#include "report/Report.h"

#include <algorithm>

#include "Version.h"
#include "forms/Convert.h"
#include "forms/Fdata.h"
#include "forms/Readback.h"
#include "model/Cp1251.h"
#include "project/Eprj.h"

namespace {
// Lines of a section's full header below its title: project, channel, form,
// type, source file, organisation, object, tank, calibrated by, calibration
// date, document date.
constexpr int32_t kHeaderLines = 11;
constexpr int32_t kSummaryLines = 5;
// The reason may wrap; three lines hold the longest one made here.
constexpr int32_t kReasonLines = 3;
constexpr int32_t kCmPerRow = REPORTROW::kCells;

std::string W(const char* utf8) { return tgx::FromUtf8(utf8); }

std::vector<REPORTROW> RowsOf(const PARTAB& table) {
  std::vector<REPORTROW> rows;
  rows.reserve(static_cast<size_t>((table.Count() + kCmPerRow - 1) / kCmPerRow));
  for (int32_t first = 0; first < table.Count(); first += kCmPerRow) {
    REPORTROW row;
    row.levelCm = first;
    row.filled = std::min(kCmPerRow, table.Count() - first);
    for (int32_t c = 0; c < row.filled; ++c) row.cell[static_cast<size_t>(c)] = table[first + c];
    rows.push_back(row);
  }
  return rows;
}

// Places one section's pages at the end of the layout.
class Placer {
 public:
  Placer(REPORTLAYOUT& layout, int32_t section) : l_(layout), g_(layout.geometry), section_(section) {}

  void Place() {
    REPORTSECTION& s = l_.sections[static_cast<size_t>(section_)];
    s.firstPage = static_cast<int32_t>(l_.pages.size());
    NewPage(true);
    if (!s.converted) {
      Page().reasonTop = y_;
    } else {
      PlaceRows(RowsOf(s.table));
      y_ += g_.blockGap;
      MakeRoom(g_.SummaryHeight());
      Page().summaryTop = y_;
      y_ += g_.SummaryHeight() + g_.blockGap;
      MakeRoom(g_.graphHeight);
      Page().graphTop = y_;
    }
    s.pageCount = static_cast<int32_t>(l_.pages.size()) - s.firstPage;
  }

 private:
  REPORTPAGE& Page() { return l_.pages.back(); }

  void NewPage(bool first) {
    REPORTPAGE page;
    page.section = section_;
    page.first = first;
    l_.pages.push_back(std::move(page));
    y_ = g_.BodyTop() + (first ? g_.SectionHeaderHeight() : g_.continuationHeight);
  }

  // A block that does not fit below what is on the page starts the next one.
  void MakeRoom(int32_t height) {
    if (y_ + height > g_.BodyBottom()) NewPage(false);
  }

  void PlaceRows(const std::vector<REPORTROW>& rows) {
    size_t next = 0;
    while (next < rows.size()) {
      // A page always takes at least one row, so that even a sheet too small
      // for its header cannot keep the layout from ending.
      const int32_t room = (g_.BodyBottom() - y_ - g_.tableHeaderHeight) / g_.rowHeight;
      const size_t fit = static_cast<size_t>(std::max<int32_t>(room, 1));
      const size_t n = std::min(fit, rows.size() - next);
      Page().tableTop = y_;
      Page().rows.assign(rows.begin() + static_cast<std::ptrdiff_t>(next),
                         rows.begin() + static_cast<std::ptrdiff_t>(next + n));
      next += n;
      y_ += g_.tableHeaderHeight + static_cast<int32_t>(n) * g_.rowHeight;
      if (next < rows.size()) NewPage(false);
    }
  }

  REPORTLAYOUT& l_;
  const REPORTGEOMETRY& g_;
  int32_t section_;
  int32_t y_ = 0;
};

std::string TypeText(int32_t type) {
  const std::string n = std::to_string(type);
  switch (type) {
    case 1: return n + W(" (*.fs) — литры на сантиметр");
    case 2: return n + W(" (*.fs1) — кубические метры на сантиметр");
    case 3: return n + W(" (*.fs2) — литры на сантиметр, по значению в строке");
    case 4: return n + W(" (*.f1) — пары уровень/объём");
    case 5: return n + W(" (*.f2) — приращения объёма");
    default: return n + W(" — неизвестный тип");
  }
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

int32_t REPORTGEOMETRY::SectionHeaderHeight() const { return titleHeight + kHeaderLines * lineHeight + blockGap; }
int32_t REPORTGEOMETRY::SummaryHeight() const { return kSummaryLines * lineHeight; }
int32_t REPORTGEOMETRY::ReasonHeight() const { return kReasonLines * lineHeight; }

int32_t REPORTGEOMETRY::RowsOnFirstPage() const {
  return std::max<int32_t>((BodyBottom() - BodyTop() - SectionHeaderHeight() - tableHeaderHeight) / rowHeight, 1);
}

int32_t REPORTGEOMETRY::RowsOnNextPage() const {
  return std::max<int32_t>((BodyBottom() - BodyTop() - continuationHeight - tableHeaderHeight) / rowHeight, 1);
}

std::string ConversionFailureReason(const FORMA& form) { return ConversionFailureText(form); }

REPORTLAYOUT BuildReport(const EPROJECT& project, const SITEFIELDS& fields, const std::vector<int>& channels,
                         const std::string& printedDate, const REPORTGEOMETRY& geometry) {
  REPORTLAYOUT l;
  l.geometry = geometry;
  l.projectName = project.Name();
  l.printedDate = printedDate;
  l.fields = fields;
  std::vector<int> wanted = channels;
  if (wanted.empty())
    for (int k = 1; k <= project.FormCount(); ++k) wanted.push_back(k);
  for (int channel : wanted) {
    const int k = channel - 1;
    if (k < 0 || k >= project.FormCount() || project.IsGap(k)) continue;
    REPORTSECTION s;
    s.channel = channel;
    s.form.CopyFrom(project.Form(k));
    s.converted = ConvertForm(s.form, s.table);
    if (s.converted) {
      s.summary = SummarizeTable(s.table);
    } else {
      s.reason = ConversionFailureReason(s.form);
      s.table.Clear();
    }
    l.sections.push_back(std::move(s));
    Placer(l, static_cast<int32_t>(l.sections.size()) - 1).Place();
  }
  return l;
}

std::string DocumentTitle() { return W("Градуировочная таблица"); }

std::vector<REPORTFIELD> HeaderFields(const REPORTLAYOUT& layout, const REPORTSECTION& section) {
  const bool fromFile = FDATA::TypeOfFileName(layout.projectName) != 0;
  const std::string& tank =
      section.channel >= 1 && section.channel <= SITEFIELDS::kChannels
          ? layout.fields.tank[static_cast<size_t>(section.channel - 1)]
          : std::string();
  return {
      {W("Проект"), fromFile ? BaseName(layout.projectName) : layout.projectName},
      {W("Канал"), std::to_string(section.channel)},
      {W("Форма"), section.form.Title()},
      {W("Тип формы"), TypeText(section.form.Type())},
      {W("Исходный файл"), fromFile ? layout.projectName : W("—")},
      {W("Организация"), layout.fields.org},
      {W("Объект"), layout.fields.object},
      {W("Резервуар №"), tank},
      {W("Градуировку выполнил"), layout.fields.by},
      {W("Дата градуировки"), layout.fields.date},
      {W("Дата документа"), layout.printedDate},
  };
}

std::string ContinuationText(const REPORTSECTION& section) {
  return DocumentTitle() + W(". Канал ") + std::to_string(section.channel) + W(", форма «") + section.form.Title() +
         W("» (продолжение)");
}

std::string LevelColumnCaption() { return W("Уровень, см"); }

std::vector<REPORTFIELD> SummaryFields(const TABSUMMARY& s) {
  std::string smooth = s.smooth ? W("да") : W("нет");
  if (s.count > 2) {
    smooth += W("; наибольшая по модулю вторая разность ") + std::to_string(s.largestDdv) + W(" (уровень ") +
              std::to_string(s.largestDdvIndex) + W(" см)");
  }
  return {
      {W("Число значений"), std::to_string(s.count)},
      {W("Наибольший уровень, мм"), std::to_string(s.topLevelMm)},
      {W("Объём на наибольшем уровне, л"), std::to_string(s.topVolume)},
      {W("Гладкость (от -128 до 127)"), smooth},
      {W("Контрольная сумма CRC-32"), Crc32Text(s.crc)},
  };
}

std::string ReasonText(const REPORTSECTION& section) {
  return W("Форма не преобразуется в таблицу: ") + section.reason + ".";
}

std::string SheetText(int32_t page, int32_t pages) {
  return W("Лист ") + std::to_string(page) + W(" из ") + std::to_string(pages);
}

std::string ProgramLine() {
  return W("Тирель-Сервис. Градуировочные таблицы, версия ") + std::to_string(tgx::kVersionMajor) + "." +
         std::to_string(tgx::kVersionMinor) + "." + std::to_string(tgx::kVersionRelease) + "." +
         std::to_string(tgx::kVersionBuild);
}

std::string EmptyReportText() { return W("Нет таблиц для отчёта: в выбранных каналах только пропуски."); }
