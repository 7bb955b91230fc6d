#include "editor/Grafview.h"

#include <QMouseEvent>
#include <QPainter>

namespace tgx {

GraphView::GraphView(const QImage* picture, QWidget* parent) : QWidget(parent), picture_(picture) {
  setMouseTracking(true);
  setCursor(Qt::CrossCursor);
  // The image covers the whole view; nothing beneath needs drawing first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, *picture_);
}

void GraphView::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (onDown) onDown(at.x(), at.y());
}

void GraphView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (onMove) onMove(at.x(), at.y(), event->buttons() & Qt::LeftButton);
}

void GraphView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (onUp) onUp(at.x(), at.y());
}

}  // namespace tgx
