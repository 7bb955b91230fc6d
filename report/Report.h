#pragma once
// The calibration table document, laid out as data: one section per defined
// form of the project (a gap has none), each starting on a new page; the
// pages with what stands on each and where. The printing side only draws what
// this says, so everything that decides the document is tested here without a
// display. Lengths are tenths of a millimetre on an A4 sheet, origin at its top
// left corner; texts are Windows-1251.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "forms/Forma.h"
#include "model/Prjvol.h"
#include "report/Sitefields.h"
#include "report/Summary.h"

class EPROJECT;

struct REPORTGEOMETRY {
  int32_t pageWidth = 2100;
  int32_t pageHeight = 2970;
  // The wider left margin leaves room for binding the sheet into the tank's papers.
  int32_t marginLeft = 200;
  int32_t marginRight = 100;
  int32_t marginTop = 100;
  int32_t marginBottom = 100;
  int32_t footerHeight = 60;       // program line and sheet number, at the bottom
  int32_t titleHeight = 100;       // the document title of a section's first page
  int32_t lineHeight = 50;         // one line of the header, the summary or the reason
  int32_t continuationHeight = 70; // the one-line header of a section's later pages
  int32_t tableHeaderHeight = 60;  // the column header row, on every page with rows
  int32_t rowHeight = 45;          // one decimetre of level
  int32_t levelColumnWidth = 160;  // the row's level; ten equal columns share the rest
  int32_t blockGap = 40;           // between the blocks of a page
  int32_t graphHeight = 1000;

  int32_t BodyTop() const { return marginTop; }
  int32_t BodyBottom() const { return pageHeight - marginBottom - footerHeight; }
  int32_t BodyWidth() const { return pageWidth - marginLeft - marginRight; }
  int32_t SectionHeaderHeight() const;
  int32_t SummaryHeight() const;
  int32_t ReasonHeight() const;
  // Table rows that fit below the full header of a section's first page, and
  // below the continuation line of its later pages.
  int32_t RowsOnFirstPage() const;
  int32_t RowsOnNextPage() const;
};

// One decimetre of level: the level of its first column and the volumes at
// +0 .. +9 cm; cells from `filled` on are empty (the table ends in this row).
struct REPORTROW {
  static constexpr int kCells = 10;
  int32_t levelCm = 0;
  std::array<int32_t, kCells> cell{};
  int32_t filled = 0;
};

struct REPORTSECTION {
  int32_t channel = 0;       // 1 to 16
  FORMA form;                // the form as the project holds it (the graph converts it again)
  bool converted = false;
  std::string reason;        // why the form does not convert; empty when it does
  PARTAB table;              // its volume table when converted
  TABSUMMARY summary;
  int32_t firstPage = 0;     // index into REPORTLAYOUT::pages
  int32_t pageCount = 0;
};

struct REPORTPAGE {
  int32_t section = 0;
  bool first = false;        // the full header at the top; else the continuation line
  int32_t tableTop = -1;     // the column header row; -1 when the page has no rows
  std::vector<REPORTROW> rows;  // from tableTop + tableHeaderHeight on, rowHeight apart
  int32_t summaryTop = -1;
  int32_t graphTop = -1;
  int32_t reasonTop = -1;
};

struct REPORTLAYOUT {
  REPORTGEOMETRY geometry;
  std::string projectName;
  std::string printedDate;
  SITEFIELDS fields;
  std::vector<REPORTSECTION> sections;
  std::vector<REPORTPAGE> pages;  // page i is sheet i + 1 of pages.size()
};

// Lays out the document for the forms of the given channels (1-based, each at
// most once; empty: every form). Channels beyond the project's forms and gaps
// get no section. `printedDate` is the document's own date as it is printed.
REPORTLAYOUT BuildReport(const EPROJECT& project, const SITEFIELDS& fields, const std::vector<int>& channels,
                         const std::string& printedDate, const REPORTGEOMETRY& geometry = {});

// Why a form does not convert into a table, as one sentence; empty when it does.
std::string ConversionFailureReason(const FORMA& form);

// The texts of the document.
using REPORTFIELD = std::pair<std::string, std::string>;  // label, value
std::string DocumentTitle();
std::vector<REPORTFIELD> HeaderFields(const REPORTLAYOUT& layout, const REPORTSECTION& section);
std::string ContinuationText(const REPORTSECTION& section);
std::string LevelColumnCaption();
std::vector<REPORTFIELD> SummaryFields(const TABSUMMARY& summary);
std::string ReasonText(const REPORTSECTION& section);
std::string SheetText(int32_t page, int32_t pages);  // "Лист 2 из 7", `page` 1-based
std::string ProgramLine();                           // the program's name and version
std::string EmptyReportText();                       // the one page of a document without sections
