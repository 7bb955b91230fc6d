#include "report/qt/Paint.h"

#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QRectF>
#include <QString>
#include <algorithm>

#include "model/Cp1251.h"
#include "report/Outfile.h"
#include "report/Report.h"
#include "report/qt/Graph.h"

namespace {
// Type sizes in tenths of a millimetre (the painter's unit): 32 is about 9 pt.
constexpr int kTitleSize = 55;
constexpr int kTextSize = 32;
constexpr int kTableSize = 28;
constexpr int kFooterSize = 26;
// A text squeezed into its box never gets smaller than this; a longer one runs
// over rather than vanish, since every character of the document counts.
constexpr int kSmallestSize = 14;
constexpr int kCellPadding = 20;  // right of a number
constexpr int kCellGap = 10;      // at least this much left of a number
constexpr int kLabelColumn = 600;  // from the left margin to the values of the header and summary
constexpr qreal kRuleWidth = 2.0;
constexpr qreal kThinRuleWidth = 1.0;
constexpr qint64 kEndMarkTail = 16;

QString Q(const std::string& cp1251) { return QString::fromUtf8(tgx::ToUtf8(cp1251)); }

QFont Face(int size, bool bold = false, bool mono = false) {
  QFont f(mono ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
  f.setStyleHint(mono ? QFont::Monospace : QFont::SansSerif);
  // Unhinted, so that widths measured here scale exactly onto any device.
  f.setHintingPreference(QFont::PreferNoHinting);
  f.setPixelSize(size);
  f.setBold(bold);
  return f;
}

// Draws the text in the box with the face given, smaller when it would not
// fit the box's width.
void Fitted(QPainter& p, const QRectF& box, const QString& text, QFont face, int flags) {
  int size = face.pixelSize();
  while (size > kSmallestSize && QFontMetricsF(face).horizontalAdvance(text) > box.width()) {
    size = std::max(kSmallestSize, size * 9 / 10);
    face.setPixelSize(size);
  }
  p.setFont(face);
  p.drawText(box, flags | Qt::TextSingleLine | Qt::TextDontClip, text);
}

class PagePainter {
 public:
  PagePainter(QPainter& p, const REPORTLAYOUT& l) : p_(p), l_(l), g_(l.geometry) {}

  void Paint(int index) {
    p_.save();
    p_.setPen(QPen(Qt::black, kRuleWidth));
    if (index < 0 || index >= static_cast<int>(l_.pages.size())) {
      Fitted(p_, Line(g_.BodyTop(), g_.titleHeight), Q(EmptyReportText()), Face(kTextSize), Qt::AlignLeft);
      Footer(1, 1);
      p_.restore();
      return;
    }
    const REPORTPAGE& page = l_.pages[static_cast<size_t>(index)];
    const REPORTSECTION& s = l_.sections[static_cast<size_t>(page.section)];
    if (page.first) {
      SectionHeader(s);
    } else {
      Fitted(p_, Line(g_.BodyTop(), g_.continuationHeight), Q(ContinuationText(s)), Face(kTextSize, true),
             Qt::AlignLeft | Qt::AlignTop);
    }
    if (page.tableTop >= 0) Table(page);
    if (page.summaryTop >= 0) Fields(SummaryFields(s.summary), page.summaryTop);
    if (page.graphTop >= 0) {
      PaintTableGraph(p_, QRectF(g_.marginLeft, page.graphTop, g_.BodyWidth(), g_.graphHeight), s.table);
    }
    if (page.reasonTop >= 0) {
      p_.setFont(Face(kTextSize, true));
      p_.drawText(QRectF(g_.marginLeft, page.reasonTop, g_.BodyWidth(), g_.ReasonHeight()),
                  Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, Q(ReasonText(s)));
    }
    Footer(index + 1, static_cast<int>(l_.pages.size()));
    p_.restore();
  }

 private:
  QRectF Line(qreal y, qreal height) const { return QRectF(g_.marginLeft, y, g_.BodyWidth(), height); }

  void SectionHeader(const REPORTSECTION& s) {
    Fitted(p_, Line(g_.BodyTop(), g_.titleHeight), Q(DocumentTitle()), Face(kTitleSize, true),
           Qt::AlignHCenter | Qt::AlignTop);
    Fields(HeaderFields(l_, s), g_.BodyTop() + g_.titleHeight);
  }

  // Label and value lines, the values aligned at one column.
  void Fields(const std::vector<REPORTFIELD>& fields, int32_t top) {
    qreal y = top;
    for (const REPORTFIELD& f : fields) {
      Fitted(p_, QRectF(g_.marginLeft, y, kLabelColumn - kCellPadding, g_.lineHeight), Q(f.first) + ":",
             Face(kTextSize), Qt::AlignLeft | Qt::AlignVCenter);
      Fitted(p_, QRectF(g_.marginLeft + kLabelColumn, y, g_.BodyWidth() - kLabelColumn, g_.lineHeight),
             Q(f.second), Face(kTextSize, true), Qt::AlignLeft | Qt::AlignVCenter);
      y += g_.lineHeight;
    }
  }

  void Table(const REPORTPAGE& page) {
    const qreal x0 = g_.marginLeft;
    const qreal cell = (g_.BodyWidth() - g_.levelColumnWidth) / static_cast<qreal>(REPORTROW::kCells);
    const qreal width = g_.levelColumnWidth + cell * REPORTROW::kCells;
    const qreal top = page.tableTop;
    const qreal rowsTop = top + g_.tableHeaderHeight;
    const qreal bottom = rowsTop + static_cast<qreal>(page.rows.size()) * g_.rowHeight;
    const auto cellX = [&](int c) { return x0 + g_.levelColumnWidth + c * cell; };

    // The column header: level caption, then the centimetres 0 to 9.
    Fitted(p_, QRectF(x0 + kCellPadding / 2, top, g_.levelColumnWidth - kCellPadding, g_.tableHeaderHeight),
           Q(LevelColumnCaption()), Face(kTableSize - 4, true), Qt::AlignCenter);
    for (int c = 0; c < REPORTROW::kCells; ++c) {
      Fitted(p_, QRectF(cellX(c), top, cell, g_.tableHeaderHeight), QString::number(c), Face(kTableSize, true),
             Qt::AlignCenter);
    }

    // Digits that fit a cell at the full size; only a longer number is measured
    // and squeezed.
    const QFont mono = Face(kTableSize, false, true);
    p_.setFont(mono);
    const qreal digit = QFontMetricsF(mono).horizontalAdvance(QLatin1Char('0'));
    const int fits = static_cast<int>((cell - kCellPadding - kCellGap) / digit);
    qreal y = rowsTop;
    for (const REPORTROW& row : page.rows) {
      Cell(QRectF(x0, y, g_.levelColumnWidth - kCellPadding, g_.rowHeight), row.levelCm, mono, fits);
      for (int c = 0; c < row.filled; ++c)
        Cell(QRectF(cellX(c), y, cell - kCellPadding, g_.rowHeight), row.cell[static_cast<size_t>(c)], mono, fits);
      y += g_.rowHeight;
    }

    // Rules: the frame, the columns, under the header, and a thin one under each row.
    p_.setPen(QPen(Qt::black, kRuleWidth));
    p_.setBrush(Qt::NoBrush);
    p_.drawRect(QRectF(x0, top, width, bottom - top));
    p_.drawLine(QPointF(x0, rowsTop), QPointF(x0 + width, rowsTop));
    for (int c = 0; c < REPORTROW::kCells; ++c) p_.drawLine(QPointF(cellX(c), top), QPointF(cellX(c), bottom));
    p_.setPen(QPen(Qt::black, kThinRuleWidth));
    for (size_t r = 1; r < page.rows.size(); ++r) {
      const qreal ry = rowsTop + static_cast<qreal>(r) * g_.rowHeight;
      p_.drawLine(QPointF(x0, ry), QPointF(x0 + width, ry));
    }
    p_.setPen(QPen(Qt::black, kRuleWidth));
  }

  void Cell(const QRectF& box, int32_t value, const QFont& mono, int fits) {
    const QString text = QString::number(value);
    if (text.size() <= fits) {
      p_.drawText(box, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip, text);
      return;
    }
    Fitted(p_, box.adjusted(kCellGap, 0, 0, 0), text, mono, Qt::AlignRight | Qt::AlignVCenter);
    p_.setFont(mono);
  }

  void Footer(int page, int pages) {
    const qreal y = g_.BodyBottom();
    p_.setPen(QPen(Qt::black, kThinRuleWidth));
    p_.drawLine(QPointF(g_.marginLeft, y + 10), QPointF(g_.marginLeft + g_.BodyWidth(), y + 10));
    const QRectF band(g_.marginLeft, y + 10, g_.BodyWidth(), g_.footerHeight - 10);
    Fitted(p_, band, Q(ProgramLine()), Face(kFooterSize), Qt::AlignLeft | Qt::AlignVCenter);
    Fitted(p_, band, Q(SheetText(page, pages)), Face(kFooterSize), Qt::AlignRight | Qt::AlignVCenter);
  }

  QPainter& p_;
  const REPORTLAYOUT& l_;
  const REPORTGEOMETRY& g_;
};
}  // namespace

void PaintReportPage(QPainter& painter, const REPORTLAYOUT& layout, int index) {
  PagePainter(painter, layout).Paint(index);
}

void SetUpReportPage(QPagedPaintDevice& device) {
  device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                   QPageLayout::Millimeter));
}

bool PaintReport(QPagedPaintDevice& device, const REPORTLAYOUT& layout) {
  QPainter p;
  if (!p.begin(&device)) return false;
  const REPORTGEOMETRY& g = layout.geometry;
  // The sheet in tenths of a millimetre, scaled onto the paintable area whole.
  const qreal scale = std::min(device.width() / static_cast<qreal>(g.pageWidth),
                               device.height() / static_cast<qreal>(g.pageHeight));
  const int pages = std::max<int>(static_cast<int>(layout.pages.size()), 1);
  for (int i = 0; i < pages; ++i) {
    if (i > 0 && !device.newPage()) {
      p.end();
      return false;
    }
    p.resetTransform();
    p.scale(scale, scale);
    PaintReportPage(p, layout, layout.pages.empty() ? -1 : i);
  }
  return p.end();
}

bool WriteReportPdf(const REPORTLAYOUT& layout, const std::string& path) {
  OUTFILE out;
  if (!out.Open(path)) return false;
  {
    QPdfWriter pdf(QString::fromStdString(out.TempPath()));
    pdf.setTitle(Q(DocumentTitle()));
    pdf.setCreator(Q(ProgramLine()));
    SetUpReportPage(pdf);
    if (!PaintReport(pdf, layout)) return false;
  }
  // The writer does not report a short write (a full disk); a document that
  // does not end with the end-of-file mark never replaces the old one.
  QFile written(QString::fromStdString(out.TempPath()));
  if (!written.open(QIODevice::ReadOnly) || written.size() < kEndMarkTail) return false;
  written.seek(written.size() - kEndMarkTail);
  if (!written.read(kEndMarkTail).contains("%%EOF")) return false;
  written.close();
  return out.Commit();
}
