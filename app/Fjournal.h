#pragma once
// «Журнал сеансов»: the sessions the program and tgxctl have kept in the
// journal, newest first, with a filter by port, unit version and operation.
// For the selected session its tables (or the unit's tables as they were
// before a write or delete changed them) can be looked at in the table
// editor, saved as a form file, or taken as the current project, so that a
// backup goes back to the unit with the usual write command.
//
// The table editor has no read-only mode: it gets a copy of the tables,
// which is dropped when it closes; the journal is never changed from here.

#include <QDialog>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "journal/Journal.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class TEditTabForm;

class TJournalForm : public QDialog {
  Q_OBJECT

 public:
  // Grid columns.
  static constexpr int kTimeColumn = 0;
  static constexpr int kOperationColumn = 1;
  static constexpr int kPortColumn = 2;
  static constexpr int kVersionColumn = 3;
  static constexpr int kResultColumn = 4;
  static constexpr int kChannelsColumn = 5;
  // The choice of table set.
  enum class TableSet { Session, Backup };

  struct Hooks {
    TEditTabForm* tableEditor = nullptr;  // not owned; without it «Таблицы» does nothing
    // Takes tables as the current project (asking to save the old one);
    // false when the operator kept the old one.
    std::function<bool(const GROUPTAB& tables, const std::string& name)> openAsProject;
  };

  // Opens the journal in DataDir() and lists it.
  explicit TJournalForm(const Hooks& hooks, QWidget* parent = nullptr);
  ~TJournalForm() override;

  // Lists the sessions that pass the filter; the filter's choices come from
  // the whole journal.
  void Refresh();
  // The selected session's id; 0 when none.
  int64_t SelectedId() const;
  // Selects the listed session with that id; false when it is not listed.
  bool SelectId(int64_t id);
  // The table set chosen for the selected session, loaded from the journal;
  // false (having said why) when there is none or it is damaged.
  bool LoadChosenTables(GROUPTAB& tables, std::string& name);

  void TablesButtonClick();
  void SaveButtonClick();
  void OpenButtonClick();

  QTableWidget* Grid() const { return grid_; }
  QComboBox* PortFilter() const { return port_filter_; }
  QComboBox* VersionFilter() const { return version_filter_; }
  QComboBox* OperationFilter() const { return operation_filter_; }
  QComboBox* SetChoice() const { return set_choice_; }

 private:
  void FillFilters();
  void SelectionChanged();
  tgx::JournalFilter CurrentFilter() const;

  Hooks hooks_;
  std::unique_ptr<tgx::Journal> journal_;
  std::vector<tgx::SessionSummary> listed_;
  QComboBox* port_filter_;
  QComboBox* version_filter_;
  QComboBox* operation_filter_;
  QTableWidget* grid_;
  QComboBox* set_choice_;
  QLabel* note_;
  QPushButton* tables_button_;
  QPushButton* save_button_;
  QPushButton* open_button_;
};
