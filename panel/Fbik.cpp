#include "panel/Fbik.h"

#include <QActionGroup>
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Dialogs.h"
#include "link/Ukdr_drv.h"
#include "model/Cp1251.h"
#include "panel/core/Cons_clnt.h"

namespace {
QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

constexpr int kClientWidth = 302;
constexpr int kClientHeight = 315;
// Where the display memo sits and how big it is at least; it grows when the
// chosen fixed-width font needs more room for a whole display row.
constexpr int kDispleyX = 12;
constexpr int kDispleyY = 29;
constexpr int kDispleyWidth = 275;
constexpr int kDispleyHeight = 52;
constexpr int kDispleyColumns = 32;  // one row of a 16-position display, each with its dot
constexpr int kDispleyLines = 2;
constexpr int kLargestFontPx = 16;
constexpr int kSmallestFontPx = 9;
constexpr int kKeyBoxTop = 90;

// Identification answers that decide which display is attached.
constexpr int32_t kFirstCodeWithPanelStart = 6350;
constexpr int32_t kCodeOfVariant1 = 6360;
constexpr int32_t kLastMinorOfVariant0 = 350;

const char* const kVariantLabels[CONS_CLNT::kVariants] = {" << 635", " 636 ", " 6361 >>"};
}  // namespace

// One keypad button: caption and its cell in the keypad's grid.
struct KeyPlace {
  const char* caption;
  int row, column, rowSpan, columnSpan;
};

namespace {
constexpr KeyPlace kKeys1[] = {
    {"q (EX)", 0, 0, 1, 1}, {"z (MC)", 1, 0, 1, 1}, {"m (MR)", 2, 0, 1, 1}, {".", 3, 0, 1, 1},
    {"7", 0, 1, 1, 1},      {"8", 0, 2, 1, 1},      {"9", 0, 3, 1, 1},      {"4", 1, 1, 1, 1},
    {"5", 1, 2, 1, 1},      {"6", 1, 3, 1, 1},      {"1", 2, 1, 1, 1},      {"2", 2, 2, 1, 1},
    {"3", 2, 3, 1, 1},      {"-", 3, 1, 1, 1},      {"0", 3, 2, 1, 1},      {"+", 3, 3, 1, 1},
};
constexpr KeyPlace kKeys2[] = {
    {"q (EX)", 0, 0, 1, 1}, {"z (MC)", 1, 0, 1, 1}, {"m (MR)", 2, 0, 1, 1}, {"n (MU)", 3, 0, 1, 1},
    {"7", 0, 1, 1, 1},      {"8", 0, 2, 1, 1},      {"9", 0, 3, 1, 1},      {"4", 1, 1, 1, 1},
    {"5", 1, 2, 1, 1},      {"6", 1, 3, 1, 1},      {"1", 2, 1, 1, 1},      {"2", 2, 2, 1, 1},
    {"3", 2, 3, 1, 1},      {"0", 3, 1, 1, 2},      {".", 3, 3, 1, 1},      {"-", 0, 4, 1, 1},
    {"+", 1, 4, 3, 1},
};
constexpr KeyPlace kKeys3[] = {
    {"q (8+2)", 0, 0, 1, 1}, {"z (8+5)", 1, 0, 1, 1}, {"7", 0, 1, 1, 1}, {"8", 0, 2, 1, 1},
    {"9", 0, 3, 1, 1},       {"4", 1, 1, 1, 1},       {"5", 1, 2, 1, 1}, {"6", 1, 3, 1, 1},
    {"1", 2, 1, 1, 1},       {"2", 2, 2, 1, 1},       {"3", 2, 3, 1, 1}, {"0", 3, 1, 1, 1},
    {",", 3, 2, 1, 1},       {"-", 3, 3, 1, 1},
};
}  // namespace

TBikForm::TBikForm(QWidget* parent) : QDialog(parent) {
  setObjectName("BikForm");
  setWindowTitle(Text("Пульт"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  BuildControls();
  SetKeyboardType(3);
}

TBikForm::~TBikForm() {
  if (active_) FormDeactivate();
}

void TBikForm::BuildControls() {
  QPalette navy = palette();
  navy.setColor(QPalette::Window, Qt::darkBlue);
  navy.setColor(QPalette::WindowText, Qt::white);
  setPalette(navy);
  setAutoFillBackground(true);

  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName("MainMenu1");
  // The menu keeps the desktop's colours, not the window's navy.
  MainMenu1->setAutoFillBackground(true);
  QPalette desktop = QApplication::palette(MainMenu1);
  for (auto role : {QPalette::Window, QPalette::WindowText, QPalette::Button, QPalette::ButtonText})
    desktop.setColor(role, desktop.color(role));  // set, so that the navy is not inherited
  MainMenu1->setPalette(desktop);
  QMenu* keyboards = MainMenu1->addMenu(Text("Выбор клавиатуры"));
  keyboards->setObjectName("NKeyboard");
  auto* types = new QActionGroup(this);
  types->setExclusive(true);
  QAction** items[] = {&NType1, &NType2, &NType3};
  for (int i = 0; i < 3; ++i) {
    QAction* item = keyboards->addAction(Text("Тип ") + QString::number(i + 1));
    item->setObjectName(QString("NType%1").arg(i + 1));
    item->setCheckable(true);
    types->addAction(item);
    const int type = i + 1;
    connect(item, &QAction::triggered, this, [this, type] { SetKeyboardType(type); });
    *items[i] = item;
  }

  auto* client = new QWidget(this);
  client->setFixedSize(kClientWidth, kClientHeight);

  Displey = new QTextEdit(client);
  Displey->setObjectName("Displey");
  Displey->setReadOnly(true);
  Displey->setEnabled(false);
  Displey->setFocusPolicy(Qt::NoFocus);
  Displey->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Displey->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Fixed columns with breaks anywhere: a display row is exactly 32 letters
  // however its characters and dots fall, so the second row starts a line.
  Displey->setLineWrapMode(QTextEdit::FixedColumnWidth);
  Displey->setLineWrapColumnOrWidth(kDispleyColumns);
  Displey->setWordWrapMode(QTextOption::WrapAnywhere);
  Displey->document()->setDocumentMargin(2);
  QTextOption centred = Displey->document()->defaultTextOption();
  centred.setAlignment(Qt::AlignHCenter);
  Displey->document()->setDefaultTextOption(centred);
  QPalette yellow = Displey->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    yellow.setColor(group, QPalette::Base, Qt::yellow);
    yellow.setColor(group, QPalette::Text, Qt::black);
  }
  Displey->setPalette(yellow);

  // The largest fixed-width face up to 16 px whose 32 columns fit the memo.
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::TypeWriter);
  const int chrome = 2 * Displey->frameWidth() + 2 * 2 + 4;
  for (int px = kLargestFontPx; px >= kSmallestFontPx; --px) {
    font.setPixelSize(px);
    if (QFontMetrics(font).horizontalAdvance(QString(kDispleyColumns, QChar('W'))) + chrome <= kDispleyWidth)
      break;
  }
  Displey->setFont(font);
  const QFontMetrics metrics(font);
  const int width = std::max(kDispleyWidth,
                             metrics.horizontalAdvance(QString(kDispleyColumns, QChar('W'))) + chrome);
  const int height = std::max(kDispleyHeight, kDispleyLines * metrics.lineSpacing() + chrome);
  Displey->setGeometry(std::max(0, (kClientWidth - width) / 2), kDispleyY, width, height);
  if (width == kDispleyWidth) Displey->move(kDispleyX, kDispleyY);

  StrBar = new QStatusBar(client);
  StrBar->setObjectName("StrBar");
  StrBar->setSizeGripEnabled(false);
  StrBar->setAutoFillBackground(true);
  QPalette grey = StrBar->palette();
  grey.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  grey.setColor(QPalette::WindowText, Qt::black);
  StrBar->setPalette(grey);
  const int panelWidths[3] = {60, 100, 0};
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(StrBar);
    label->setObjectName(QString("StrBarPanel%1").arg(i));
    label->setFrameStyle(QFrame::Panel | (i == 0 ? QFrame::Raised : QFrame::Sunken));
    // At least the panel's width, more when the desktop font needs it.
    if (panelWidths[i] > 0) label->setMinimumWidth(panelWidths[i]);
    StrBar->addWidget(label, panelWidths[i] > 0 ? 0 : 1);
    StrBarPanel[i] = label;
  }
  StrBarPanel[0]->setText(Text("СИСТЕМА"));
  const int barHeight = StrBar->sizeHint().height();
  StrBar->setGeometry(0, kClientHeight - barHeight, kClientWidth, barHeight);

  const int boxTop = std::max(kKeyBoxTop, Displey->geometry().bottom() + 9);
  const QRect boxArea(kDispleyX, boxTop, kClientWidth - 2 * kDispleyX, kClientHeight - barHeight - boxTop - 6);
  KeyBox1 = BuildKeyBox("KeyBox1", kKeys1, static_cast<int>(std::size(kKeys1)));
  KeyBox2 = BuildKeyBox("KeyBox2", kKeys2, static_cast<int>(std::size(kKeys2)));
  KeyBox3 = BuildKeyBox("KeyBox3", kKeys3, static_cast<int>(std::size(kKeys3)));
  for (QGroupBox* box : {KeyBox1, KeyBox2, KeyBox3}) {
    box->setParent(client);
    box->setGeometry(boxArea);
    box->hide();
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(MainMenu1);
  layout->addWidget(client);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(kTickMs);
  connect(Timer1, &QTimer::timeout, this, &TBikForm::Timer1Timer);
}

QGroupBox* TBikForm::BuildKeyBox(const char* name, const KeyPlace* keys, int count) {
  auto* box = new QGroupBox;
  box->setObjectName(name);
  auto* grid = new QGridLayout(box);
  grid->setSpacing(4);
  grid->setContentsMargins(8, 8, 8, 8);
  for (int i = 0; i < count; ++i) {
    const KeyPlace& k = keys[i];
    auto* button = new QPushButton(QString::fromUtf8(k.caption), box);
    button->setObjectName(QString("%1Key%2").arg(name).arg(i));
    // Keys typed on the PC keyboard reach the window, never a button, so a
    // blank or Enter cannot click whichever button was used last.
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(button, &QPushButton::clicked, this, &TBikForm::Button1Click);
    grid->addWidget(button, k.row, k.column, k.rowSpan, k.columnSpan);
  }
  return box;
}

void TBikForm::SetKeyboardType(int type) {
  keyboardType_ = type;
  if (type < 1 || type > 3) return;
  KeyBox1->setVisible(type == 1);
  KeyBox2->setVisible(type == 2);
  KeyBox3->setVisible(type == 3);
  (type == 1 ? NType1 : type == 2 ? NType2 : NType3)->setChecked(true);
}

// ---------------------------------------------------------------- activation

void TBikForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Restoring from the task bar is not a new showing.
  if (event->spontaneous() || active_) return;
  active_ = true;
  // Activation may show "Порт занят"; it runs from the event loop once the
  // window is up rather than inside the show itself.
  QTimer::singleShot(0, this, [this] {
    if (active_ && !link_ && isVisible()) FormActivate();
  });
}

void TBikForm::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (event->spontaneous() || !active_) return;  // minimised: still active
  FormDeactivate();
}

void TBikForm::FormActivate() {
  pendingKey_ = 0;
  // A window shown a second time starts over like a new one.
  identified_ = false;
  variant_ = 2;
  cons_ = std::make_unique<CONS_CLNT>(2);
  link_ = std::make_unique<UKEDR_DRV>();
  poll_.Start(kPollPeriodMs);
  connected_ = true;
  if (!link_->OpenLink(portIndex_, kReplyTimeoutMs)) {
    tgx::Dialogs().Beep();
    tgx::Dialogs().Inform(this, Text("Порт занят"));
    connected_ = false;
  }
  // Also after a failure: the first tick closes the window.
  if (active_) Timer1->start();
}

void TBikForm::FormDeactivate() {
  active_ = false;
  if (link_) link_->CloseLink();
  Timer1->stop();
  cons_.reset();
  link_.reset();
  connected_ = false;
}

// ---------------------------------------------------------------- polling

void TBikForm::Timer1Timer() {
  if (connected_) PollPanel(Timer1->interval());
  else close();
}

void TBikForm::PollPanel(int elapsedMs) {
  // Requests run on this thread; the busy mark keeps a tick that arrives
  // during one (a nested event loop) from starting another.
  if (!poll_.IsReady() || !cons_ || !link_) return;
  const bool due = poll_.Advance(elapsedMs);
  if (pendingKey_ != 0) {
    cons_->PressKey(static_cast<char>(pendingKey_));
    pendingKey_ = 0;
    RefreshPanel();
  } else if (due) {
    RefreshPanel();
  }
  poll_.Done();
}

void TBikForm::RefreshPanel() {
  if (!identified_) {
    bool known = false;
    int32_t code = 0;
    bool ok = link_->QueryVersion(known, code);
    // The start's own status counts too: the transfer completes even when
    // the unit refuses it, and a refused start leaves every poll refused.
    if (ok && known && code >= kFirstCodeWithPanelStart) ok = link_->PanelStart() && link_->LastStatus() == 0;
    if (!ok) {
      StrBarPanel[2]->setText("ERROR");
      StrBarPanel[1]->setText("?");
      return;
    }
    int variant = 2;
    if (!known || code % 1000 <= kLastMinorOfVariant0) variant = 0;
    else if (code == kCodeOfVariant1) variant = 1;
    StrBarPanel[2]->setText("OK");
    StrBarPanel[1]->setText(QString::fromLatin1(kVariantLabels[variant]));
    if (variant != variant_) {
      variant_ = variant;
      cons_->SetMode(variant);
    }
    identified_ = true;
    return;
  }

  int32_t key = 0;
  const bool ok = cons_->TakeKey(key) ? link_->PanelKey(cons_->FrameLength(), key)
                                      : link_->PanelPoll(cons_->FrameLength());
  if (ok && link_->LastStatus() == 0) {
    const DATA& frame = link_->DataBuffer();
    cons_->Decode(frame.Bytes(), frame.Size());
    ShowDisplay(QString::fromStdString(tgx::ToUtf8(cons_->Text())));
  } else {
    Displey->clear();
    identified_ = false;
  }
}

void TBikForm::ShowDisplay(const QString& text) {
  // Blanks become no-break spaces so that the fixed-column wrap cannot let
  // them hang past the end of a row and shift the next row left; control codes
  // of the character displays have no glyph here and show as blanks.
  QString shown = text;
  for (QChar& c : shown)
    if (c.unicode() <= 0x20 || c.unicode() == 0x7F) c = QChar::Nbsp;
  Displey->setPlainText(shown);
}

// ---------------------------------------------------------------- keys

void TBikForm::Button1Click() {
  auto* button = qobject_cast<QPushButton*>(sender());
  if (button == nullptr) return;
  const QString caption = button->text();
  Button1KeyPress(caption.isEmpty() ? QChar(0) : caption.at(0));
}

void TBikForm::Button1KeyPress(QChar ch) {
  if (!cons_ || ch.unicode() == 0 || ch.unicode() >= 0x80) return;
  if (cons_->PressKey(static_cast<char>(ch.unicode()))) pendingKey_ = ch.unicode();
}

void TBikForm::keyPressEvent(QKeyEvent* event) {
  const QString typed = event->text();
  if (event->key() == Qt::Key_Escape || typed.isEmpty()) {
    QDialog::keyPressEvent(event);
    return;
  }
  Button1KeyPress(typed.at(0));
  event->accept();
}
