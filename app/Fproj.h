#pragma once
// The main window: the current project as a list of up to 16 forms, and every
// command of the program. Handlers change the project and then redraw the
// whole display from it (ShowProject); enable states depend only on the
// project and on the copy/paste sequence.
//
// Status bar panels are QLabels named "ProjBarPanel0".."1" and
// "StrBarPanel0".."3", left to right.
//
// The dialogs it opens are made once at start and handed over with
// SetWindows; a command whose dialog was not given does nothing.

#include <QMainWindow>
#include <cstdint>
#include <functional>

#include "project/Eprj.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTableWidget;
class QTimer;
class QToolButton;
class TBVLink;
class TEditDlg;
class TEditTabForm;
class TImportDlg;
class TLinkDlg;
class THelpForm;
class TJournalForm;
namespace tgx {
enum class JournalOp : uint8_t;
}

class TPrjForm : public QMainWindow {
  Q_OBJECT

 public:
  // Grid columns.
  static constexpr int kChannelColumn = 0;
  static constexpr int kControlColumn = 1;
  static constexpr int kLevelColumn = 2;
  static constexpr int kVolumeColumn = 3;
  static constexpr int kTitleColumn = 4;

  // The dialogs this window opens; none is owned.
  struct Windows {
    TEditDlg* editDlg = nullptr;          // the title cell's editor
    TEditTabForm* editTabForm = nullptr;  // the table editor
    TLinkDlg* linkDlg = nullptr;          // the system commands' progress dialog
    TImportDlg* importDlg = nullptr;      // the preview of a form file
  };

  explicit TPrjForm(bool testMode, QWidget* parent = nullptr);
  ~TPrjForm() override;

  void SetWindows(const Windows& windows) { windows_ = windows; }
  const Windows& GetWindows() const { return windows_; }

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
  void ShowLinkStatus(const QString& message, const QString& label, int32_t number);
  // After a successful write or delete: the done text and the notice the
  // unit's firmware calls for, in one box; no box when it calls for none.
  void ReportWriteResult(uint8_t versionId, const QString& doneText);

  // A form file taken as the project the way «Открыть» takes it (save
  // question, the import dialog), from the command line, a drop or the
  // recent files. False when nothing was taken.
  bool OpenFormFile(const QString& path);
  // Tables (from the journal) as the project, with the save question, as a
  // read from the unit makes it. False when the operator kept the old one.
  bool OpenTablesAsProject(const GROUPTAB& tables, const std::string& name);
  // The question before a write or a delete changes the unit.
  QString WriteQuestion() const;
  QString DeleteQuestion() const;

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
  void NReportClick();
  void NExportCsvClick();
  void NContentsClick();
  void NJournalClick();
  void NRecentClick(int index);
  void NChanClick();
  void NfolderClick();
  void NBiButtonClick();
  void AboutClick();
  void StrBarClick();
  void NExitClick();

  QTableWidget* TabGrid() const { return tab_grid_; }
  QTimer* LockTimer() const { return timer1_; }
  // Made at the first «Содержание», then kept; null before.
  THelpForm* HelpForm() const { return help_; }
  // The status line under the project panels (journal failures and the like).
  QString StatusLine() const;

 signals:
  // The window accepted its close: the program ends.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
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
  // The steps every system command shares: nothing while the lock-out second
  // runs; `prepare` may still refuse; the status text, the modal session,
  // its outcome in the status bar; `report` tells the operator; the lock-out
  // second starts.
  void RunSystemCommand(tgx::JournalOp op, const QString& statusText, const std::function<bool()>& prepare,
                        const std::function<bool(TLinkDlg&)>& session,
                        const std::function<void(bool succeeded, const TBVLink&)>& report);
  // Keeps the finished session in the journal; a failure is told once a run,
  // in the status line.
  void RecordInJournal(tgx::JournalOp op, const TBVLink& session);
  // The folder a file dialog starts in: the last one used, else the forms folder.
  QString StartFolder() const;
  void RememberFolderOf(const QString& path);
  void UpdateRecentFiles();
  void ShowSessionLog();
  void RememberUnitTables(const TBVLink& session);

  bool test_mode_;
  Windows windows_;
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
  QAction* nexport_csv_ = nullptr;
  QAction* nrecent_[5] = {};
  QAction* nrecent_separator_ = nullptr;
  THelpForm* help_ = nullptr;
  // The unit's table count as the last read or compare found it, and its port.
  int unit_tables_ = -1;
  int unit_tables_port_ = -1;
  QToolButton* tab_edit_button_ = nullptr;
  QToolButton* str_write_button_ = nullptr;
  QToolButton* export_button_ = nullptr;
  QToolButton* report_button_ = nullptr;
};
