#include "report/qt/Graph.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <algorithm>
#include <cmath>
#include <vector>

#include "forms/Convert.h"
#include "model/Prjvol.h"

namespace {
// The graph is laid out on a plane 1000 units wide, as tall as the area's
// proportions make it, and then scaled onto the area: the margins and label
// sizes are the editor's, widened for a label of a seven-digit volume.
constexpr double kPlaneWidth = 1000.0;
constexpr double kLeft = 90.0;
constexpr double kRight = 60.0;
constexpr double kTopBottom = 30.0;
constexpr double kDdvTopBottom = 60.0;
constexpr double kDdvMin = -128.0;
constexpr double kDdvRange = 256.0;
constexpr double kLabelSize = 16.0;
constexpr double kTickHalf = 5.0;
constexpr double kLineWidth = 1.5;
// Up to this span every entry gets a tick; beyond it a tick every tenth.
constexpr double kSparseSpan = 20.0;
constexpr int kTenths = 10;

const QColor kRed(255, 0, 0);

QPen Pen(const QColor& colour, Qt::PenStyle style = Qt::SolidLine) {
  QPen pen(colour);
  pen.setWidthF(kLineWidth);
  pen.setStyle(style);
  pen.setCapStyle(Qt::FlatCap);
  return pen;
}

// Text with its top left corner at (x, y), as the editor places its labels.
void Label(QPainter& p, double x, double y, const QString& text) {
  p.drawText(QPointF(x, y + QFontMetricsF(p.font()).ascent()), text);
}

QString Number(double v) { return QString::number(static_cast<long long>(std::trunc(v))); }
}  // namespace

void PaintTableGraph(QPainter& p, const QRectF& area, const PARTAB& v) {
  if (area.width() <= 0 || area.height() <= 0) return;
  p.save();
  p.setClipRect(area);
  p.translate(area.topLeft());
  const double scale = area.width() / kPlaneWidth;
  p.scale(scale, scale);
  const double h = area.height() / scale;
  const double left = kLeft, right = kPlaneWidth - kRight, top = kTopBottom, bottom = h - kTopBottom;

  QFont face(QStringLiteral("DejaVu Sans"));
  face.setStyleHint(QFont::SansSerif);
  face.setHintingPreference(QFont::PreferNoHinting);
  face.setPixelSize(static_cast<int>(kLabelSize));
  p.setFont(face);
  p.setPen(Pen(Qt::black));
  p.setBrush(Qt::NoBrush);
  p.drawLine(QPointF(left, bottom), QPointF(right, bottom));
  Label(p, right + 2, bottom - 2 * kLabelSize, QStringLiteral("L[см]"));
  p.drawLine(QPointF(left, bottom), QPointF(left, top));
  Label(p, 2, 2, QStringLiteral("V[литр]"));

  const int32_t n = v.Count();
  if (n < 2) {
    p.restore();
    return;
  }
  // The whole table: the level axis from the first entry to the last, the
  // volume axis from zero (or the lowest volume, when one is below zero).
  const double start = 0.0, end = n - 1, span = end - start;
  double vmin = 0.0, vmax = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    vmin = std::min(vmin, static_cast<double>(v[i]));
    vmax = std::max(vmax, static_cast<double>(v[i]));
  }
  const double vrange = vmax - vmin;
  if (vrange <= 0.0) {
    p.restore();
    return;
  }
  const double xs = (right - left) / span;
  const double ys = (top - bottom) / vrange;
  const auto px = [&](double index) { return (index - start) * xs + left; };
  const auto py = [&](double volume) { return (volume - vmin) * ys + bottom; };

  if (span > kSparseSpan) {
    for (int k = 0; k <= kTenths; ++k) {
      const double l = start + span * k / kTenths;
      p.drawLine(QPointF(px(l), bottom - kTickHalf), QPointF(px(l), bottom + kTickHalf));
      Label(p, px(l), bottom + kTickHalf, Number(l));
    }
    // Volume ticks every tenth of the range; a range of ten litres or less
    // steps by one litre, as the editor does. Counted, not summed, so that
    // rounding never adds a tick beside the top one.
    const int steps = vrange > 10.0 ? kTenths : static_cast<int>(std::ceil(vrange));
    for (int k = 0; k <= steps; ++k) {
      const double w = vrange > 10.0 ? vmin + vrange * k / kTenths : std::min(vmin + k, vmax);
      p.drawLine(QPointF(left - kTickHalf, py(w)), QPointF(left + kTickHalf, py(w)));
      Label(p, 2, py(w), Number(w));
    }
  } else {
    for (int32_t i = 0; i < n; ++i) {
      p.drawLine(QPointF(px(i), bottom - kTickHalf), QPointF(px(i), bottom + kTickHalf));
      Label(p, px(i), bottom + kTickHalf, QString::number(i));
      p.drawLine(QPointF(left - kTickHalf, py(v[i])), QPointF(left + kTickHalf, py(v[i])));
      Label(p, 2, py(v[i]), QString::number(v[i]));
    }
  }
  QPolygonF curve;
  curve.reserve(n);
  for (int32_t i = 0; i < n; ++i) curve.append(QPointF(px(i), py(v[i])));
  p.drawPolyline(curve);
  Label(p, curve.back().x(), curve.back().y(), QStringLiteral("V(L)"));

  // The ddV band, in red over the curve.
  const double dtop = kDdvTopBottom, dbottom = h - kDdvTopBottom;
  const double mid = dbottom + (dtop - dbottom) / 2;
  const double dys = (dtop - dbottom) / kDdvRange;
  PARTAB ddv;
  SecondDifference(v, ddv);
  p.setPen(Pen(kRed));
  Label(p, left, 2, QStringLiteral("ddV"));
  p.setPen(Pen(kRed, Qt::DashLine));
  p.drawLine(QPointF(left + 2, dbottom), QPointF(right, dbottom));
  Label(p, left + 2, dbottom, Number(kDdvMin));
  Label(p, left + 2, mid, QStringLiteral("0"));
  p.drawLine(QPointF(left + 2, dtop), QPointF(right, dtop));
  Label(p, left + 2, dtop, Number(kDdvMin + kDdvRange));
  p.setPen(Pen(kRed));
  QPolygonF band;
  band.reserve(n);
  for (int32_t i = 0; i < n; ++i) band.append(QPointF(px(i), ddv[i] * dys + mid));
  p.drawPolyline(band);
  Label(p, band.back().x(), std::clamp(band.back().y(), 0.0, h - kLabelSize), QStringLiteral("ddV(L)"));
  p.restore();
}
