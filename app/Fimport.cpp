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
#include "forms/Readback.h"

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
  QStringList failures;
  for (int i = 0; i < count; ++i) {
    SetFixedCell(i, 1, ToQt(project_.ControlMark(i)));
    const FORMA& form = project_.Form(i);
    // A form holding a text the file would not give back is shown in red,
    // its question as the tooltip; a form that does not convert says why.
    const std::optional<UNSAFETEXT> unsafe = FirstUnsafeText(form);
    QTableWidgetItem* title = tab_grid_->item(i, kTitleColumn);
    title->setForeground(unsafe ? QBrush(Qt::red) : QBrush());
    const std::string why = project_.IsGap(i) ? std::string() : ConversionFailureText(form);
    QString tip = unsafe ? ToQt(UnsafeTextQuestion(i, *unsafe)) : QString();
    if (!why.empty()) {
      failures << QStringLiteral("Форма %1: ").arg(i + 1) + ToQt(why);
      tip = (tip.isEmpty() ? QString() : tip + '\n') + ToQt(why);
    }
    title->setToolTip(tip);
    tab_grid_->item(i, 1)->setToolTip(ToQt(why));
  }
  // The title bar's tooltip lists why forms do not convert.
  setToolTip(failures.join('\n'));
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
  // A typed text that the file would give back otherwise ("12x4" as two
  // values) is saved only when the operator says so, form by form.
  for (int i = 0; i < project_.FormCount(); ++i) {
    const std::optional<UNSAFETEXT> unsafe = FirstUnsafeText(project_.Form(i));
    if (!unsafe) continue;
    if (tgx::Dialogs().AskYesNoCancel(this, ToQt(UnsafeTextQuestion(i, *unsafe))) != tgx::DialogService::Answer::Yes)
      return false;
  }
  const QString proposed = ToQt(project_.Name());
  const QString chosen = tgx::Dialogs().SaveFileName(this, "Сохранить форму", proposed, kSaveFilter, true);
  if (chosen.isEmpty()) return false;
  // The forms are written in the layout of their type, and a file's type is
  // read back from its extension: a type 4 set saved as "x.fs" would come
  // back as type 1 and garbled. So another type's extension is replaced, and
  // any other ending is kept with the type's extension after it.
  const int32_t type = project_.Form(0).Type();
  std::string path = tgx::PathFromQt(chosen);
  const int32_t named = FDATA::TypeOfFileName(path);
  if (named != type) {
    if (named == 0 && !QFileInfo(chosen).suffix().isEmpty())
      path += FDATA::FileNameForType("x", type).substr(1);
    else
      path = FDATA::FileNameForType(path, type);
    // The file dialog asked about the name it gave, not about this one.
    if (QFileInfo::exists(tgx::PathToQt(path)) &&
        tgx::Dialogs().AskYesNoCancel(this, "Файл " + tgx::PathToQt(path) + " уже существует. Заменить?") !=
            tgx::DialogService::Answer::Yes)
      return false;
  }
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
