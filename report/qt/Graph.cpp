#include "report/qt/Graph.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <algorithm>
#include <cmath>

#include "graph/Graf.h"
#include "model/Prjvol.h"

namespace {
// The document's graph is the editor's, laid out on a picture of the editor's
// width and of the area's proportions, then drawn as strokes onto the area.
constexpr int kPlaneWidth = 593;
constexpr int kMinPlaneHeight = 160;
}  // namespace

void PaintTableGraph(QPainter& p, const QRectF& area, const PARTAB& v) {
  if (area.width() <= 0 || area.height() <= 0) return;
  const int height = std::max(kMinPlaneHeight, static_cast<int>(std::lround(kPlaneWidth * area.height() / area.width())));
  QImage layout(kPlaneWidth, height, QImage::Format_RGB32);
  VGRAF graph(&layout, true);
  graph.LoadTable(v);
  graph.ShowAll();
  p.save();
  // The document embeds this face; the labels are measured with it too.
  QFont face(QStringLiteral("DejaVu Sans"));
  face.setStyleHint(QFont::SansSerif);
  face.setHintingPreference(QFont::PreferNoHinting);
  p.setFont(face);
  graph.Paint(p, area);
  p.restore();
}
