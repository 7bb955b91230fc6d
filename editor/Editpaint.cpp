#include "editor/Editpaint.h"

#include <QPainter>
#include <QPixmap>

namespace tgx {
namespace {
const QColor kFrameRed(255, 0, 0);
}  // namespace

QIcon RowGlyphIcon(RowGlyph kind) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  // A two-row table, then the mark of the command.
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::white);
  p.drawRect(1, 3, 13, 9);
  p.drawLine(1, 7, 14, 7);
  switch (kind) {
    case RowGlyph::Append:  // a plus below the table
      p.setPen(QPen(QColor(0, 128, 0), 2));
      p.drawLine(11, 10, 11, 15);
      p.drawLine(8, 13, 14, 13);
      break;
    case RowGlyph::Insert:  // an arrow into the table
      p.setPen(QPen(Qt::blue, 2));
      p.drawLine(4, 0, 4, 6);
      p.drawLine(2, 4, 4, 6);
      p.drawLine(6, 4, 4, 6);
      break;
    case RowGlyph::Delete:  // a cross over the lower row
      p.setPen(QPen(Qt::red, 2));
      p.drawLine(9, 8, 15, 14);
      p.drawLine(15, 8, 9, 14);
      break;
  }
  return QIcon(pm);
}

FrameDelegate::FrameDelegate(int column, std::function<bool(int row)> framed, QObject* parent)
    : QStyledItemDelegate(parent), column_(column), framed_(std::move(framed)) {}

void FrameDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  if (index.column() != column_ || !framed_ || !framed_(index.row())) return;
  painter->save();
  painter->setPen(QPen(kFrameRed, 1));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
  painter->restore();
}

}  // namespace tgx
