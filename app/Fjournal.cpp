#include "app/Fjournal.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Dialogs.h"
#include "app/Qtext.h"
#include "app/core/Folders.h"
#include "editor/Fedittab.h"
#include "link/session/Outcome.h"
#include "project/Eprj.h"

using tgx::ToQt;

namespace {
const char* const kHeaders[] = {"Время", "Операция", "Порт", "Версия", "Результат", "Каналы"};
constexpr int kListLimit = 5000;  // the newest; older ones are still in the file

QString OperationText(tgx::JournalOp op) {
  switch (op) {
    case tgx::JournalOp::Read: return QStringLiteral("Чтение");
    case tgx::JournalOp::Write: return QStringLiteral("Запись");
    case tgx::JournalOp::Compare: return QStringLiteral("Сравнение");
    case tgx::JournalOp::Delete: return QStringLiteral("Удаление");
  }
  return {};
}

// Local time: the operator compares it with the clock on the wall.
QString TimeText(tgx::JournalTime t) {
  const qint64 ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QString ChannelsText(const tgx::SessionSummary& s) {
  QString text = s.TableCount >= 0 ? QString::number(s.TableCount) : QStringLiteral("—");
  if (s.BackupCount >= 0) text += QStringLiteral(" (копия БВ: %1)").arg(s.BackupCount);
  return text;
}

// The version label as the journal keeps it has a blank after it ("632 ").
QString VersionText(const std::string& label) { return ToQt(label).trimmed(); }
}  // namespace

TJournalForm::TJournalForm(const Hooks& hooks, QWidget* parent) : QDialog(parent), hooks_(hooks) {
  setObjectName(QStringLiteral("JournalForm"));
  setWindowTitle(QStringLiteral("Журнал сеансов"));
  setSizeGripEnabled(true);
  resize(720, 420);

  auto combo = [this](const char* name) {
    auto* box = new QComboBox(this);
    box->setObjectName(QLatin1String(name));
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
  };
  port_filter_ = combo("JournalPortFilter");
  version_filter_ = combo("JournalVersionFilter");
  operation_filter_ = combo("JournalOperationFilter");
  auto* filters = new QHBoxLayout;
  filters->addWidget(new QLabel(QStringLiteral("Порт:"), this));
  filters->addWidget(port_filter_);
  filters->addWidget(new QLabel(QStringLiteral("Версия:"), this));
  filters->addWidget(version_filter_);
  filters->addWidget(new QLabel(QStringLiteral("Операция:"), this));
  filters->addWidget(operation_filter_);
  filters->addStretch(1);

  grid_ = new QTableWidget(0, 6, this);
  grid_->setObjectName(QStringLiteral("JournalGrid"));
  grid_->setHorizontalHeaderLabels(
      {kHeaders[0], kHeaders[1], kHeaders[2], kHeaders[3], kHeaders[4], kHeaders[5]});
  grid_->verticalHeader()->hide();
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  grid_->horizontalHeader()->setStretchLastSection(true);

  set_choice_ = combo("JournalSetChoice");
  note_ = new QLabel(QStringLiteral("Таблицы открываются копией: правка в журнал не записывается."), this);
  note_->setObjectName(QStringLiteral("JournalNote"));
  auto button = [this](const char* name, const QString& text) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
  };
  tables_button_ = button("JournalTablesButton", QStringLiteral("Таблицы"));
  save_button_ = button("JournalSaveButton", QStringLiteral("Сохранить как проект…"));
  open_button_ = button("JournalOpenButton", QStringLiteral("Открыть как текущий проект"));
  QPushButton* close = button("JournalCloseButton", QStringLiteral("Закрыть"));
  auto* actions = new QHBoxLayout;
  actions->addWidget(set_choice_);
  actions->addWidget(tables_button_);
  actions->addWidget(save_button_);
  actions->addWidget(open_button_);
  actions->addStretch(1);
  actions->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filters);
  layout->addWidget(grid_, 1);
  layout->addWidget(note_);
  layout->addLayout(actions);

  connect(tables_button_, &QPushButton::clicked, this, &TJournalForm::TablesButtonClick);
  connect(save_button_, &QPushButton::clicked, this, &TJournalForm::SaveButtonClick);
  connect(open_button_, &QPushButton::clicked, this, &TJournalForm::OpenButtonClick);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(grid_, &QTableWidget::itemSelectionChanged, this, &TJournalForm::SelectionChanged);
  connect(grid_, &QTableWidget::cellDoubleClicked, this, [this] { TablesButtonClick(); });

  tgx::JournalOpen opened = tgx::Journal::Open(tgx::DataDir());
  journal_ = std::move(opened.Instance);
  if (!opened.Message.empty()) tgx::Dialogs().Inform(this, ToQt(opened.Message));
  FillFilters();
  for (QComboBox* box : {port_filter_, version_filter_, operation_filter_})
    connect(box, &QComboBox::currentIndexChanged, this, &TJournalForm::Refresh);
  Refresh();
}

TJournalForm::~TJournalForm() = default;

void TJournalForm::FillFilters() {
  const QString all = QStringLiteral("Все");
  port_filter_->addItem(all);
  version_filter_->addItem(all);
  operation_filter_->addItem(all);
  for (tgx::JournalOp op : {tgx::JournalOp::Read, tgx::JournalOp::Write, tgx::JournalOp::Compare,
                            tgx::JournalOp::Delete})
    operation_filter_->addItem(OperationText(op), int(op));
  if (!journal_) return;
  const tgx::ListResult everything = journal_->List({}, kListLimit);
  QStringList ports;
  std::vector<std::string> versions;
  for (const tgx::SessionSummary& s : everything.Sessions) {
    if (!s.Port.empty() && !ports.contains(ToQt(s.Port))) ports << ToQt(s.Port);
    if (std::find(versions.begin(), versions.end(), s.VersionLabel) == versions.end())
      versions.push_back(s.VersionLabel);
  }
  ports.sort();
  for (const QString& p : ports) port_filter_->addItem(p, p);
  std::sort(versions.begin(), versions.end());
  for (const std::string& v : versions)
    version_filter_->addItem(VersionText(v), QByteArray::fromStdString(v));
}

tgx::JournalFilter TJournalForm::CurrentFilter() const {
  tgx::JournalFilter filter;
  if (port_filter_->currentIndex() > 0) filter.Port = tgx::PathFromQt(port_filter_->currentData().toString());
  if (version_filter_->currentIndex() > 0)
    filter.VersionLabel = version_filter_->currentData().toByteArray().toStdString();
  if (operation_filter_->currentIndex() > 0)
    filter.Operation = static_cast<tgx::JournalOp>(operation_filter_->currentData().toInt());
  return filter;
}

void TJournalForm::Refresh() {
  const int64_t keep = SelectedId();
  listed_.clear();
  if (journal_) {
    tgx::ListResult list = journal_->List(CurrentFilter(), kListLimit);
    if (list.Ok)
      listed_ = std::move(list.Sessions);
    else if (!list.Message.empty())
      note_->setText(ToQt(list.Message));
  }
  grid_->setRowCount(static_cast<int>(listed_.size()));
  for (int r = 0; r < static_cast<int>(listed_.size()); ++r) {
    const tgx::SessionSummary& s = listed_[static_cast<size_t>(r)];
    const QString cells[] = {TimeText(s.Started),
                             OperationText(s.Operation),
                             s.Port.empty() ? tgx::PathToQt(s.Device) : ToQt(s.Port),
                             VersionText(s.VersionLabel),
                             ToQt(s.StatusText),
                             ChannelsText(s)};
    for (int c = 0; c < 6; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setToolTip(cells[c]);
      grid_->setItem(r, c, item);
    }
  }
  if (!(keep != 0 && SelectId(keep)) && !listed_.empty()) grid_->selectRow(0);
  SelectionChanged();
}

int64_t TJournalForm::SelectedId() const {
  const int row = grid_->currentRow();
  if (row < 0 || row >= static_cast<int>(listed_.size()) || grid_->selectedItems().isEmpty()) return 0;
  return listed_[static_cast<size_t>(row)].Id;
}

bool TJournalForm::SelectId(int64_t id) {
  for (int r = 0; r < static_cast<int>(listed_.size()); ++r) {
    if (listed_[static_cast<size_t>(r)].Id != id) continue;
    grid_->selectRow(r);
    return true;
  }
  return false;
}

void TJournalForm::SelectionChanged() {
  const int row = grid_->currentRow();
  const bool any = SelectedId() != 0;
  set_choice_->clear();
  if (any) {
    const tgx::SessionSummary& s = listed_[static_cast<size_t>(row)];
    if (s.TableCount > 0)
      set_choice_->addItem(s.Operation == tgx::JournalOp::Write ? QStringLiteral("Записанные таблицы")
                                                                 : QStringLiteral("Прочитанные таблицы"),
                           int(TableSet::Session));
    if (s.BackupCount > 0) set_choice_->addItem(QStringLiteral("Таблицы БВ до изменения"), int(TableSet::Backup));
  }
  const bool tables = set_choice_->count() > 0;
  set_choice_->setEnabled(tables);
  tables_button_->setEnabled(tables && hooks_.tableEditor != nullptr);
  save_button_->setEnabled(tables);
  open_button_->setEnabled(tables && static_cast<bool>(hooks_.openAsProject));
}

bool TJournalForm::LoadChosenTables(GROUPTAB& tables, std::string& name) {
  const int64_t id = SelectedId();
  if (id == 0 || set_choice_->count() == 0 || !journal_) return false;
  const auto set = static_cast<TableSet>(set_choice_->currentData().toInt());
  const tgx::LoadResult loaded = journal_->Load(id);
  const std::optional<GROUPTAB>& chosen = set == TableSet::Backup ? loaded.Session.Backup : loaded.Session.Tables;
  if (loaded.Status != tgx::LoadStatus::Loaded || !chosen || chosen->Count() == 0) {
    tgx::Dialogs().Inform(this, loaded.Message.empty() ? QStringLiteral("Таблицы сеанса не найдены в журнале.")
                                                       : ToQt(loaded.Message));
    return false;
  }
  tables = *chosen;
  name = ReadProjectName();
  return true;
}

void TJournalForm::TablesButtonClick() {
  GROUPTAB tables;
  std::string name;
  if (!hooks_.tableEditor || !LoadChosenTables(tables, name)) return;
  // A copy: whatever is done to it in the editor goes nowhere.
  FDATA copy;
  copy.FromTables(tables);
  hooks_.tableEditor->Setup(name, &copy, true);
  hooks_.tableEditor->exec();
}

void TJournalForm::SaveButtonClick() {
  GROUPTAB tables;
  std::string name;
  if (!LoadChosenTables(tables, name)) return;
  const int row = grid_->currentRow();
  const QString stamp = QDateTime::fromMSecsSinceEpoch(
                            std::chrono::duration_cast<std::chrono::milliseconds>(
                                listed_[static_cast<size_t>(row)].Started.time_since_epoch())
                                .count())
                            .toString(QStringLiteral("yyyyMMdd-HHmmss"));
  const QString proposed = QDir(tgx::PathToQt(tgx::HomeFolder())).filePath(QStringLiteral("БВ-%1.fs").arg(stamp));
  const QString path = tgx::Dialogs().SaveFileName(this, QStringLiteral("Сохранить как проект"), proposed,
                                                   QStringLiteral("Формы (fs)|*.fs"), true);
  if (path.isEmpty()) return;
  EPROJECT project;
  project.FromTables(tables, name);
  // A form file of tables is a type 1 file whatever the name typed.
  project.Save(FDATA::FileNameForType(tgx::PathFromQt(path), 1));
}

void TJournalForm::OpenButtonClick() {
  GROUPTAB tables;
  std::string name;
  if (!hooks_.openAsProject || !LoadChosenTables(tables, name)) return;
  if (hooks_.openAsProject(tables, name)) accept();
}
