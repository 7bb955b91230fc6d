#include "app/Fimport.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/Dialogs.h"
#include "app/Qtext.h"
#include "editor/Feditdlg.h"
#include "exchange/Csv.h"
#include "editor/Fedittab.h"
#include "forms/Fdata.h"

namespace {
constexpr int kWidth = 482;
constexpr int kHeight = 384;
constexpr int kRowHeight = 18;
constexpr int kButtonWidth = 121;
constexpr int kColumnWidths[] = {41, 73, 223};
// The dialog service turns this into the toolkit's form, matching both cases.
constexpr const char* kSaveFilter = "fs, fs1, fs2, f1|*.fs*;*.f1";
}  // namespace

using tgx::ToQt;

TImportDlg::TImportDlg(TEditDlg* cellEditor, TEditTabForm* tableEditor, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      cell_editor_(cellEditor),
      table_editor_(tableEditor) {
  // No close button in the title bar: the dialog ends only through OK and
  // Cancel, so that the save question is always reached.
  setObjectName("ImportDlg");
  setWindowTitle("Импорт формы");
  setFixedSize(kWidth, kHeight);

  tab_grid_ = new QTableWidget(0, 3, this);
  tab_grid_->setObjectName("TabGrid");
  tab_grid_->setHorizontalHeaderLabels({"Канал", "Контроль", "Заголовок"});
  tab_grid_->verticalHeader()->hide();
  tab_grid_->verticalHeader()->setMinimumSectionSize(kRowHeight);
  tab_grid_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  tab_grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  tab_grid_->horizontalHeader()->setHighlightSections(false);
  tab_grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int c = 0; c < 3; ++c) tab_grid_->setColumnWidth(c, kColumnWidths[c]);
  // The title column takes exactly the room left, so selecting a title never
  // scrolls the channel and check columns out of view.
  tab_grid_->horizontalHeader()->setSectionResizeMode(kTitleColumn, QHeaderView::Stretch);
  tab_grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tab_grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // A title too long for its cell shows as much of its beginning as fits,
  // on one line.
  tab_grid_->setTextElideMode(Qt::ElideNone);
  tab_grid_->setWordWrap(false);
  tab_grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  tab_grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
  tab_grid_->setTabKeyNavigation(false);
  tab_grid_->installEventFilter(this);
  // The double-click is taken from the viewport itself: the cell under the
  // pointer decides, whatever the item view made of the first click.
  tab_grid_->viewport()->installEventFilter(this);
  // Hidden until the first showing, but its place in the window is kept.
  QSizePolicy keep = tab_grid_->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  tab_grid_->setSizePolicy(keep);
  tab_grid_->hide();

  edit_button_ = new QPushButton("Редактор таблиц", this);
  edit_button_->setObjectName("EditButton");
  save_button_ = new QPushButton("Сохранить форму", this);
  save_button_->setObjectName("SaveButton");
  ok_button_ = new QPushButton("OK", this);
  ok_button_->setObjectName("OkButton");
  cancel_button_ = new QPushButton("Cancel", this);
  cancel_button_->setObjectName("CancelButton");
  // Enter belongs to the grid (it edits a title); no button takes it.
  for (QPushButton* b : {edit_button_, save_button_, ok_button_, cancel_button_}) {
    b->setFixedWidth(kButtonWidth);
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  connect(edit_button_, &QPushButton::clicked, this, &TImportDlg::EditTables);
  connect(save_button_, &QPushButton::clicked, this, [this] { SaveForm(); });
  connect(ok_button_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_button_, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(edit_button_);
  buttons->addWidget(save_button_);
  buttons->addStretch(1);
  buttons->addWidget(ok_button_);
  buttons->addWidget(cancel_button_);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(tab_grid_, 1);
  layout->addLayout(buttons);
}

const QString& TImportDlg::OpenFilter() {
  static const QString filter = QStringLiteral("Формы (fs, fs1, fs2, f1), CSV|*.FS*;*.F1;*.fs*;*.f1;*.csv;*.CSV;*.txt;*.TXT");
  return filter;
}

bool TImportDlg::LoadFile(const QString& path) {
  const std::string native = tgx::PathFromQt(path);
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix != QLatin1String("csv") && suffix != QLatin1String("txt")) return project_.Load(native);
  CsvImportReport report;
  if (ImportCsvProject(native, CsvImportOptions{}, project_, report)) return true;
  tgx::Dialogs().Inform(this, ToQt(report.Message));
  return false;
}

void TImportDlg::SetFixedCell(int row, int column, const QString& text) {
  QTableWidgetItem* item = tab_grid_->item(row, column);
  if (!item) {
    item = new QTableWidgetItem;
    // Fixed columns: shaded, neither editable nor selectable.
    item->setFlags(Qt::ItemIsEnabled);
    item->setBackground(palette().button());
    tab_grid_->setItem(row, column, item);
  }
  item->setText(text);
}

void TImportDlg::ShowImport() {
  setWindowTitle("Импорт " + ToQt(project_.Name()));

  const int count = project_.FormCount();
  tab_grid_->setRowCount(count);
  for (int i = 0; i < count; ++i) {
    SetFixedCell(i, 0, QString::number(i + 1));
    QTableWidgetItem* title = tab_grid_->item(i, kTitleColumn);
    if (!title) {
      title = new QTableWidgetItem;
      title->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      tab_grid_->setItem(i, kTitleColumn, title);
    }
    title->setText(ToQt(project_.Form(i).Title()));
  }
  if (count > 0) tab_grid_->setCurrentCell(0, kTitleColumn);

  project_.Check();
  for (int i = 0; i < count; ++i) SetFixedCell(i, 1, ToQt(project_.ControlMark(i)));
  ok_button_->setEnabled(project_.AllDefinedConvert());
  tab_grid_->show();
}

bool TImportDlg::QuerySaveForm() {
  if (!project_.Modified()) return true;
  switch (tgx::Dialogs().AskYesNoCancel(this, "Сохранить форму?")) {
    case tgx::DialogService::Answer::Yes:
      return SaveForm();
    case tgx::DialogService::Answer::No:
      return true;
    default:
      return false;
  }
}

bool TImportDlg::SaveForm() {
  const QString proposed = ToQt(project_.Name());
  const QString chosen =
      tgx::Dialogs().SaveFileName(this, "Сохранить форму", proposed, kSaveFilter, false);
  if (chosen.isEmpty()) return false;
  // The forms are written in the layout of their type, and a file's type is
  // read back from its extension: a type 4 set saved as "x.fs" would come
  // back as type 1 and garbled. So the extension follows the type.
  const std::string path = FDATA::FileNameForType(tgx::PathFromQt(chosen), project_.Form(0).Type());
  return project_.Save(path);
}

void TImportDlg::EditTitle() {
  const int row = tab_grid_->currentRow();
  if (row < 0 || row >= project_.FormCount()) return;
  TEditDlg local;
  TEditDlg* dlg = cell_editor_ ? cell_editor_ : &local;
  dlg->PlaceOverCell(tab_grid_, row, kTitleColumn);
  dlg->SetText(ToQt(project_.Form(row).Title()));
  if (dlg->exec() != QDialog::Accepted) return;
  project_.SetTitle(row, tgx::FromQt(dlg->GetText()));
  if (QTableWidgetItem* item = tab_grid_->item(row, kTitleColumn))
    item->setText(ToQt(project_.Form(row).Title()));
}

void TImportDlg::EditTables() {
  if (!table_editor_) return;
  // QDialog::hide would end this dialog's own modal run; only the window is
  // taken off the screen while the editor works.
  QWidget::setVisible(false);
  FDATA forms;
  project_.CopyFormsTo(forms);
  table_editor_->Setup(project_.Name(), &forms, true);
  table_editor_->exec();
  project_.SetForms(forms);
  ShowImport();
  show();
}

void TImportDlg::done(int result) {
  if (!QuerySaveForm()) return;
  QDialog::done(result);
}

void TImportDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
  ShowImport();
}

bool TImportDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tab_grid_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    const QModelIndex index = tab_grid_->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
    if (index.isValid()) TabGridDblClick(index.row(), index.column());
    return true;
  }
  if (watched == tab_grid_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      if (tab_grid_->currentColumn() == kTitleColumn) EditTitle();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TImportDlg::TabGridDblClick(int row, int column) {
  if (column != kTitleColumn || row < 0) return;
  tab_grid_->setCurrentCell(row, column);
  EditTitle();
}
