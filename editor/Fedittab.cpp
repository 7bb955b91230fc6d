#include "editor/Fedittab.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QRegularExpression>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTableWidget>
#include <QToolButton>
#include <algorithm>

#include "app/Dialogs.h"
#include "app/Qtext.h"
#include "editor/Editpaint.h"
#include "editor/Feditdlg.h"
#include "graph/Graf.h"
#include "editor/Grafview.h"
#include "forms/Convert.h"
#include "forms/Fdata.h"
#include "forms/Forma.h"
#include "forms/Readback.h"

using tgx::ToQt;

namespace {

constexpr int kWindowWidth = 805;
constexpr int kWindowHeight = 623;
constexpr int kToolBarHeight = 33;
constexpr int kImageWidth = 593;
constexpr int kImageHeight = 489;
constexpr int kRowHeight = 17;
constexpr int kLevelColumn = 0;
constexpr int kVolumeColumn = 1;
constexpr int kDdvColumn = 2;

// A pasted cell is taken when it reads as one number: an optional sign,
// digits, and a fraction after a point or a decimal comma.
bool IsNumberText(const QString& text) {
  static const QRegularExpression number(QStringLiteral("^[+-]?\\d+([.,]\\d+)?$"));
  return number.match(text).hasMatch();
}

// The cells of one clipboard line: spreadsheets separate them by TAB, text
// files by ';' or blanks.
QStringList PastedCells(const QString& line) {
  static const QRegularExpression separators(QStringLiteral("[\\t;]|\\s+"));
  return line.trimmed().split(separators, Qt::SkipEmptyParts);
}

}  // namespace

TEditTabForm::TEditTabForm(TEditDlg* cellEditor, QWidget* parent)
    : QDialog(parent), cell_editor_(cellEditor), picture_(kImageWidth, kImageHeight, QImage::Format_RGB32) {
  setObjectName("EditTabForm");
  setWindowTitle(QStringLiteral("Редактор таблиц"));
  setFixedSize(kWindowWidth, kWindowHeight);
  // The window is laid out for an 11-pixel face: with the desktop's larger
  // default a seven-digit volume no longer fits its 60-pixel column.
  QFont face = font();
  face.setPixelSize(11);
  setFont(face);
  picture_.fill(Qt::white);
  BuildControls();
}

TEditTabForm::~TEditTabForm() = default;

void TEditTabForm::BuildControls() {
  toolBar1_ = new QWidget(this);
  toolBar1_->setObjectName("ToolBar1");
  toolBar1_->setGeometry(0, 0, kWindowWidth, kToolBarHeight);

  auto makeRowButton = [this](const char* name, const QString& hint, tgx::RowGlyph glyph, int x) {
    auto* b = new QToolButton(toolBar1_);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setIcon(tgx::RowGlyphIcon(glyph));
    b->setAutoRaise(true);
    b->setGeometry(x, 2, 23, 23);
    return b;
  };
  sNewButton_ = makeRowButton("SNewButton", QStringLiteral("Новая запись"), tgx::RowGlyph::Append, 2);
  sInsButton_ = makeRowButton("SInsButton", QStringLiteral("Вставить запись"), tgx::RowGlyph::Insert, 25);
  sDelButton_ = makeRowButton("SDelButton", QStringLiteral("Удалить запись"), tgx::RowGlyph::Delete, 48);
  connect(sNewButton_, &QToolButton::clicked, this, [this] { SNewButtonClick(); });
  connect(sInsButton_, &QToolButton::clicked, this, [this] { SInsButtonClick(); });
  connect(sDelButton_, &QToolButton::clicked, this, [this] { SDelButtonClick(); });

  auto* panel2 = new QWidget(toolBar1_);
  panel2->setObjectName("Panel2");
  panel2->setGeometry(71, 2, 52, 23);

  filePanel_ = new QLabel(toolBar1_);
  filePanel_->setObjectName("FilePanel");
  filePanel_->setGeometry(123, 2, 672, 23);
  filePanel_->setAlignment(Qt::AlignCenter);
  filePanel_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  filePanel_->setAutoFillBackground(true);
  QPalette light = filePanel_->palette();
  light.setColor(QPalette::Window, light.color(QPalette::Light));
  filePanel_->setPalette(light);
  QFont small = filePanel_->font();
  small.setPixelSize(11);
  filePanel_->setFont(small);

  // The tab control is a tab bar over a frame that holds the form's controls;
  // they are the same for every tab and only their content changes.
  auto* tabFrame = new QFrame(this);
  tabFrame->setObjectName("TabFrame");
  tabFrame->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  tabFrame->setGeometry(11, 38, 783, 554);

  tabControl1_ = new QTabBar(tabFrame);
  tabControl1_->setObjectName("TabControl1");
  tabControl1_->setGeometry(2, 2, 779, 26);
  tabControl1_->setExpanding(false);
  tabControl1_->setUsesScrollButtons(true);
  tabControl1_->setDrawBase(false);
  connect(tabControl1_, &QTabBar::currentChanged, this, [this](int i) { TabControl1Change(i); });

  stringGrid1_ = new QTableWidget(tabFrame);
  stringGrid1_->setObjectName("StringGrid1");
  stringGrid1_->setGeometry(2, 32, 183, 505);
  stringGrid1_->setColumnCount(3);
  // The level column takes what its widest caption word needs ("<мм*10>"),
  // from the ddV column, whose numbers are short, so the grid keeps its width.
  const int levelWidth = std::max(56, QFontMetrics(font()).horizontalAdvance(QStringLiteral("<мм*10>")) + 6);
  stringGrid1_->setColumnWidth(kLevelColumn, levelWidth);
  stringGrid1_->setColumnWidth(kVolumeColumn, 60);
  stringGrid1_->setColumnWidth(kDdvColumn, std::max(36, 45 - (levelWidth - 56)));
  stringGrid1_->verticalHeader()->setVisible(false);
  stringGrid1_->verticalHeader()->setMinimumSectionSize(1);
  stringGrid1_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  stringGrid1_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  stringGrid1_->horizontalHeader()->setMinimumSectionSize(1);
  // Two lines of caption: "L <мм*10>" is wider than its column in one line
  // at the window's face, and would be cut; broken at its blank it fits.
  stringGrid1_->horizontalHeader()->setFixedHeight(2 * QFontMetrics(font()).height() + 4);
  stringGrid1_->horizontalHeader()->setTextElideMode(Qt::ElideNone);
  stringGrid1_->horizontalHeader()->setSectionsClickable(false);
  stringGrid1_->horizontalHeader()->setHighlightSections(false);
  // Captions wider than their column show their beginning, as the cells do.
  stringGrid1_->horizontalHeader()->setDefaultAlignment(Qt::Alignment::fromInt(Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap));
  stringGrid1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // A block of rows may be selected (Shift with the arrows) for Ctrl+C.
  stringGrid1_->setSelectionMode(QAbstractItemView::ContiguousSelection);
  stringGrid1_->setSelectionBehavior(QAbstractItemView::SelectItems);
  stringGrid1_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  stringGrid1_->setShowGrid(true);
  stringGrid1_->setWordWrap(false);
  // A cell too narrow for its text shows the text's beginning, never an
  // ellipsis in place of digits.
  stringGrid1_->setTextElideMode(Qt::ElideNone);
  // Grid row r of the form's rows is row r + 1 below the header.
  stringGrid1_->setItemDelegate(
      new tgx::FrameDelegate(kVolumeColumn, [this](int row) { return VolumeCellFramed(row + 1); }, stringGrid1_));
  stringGrid1_->installEventFilter(this);
  stringGrid1_->viewport()->installEventFilter(this);
  connect(stringGrid1_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    if (row < 0) return;
    SelectGridRow(row + 1);
    EditCell();
  });
  // The level column of generated levels is fixed: the cursor never rests on it.
  connect(stringGrid1_, &QTableWidget::currentCellChanged, this, [this](int row, int col, int, int) {
    if (row >= 0 && col >= 0 && col < FirstEditableColumn()) stringGrid1_->setCurrentCell(row, FirstEditableColumn());
  });

  image1_ = new tgx::GraphView(&picture_, tabFrame);
  image1_->setObjectName("Image1");
  image1_->setGeometry(187, 32, kImageWidth, kImageHeight);
  image1_->setToolTip(QStringLiteral("График"));
  image1_->setVisible(false);
  image1_->onDown = [this](int x, int y) { Image1MouseDown(x, y); };
  image1_->onMove = [this](int x, int y, bool left) { Image1MouseMove(x, y, left); };
  image1_->onUp = [this](int x, int y) { Image1MouseUp(x, y); };

  frGroup_ = new QGroupBox(tabFrame);
  frGroup_->setObjectName("FrGroup");
  frGroup_->setGeometry(189, 521, 593, 24);
  auto* label1 = new QLabel(QStringLiteral("Курсор"), frGroup_);
  label1->setObjectName("Label1");
  label1->setGeometry(8, 4, 44, 17);
  frDia_ = new QLabel(frGroup_);
  frDia_->setObjectName("FrDia");
  frDia_->setGeometry(56, 4, 100, 17);
  auto* label2 = new QLabel(QStringLiteral("Диапазон"), frGroup_);
  label2->setObjectName("Label2");
  label2->setGeometry(170, 4, 60, 17);

  QFont bold = font();
  bold.setBold(true);
  bold.setPixelSize(16);
  QPalette blue = palette();
  blue.setColor(QPalette::ButtonText, Qt::blue);
  auto makeRangeButton = [this](const char* name, const QString& text, int x, int w) {
    auto* b = new QPushButton(text, frGroup_);
    b->setObjectName(name);
    b->setGeometry(x, 4, w, 17);
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
  };
  selLowButton_ = makeRangeButton("SelLowButton", QStringLiteral("-"), 234, 25);
  selGrowButton_ = makeRangeButton("SelGrowButton", QStringLiteral("+"), 262, 25);
  selNotButton_ = makeRangeButton("SelNotButton", QStringLiteral("100%"), 290, 43);
  for (QPushButton* b : {selLowButton_, selGrowButton_}) {
    b->setFont(bold);
    b->setPalette(blue);
  }
  connect(selLowButton_, &QPushButton::clicked, this, [this] { SelLowButtonClick(); });
  connect(selGrowButton_, &QPushButton::clicked, this, [this] { SelGrowButtonClick(); });
  connect(selNotButton_, &QPushButton::clicked, this, [this] { SelNotButtonClick(); });

  frScrollBar_ = new QScrollBar(Qt::Horizontal, frGroup_);
  frScrollBar_->setObjectName("FrScrollBar");
  frScrollBar_->setGeometry(342, 4, 233, 17);
  frScrollBar_->setPageStep(1);
  frScrollBar_->setTracking(true);
  connect(frScrollBar_, &QScrollBar::valueChanged, this, [this](int v) { FrScrollBarScroll(v); });
  frGroup_->setVisible(false);

  // Why the form shown does not turn into a table, under the tab frame.
  statusLine_ = new QLabel(this);
  statusLine_->setObjectName("StatusLine");
  statusLine_->setGeometry(11, 596, 783, 20);
  QPalette red = statusLine_->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  statusLine_->setPalette(red);
}

void TEditTabForm::Setup(const std::string& projectName, FDATA* forms, bool ddv) {
  filePanel_->setText(ToQt(projectName));
  forms_ = forms;
  ddv_ = ddv;
}

void TEditTabForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A window restored by the window manager is not a new showing.
  if (!event->spontaneous() && !active_) FormActivate();
}

void TEditTabForm::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous() && active_) FormDeactivate();
}

void TEditTabForm::FormActivate() {
  active_ = true;
  // The picture has the screen's pixels: at 200 % it is drawn with twice as
  // many in each direction over the same logical layout.
  const qreal dpr = devicePixelRatio();
  if (picture_.devicePixelRatio() != dpr) {
    picture_ = QImage(QSize(kImageWidth, kImageHeight) * dpr, QImage::Format_RGB32);
    picture_.setDevicePixelRatio(dpr);
  }
  graph_ = std::make_unique<VGRAF>(&picture_, ddv_);
  {
    const QSignalBlocker block(tabControl1_);
    while (tabControl1_->count() > 0) tabControl1_->removeTab(tabControl1_->count() - 1);
    const int n = forms_ ? forms_->Count() : 0;
    for (int i = 0; i < n; ++i) {
      const int t = tabControl1_->addTab(ToQt(forms_->Form(i).Title()));
      tabControl1_->setTabTextColor(t, Qt::blue);
    }
    tabControl1_->setCurrentIndex(0);
  }
  tab_index_ = 0;
  graph_->Reset(ddv_);
  RefreshTab();
  SelectFirstRow();
}

void TEditTabForm::FormDeactivate() {
  active_ = false;
  graph_.reset();
  ddv_shown_ = false;
}

void TEditTabForm::TabControl1Change(int index) {
  if (!graph_ || index < 0) return;
  tab_index_ = index;
  graph_->Reset(ddv_);
  RefreshTab();
  SelectFirstRow();
}

FORMA* TEditTabForm::CurrentForm() const {
  if (!forms_ || tab_index_ < 0 || tab_index_ >= forms_->Count()) return nullptr;
  return &forms_->Form(tab_index_);
}

int TEditTabForm::FirstEditableColumn() const {
  const FORMA* f = CurrentForm();
  return (f && f->AutoLevel()) ? kVolumeColumn : kLevelColumn;
}

void TEditTabForm::SelectFirstRow() {
  if (stringGrid1_->isEnabled() && stringGrid1_->rowCount() > 0) SelectGridRow(1);
}

void TEditTabForm::SelectGridRow(int gridRow) {
  const int q = gridRow - 1;
  if (q < 0 || q >= stringGrid1_->rowCount()) return;
  int col = stringGrid1_->currentColumn();
  if (col < FirstEditableColumn()) col = FirstEditableColumn();
  stringGrid1_->setCurrentCell(q, col);
}

void TEditTabForm::RefreshTab() {
  FORMA* form = CurrentForm();
  const bool defined = form && form->Defined();
  stringGrid1_->setVisible(defined);
  image1_->setVisible(defined);
  frGroup_->setVisible(defined);
  sNewButton_->setEnabled(defined);
  sInsButton_->setEnabled(defined);
  sDelButton_->setEnabled(defined);
  statusLine_->setText(defined ? ToQt(ConversionFailureText(*form)) : QString());
  if (!defined || !graph_) {
    ddv_shown_ = false;
    return;
  }
  graph_->LoadForm(*form);
  if (graph_->Valid()) {
    graph_->ShowCurrent();
    UpdateRangeControls();
  } else {
    image1_->setVisible(false);
    frGroup_->setVisible(false);
  }
  RepaintGraph();
  FillGrid();
}

void TEditTabForm::FillGrid() {
  const FORMA* form = CurrentForm();
  if (!form) return;
  const bool autoLevel = form->AutoLevel();
  ddv_shown_ = autoLevel && ddv_ && graph_ && graph_->Valid();
  if (ddv_shown_) {
    if (graph_->DdvCurrent()) {
      shown_ddv_.Assign(graph_->DdvTable());
    } else {
      SecondDifference(graph_->Volumes(), shown_ddv_);
    }
  }

  const int rows = form->RowCount();
  const int keepRow = stringGrid1_->currentRow();
  const int keepCol = stringGrid1_->currentColumn();
  stringGrid1_->setUpdatesEnabled(false);
  stringGrid1_->setHorizontalHeaderLabels(
      {ToQt(form->LevelHeader()), ToQt(form->VolumeHeader()), QStringLiteral(" ddV")});
  stringGrid1_->setRowCount(rows);
  const QBrush fixedBrush = palette().brush(QPalette::Button);
  const Qt::ItemFlags cellFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  {
    // Thousands of rows: the view learns about the new texts once, below,
    // instead of once per cell.
    const QSignalBlocker block(stringGrid1_->model());
    for (int q = 0; q < rows; ++q) {
      QString texts[3] = {ToQt(form->LevelText(q)), ToQt(form->VolumeText(q)), QString()};
      if (ddv_shown_ && q < shown_ddv_.Count()) texts[kDdvColumn] = QString::number(shown_ddv_[q]);
      for (int c = 0; c < 3; ++c) {
        QTableWidgetItem* item = stringGrid1_->item(q, c);
        if (!item) {
          item = new QTableWidgetItem;
          stringGrid1_->setItem(q, c, item);
        }
        item->setText(texts[c]);
        const bool fixed = c == kLevelColumn && autoLevel;
        const Qt::ItemFlags flags = fixed ? Qt::ItemFlags(Qt::ItemIsEnabled) : cellFlags;
        if (item->flags() != flags) item->setFlags(flags);
        if (c == kLevelColumn) item->setBackground(fixed ? fixedBrush : QBrush());
        // A text the form's file would give back otherwise is red; it can
        // still be typed, and saving asks about it.
        if (c != kDdvColumn && !fixed) {
          const bool safe = TextReadsBack(*form, c == kLevelColumn ? form->LevelText(q) : form->VolumeText(q),
                                          c == kVolumeColumn);
          item->setForeground(safe ? QBrush() : QBrush(Qt::red));
        }
      }
    }
  }
  if (keepRow >= 0 && keepRow < rows) {
    int col = keepCol < FirstEditableColumn() ? FirstEditableColumn() : keepCol;
    stringGrid1_->setCurrentCell(keepRow, col);
  }
  stringGrid1_->setUpdatesEnabled(true);
  stringGrid1_->viewport()->update();
}

bool TEditTabForm::VolumeCellFramed(int gridRow) const {
  if (!ddv_shown_) return false;
  const int rowCount = stringGrid1_->rowCount() + 1;
  // The first and last data rows have no neighbour on one side.
  if (gridRow < 2 || gridRow >= rowCount - 1) return false;
  if (gridRow >= shown_ddv_.Count()) return false;
  return !SmoothDdv(shown_ddv_[gridRow]);
}

void TEditTabForm::UpdateRangeControls() {
  if (!graph_) return;
  frGroup_->setVisible(true);
  const bool partial = graph_->Partial();
  if (partial) {
    const QSignalBlocker block(frScrollBar_);
    frScrollBar_->setMinimum(0);
    frScrollBar_->setMaximum(std::max(0, graph_->LastIndex()));
    frScrollBar_->setValue(graph_->CentreIndex());
    frScrollBar_->setSingleStep(graph_->ScrollStep());
    frScrollBar_->setPageStep(1);
  }
  selNotButton_->setVisible(partial);
  selGrowButton_->setVisible(partial);
  frScrollBar_->setVisible(partial);
}

void TEditTabForm::SNewButtonClick() {
  FORMA* form = CurrentForm();
  if (!form || !form->Defined()) return;
  form->AppendRow("0", "0");
  RefreshTab();
  SelectGridRow(stringGrid1_->rowCount());
}

void TEditTabForm::SInsButtonClick() {
  FORMA* form = CurrentForm();
  if (!form || !form->Defined()) return;
  const int q = std::clamp(stringGrid1_->currentRow(), 0, form->RowCount());
  form->InsertRow(q, "0", "0");
  RefreshTab();
  SelectGridRow(q + 1);
}

void TEditTabForm::SDelButtonClick() {
  FORMA* form = CurrentForm();
  if (!form || !form->Defined()) return;
  const int q = stringGrid1_->currentRow();
  if (q < 0 || q >= form->RowCount()) return;
  form->DeleteRow(q);
  RefreshTab();
  SelectGridRow(std::min(q + 1, stringGrid1_->rowCount()));
}

void TEditTabForm::EditCell(const QString& typed) {
  FORMA* form = CurrentForm();
  if (!form) return;
  const int q = stringGrid1_->currentRow();
  const int col = stringGrid1_->currentColumn();
  if (q < 0 || q >= form->RowCount()) return;
  if (col == kDdvColumn || col < 0) return;
  if (col == kLevelColumn && form->AutoLevel()) return;
  TEditDlg local;
  TEditDlg* dlg = cell_editor_ ? cell_editor_ : &local;
  dlg->PlaceOverCell(stringGrid1_, q, col);
  const QTableWidgetItem* item = stringGrid1_->item(q, col);
  if (typed.isEmpty())
    dlg->SetText(item ? item->text() : QString());
  else
    dlg->SetTypedText(typed);
  if (dlg->exec() != QDialog::Accepted) return;
  // The form may have gone while the dialog ran only if the window closed.
  form = CurrentForm();
  if (!form || q >= form->RowCount()) return;
  std::string text = tgx::FromQt(dlg->GetText());
  if (col == kLevelColumn) {
    form->SetLevelText(q, std::move(text));
  } else {
    form->SetVolumeText(q, std::move(text));
  }
  RefreshTab();
}

bool TEditTabForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == stringGrid1_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      EditCell();
      return true;
    }
    if (key->matches(QKeySequence::Copy)) {
      CopyRows();
      return true;
    }
    if (key->matches(QKeySequence::Paste)) {
      PasteRows();
      return true;
    }
    // A digit or a sign typed on a cell starts its edit with that key, as in
    // a spreadsheet; the in-place box takes the keys that follow.
    const QString text = key->text();
    const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && text.size() == 1 && (text[0].isDigit() || text[0] == '-' || text[0] == '+')) {
      EditCell(text);
      return true;
    }
  } else if (watched == stringGrid1_->viewport() &&
             (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
    // Clicks on the fixed level column neither move the cursor nor edit.
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const int col = stringGrid1_->columnAt(mouse->position().toPoint().x());
    if (col >= 0 && col < FirstEditableColumn()) return true;
  }
  return QDialog::eventFilter(watched, event);
}

// Escape would end the dialog and with it the operator's editing: the window
// closes by its title bar only.
void TEditTabForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TEditTabForm::CopyRows() {
  const FORMA* form = CurrentForm();
  if (!form || !form->Defined()) return;
  int first = stringGrid1_->currentRow();
  int last = first;
  const QList<QTableWidgetSelectionRange> ranges = stringGrid1_->selectedRanges();
  if (!ranges.isEmpty()) {
    first = ranges.front().topRow();
    last = ranges.front().bottomRow();
  }
  if (first < 0) return;
  last = std::min(last, form->RowCount() - 1);
  QString text;
  for (int q = first; q <= last; ++q)
    text += ToQt(form->LevelText(q)) + '\t' + ToQt(form->VolumeText(q)) + '\n';
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

bool TEditTabForm::PasteRows() {
  FORMA* form = CurrentForm();
  if (!form || !form->Defined()) return false;
  const int start = std::max(0, stringGrid1_->currentRow());
  QStringList lines = QApplication::clipboard()->text().split('\n');
  while (!lines.isEmpty() && lines.back().trimmed().isEmpty()) lines.removeLast();
  if (lines.isEmpty()) return false;

  // Every line is checked before the form is touched: a refused paste
  // changes nothing.
  std::vector<QStringList> rows;
  const int columns = static_cast<int>(PastedCells(lines.front()).size());
  for (int i = 0; i < lines.size(); ++i) {
    QStringList cells = PastedCells(lines[i]);
    QString bad;
    if (cells.size() != columns || columns < 1 || columns > 2)
      bad = lines[i].trimmed();
    else
      for (const QString& c : cells)
        if (!IsNumberText(c)) {
          bad = c;
          break;
        }
    if (!bad.isNull() || cells.isEmpty()) {
      tgx::Dialogs().Inform(this, QStringLiteral("Строка %1 вставляемого текста: \"%2\" — не число. Вставка не выполнена.")
                                      .arg(i + 1)
                                      .arg(bad));
      return false;
    }
    rows.push_back(std::move(cells));
  }

  // One column goes into the column of the cursor (the volumes where the
  // levels are generated); two are level and volume, and a form of
  // generated levels takes the volumes of them.
  const bool intoLevels = columns == 1 && stringGrid1_->currentColumn() == kLevelColumn && !form->AutoLevel();
  for (size_t i = 0; i < rows.size(); ++i) {
    const int q = start + static_cast<int>(i);
    if (q >= form->RowCount()) form->AppendRow("0", "0");
    const std::string volume = tgx::FromQt(rows[i].back());
    if (columns == 2 && !form->AutoLevel()) form->SetLevelText(q, tgx::FromQt(rows[i].front()));
    if (intoLevels)
      form->SetLevelText(q, volume);
    else
      form->SetVolumeText(q, volume);
  }
  RefreshTab();
  SelectGridRow(start + 1);
  return true;
}

void TEditTabForm::SyncRowToCursor() {
  FORMA* form = CurrentForm();
  if (!graph_ || !form) return;
  const int32_t cursor = graph_->Cursor();
  if (cursor == -1) return;
  const int gridRows = stringGrid1_->rowCount();
  if (gridRows < 1) return;
  const int gridRow = std::clamp(FormRowOfIndex(*form, cursor) + 1, 1, gridRows);
  SelectGridRow(gridRow);
  const int visible = stringGrid1_->viewport()->height() / kRowHeight;
  if (visible < gridRows) {
    const int top = std::max(1, gridRow - visible / 2);
    stringGrid1_->verticalScrollBar()->setValue(top - 1);
  }
}

void TEditTabForm::RepaintGraph() { image1_->update(); }

void TEditTabForm::Image1MouseDown(int x, int y) {
  if (!graph_) return;
  graph_->BeginSelect(x, y);
}

void TEditTabForm::Image1MouseMove(int x, int y, bool leftDown) {
  if (!graph_) return;
  if (leftDown) {
    graph_->DragTo(x, y);
    RepaintGraph();
  }
  frDia_->setText(QStringLiteral("L = ") + QString::number(graph_->IndexAt(x)));
}

void TEditTabForm::Image1MouseUp(int x, int y) {
  if (!graph_) return;
  graph_->EndSelect(x, y);
  RepaintGraph();
  UpdateRangeControls();
  SyncRowToCursor();
}

void TEditTabForm::SelNotButtonClick() {
  if (!graph_) return;
  graph_->ShowAll();
  RepaintGraph();
  UpdateRangeControls();
}

void TEditTabForm::SelLowButtonClick() {
  if (!graph_) return;
  graph_->Narrow();
  RepaintGraph();
  UpdateRangeControls();
}

void TEditTabForm::SelGrowButtonClick() {
  if (!graph_) return;
  graph_->Widen();
  RepaintGraph();
  UpdateRangeControls();
}

void TEditTabForm::FrScrollBarScroll(int position) {
  if (!graph_) return;
  graph_->ScrollTo(position);
  RepaintGraph();
  SyncRowToCursor();
}
