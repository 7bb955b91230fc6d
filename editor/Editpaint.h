#pragma once
// What the table editor paints itself: the glyphs of its row buttons and the
// red frame of a volume cell whose second difference the unit cannot store.

#include <QIcon>
#include <QStyledItemDelegate>
#include <functional>

namespace tgx {

// The row buttons' glyphs, drawn so the window needs no image files.
enum class RowGlyph { Append, Insert, Delete };
QIcon RowGlyphIcon(RowGlyph kind);

// Draws the cells as usual and then, in one column, a one-pixel red frame
// around each cell of a row that `framed` names (the view's own row numbers).
class FrameDelegate : public QStyledItemDelegate {
 public:
  FrameDelegate(int column, std::function<bool(int row)> framed, QObject* parent);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  int column_;
  std::function<bool(int row)> framed_;
};

}  // namespace tgx
