#pragma once
// "Импорт формы": shows a loaded form file before it is taken into the current
// project. The main window loads the file into Project(), runs exec(), and on
// Accepted converts Project() into its own project. Here the operator sees
// which forms convert, may edit titles and tables, and may save the file back.
// The title cell's editor and the table editor are the program's own, handed
// in; without the table editor its button does nothing, without a cell
// editor each title edit makes its own.

#include <QDialog>

#include "project/Eprj.h"

class QPushButton;
class QTableWidget;
class TEditDlg;
class TEditTabForm;

class TImportDlg : public QDialog {
  Q_OBJECT

 public:
  TImportDlg(TEditDlg* cellEditor, TEditTabForm* tableEditor, QWidget* parent = nullptr);

  // The open dialog's filter: the form files, and CSV or text files of
  // levels and volumes.
  static const QString& OpenFilter();
  // Loads a form file, or a CSV file (told by its extension) through the CSV
  // import with its default options, into Project(). A refused CSV shows the
  // import's message (it names the line and column) in a box. True when the
  // project holds the file's forms; on false it is as it was.
  bool LoadFile(const QString& path);

  EPROJECT& Project() { return project_; }
  const EPROJECT& Project() const { return project_; }

  // Redraws caption, titles and the check column from the project and
  // enables OK exactly when every defined form converts.
  void ShowImport();
  // Asked on every close: true lets the dialog close.
  bool QuerySaveForm();
  // Writes the forms under a name chosen by the operator; true when written.
  bool SaveForm();
  // In-place edit of the selected row's title; a changed title marks the
  // project modified, as in the main window.
  void EditTitle();
  // The table editor on a copy of the forms, with this dialog hidden meanwhile.
  void EditTables();

  QTableWidget* TabGrid() const { return tab_grid_; }

  static constexpr int kTitleColumn = 2;

 public slots:
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void TabGridDblClick(int row, int column);
  void SetFixedCell(int row, int column, const QString& text);

  TEditDlg* cell_editor_;
  TEditTabForm* table_editor_;
  EPROJECT project_;
  QTableWidget* tab_grid_;
  QPushButton* edit_button_;
  QPushButton* save_button_;
  QPushButton* ok_button_;
  QPushButton* cancel_button_;
};
