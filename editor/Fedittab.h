#pragma once
// The table editor: one tab per form of a form set, the form's rows in a
// three-column grid and its volume curve with the second differences beside it.
// The window edits the caller's set in place; the caller copies the project's
// forms out before exec() and hands them back afterwards, so the project sees
// a change only when something was really edited.

#include <QDialog>
#include <QImage>
#include <memory>
#include <string>

#include "model/Prjvol.h"

class FDATA;
class FORMA;
class VGRAF;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QScrollBar;
class QTabBar;
class QTableWidget;
class QToolButton;
class QWidget;
class TEditDlg;

namespace tgx {
class GraphView;
}

class TEditTabForm : public QDialog {
  Q_OBJECT

 public:
  // `cellEditor` is the in-place editor of the grid's cells, not owned; when
  // null each cell edit makes its own.
  explicit TEditTabForm(TEditDlg* cellEditor, QWidget* parent = nullptr);
  ~TEditTabForm() override;

  // `projectName` is Windows-1251; `forms` is not owned and must outlive the
  // modal run. Nothing is drawn until the window is shown.
  void Setup(const std::string& projectName, FDATA* forms, bool ddv);

  // The graph of the current showing; null while the window is not shown.
  VGRAF* Graph() { return graph_.get(); }
  int CurrentTab() const { return tab_index_; }
  const QImage& Picture() const { return picture_; }

  // Row commands and the cell editor (the tool buttons, Enter and double-click
  // call these).
  void SNewButtonClick();
  void SInsButtonClick();
  void SDelButtonClick();
  // `typed` is the text a key typed on the cell started the edit with.
  void EditCell(const QString& typed = QString());
  // Ctrl+C: the selected rows as "level<TAB>volume" lines on the clipboard.
  void CopyRows();
  // Ctrl+V: one column of numbers into the current column, or two columns
  // of level and volume, from the clipboard over the rows from the current
  // one on (appended past the last). Refused whole, with a box naming the
  // line, when a cell is not a number; true when the form changed.
  bool PasteRows();

  void RefreshTab();
  void UpdateRangeControls();
  void SyncRowToCursor();

  // Whether the volume cell in grid row `gridRow` (the header being row 0)
  // gets the red frame of a second difference outside -128..127.
  bool VolumeCellFramed(int gridRow) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls();
  void FormActivate();
  void FormDeactivate();
  void TabControl1Change(int index);
  void SelectFirstRow();
  void FillGrid();
  void SelectGridRow(int gridRow);
  int FirstEditableColumn() const;
  FORMA* CurrentForm() const;

  void Image1MouseDown(int x, int y);
  void Image1MouseMove(int x, int y, bool leftDown);
  void Image1MouseUp(int x, int y);
  void SelNotButtonClick();
  void SelLowButtonClick();
  void SelGrowButtonClick();
  void FrScrollBarScroll(int position);
  void RepaintGraph();

  TEditDlg* cell_editor_;
  FDATA* forms_ = nullptr;
  bool ddv_ = true;
  int tab_index_ = 0;
  bool active_ = false;
  std::unique_ptr<VGRAF> graph_;
  QImage picture_;
  // The second differences shown in the ddV column and behind the red frames:
  // the graph's table when it belongs to the volume table held now, else
  // computed here, so a failed range never shows the numbers of another form.
  PARTAB shown_ddv_;
  bool ddv_shown_ = false;

  QWidget* toolBar1_ = nullptr;
  QToolButton* sNewButton_ = nullptr;
  QToolButton* sInsButton_ = nullptr;
  QToolButton* sDelButton_ = nullptr;
  QLabel* filePanel_ = nullptr;
  QLabel* statusLine_ = nullptr;
  QTabBar* tabControl1_ = nullptr;
  QTableWidget* stringGrid1_ = nullptr;
  tgx::GraphView* image1_ = nullptr;
  QGroupBox* frGroup_ = nullptr;
  QLabel* frDia_ = nullptr;
  QPushButton* selLowButton_ = nullptr;
  QPushButton* selGrowButton_ = nullptr;
  QPushButton* selNotButton_ = nullptr;
  QScrollBar* frScrollBar_ = nullptr;
};
