#pragma once
// The main window: the current project as a list of up to 16 forms, and every
// command of the program. Handlers change the project and then redraw the
// whole display from it (ShowProject); enable states depend only on the
// project and on the copy/paste sequence.
//
// Status bar panels are QLabels named "ProjBarPanel0".."1" and
// "StrBarPanel0".."3", left to right.

#include <QMainWindow>

#include "project/Eprj.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTableWidget;
class QTimer;
class QToolButton;

class TPrjForm : public QMainWindow {
  Q_OBJECT

 public:
  // Grid columns.
  static constexpr int kChannelColumn = 0;
  static constexpr int kControlColumn = 1;
  static constexpr int kLevelColumn = 2;
  static constexpr int kVolumeColumn = 3;
  static constexpr int kTitleColumn = 4;

  explicit TPrjForm(bool testMode, QWidget* parent = nullptr);
  ~TPrjForm() override;

  EPROJECT& Project() { return project_; }
  bool TestMode() const { return test_mode_; }

  void FormActivate();
  void ShowProject();
  void ShowControlColumn();
  bool QuerySaveProject();
  bool ExportProject();
  void EditTitle();
  void EditTables();
  // Fills StrBar panels 1 to 3 and repaints the window at once, so the text
  // is up before a modal progress dialog takes over.
  void ShowLinkStatus(const std::string& message, const std::string& label, int32_t number);
  void ReportWriteResult(int8_t versionId, const QString& text);

  // Handlers, public so that tests and the menus reach the same code.
  void NPrjNewClick();
  void ImportButtonClick();
  void ExportButtonClick();
  void NStrReadClick();
  void NStrWriteClick();
  void NStrCompareClick();
  void NStrClearClick();
  void NTabEditClick();
  void NTabAddNewClick();
  void NTabInsertNewClick();
  void NTabInsertEmptyClick();
  void NTabDeleteClick();
  void NTabCopyClick();
  void NTabCutClick();
  void NTabPasteClick();
  void NReportClick() {}
  void NChanClick();
  void NfolderClick();
  void NBiButtonClick();
  void AboutClick();
  void StrBarClick();
  void NExitClick();

  QTableWidget* TabGrid() const { return tab_grid_; }
  QTimer* LockTimer() const { return timer1_; }

 signals:
  // The window accepted its close: the program ends.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void FormDestroy();
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBars(QWidget* host);
  QToolButton* AddToolButton(const char* name, const char* glyph, const char* hint,
                             void (TPrjForm::*handler)());
  QAction* AddAction(QMenu* menu, const char* name, const char* caption, void (TPrjForm::*handler)());
  void SetCell(int row, int column, const QString& text);
  int SelectedIndex() const;
  // Runs a modal window of the program and redraws as on every return to
  // the main window.
  template <typename Run>
  void AfterModal(Run run);

  bool test_mode_;
  EPROJECT project_;
  QTableWidget* tab_grid_ = nullptr;
  QStatusBar* proj_bar_ = nullptr;
  QStatusBar* str_bar_ = nullptr;
  QLabel* proj_panels_[2] = {};
  QLabel* str_panels_[4] = {};
  QTimer* timer1_ = nullptr;
  QMenu* ntab_ = nullptr;
  QAction* nform_write_ = nullptr;
  QAction* nstr_write_ = nullptr;
  QAction* nstr_compare_ = nullptr;
  QAction* nreport_ = nullptr;
  QAction* ntab_paste_ = nullptr;
  QToolButton* tab_edit_button_ = nullptr;
  QToolButton* str_write_button_ = nullptr;
  QToolButton* export_button_ = nullptr;
  QToolButton* report_button_ = nullptr;
};
