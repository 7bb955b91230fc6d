#include "editor/Feditdlg.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableWidget>

namespace {
// Size before the first placement; every caller places the dialog anyway.
constexpr int kDesignWidth = 185;
constexpr int kDesignHeight = 24;
}  // namespace

TEditDlg::TEditDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName("EditDlg");
  setWindowTitle("Edit Dialog");
  setModal(true);
  // No layout: a layout would impose the edit box's minimum height on the
  // dialog, and grid rows are lower than that. The box follows the dialog's
  // size in resizeEvent instead.
  setMinimumSize(0, 0);
  ed_box_ = new QLineEdit(this);
  ed_box_->setObjectName("EdBox");
  ed_box_->setFrame(false);
  ed_box_->installEventFilter(this);
  // A one-pixel dark frame around the box: the dialog's own background
  // shows around it, so the edited cell stands out from its neighbours
  // without the toolkit's frame, which needs more height than a grid row has.
  setAutoFillBackground(true);
  QPalette frame = palette();
  frame.setColor(QPalette::Window, palette().color(QPalette::Shadow));
  setPalette(frame);
  resize(kDesignWidth, kDesignHeight);
}

void TEditDlg::PlaceOverCell(QTableWidget* grid, int row, int col) {
  if (!grid) return;
  const QModelIndex index = grid->model()->index(row, col);
  const QRect r = grid->visualRect(index);
  // visualRect is in the viewport's coordinates; the header row and the
  // grid's frame lie outside the viewport, so map from the viewport itself.
  const QPoint p = grid->viewport()->mapToGlobal(QPoint(0, 0));
  setGeometry(QRect(p + r.topLeft(), r.size()));
  // The text is written in the grid's own face, as the cell showed it.
  setFont(grid->font());
}

void TEditDlg::SetText(const QString& text) {
  typed_ = false;
  ed_box_->setText(text);
}

void TEditDlg::SetTypedText(const QString& text) {
  typed_ = true;
  ed_box_->setText(text);
}

QString TEditDlg::GetText() const { return ed_box_->text(); }

void TEditDlg::Accept() { done(QDialog::Accepted); }

bool TEditDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ed_box_) {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        Accept();
        return true;
      }
      if (key->key() == Qt::Key_Escape) {
        done(QDialog::Rejected);
        return true;
      }
    } else if (event->type() == QEvent::FocusIn && typed_) {
      // The dialog hands the box a focus of the Tab kind once shown, and
      // the box selects its text on that: a typed start must stay unselected.
      static_cast<QObject*>(ed_box_)->event(event);
      ed_box_->end(false);
      return true;
    } else if (event->type() == QEvent::MouseButtonDblClick) {
      Accept();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

QRect TEditDlg::BoxRect() const { return rect().adjusted(kFrame, kFrame, -kFrame, -kFrame); }

void TEditDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  ed_box_->setGeometry(BoxRect());
}

void TEditDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ed_box_->setGeometry(BoxRect());
  // A borderless window is not always given the keyboard by the window
  // manager; typing must go to the cell at once.
  activateWindow();
  ed_box_->setFocus();
  if (typed_)
    ed_box_->end(false);
  else
    ed_box_->selectAll();
}
