#include "graph/Graf.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPolygon>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "forms/Convert.h"
#include "forms/Forma.h"

namespace {

// Margins of the two plots inside the image, in pixels.
constexpr int32_t kMainSide = 40;
constexpr int32_t kMainTopBottom = 20;
constexpr int32_t kDdvSide = 40;
constexpr int32_t kDdvTopBottom = 40;
constexpr float kDdvMin = -128.0f;
constexpr float kDdvMax = 128.0f;
constexpr float kDdvRange = 256.0f;
// A drag of at most this many pixels is a click that only moves the cursor.
constexpr int64_t kClickSlack = 10;
// The curve is handed to the painter in pieces so that a table of millions of
// entries never needs a polygon of the same size.
constexpr int kPolylineChunk = 4096;

// Float to integer as the unit software does it: toward zero. Values outside
// the 32-bit range (only reachable from absurd tables) are clamped instead of
// being undefined.
int32_t Trunc(float f) {
  if (!(f == f)) return 0;
  if (f >= 2147483647.0f) return std::numeric_limits<int32_t>::max();
  if (f <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(f);
}

int32_t TruncLong(long double f) {
  if (!(f == f)) return 0;
  if (f >= 2147483647.0L) return std::numeric_limits<int32_t>::max();
  if (f <= -2147483648.0L) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(f);
}

QColor FromBgr(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

QPen MakePen(uint32_t colour, Qt::PenStyle style) {
  QPen pen(FromBgr(colour));
  pen.setWidth(1);
  pen.setStyle(style);
  return pen;
}

// The box a label takes with its top left corner at (x, y).
QRect TextBox(const QPainter& p, int32_t x, int32_t y, const QString& text) {
  const QFontMetrics m = p.fontMetrics();
  return QRect(x, y, m.horizontalAdvance(text), m.height());
}

// Text placed by its top-left corner on the white of the cleared picture.
void TextOut(QPainter& p, int32_t x, int32_t y, const QString& text) {
  const QPen keep = p.pen();
  p.setPen(QPen(keep.color()));
  p.drawText(x, y + p.fontMetrics().ascent(), text);
  p.setPen(keep);
}

// The logical size of the picture: an image of a scaled screen has more
// pixels than the graph's layout.
QSize LogicalSize(const QImage& image) { return image.deviceIndependentSize().toSize(); }

// The labels are laid out for an 11-pixel face; the desktop's larger one
// makes neighbouring tick labels run into each other.
QFont LabelFace(QFont face) {
  face.setPixelSize(11);
  return face;
}

void BeginText(QPainter& p) {
  p.setFont(LabelFace(p.font()));
  p.setBackgroundMode(Qt::OpaqueMode);
  p.setBackground(QBrush(FromBgr(VGRAF::kWhite)));
}

// Draws the connected curve through points(k) for k = 0 .. last.
template <typename PointOf>
QPoint DrawPolyline(QPainter& p, int32_t last, PointOf points) {
  QPolygon chunk;
  chunk.reserve(kPolylineChunk + 1);
  QPoint prev = points(0);
  chunk.append(prev);
  for (int32_t k = 1; k <= last; ++k) {
    const QPoint pt = points(k);
    if (pt == prev) continue;  // a repeated point adds no pixel
    chunk.append(pt);
    prev = pt;
    if (chunk.size() > kPolylineChunk) {
      p.drawPolyline(chunk);
      chunk.clear();
      chunk.append(prev);
    }
  }
  if (chunk.size() == 1) {
    p.drawPoint(chunk.front());
  } else {
    p.drawPolyline(chunk);
  }
  return prev;
}

}  // namespace

VGRAF::VGRAF(QImage* image, bool ddv) : image_(image) { Reset(ddv); }

void VGRAF::Reset(bool ddv) {
  dragging_ = 0;
  ddv_ = ddv ? 1 : 0;
  x0_ = x1_ = 0;
  cursor_ = 0;
  const QSize size = LogicalSize(*image_);
  const int32_t w = size.width();
  const int32_t h = size.height();
  frame_.left = kMainSide;
  frame_.right = w - kMainSide;
  frame_.top = kMainTopBottom;
  frame_.bottom = h - kMainTopBottom;
  range_.span = 0.0f;
  dframe_.left = kDdvSide;
  dframe_.right = w - kDdvSide;
  dframe_.top = kDdvTopBottom;
  dframe_.bottom = h - kDdvTopBottom;
  drange_.vmin = kDdvMin;
  drange_.vmax = kDdvMax;
  drange_.vrange = kDdvRange;
  Blank();
  drawn_ = false;
}

bool VGRAF::LoadTable(const PARTAB& table) {
  v_.Assign(table);
  valid_ = v_.Count() >= 2 ? 1 : 0;
  ddv_current_ = false;
  if (range_.span == 0.0f || range_.span > static_cast<float>(v_.Count())) {
    range_.span = static_cast<float>(v_.Count());
  }
  return valid_ != 0;
}

bool VGRAF::LoadForm(const FORMA& form) {
  valid_ = ConvertForm(form, v_) ? 1 : 0;
  ddv_current_ = false;
  if (range_.span == 0.0f || range_.span > static_cast<float>(v_.Count())) {
    range_.span = static_cast<float>(v_.Count());
  }
  return valid_ != 0;
}

bool VGRAF::ComputeRange(int32_t c, int32_t s) {
  const int32_t n = v_.Count();
  if (n < 2) return false;
  Range r = range_;
  const int64_t h = s / 2;
  int64_t first = static_cast<int64_t>(c) - h;
  int64_t last = static_cast<int64_t>(c) + h;
  if (first < 0) {
    first = 0;
    last = s;
    if (last > n - 1) last = n - 1;
  } else if (last > n - 1) {
    last = n - 1;
    first = last - s;
    if (first < 0) first = 0;
  }
  partial_ = (first == 0 && last == n - 1) ? 0 : 1;
  r.start = static_cast<float>(first);
  r.end = static_cast<float>(last);
  r.span = r.end - r.start;
  // A negative span only comes from a negative request; it is as empty as zero.
  if (r.span <= 0.0f) return false;
  const int32_t from = Trunc(r.start);
  if (from < 0 || from > n - 1 || last > n - 1) return false;
  r.vmin = r.vmax = partial_ ? static_cast<float>(v_[from]) : 0.0f;
  // Only the maximum is searched: the whole view starts its axis at zero and a
  // partial view at its first volume.
  for (int32_t i = from; static_cast<float>(i) <= r.end && i <= last; ++i) {
    const float vi = static_cast<float>(v_[i]);
    if (vi > r.vmax) r.vmax = vi;
  }
  r.vrange = r.vmax - r.vmin;
  if (r.vrange == 0.0f) return false;
  // The volume labels stand between the picture's edge and the axis: the
  // axis moves right as far as the widest of them needs.
  const QFontMetrics m(LabelFace(QGuiApplication::font()));
  const int32_t widest = std::max(m.horizontalAdvance(QString::number(Trunc(r.vmin))),
                                  m.horizontalAdvance(QString::number(Trunc(r.vmax))));
  const int32_t width = LogicalSize(*image_).width();
  frame_.left = std::clamp(2 + widest + 4, kMainSide, std::max(kMainSide, width / 3));
  dframe_.left = std::max(kDdvSide, frame_.left);
  r.xscale = static_cast<float>(frame_.right - frame_.left) / r.span;
  r.yscale = static_cast<float>(frame_.top - frame_.bottom) / r.vrange;
  range_ = r;
  return true;
}

int32_t VGRAF::PointX(int32_t k) const {
  const float x = static_cast<float>(k) * range_.xscale + static_cast<float>(frame_.left);
  return Trunc(x);
}

int32_t VGRAF::PointY(int32_t k) const {
  const int32_t i = Trunc(static_cast<float>(k) + range_.start);
  const float y = (static_cast<float>(v_[i]) - range_.vmin) * range_.yscale + static_cast<float>(frame_.bottom);
  return Trunc(y);
}

void VGRAF::ShowRange(int32_t centre, int32_t span) {
  if (valid_ && ComputeRange(centre, span)) {
    if (static_cast<float>(cursor_) > range_.end) cursor_ = Trunc(range_.end);
    DrawAxes();
    drawn_ = true;
    if (ddv_) {
      SecondDifference(v_, ddv_table_);
      ddv_current_ = true;
      drange_.start = range_.start;
      drange_.end = range_.end;
      drange_.span = range_.span;
      drange_.xscale = static_cast<float>(dframe_.right - dframe_.left) / drange_.span;
      drange_.yscale = static_cast<float>(dframe_.top - dframe_.bottom) / kDdvRange;
      DrawDdv();
    }
  }
  // A failed range redraws nothing; the cursor line is put back only where a
  // caller took it away or the picture was cleared.
  if (!cursor_shown_) DrawCursor();
}

void VGRAF::ShowCurrent() { ShowRange(cursor_, Trunc(range_.span)); }

void VGRAF::ShowAll() { ShowRange(cursor_, v_.Count()); }

void VGRAF::Narrow() { ShowRange(cursor_, Trunc(range_.span * 0.5f)); }

void VGRAF::Widen() { ShowRange(cursor_, Trunc(range_.span * 2.0f)); }

void VGRAF::ScrollTo(int32_t i) {
  if (cursor_shown_) DrawCursor();
  cursor_ = i;
  ShowRange(i, Trunc(range_.span));
}

void VGRAF::BeginSelect(int32_t x, int32_t y) {
  // A press without the release of an earlier drag must not leave that
  // rectangle behind on the picture.
  if (dragging_) {
    DrawSelection();
    dragging_ = 0;
  }
  x0_ = x1_ = x;
  y0_ = y1_ = y;
}

void VGRAF::DragTo(int32_t x, int32_t y) {
  if (dragging_) DrawSelection();
  dragging_ = 1;
  x1_ = x;
  y1_ = y;
  DrawSelection();
}

bool VGRAF::EndSelect(int32_t x, int32_t y) {
  DrawSelection();
  if (cursor_shown_) DrawCursor();
  dragging_ = 0;
  x1_ = x;
  y1_ = y;
  cursor_ = IndexAt(static_cast<int32_t>((static_cast<int64_t>(x0_) + x1_) / 2));
  if (std::llabs(static_cast<int64_t>(x1_) - x0_) > kClickSlack) {
    const int32_t lo = x0_ < x1_ ? x0_ : x1_;
    const int32_t hi = x0_ < x1_ ? x1_ : x0_;
    ShowRange(cursor_, IndexAt(hi) - IndexAt(lo));
    return true;
  }
  DrawCursor();
  return false;
}

int32_t VGRAF::IndexAt(int32_t x) const {
  if (range_.end == 0.0f) return -1;
  const float fx = static_cast<float>(x);
  if (x <= frame_.left) return Trunc(range_.start);
  if (x >= frame_.right) return Trunc(range_.end);
  const float half = range_.xscale * 0.5f;
  // Entries well left of x cannot match; starting a little before the
  // estimate keeps the answer of a scan from k = 0 while a view of millions of
  // entries stays cheap on every mouse move.
  int32_t k = 0;
  if (range_.xscale > 0.0f) {
    const float est = (fx - static_cast<float>(frame_.left)) / range_.xscale - 2.0f;
    if (est > 0.0f) k = Trunc(est);
  }
  for (; static_cast<float>(k) <= range_.span; ++k) {
    const float p = static_cast<float>(k) * range_.xscale + static_cast<float>(frame_.left);
    if (p - half < fx && fx <= p + half) return Trunc(static_cast<float>(k) + range_.start);
  }
  return Trunc(range_.end);
}

int32_t VGRAF::CentreIndex() const { return Trunc((range_.start + range_.end) * 0.5f); }

int32_t VGRAF::ScrollStep() const {
  constexpr long double kThird = 1.0L / 3.0L;
  return TruncLong(static_cast<long double>(range_.span) * kThird);
}

bool VGRAF::Free(const QRect& box) const {
  for (const Label& l : labels_)
    if (l.box.intersects(box)) return false;
  return true;
}

bool VGRAF::PutLabel(QPainter& p, int32_t x, int32_t y, const QString& text, bool mayDrop) {
  const QRect box = TextBox(p, x, y, text);
  if (mayDrop && !Free(box)) return false;
  TextOut(p, x, y, text);
  labels_.push_back({box, text});
  return true;
}

void VGRAF::PutCaption(QPainter& p, const std::vector<QPoint>& places, const QString& text) {
  for (const QPoint& at : places)
    if (PutLabel(p, at.x(), at.y(), text, true)) return;
}

// A white picture with no ticks, labels or cursor on it.
void VGRAF::Blank() {
  image_->fill(FromBgr(kWhite));
  cursor_shown_ = false;
  xticks_.clear();
  yticks_.clear();
  labels_.clear();
  ylabels_right_ = 0;
}

void VGRAF::DrawAxes() {
  Blank();
  QPainter p(image_);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.setPen(MakePen(kBlack, Qt::SolidLine));
  BeginText(p);
  p.drawLine(frame_.left, frame_.bottom, frame_.right, frame_.bottom);
  // The axis caption stands above the axis' end, inside the picture.
  const QString lCaption = QStringLiteral("L[см]");
  const int32_t lWidth = p.fontMetrics().horizontalAdvance(lCaption);
  PutLabel(p, std::min(frame_.right + 2, LogicalSize(*image_).width() - lWidth - 1), frame_.bottom - 20, lCaption,
           false);
  p.drawLine(frame_.left, frame_.bottom, frame_.left, frame_.top);
  PutLabel(p, 2, 2, QStringLiteral("V[литр]"), false);
  if (range_.span > kSparseSpan) {
    DrawCurveDense(p);
  } else {
    DrawCurveSparse(p);
  }
}

void VGRAF::DrawCurve(QPainter& p) {
  const QPoint last = DrawPolyline(p, Trunc(range_.span), [this](int32_t k) { return QPoint(PointX(k), PointY(k)); });
  const QString caption = QStringLiteral("V(L)");
  const int32_t w = p.fontMetrics().horizontalAdvance(caption);
  const int32_t h = p.fontMetrics().height();
  PutCaption(p, {{last.x(), last.y()}, {last.x() - w - 2, last.y()}, {last.x() - w - 2, last.y() + h}, {last.x(), last.y() + h}},
             caption);
}

// Volume labels stand left of the axis, from the picture's edge; a label that
// would cover one already there is left out (its tick stays).
void VGRAF::PutVolumeLabel(QPainter& p, int32_t y, int32_t volume) {
  const QString text = QString::number(volume);
  if (PutLabel(p, 2, y, text, true))
    ylabels_right_ = std::max(ylabels_right_, 2 + p.fontMetrics().horizontalAdvance(text));
}

void VGRAF::DrawCurveSparse(QPainter& p) {
  const int32_t last = Trunc(range_.span);
  for (int32_t k = 0; k <= last; ++k) {
    const int32_t x = PointX(k);
    const int32_t index = Trunc(static_cast<float>(k) + range_.start);
    p.drawLine(x, frame_.bottom - 4, x, frame_.bottom + 4);
    PutLabel(p, x, frame_.bottom + 4, QString::number(index), true);
    xticks_.push_back({x, index});
    const int32_t y = PointY(k);
    p.drawLine(frame_.left - 2, y, frame_.left + 2, y);
    PutVolumeLabel(p, y, v_[index]);
    yticks_.push_back({y, v_[index]});
  }
  DrawCurve(p);
}

void VGRAF::DrawCurveDense(QPainter& p) {
  constexpr long double kTenth = 0.1L;
  const Range& r = range_;
  // Each step must move the mark; with float marks far from zero a small step
  // could vanish in rounding and the loop would never reach the end.
  float l = r.start;
  for (;;) {
    const int32_t x = Trunc((l - r.start) * r.xscale + static_cast<float>(frame_.left));
    p.drawLine(x, frame_.bottom - 4, x, frame_.bottom + 4);
    PutLabel(p, x, frame_.bottom + 4, QString::number(Trunc(l)), true);
    xticks_.push_back({x, Trunc(l)});
    if (l >= r.end) break;
    const float next = static_cast<float>(static_cast<long double>(l) + kTenth * static_cast<long double>(r.span));
    l = next > l ? next : r.end;
    if (l > r.end) l = r.end;
  }
  float w = r.vmin;
  for (;;) {
    const int32_t y = Trunc((w - r.vmin) * r.yscale + static_cast<float>(frame_.bottom));
    p.drawLine(frame_.left - 2, y, frame_.left + 2, y);
    PutVolumeLabel(p, y, Trunc(w));
    yticks_.push_back({y, Trunc(w)});
    if (w >= r.vmax) break;
    float next;
    if (r.vrange > 10.0f) {
      next = static_cast<float>(static_cast<long double>(w) + kTenth * static_cast<long double>(r.vrange));
    } else {
      next = w + 1.0f;
    }
    w = next > w ? next : r.vmax;
    if (w > r.vmax) w = r.vmax;
  }
  DrawCurve(p);
}

void VGRAF::DrawDdv() {
  const size_t firstLabel = labels_.size();
  QPainter p(image_);
  BeginText(p);
  const QFontMetrics m = p.fontMetrics();
  p.setPen(MakePen(kRed, Qt::SolidLine));
  // The caption follows the volume axis' caption on the top line; the band's
  // lines start right of the widest volume label, and its scale stands at
  // the band's right end, away from the volume labels.
  const QString caption = QStringLiteral("ddV");
  PutCaption(p, {{dframe_.left, 2}, {2 + m.horizontalAdvance(QStringLiteral("V[литр]")) + 8, 2}}, caption);
  const int32_t lineLeft = std::max(dframe_.left + 2, ylabels_right_ + 2);
  ddv_line_left_ = lineLeft;
  p.setPen(MakePen(kRed, Qt::DashLine));
  const int32_t mid = dframe_.bottom + (dframe_.top - dframe_.bottom) / 2;
  auto scale = [&](int32_t y, const QString& text) {
    PutLabel(p, dframe_.right - m.horizontalAdvance(text) - 2, y, text, true);
  };
  p.drawLine(lineLeft, dframe_.bottom, dframe_.right, dframe_.bottom);
  scale(dframe_.bottom, QString::number(Trunc(drange_.vmin)));
  scale(mid, QStringLiteral("0"));
  p.drawLine(lineLeft, dframe_.top, dframe_.right, dframe_.top);
  scale(dframe_.top, QString::number(Trunc(drange_.vmax)));
  p.setPen(MakePen(kRed, Qt::SolidLine));
  const int32_t n = ddv_table_.Count();
  const QPoint last = DrawPolyline(p, Trunc(drange_.span), [&](int32_t k) {
    const int32_t i = Trunc(static_cast<float>(k) + drange_.start);
    const float d = (i >= 0 && i < n) ? static_cast<float>(ddv_table_[i]) : 0.0f;
    const float x = static_cast<float>(k) * drange_.xscale + static_cast<float>(dframe_.left);
    const float y = d * drange_.yscale + static_cast<float>(mid);
    return QPoint(Trunc(x), Trunc(y));
  });
  const QString end = QStringLiteral("ddV(L)");
  const int32_t w = m.horizontalAdvance(end);
  const int32_t h = m.height();
  PutCaption(p, {{last.x(), last.y()}, {last.x() - w - 2, last.y()}, {last.x() - w - 2, last.y() - h},
                 {last.x() - w - 2, last.y() + h}, {last.x(), last.y() - h}, {last.x(), last.y() + h}},
             end);
  for (size_t i = firstLabel; i < labels_.size(); ++i) labels_[i].ddv = true;
}

void VGRAF::Paint(QPainter& p, const QRectF& area) const {
  const QSize plane = LogicalSize(*image_);
  if (area.width() <= 0 || area.height() <= 0 || plane.isEmpty()) return;
  p.save();
  p.setClipRect(area);
  p.translate(area.topLeft());
  const double scale = std::min(area.width() / plane.width(), area.height() / plane.height());
  p.scale(scale, scale);
  QFont face = p.font();
  face.setPixelSize(11);
  p.setFont(face);
  p.setBrush(Qt::NoBrush);
  const QColor black = FromBgr(kBlack), red = FromBgr(kRed);
  auto pen = [](const QColor& c, Qt::PenStyle style) {
    QPen pen(c);
    pen.setWidthF(1.0);
    pen.setStyle(style);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
  };
  auto text = [&p](const Label& l) {
    p.drawText(QPointF(l.box.left(), l.box.top() + QFontMetricsF(p.font()).ascent()), l.text);
  };
  p.setPen(pen(black, Qt::SolidLine));
  p.drawLine(QPointF(frame_.left, frame_.bottom), QPointF(frame_.right, frame_.bottom));
  p.drawLine(QPointF(frame_.left, frame_.bottom), QPointF(frame_.left, frame_.top));
  if (!drawn_) {
    // The axes' captions as they stand on a fresh picture.
    p.drawText(QPointF(2, 2 + QFontMetricsF(p.font()).ascent()), QStringLiteral("V[литр]"));
    p.restore();
    return;
  }
  for (const Tick& t : xticks_) p.drawLine(QPointF(t.pos, frame_.bottom - 4), QPointF(t.pos, frame_.bottom + 4));
  for (const Tick& t : yticks_) p.drawLine(QPointF(frame_.left - 2, t.pos), QPointF(frame_.left + 2, t.pos));
  const int32_t from = Trunc(range_.start);
  const int32_t last = Trunc(range_.span);
  QPolygonF curve;
  curve.reserve(last + 1);
  for (int32_t k = 0; k <= last && from + k < v_.Count(); ++k)
    curve.append(QPointF(k * static_cast<double>(range_.xscale) + frame_.left,
                         (static_cast<double>(v_[from + k]) - range_.vmin) * static_cast<double>(range_.yscale) +
                             frame_.bottom));
  p.drawPolyline(curve);
  if (ddv_ && ddv_current_) {
    const double mid = dframe_.bottom + (dframe_.top - dframe_.bottom) / 2;
    p.setPen(pen(red, Qt::DashLine));
    p.drawLine(QPointF(ddv_line_left_, dframe_.bottom), QPointF(dframe_.right, dframe_.bottom));
    p.drawLine(QPointF(ddv_line_left_, dframe_.top), QPointF(dframe_.right, dframe_.top));
    p.setPen(pen(red, Qt::SolidLine));
    QPolygonF band;
    band.reserve(last + 1);
    for (int32_t k = 0; k <= last; ++k) {
      const int32_t i = from + k;
      const double d = i < ddv_table_.Count() ? ddv_table_[i] : 0.0;
      band.append(QPointF(k * static_cast<double>(drange_.xscale) + dframe_.left,
                          d * static_cast<double>(drange_.yscale) + mid));
    }
    p.drawPolyline(band);
  }
  // Labels last, on white, so that no stroke runs through them.
  p.setBackgroundMode(Qt::OpaqueMode);
  p.setBackground(QBrush(FromBgr(kWhite)));
  for (const Label& l : labels_) {
    p.setPen(pen(l.ddv ? red : black, Qt::SolidLine));
    text(l);
  }
  p.restore();
}

void VGRAF::DrawCursor() {
  QPainter p(image_);
  p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  p.setPen(MakePen(kGreen, Qt::DashLine));
  const float fx = (static_cast<float>(cursor_) - range_.start) * range_.xscale + static_cast<float>(frame_.left);
  const int32_t x = Trunc(fx);
  p.drawLine(x, frame_.bottom, x, frame_.top);
  cursor_shown_ = !cursor_shown_;
}

void VGRAF::DrawSelection() {
  if (!dragging_) return;
  QPainter p(image_);
  p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  p.setPen(MakePen(kBlack, Qt::DashLine));
  const QPoint outline[] = {{x0_, y0_}, {x1_, y0_}, {x1_, y1_}, {x0_, y1_}, {x0_, y0_}};
  p.drawPolyline(outline, 5);
}
