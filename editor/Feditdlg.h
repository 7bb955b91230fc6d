#pragma once
// The in-place cell editor of every grid: a borderless modal window laid
// exactly over one cell, holding one edit box that fills it but for a
// one-pixel frame, in the grid's face. The caller puts
// the cell's text in, runs exec(), and on Accepted takes the text back and
// stores it itself; nothing typed is checked or converted here.

#include <QDialog>
#include <QString>

class QLineEdit;
class QTableWidget;

class TEditDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TEditDlg(QWidget* parent = nullptr);

  // Takes the screen rectangle the grid reports for the cell (Qt row and
  // column), even when the cell is scrolled partly out of view.
  void PlaceOverCell(QTableWidget* grid, int row, int col);
  void SetText(const QString& text);
  // The text typed on a selected cell that started the edit: the box opens
  // with it and the caret after it, so the next key adds to it instead of
  // replacing it.
  void SetTypedText(const QString& text);
  QString GetText() const;

  QLineEdit* EdBox() const { return ed_box_; }
  // Where the edit box sits: the dialog less its frame.
  QRect BoxRect() const;
  static constexpr int kFrame = 1;

 public slots:
  void Accept();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  QLineEdit* ed_box_;
  bool typed_ = false;
};
