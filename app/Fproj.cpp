// The main window.

#include "app/Fproj.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/Appinfo.h"
#include "app/Dialogs.h"
#include "app/Fabout.h"
#include "app/Fchancfg.h"
#include "app/Fhelp.h"
#include "app/Fimport.h"
#include "app/Fjournal.h"
#include "app/Freport.h"
#include "app/Flink.h"
#include "app/Qtext.h"
#include "app/core/Options.h"
#include "app/core/Syscfg.h"
#include "editor/Feditdlg.h"
#include "editor/Fedittab.h"
#include "exchange/Csv.h"
#include "forms/Readback.h"
#include "journal/Sessionentry.h"
#include "link/session/Bvlink.h"
#include "link/session/Outcome.h"
#include "model/Prjvol.h"
#include "panel/Fbik.h"
#include "report/Sitefields.h"

using tgx::Dialogs;
using tgx::ToQt;

namespace {
constexpr int kWidth = 404;
constexpr int kHeight = 477;
constexpr int kLockOutMs = 1000;
constexpr int kStatusLineMs = 20000;
constexpr int kRowHeight = 18;
constexpr int kToolBarHeight = 29;
constexpr int kButtonSize = 23;
constexpr int kColumnWidths[] = {41, 61, 68, 64, 99};
const char* const kHeaders[] = {"Канал", "Контроль", "Взлив (мм)", "Ёмкость (л)", "Заголовок"};

// "1 таблицу", "2 таблицы", "5 таблиц".
QString TablesWord(int n) {
  const int tens = n % 100;
  const int ones = n % 10;
  if (tens >= 11 && tens <= 14) return QStringLiteral("%1 таблиц").arg(n);
  if (ones == 1) return QStringLiteral("%1 таблицу").arg(n);
  if (ones >= 2 && ones <= 4) return QStringLiteral("%1 таблицы").arg(n);
  return QStringLiteral("%1 таблиц").arg(n);
}

QString PortName() { return QStringLiteral("COM%1").arg(Chanpar() ? Chanpar()->PortIndex + 1 : 1); }

// The reason behind a session's status text ("" when there is none).
QString SessionReason(const TBVLink& session) {
  if (session.StatusDetail.empty()) return {};
  return ToQt(session.StatusText) + QLatin1Char('\n') + ToQt(session.StatusDetail);
}

// Which channels differ, as lines under the compare verdict.
QString CompareReason(const GROUPTAB& unit, const GROUPTAB& project) {
  return ToQt(DiffText(DiffTables(unit, project)));
}

// Before a write or a delete: whether the session reads the unit's tables
// into the journal first (the operator's setting).
void PrepareBackup(TBVLink& session) { session.BackupFirst = tgx::LoadBackupOption(); }

// The form file that a drag carries, or "" when it carries anything else.
QString DroppedFormFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().first();
  if (!url.isLocalFile()) return {};
  const QString path = url.toLocalFile();
  return FDATA::TypeOfFileName(tgx::PathFromQt(path)) != 0 ? path : QString();
}

// A button without its glyph shows its hint's first letter rather than nothing.
QIcon Glyph(const char* glyph) {
  const QString path = QStringLiteral(":/glyphs/") + QLatin1String(glyph) + QStringLiteral(".png");
  return QFile::exists(path) ? QIcon(path) : QIcon();
}
}  // namespace

TPrjForm::TPrjForm(bool testMode, QWidget* parent)
    : QMainWindow(parent,
                  Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                      Qt::WindowCloseButtonHint),
      test_mode_(testMode) {
  setObjectName(QStringLiteral("PrjForm"));
  setWindowTitle(QStringLiteral("TGX 1.05.x"));
  QFont f = font();
  f.setPointSize(8);
  setFont(f);
  tgx::InitResources();
  const QIcon appIcon = Glyph("tgx");
  if (!appIcon.isNull()) setWindowIcon(appIcon);

  BuildMenus();
  BuildToolBar();

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  tab_grid_ = new QTableWidget(16, 5, central);
  tab_grid_->setObjectName(QStringLiteral("TabGrid"));
  tab_grid_->verticalHeader()->hide();
  tab_grid_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  tab_grid_->verticalHeader()->setMinimumSectionSize(kRowHeight);
  tab_grid_->horizontalHeader()->setFixedHeight(kRowHeight);
  tab_grid_->horizontalHeader()->setHighlightSections(false);
  tab_grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  tab_grid_->horizontalHeader()->setSectionsClickable(false);
  // The widths were chosen for a small face: a column is widened to its
  // caption where the desktop's font needs more, so no caption is clipped.
  const QFontMetrics captions(tab_grid_->horizontalHeader()->font());
  for (int c = 0; c < 5; ++c)
    tab_grid_->setColumnWidth(c, std::max(kColumnWidths[c], captions.horizontalAdvance(QString(kHeaders[c])) + 10));
  tab_grid_->horizontalHeader()->setStretchLastSection(true);
  tab_grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tab_grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  tab_grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tab_grid_->setWordWrap(false);
  // A title too long for its cell shows as much of its beginning as fits.
  tab_grid_->setTextElideMode(Qt::ElideNone);
  tab_grid_->setHorizontalHeaderLabels({kHeaders[0], kHeaders[1], kHeaders[2], kHeaders[3], kHeaders[4]});
  tab_grid_->hide();
  tab_grid_->installEventFilter(this);
  connect(tab_grid_, &QTableWidget::cellDoubleClicked, this, [this](int, int column) {
    if (column == kTitleColumn) EditTitle();
  });
  layout->addWidget(tab_grid_, 1);
  layout->addStretch(0);
  BuildStatusBars(central);
  layout->addWidget(proj_bar_);
  layout->addWidget(str_bar_);
  setCentralWidget(central);

  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(kLockOutMs);
  connect(timer1_, &QTimer::timeout, timer1_, &QTimer::stop);
  timer1_->start();

  setAcceptDrops(true);
  setFixedSize(kWidth, kHeight);
  if (QScreen* screen = QApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  FormCreate();
}

TPrjForm::~TPrjForm() { FormDestroy(); }

void TPrjForm::FormCreate() { CreateSettings(); }
void TPrjForm::FormDestroy() { DestroySettings(); }

QAction* TPrjForm::AddAction(QMenu* menu, const char* name, const char* caption, void (TPrjForm::*handler)()) {
  QAction* action = menu->addAction(QString(caption));
  action->setObjectName(QLatin1String(name));
  if (handler) connect(action, &QAction::triggered, this, handler);
  return action;
}

void TPrjForm::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));

  QMenu* prj = bar->addMenu(QStringLiteral("Проект    "));
  prj->setObjectName(QStringLiteral("NPrj"));
  AddAction(prj, "NPrjNew", "Новый", &TPrjForm::NPrjNewClick)->setShortcut(QKeySequence::New);
  QMenu* form = prj->addMenu(QStringLiteral("Файл-форма"));
  form->setObjectName(QStringLiteral("NForm"));
  AddAction(form, "NFormRead", "Открыть", &TPrjForm::ImportButtonClick)->setShortcut(QKeySequence::Open);
  nform_write_ = AddAction(form, "NFormWrite", "Сохранить", &TPrjForm::ExportButtonClick);
  nform_write_->setShortcut(QKeySequence::Save);
  nexport_csv_ = AddAction(form, "NExportCsv", "Экспорт таблиц в CSV…", &TPrjForm::NExportCsvClick);
  QMenu* str = prj->addMenu(QStringLiteral("Система"));
  str->setObjectName(QStringLiteral("NStr"));
  AddAction(str, "NStrRead", "Читать таблицы ", &TPrjForm::NStrReadClick)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  nstr_write_ = AddAction(str, "NStrWrite", "Записать таблицы из текущего проекта", &TPrjForm::NStrWriteClick);
  AddAction(str, "NStrClear", "Удалить таблицы", &TPrjForm::NStrClearClick);
  nstr_compare_ = AddAction(str, "NStrCompare", "Сравнить с текущим проектом", &TPrjForm::NStrCompareClick);
  str->addSeparator();
  AddAction(str, "NJournal", "Журнал сеансов", &TPrjForm::NJournalClick);
  nreport_ = AddAction(prj, "NReport", "Отчёт", &TPrjForm::NReportClick);
  nreport_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  nrecent_separator_ = prj->addSeparator();
  for (int i = 0; i < tgx::kRecentFiles; ++i) {
    nrecent_[i] = prj->addAction(QString());
    nrecent_[i]->setObjectName(QStringLiteral("NRecent%1").arg(i + 1));
    connect(nrecent_[i], &QAction::triggered, this, [this, i] { NRecentClick(i); });
  }
  prj->addSeparator();
  AddAction(prj, "NExit", "Выход", &TPrjForm::NExitClick)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(prj, &QMenu::aboutToShow, this, &TPrjForm::UpdateRecentFiles);

  ntab_ = bar->addMenu(QStringLiteral("Таблица       "));
  ntab_->setObjectName(QStringLiteral("NTab"));
  AddAction(ntab_, "NTabNew", "Добавить новую", &TPrjForm::NTabAddNewClick);
  AddAction(ntab_, "NTabInsert", "Вставить новую", &TPrjForm::NTabInsertNewClick);
  AddAction(ntab_, "NTabInsertEmpty", "Вставить пропуск", &TPrjForm::NTabInsertEmptyClick);
  ntab_->addSeparator();
  AddAction(ntab_, "NTabCopy", "Копировать в буфер", &TPrjForm::NTabCopyClick);
  AddAction(ntab_, "NTabCut", "Переместить в буфер", &TPrjForm::NTabCutClick);
  ntab_paste_ = AddAction(ntab_, "NTabPaste", "Вставить из буфера", &TPrjForm::NTabPasteClick);
  ntab_->addSeparator();
  AddAction(ntab_, "NTabDelete", "Удалить", &TPrjForm::NTabDeleteClick);
  ntab_->addSeparator();
  AddAction(ntab_, "NTabEdit", "Редактор таблиц", &TPrjForm::NTabEditClick)
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));

  QMenu* param = bar->addMenu(QStringLiteral("Параметры      "));
  param->setObjectName(QStringLiteral("NParam"));
  AddAction(param, "NChan", "Связь", &TPrjForm::NChanClick);
  AddAction(param, "Nfolder", "Каталог форм", &TPrjForm::NfolderClick);

  QMenu* help = bar->addMenu(QStringLiteral("Справка"));
  help->setObjectName(QStringLiteral("NHelp"));
  AddAction(help, "NContents", "Содержание", &TPrjForm::NContentsClick)->setShortcut(QKeySequence(Qt::Key_F1));
  help->addSeparator();
  AddAction(help, "NAbout", "О программе ...", &TPrjForm::AboutClick);

  // The shortcuts work wherever the focus is in the window, also while the
  // menu that shows them is disabled (the table menu without a project):
  // each handler checks what it needs itself.
  for (QAction* action : findChildren<QAction*>())
    if (!action->shortcut().isEmpty()) addAction(action);
  UpdateRecentFiles();
}

QToolButton* TPrjForm::AddToolButton(const char* name, const char* glyph, const char* hint,
                                     void (TPrjForm::*handler)()) {
  auto* button = new QToolButton(this);
  button->setObjectName(QLatin1String(name));
  button->setAutoRaise(true);  // flat until the mouse is over it
  button->setFixedSize(kButtonSize, kButtonSize);
  button->setIconSize(QSize(kButtonSize - 4, kButtonSize - 4));
  button->setIcon(Glyph(glyph));
  if (hint) button->setToolTip(QString(hint));
  if (button->icon().isNull() && hint) button->setText(QString(hint).left(1));
  connect(button, &QToolButton::clicked, this, handler);
  return button;
}

void TPrjForm::BuildToolBar() {
  auto* bar = new QToolBar(this);
  bar->setObjectName(QStringLiteral("ToolBar1"));
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setFixedHeight(kToolBarHeight);
  bar->setContextMenuPolicy(Qt::PreventContextMenu);
  bar->toggleViewAction()->setEnabled(false);
  auto gap = [this, bar](const char* name, int width) {
    auto* spacer = new QWidget(this);
    spacer->setObjectName(QLatin1String(name));
    spacer->setFixedSize(width, kButtonSize);
    bar->addWidget(spacer);
  };
  bar->addWidget(AddToolButton("SpeedButton1", "new", "Новый проект", &TPrjForm::NPrjNewClick));
  bar->addWidget(AddToolButton("ImportButton", "importform", "Чтение из формы", &TPrjForm::ImportButtonClick));
  bar->addWidget(AddToolButton("StrReadButton", "readsys", "Чтение из системы", &TPrjForm::NStrReadClick));
  gap("Panel1", 36);
  tab_edit_button_ = AddToolButton("TabEditButton", "tabedit", "Редактор таблиц", &TPrjForm::NTabEditClick);
  bar->addWidget(tab_edit_button_);
  gap("ChPanel", 97);
  str_write_button_ = AddToolButton("StrWriteButton", "writesys", "Записать в систему", &TPrjForm::NStrWriteClick);
  str_write_button_->setEnabled(false);
  bar->addWidget(str_write_button_);
  export_button_ = AddToolButton("ExportButton", "exportform", "Запись в форму", &TPrjForm::ExportButtonClick);
  export_button_->setEnabled(false);
  bar->addWidget(export_button_);
  report_button_ = AddToolButton("ReportButton", "report", "Отчёт", &TPrjForm::NReportClick);
  report_button_->setEnabled(false);
  bar->addWidget(report_button_);
  gap("Panel2", 43);
  bar->addWidget(AddToolButton("NBiButton", "panel", "Пульт", &TPrjForm::NBiButtonClick));
  addToolBar(Qt::TopToolBarArea, bar);
}

void TPrjForm::BuildStatusBars(QWidget* host) {
  auto panel = [](QStatusBar* bar, const QString& name, int width, const QString& text, bool raised) {
    auto* label = new QLabel(text, bar);
    label->setObjectName(name);
    label->setFixedWidth(width);
    label->setFrameStyle(QFrame::Panel | (raised ? QFrame::Raised : QFrame::Sunken));
    label->setMargin(1);
    bar->addWidget(label);
    return label;
  };
  proj_bar_ = new QStatusBar(host);
  proj_bar_->setObjectName(QStringLiteral("ProjBar"));
  proj_bar_->setSizeGripEnabled(false);
  proj_panels_[0] = panel(proj_bar_, QStringLiteral("ProjBarPanel0"), 60, QStringLiteral("ПРОЕКТ"), true);
  proj_panels_[1] = panel(proj_bar_, QStringLiteral("ProjBarPanel1"), 300, {}, false);

  str_bar_ = new QStatusBar(host);
  str_bar_->setObjectName(QStringLiteral("StrBar"));
  str_bar_->setSizeGripEnabled(false);
  const int widths[4] = {60, 50, 200, 50};
  for (int i = 0; i < 4; ++i) {
    str_panels_[i] = panel(str_bar_, QStringLiteral("StrBarPanel%1").arg(i), widths[i],
                           i == 0 ? QStringLiteral("СИСТЕМА") : QString(), i == 0);
    str_panels_[i]->installEventFilter(this);
  }
  str_bar_->installEventFilter(this);
}

bool TPrjForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tab_grid_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      EditTitle();
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonRelease &&
      (watched == str_bar_ || (watched->parent() == str_bar_ && watched->isWidgetType()))) {
    StrBarClick();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TPrjForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

// The first showing counts as an activation even where no window manager
// hands out the focus (a bare X server, the offscreen platform).
void TPrjForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormActivate();
}

void TPrjForm::closeEvent(QCloseEvent* event) {
  if (!QuerySaveProject()) {
    event->ignore();
    return;
  }
  event->accept();
  emit Closed();
}

void TPrjForm::NExitClick() { close(); }

template <typename Run>
void TPrjForm::AfterModal(Run run) {
  run();
  FormActivate();
}

// ---------------------------------------------------------------- display

void TPrjForm::FormActivate() {
  const TAppInfo info(std::string{}, std::string{});
  const QString version =
      QStringLiteral("%1.%2.%3.%4").arg(info.Major()).arg(info.Minor()).arg(info.Release()).arg(info.Build());
  setWindowTitle(tgx::AppTitle() + QStringLiteral("  (") + version + QStringLiteral(" )"));
  for (int c = 0; c < 5; ++c) {
    auto* header = tab_grid_->horizontalHeaderItem(c);
    if (!header) {
      header = new QTableWidgetItem;
      tab_grid_->setHorizontalHeaderItem(c, header);
    }
    header->setText(QString(kHeaders[c]));
  }
  ntab_paste_->setEnabled(false);
  ShowProject();
}

void TPrjForm::SetCell(int row, int column, const QString& text) {
  QTableWidgetItem* item = tab_grid_->item(row, column);
  if (!item) {
    item = new QTableWidgetItem;
    if (column == kTitleColumn) {
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    } else {
      // Fixed columns: shaded and never selected, as the channel data they
      // show is computed, not typed.
      item->setFlags(Qt::ItemIsEnabled);
      item->setBackground(palette().button());
    }
    tab_grid_->setItem(row, column, item);
  }
  if (item->text() != text) item->setText(text);
}

void TPrjForm::ShowProject() {
  const int count = project_.FormCount();
  const bool any = count > 0;
  if (any) {
    proj_panels_[1]->setText(ToQt(project_.Name()));
    tab_grid_->setRowCount(count);
    for (int i = 0; i < count; ++i) {
      SetCell(i, kChannelColumn, QString::number(i + 1));
      SetCell(i, kTitleColumn, ToQt(project_.Form(i).Title()));
      SetCell(i, kLevelColumn, ToQt(project_.LastLevel(i)));
      SetCell(i, kVolumeColumn, ToQt(project_.LastVolume(i)));
    }
    tab_grid_->setCurrentCell(0, kTitleColumn);
    tab_grid_->selectRow(0);
  }
  ntab_->menuAction()->setEnabled(any);
  tab_edit_button_->setEnabled(any);
  nstr_compare_->setEnabled(any);
  nform_write_->setEnabled(any);
  nexport_csv_->setEnabled(any);
  export_button_->setEnabled(any);
  nreport_->setEnabled(any);
  report_button_->setEnabled(any);
  if (any) {
    ShowControlColumn();
    tab_grid_->show();
  } else {
    nstr_write_->setEnabled(false);
    str_write_button_->setEnabled(false);
    tab_grid_->hide();
  }
}

void TPrjForm::ShowControlColumn() {
  project_.Check();
  for (int i = 0; i < project_.FormCount(); ++i) {
    SetCell(i, kControlColumn, ToQt(project_.ControlMark(i)));
    // Why a form does not convert, where the operator looks for it.
    const QString why =
        project_.IsGap(i) || project_.Converted(i) ? QString() : ToQt(ConversionFailureText(project_.Form(i)));
    for (int column : {kControlColumn, kTitleColumn})
      if (QTableWidgetItem* item = tab_grid_->item(i, column)) item->setToolTip(why);
  }
  const bool writable = project_.AllDefinedConvert();
  nstr_write_->setEnabled(writable);
  str_write_button_->setEnabled(writable);
}

int TPrjForm::SelectedIndex() const {
  const int row = tab_grid_->currentRow();
  return row >= 0 && row < project_.FormCount() ? row : -1;
}

// ---------------------------------------------------------------- project and files

bool TPrjForm::QuerySaveProject() {
  if (!project_.Modified()) return true;
  switch (Dialogs().AskYesNoCancel(this, QStringLiteral("Сохранить проект?"))) {
    case tgx::DialogService::Answer::No: return true;
    case tgx::DialogService::Answer::Yes: return ExportProject();
    default: return false;
  }
}

bool TPrjForm::ExportProject() {
  // A text that the file would give back as something else is asked about
  // before anything is written: the first one is enough to decide.
  for (int i = 0; i < project_.FormCount(); ++i) {
    const std::optional<UNSAFETEXT> unsafe = FirstUnsafeText(project_.Form(i));
    if (!unsafe) continue;
    if (Dialogs().AskYesNo(this, ToQt(UnsafeTextQuestion(i, *unsafe)), true) != tgx::DialogService::Answer::Yes)
      return false;
    break;
  }
  // The project's name is the path it was loaded from, or "NONAME"; a bare
  // name is proposed in the folder last used.
  const int32_t type = project_.FormCount() > 0 ? std::max<int32_t>(project_.Form(0).Type(), 1) : 1;
  QString proposed = tgx::PathToQt(FDATA::FileNameForType(tgx::PathFromQt(ToQt(project_.Name())), type));
  if (!proposed.contains(QLatin1Char('/')) && !StartFolder().isEmpty())
    proposed = QDir(StartFolder()).filePath(proposed);
  QString path = Dialogs().SaveFileName(this, QStringLiteral("Сохранить как"), proposed, QString(), true);
  if (path.isEmpty()) return false;
  // A name without the extension of the project's type would be read back
  // as another type, or not at all: the type's extension is put on.
  std::string native = tgx::PathFromQt(path);
  // Another form type's extension is replaced; any other ending is kept and
  // the extension follows it ("station.v2" -> "station.v2.fs").
  const int32_t named = FDATA::TypeOfFileName(native);
  if (named != type) {
    if (named == 0 && !QFileInfo(path).suffix().isEmpty())
      native += FDATA::FileNameForType("x", type).substr(1);
    else
      native = FDATA::FileNameForType(native, type);
    // The file dialog asked about the name it gave, not about this one.
    if (QFileInfo::exists(tgx::PathToQt(native)) &&
        Dialogs().AskYesNoCancel(this, QStringLiteral("Файл ") + tgx::PathToQt(native) +
                                           QStringLiteral(" уже существует. Заменить?")) !=
            tgx::DialogService::Answer::Yes)
      return false;
  }
  RememberFolderOf(tgx::PathToQt(native));
  if (!project_.Save(native)) return false;
  tgx::AddRecentFile(native);
  UpdateRecentFiles();
  return true;
}

void TPrjForm::NPrjNewClick() {
  if (!QuerySaveProject()) return;
  project_.New();
  ShowProject();
}

void TPrjForm::ImportButtonClick() {
  if (!QuerySaveProject()) return;
  const QString path = Dialogs().OpenFileName(this, QStringLiteral("Открыть"), StartFolder(), TImportDlg::OpenFilter());
  if (!path.isEmpty()) RememberFolderOf(path);
  TImportDlg* import = windows_.importDlg;
  if (!path.isEmpty() && import && import->LoadFile(path)) {
    tgx::AddRecentFile(tgx::PathFromQt(QFileInfo(path).absoluteFilePath()));
    UpdateRecentFiles();
    bool accepted = false;
    AfterModal([&] { accepted = import->exec() == QDialog::Accepted; });
    if (accepted) project_.ConvertFrom(import->Project());
  }
  ShowProject();
}

bool TPrjForm::OpenFormFile(const QString& path) {
  TImportDlg* import = windows_.importDlg;
  if (path.isEmpty() || !import || !QuerySaveProject()) return false;
  const QString full = QFileInfo(path).absoluteFilePath();
  bool accepted = false;
  if (import->LoadFile(full)) {
    tgx::AddRecentFile(tgx::PathFromQt(full));
    UpdateRecentFiles();
    RememberFolderOf(full);
    AfterModal([&] { accepted = import->exec() == QDialog::Accepted; });
    if (accepted) project_.ConvertFrom(import->Project());
  }
  ShowProject();
  return accepted;
}

bool TPrjForm::OpenTablesAsProject(const GROUPTAB& tables, const std::string& name) {
  if (!QuerySaveProject()) return false;
  project_.FromTables(tables, name);
  ShowProject();
  return true;
}

void TPrjForm::NRecentClick(int index) {
  const std::vector<std::string> recent = tgx::LoadRecentFiles();
  if (index < 0 || index >= static_cast<int>(recent.size())) return;
  OpenFormFile(tgx::PathToQt(recent[static_cast<size_t>(index)]));
}

void TPrjForm::UpdateRecentFiles() {
  const std::vector<std::string> recent = tgx::LoadRecentFiles();
  for (int i = 0; i < tgx::kRecentFiles; ++i) {
    const bool used = i < static_cast<int>(recent.size());
    nrecent_[i]->setVisible(used);
    if (!used) continue;
    const QString path = tgx::PathToQt(recent[static_cast<size_t>(i)]);
    // An '&' in a file name is shown, not taken for the menu's accelerator.
    const QString shown = QFileInfo(path).fileName().replace(QLatin1Char('&'), QStringLiteral("&&"));
    nrecent_[i]->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
    nrecent_[i]->setToolTip(path);
    nrecent_[i]->setStatusTip(path);
  }
  nrecent_separator_->setVisible(!recent.empty());
}

QString TPrjForm::StartFolder() const {
  const std::string last = tgx::LoadLastFolder();
  if (!last.empty() && QFileInfo(tgx::PathToQt(last)).isDir()) return tgx::PathToQt(last);
  return Syspar() ? tgx::PathToQt(Syspar()->FormsFolder()) : QString();
}

void TPrjForm::RememberFolderOf(const QString& path) {
  const QString folder = QFileInfo(path).absolutePath();
  if (!folder.isEmpty()) tgx::SaveLastFolder(tgx::PathFromQt(folder + QLatin1Char('/')));
}

void TPrjForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFormFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TPrjForm::dropEvent(QDropEvent* event) {
  const QString path = DroppedFormFile(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  // The drop ends before the import dialog's modal run starts.
  QTimer::singleShot(0, this, [this, path] { OpenFormFile(path); });
}

void TPrjForm::NExportCsvClick() {
  if (project_.FormCount() == 0) return;
  QString proposed = QFileInfo(ToQt(project_.Name())).completeBaseName() + QStringLiteral(".csv");
  if (!StartFolder().isEmpty()) proposed = QDir(StartFolder()).filePath(proposed);
  QString path = Dialogs().SaveFileName(this, QStringLiteral("Экспорт таблиц в CSV"), proposed,
                                        QStringLiteral("Таблицы CSV (csv)|*.csv"), true);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
  RememberFolderOf(path);
  std::string message;
  if (!ExportProjectCsv(project_, tgx::PathFromQt(path), CsvExportOptions{}, message)) {
    const QString why = ToQt(message);
    Dialogs().InformDetail(this, QStringLiteral("Невозможно записать файл!"), why);
  }
  ShowProject();
}

void TPrjForm::NReportClick() {
  if (project_.FormCount() == 0) return;
  AfterModal([this] { ShowReport(this, project_, SiteFieldsPathBeside(tgx::ConfigFilePath())); });
}

void TPrjForm::NContentsClick() {
  if (help_ == nullptr) help_ = new THelpForm(this);
  help_->ShowContents();
}

void TPrjForm::NJournalClick() {
  TJournalForm::Hooks hooks;
  hooks.tableEditor = windows_.editTabForm;
  hooks.openAsProject = [this](const GROUPTAB& tables, const std::string& name) {
    return OpenTablesAsProject(tables, name);
  };
  AfterModal([&] {
    TJournalForm journal(hooks, this);
    journal.exec();
  });
}

void TPrjForm::ExportButtonClick() { ExportProject(); }

void TPrjForm::EditTitle() {
  const int index = SelectedIndex();
  TEditDlg* editor = windows_.editDlg;
  if (index < 0 || !editor) return;
  editor->PlaceOverCell(tab_grid_, index, kTitleColumn);
  editor->SetText(ToQt(project_.Form(index).Title()));
  AfterModal([&] {
    if (editor->exec() != QDialog::Accepted) return;
    // The project marks itself modified when the title changed.
    project_.SetTitle(index, tgx::FromQt(editor->GetText()));
    SetCell(index, kTitleColumn, ToQt(project_.Form(index).Title()));
  });
}

void TPrjForm::EditTables() {
  TEditTabForm* editor = windows_.editTabForm;
  if (!editor) return;
  hide();
  FDATA local;
  project_.CopyFormsTo(local);
  editor->Setup(project_.Name(), &local, true);
  editor->exec();
  project_.SetForms(local);
  ShowProject();
  show();
  FormActivate();
}

void TPrjForm::NTabEditClick() {
  if (project_.FormCount() > 0) EditTables();
}

// ---------------------------------------------------------------- table commands

void TPrjForm::NTabAddNewClick() {
  project_.AddNewForm();
  ShowProject();
}

void TPrjForm::NTabInsertNewClick() {
  const int index = SelectedIndex();
  if (index >= 0) project_.InsertNewForm(index);
  ShowProject();
}

void TPrjForm::NTabInsertEmptyClick() {
  const int index = SelectedIndex();
  if (index >= 0) project_.InsertGap(index);
  ShowProject();
}

void TPrjForm::NTabDeleteClick() {
  const int index = SelectedIndex();
  if (index < 0) return;
  if (Dialogs().AskOkCancel(this, QStringLiteral("Удалить таблицу?")) != tgx::DialogService::Answer::Ok) return;
  project_.DeleteForm(index);
  ShowProject();
}

void TPrjForm::NTabCopyClick() {
  const int index = SelectedIndex();
  if (index < 0) return;
  project_.CopyForm(index);
  ntab_paste_->setEnabled(true);
}

void TPrjForm::NTabCutClick() {
  const int index = SelectedIndex();
  if (index < 0) return;
  project_.CopyForm(index);
  ntab_paste_->setEnabled(true);
  project_.DeleteForm(index);
  ShowProject();
}

void TPrjForm::NTabPasteClick() {
  const int index = SelectedIndex();
  if (index >= 0) project_.PasteForm(index);
  ShowProject();
}

// ---------------------------------------------------------------- settings and other windows

void TPrjForm::NChanClick() {
  AfterModal([this] {
    TChanCfgForm form(this);
    form.exec();
  });
  SaveConfiguration();
}

void TPrjForm::NfolderClick() {
  const QString folder = Syspar() ? tgx::PathToQt(Syspar()->FormsFolder()) : QString();
  const QString path = Dialogs().FolderPath(this, QStringLiteral("Открыть папку"), folder);
  if (path.isEmpty() || !Syspar()) return;
  Syspar()->SetFolderFromPath(tgx::PathFromQt(path));
  SaveConfiguration();
}

void TPrjForm::NBiButtonClick() {
  if (!Chanpar() || !Syspar()) return;
  AfterModal([this] {
    TBikForm panel(this);
    panel.SetPortIndex(Chanpar()->PortIndex);
    panel.SetKeyboardType(Syspar()->KeyboardType());
    panel.exec();
    Syspar()->SetKeyboardType(panel.KeyboardType());
  });
}

void TPrjForm::AboutClick() {
  AfterModal([this] {
    TAboutDlg about(this);
    about.exec();
  });
}

void TPrjForm::StrBarClick() {
  if (test_mode_ && windows_.linkDlg) ShowSessionLog();
}

// A log runs to thousands of lines: a window that scrolls and resizes,
// where a message box would run off the screen.
void TPrjForm::ShowSessionLog() {
  AfterModal([this] {
    QDialog log(this);
    log.setObjectName(QStringLiteral("SessionLogForm"));
    log.setWindowTitle(QStringLiteral("Протокол сеанса"));
    log.setSizeGripEnabled(true);
    auto* text = new QPlainTextEdit(&log);
    text->setObjectName(QStringLiteral("SessionLogText"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setPlainText(ToQt(windows_.linkDlg->Session().SessionLog));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &log);
    buttons->setObjectName(QStringLiteral("SessionLogButtons"));
    connect(buttons, &QDialogButtonBox::rejected, &log, &QDialog::reject);
    auto* layout = new QVBoxLayout(&log);
    layout->addWidget(text, 1);
    layout->addWidget(buttons);
    log.resize(640, 480);
    log.exec();
  });
}

QString TPrjForm::StatusLine() const { return proj_bar_->currentMessage(); }

// ---------------------------------------------------------------- system commands

void TPrjForm::ShowLinkStatus(const QString& message, const QString& label, int32_t number) {
  str_panels_[1]->setText(label);
  str_panels_[2]->setText(message);
  str_panels_[3]->setText(QString::number(number));
  repaint();
}

void TPrjForm::ReportWriteResult(uint8_t versionId, const QString& doneText) {
  const std::vector<std::string> lines = ChangeNoticeLines(versionId);
  if (lines.empty()) return;
  QStringList notice;
  for (const std::string& line : lines) notice << ToQt(line);
  // The unit's own line break after the done text: a lone carriage return.
  Dialogs().Inform(this, doneText + QLatin1Char('\r') + notice.join(QLatin1Char('\n')));
}

void TPrjForm::RunSystemCommand(tgx::JournalOp op, const QString& statusText, const std::function<bool()>& prepare,
                                const std::function<bool(TLinkDlg&)>& session,
                                const std::function<void(bool succeeded, const TBVLink&)>& report) {
  TLinkDlg* link = windows_.linkDlg;
  if (timer1_->isActive() || !link) return;
  if (prepare && !prepare()) return;
  ShowLinkStatus(statusText, QStringLiteral("?"), 0);
  bool succeeded = false;
  AfterModal([&] { succeeded = session(*link); });
  const TBVLink& done = link->Session();
  ShowLinkStatus(ToQt(done.StatusText), ToQt(VersionLabel(done.VersionId)), done.LongestWait.load());
  // The panel shows the status text; the reason behind it waits under the mouse.
  str_panels_[2]->setToolTip(SessionReason(done));
  RecordInJournal(op, done);
  report(succeeded, done);
  timer1_->start();
}

void TPrjForm::RecordInJournal(tgx::JournalOp op, const TBVLink& session) {
  // The project's file, when the project is one (a read names it "Система").
  const QString name = ToQt(project_.Name());
  const std::string file = QFileInfo(name).isFile() ? tgx::PathFromQt(QFileInfo(name).absoluteFilePath()) : "";
  const std::string message = tgx::RecordSessionOnce(tgx::SessionEntry(session, op, file));
  // A while, not for good: the line covers the project's panels meanwhile.
  if (!message.empty()) proj_bar_->showMessage(ToQt(message), kStatusLineMs);
}

QString TPrjForm::WriteQuestion() const {
  const QString unit = unit_tables_ >= 0 && unit_tables_port_ == (Chanpar() ? Chanpar()->PortIndex : -1)
                           ? QStringLiteral("Таблицы БВ (%1) будут заменены.").arg(unit_tables_)
                           : QStringLiteral("Таблицы БВ будут заменены.");
  const QString file = QFileInfo(ToQt(project_.Name())).fileName();
  const QString what = file.isEmpty() ? TablesWord(project_.FormCount())
                                      : TablesWord(project_.FormCount()) + QStringLiteral(" проекта ") + file;
  return QStringLiteral("Записать %1 в БВ через %2? ").arg(what, PortName()) + unit;
}

QString TPrjForm::DeleteQuestion() const {
  const QString unit = unit_tables_ >= 0 && unit_tables_port_ == (Chanpar() ? Chanpar()->PortIndex : -1)
                           ? QStringLiteral(" (в БВ %1)").arg(TablesWord(unit_tables_).replace(
                                 QStringLiteral("таблицу"), QStringLiteral("таблица")))
                           : QString();
  return QStringLiteral("Удалить все таблицы БВ через %1?%2").arg(PortName(), unit);
}

void TPrjForm::NStrReadClick() {
  RunSystemCommand(
      tgx::JournalOp::Read, QStringLiteral("Чтение..."), [this] { return QuerySaveProject(); },
      [](TLinkDlg& link) { return link.RunRead(QStringLiteral("Чтение таблиц")); },
      [this](bool succeeded, const TBVLink& session) {
        // A failed read empties the project as well: the operator let the
        // old one go at the save question.
        project_.Reset();
        if (succeeded) {
          RememberUnitTables(session);
          if (session.Tables.Count() > 0)
            project_.FromTables(session.Tables, ReadProjectName());
          else
            Dialogs().Inform(this, ToQt(NoTablesText()));
        }
        ShowProject();
      });
}

void TPrjForm::NStrWriteClick() {
  RunSystemCommand(
      tgx::JournalOp::Write, QStringLiteral("Запись..."),
      [this] {
        if (Dialogs().AskYesNo(this, WriteQuestion(), false) != tgx::DialogService::Answer::Yes) return false;
        // The worker waits between sessions, so its inputs may be filled now.
        TBVLink& session = windows_.linkDlg->Session();
        project_.ToTables(session.Tables);
        PrepareBackup(session);
        return true;
      },
      [](TLinkDlg& link) { return link.RunWrite(QStringLiteral("Запись таблиц")); },
      [this](bool succeeded, const TBVLink& session) {
        if (!succeeded) return;
        unit_tables_ = -1;
        ReportWriteResult(session.VersionId, ToQt(WriteDoneText()));
      });
}

void TPrjForm::NStrCompareClick() {
  RunSystemCommand(
      tgx::JournalOp::Compare, QStringLiteral("Сравнение..."), nullptr,
      [](TLinkDlg& link) { return link.RunRead(QStringLiteral("Чтение таблиц")); },
      [this](bool succeeded, const TBVLink& session) {
        if (!succeeded) return;
        RememberUnitTables(session);
        GROUPTAB own;
        project_.ToTables(own);
        const CompareVerdict verdict = CompareTables(session.Tables, own);
        Dialogs().InformDetail(this, ToQt(VerdictText(verdict)), CompareReason(session.Tables, own));
      });
}

void TPrjForm::NStrClearClick() {
  RunSystemCommand(
      tgx::JournalOp::Delete, QStringLiteral("Удаление..."),
      [this] {
        if (Dialogs().AskYesNo(this, DeleteQuestion(), true) != tgx::DialogService::Answer::Yes) return false;
        PrepareBackup(windows_.linkDlg->Session());
        return true;
      },
      [](TLinkDlg& link) { return link.RunDelete(); },
      [this](bool succeeded, const TBVLink& session) {
        if (!succeeded) return;
        unit_tables_ = -1;
        ReportWriteResult(session.VersionId, ToQt(DeleteDoneText()));
      });
}

void TPrjForm::RememberUnitTables(const TBVLink& session) {
  unit_tables_ = session.Tables.Count();
  unit_tables_port_ = session.Channel.PortIndex;
}
