#pragma once
// The calibration table document drawn with Qt: the layout of report/Report.h
// painted page by page onto a paged device, a PDF file (QPdfWriter: real,
// searchable text with the fonts embedded) or a printer (QPrinter, also behind
// the print preview). Everything is vector drawing at the device's resolution.

#include <string>

class QPagedPaintDevice;
class QPainter;
struct REPORTLAYOUT;

// Paints one page of the layout. The painter's coordinates must be tenths of
// a millimetre on the sheet, origin at its top left corner. `index` beyond
// the layout's pages paints the notice of a document without sections.
void PaintReportPage(QPainter& painter, const REPORTLAYOUT& layout, int index);

// Paints every page onto the device, one sheet each (one sheet with the notice
// when the layout has no page). The sheet is scaled to the device's paintable
// area, which is the A4 page itself on a device set up by SetUpReportPage.
// False when painting cannot begin on the device.
bool PaintReport(QPagedPaintDevice& device, const REPORTLAYOUT& layout);

// A4 portrait without the device's own margins: the document keeps its own.
void SetUpReportPage(QPagedPaintDevice& device);

// Writes the document as a PDF file beside `path` and renames it over `path`
// only when complete, so a failed write leaves the file that was there.
// `path` is a native file name. A QGuiApplication must exist.
bool WriteReportPdf(const REPORTLAYOUT& layout, const std::string& path);
