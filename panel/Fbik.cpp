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
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Dialogs.h"
#include "app/Qtext.h"
#include "link/Ukdr_drv.h"
#include "panel/core/Cons_clnt.h"

namespace {
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
  setWindowTitle(QStringLiteral("Пульт"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  BuildControls();
  SetKeyboardType(3);
}

TBikForm::~TBikForm() {
  if (active_) FormDeactivate();
  StopLinkThread();
}

void TBikForm::BuildControls() {
  QPalette navy = palette();
  navy.setColor(QPalette::Window, Qt::darkBlue);
  navy.setColor(QPalette::WindowText, Qt::white);
  setPalette(navy);
  setAutoFillBackground(true);

  mainMenu1_ = new QMenuBar(this);
  mainMenu1_->setObjectName("MainMenu1");
  // The menu keeps the desktop's colours, not the window's navy.
  mainMenu1_->setAutoFillBackground(true);
  QPalette desktop = QApplication::palette(mainMenu1_);
  for (auto role : {QPalette::Window, QPalette::WindowText, QPalette::Button, QPalette::ButtonText})
    desktop.setColor(role, desktop.color(role));  // set, so that the navy is not inherited
  mainMenu1_->setPalette(desktop);
  QMenu* keyboards = mainMenu1_->addMenu(QStringLiteral("Выбор клавиатуры"));
  keyboards->setObjectName("NKeyboard");
  auto* types = new QActionGroup(this);
  types->setExclusive(true);
  QAction** items[] = {&nType1_, &nType2_, &nType3_};
  for (int i = 0; i < 3; ++i) {
    QAction* item = keyboards->addAction(QStringLiteral("Тип %1").arg(i + 1));
    item->setObjectName(QString("NType%1").arg(i + 1));
    item->setCheckable(true);
    types->addAction(item);
    const int type = i + 1;
    connect(item, &QAction::triggered, this, [this, type] { SetKeyboardType(type); });
    *items[i] = item;
  }

  auto* client = new QWidget(this);
  client->setFixedSize(kClientWidth, kClientHeight);

  displey_ = new QTextEdit(client);
  displey_->setObjectName("Displey");
  displey_->setReadOnly(true);
  displey_->setEnabled(false);
  displey_->setFocusPolicy(Qt::NoFocus);
  displey_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  displey_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Fixed columns with breaks anywhere: a display row is exactly 32 letters
  // however its characters and dots fall, so the second row starts a line.
  displey_->setLineWrapMode(QTextEdit::FixedColumnWidth);
  displey_->setLineWrapColumnOrWidth(kDispleyColumns);
  displey_->setWordWrapMode(QTextOption::WrapAnywhere);
  displey_->document()->setDocumentMargin(2);
  QTextOption centred = displey_->document()->defaultTextOption();
  centred.setAlignment(Qt::AlignHCenter);
  displey_->document()->setDefaultTextOption(centred);
  QPalette yellow = displey_->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    yellow.setColor(group, QPalette::Base, Qt::yellow);
    yellow.setColor(group, QPalette::Text, Qt::black);
  }
  displey_->setPalette(yellow);

  // The largest fixed-width face up to 16 px whose 32 columns fit the memo.
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::TypeWriter);
  const int chrome = 2 * displey_->frameWidth() + 2 * 2 + 4;
  for (int px = kLargestFontPx; px >= kSmallestFontPx; --px) {
    font.setPixelSize(px);
    if (QFontMetrics(font).horizontalAdvance(QString(kDispleyColumns, QChar('W'))) + chrome <= kDispleyWidth)
      break;
  }
  displey_->setFont(font);
  const QFontMetrics metrics(font);
  const int width = std::max(kDispleyWidth,
                             metrics.horizontalAdvance(QString(kDispleyColumns, QChar('W'))) + chrome);
  const int height = std::max(kDispleyHeight, kDispleyLines * metrics.lineSpacing() + chrome);
  displey_->setGeometry(std::max(0, (kClientWidth - width) / 2), kDispleyY, width, height);
  if (width == kDispleyWidth) displey_->move(kDispleyX, kDispleyY);

  strBar_ = new QStatusBar(client);
  strBar_->setObjectName("StrBar");
  strBar_->setSizeGripEnabled(false);
  strBar_->setAutoFillBackground(true);
  QPalette grey = strBar_->palette();
  grey.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  grey.setColor(QPalette::WindowText, Qt::black);
  strBar_->setPalette(grey);
  const int panelWidths[3] = {60, 100, 0};
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(strBar_);
    label->setObjectName(QString("StrBarPanel%1").arg(i));
    label->setFrameStyle(QFrame::Panel | (i == 0 ? QFrame::Raised : QFrame::Sunken));
    // At least the panel's width, more when the desktop font needs it.
    if (panelWidths[i] > 0) label->setMinimumWidth(panelWidths[i]);
    strBar_->addWidget(label, panelWidths[i] > 0 ? 0 : 1);
    strBarPanel_[i] = label;
  }
  strBarPanel_[0]->setText(QStringLiteral("СИСТЕМА"));
  const int barHeight = strBar_->sizeHint().height();
  strBar_->setGeometry(0, kClientHeight - barHeight, kClientWidth, barHeight);

  const int boxTop = std::max(kKeyBoxTop, displey_->geometry().bottom() + 9);
  const QRect boxArea(kDispleyX, boxTop, kClientWidth - 2 * kDispleyX, kClientHeight - barHeight - boxTop - 6);
  keyBox1_ = BuildKeyBox("KeyBox1", kKeys1, static_cast<int>(std::size(kKeys1)));
  keyBox2_ = BuildKeyBox("KeyBox2", kKeys2, static_cast<int>(std::size(kKeys2)));
  keyBox3_ = BuildKeyBox("KeyBox3", kKeys3, static_cast<int>(std::size(kKeys3)));
  for (QGroupBox* box : {keyBox1_, keyBox2_, keyBox3_}) {
    box->setParent(client);
    box->setGeometry(boxArea);
    box->hide();
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(mainMenu1_);
  layout->addWidget(client);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  timer1_ = new QTimer(this);
  timer1_->setObjectName("Timer1");
  timer1_->setInterval(kTickMs);
  connect(timer1_, &QTimer::timeout, this, &TBikForm::Timer1Timer);
}

QGroupBox* TBikForm::BuildKeyBox(const char* name, const KeyPlace* keys, int count) {
  auto* box = new QGroupBox;
  box->setObjectName(name);
  auto* grid = new QGridLayout(box);
  grid->setSpacing(4);
  grid->setContentsMargins(8, 8, 8, 8);
  for (int i = 0; i < count; ++i) {
    const KeyPlace& k = keys[i];
    auto* button = new QPushButton(QString(k.caption), box);
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
  keyBox1_->setVisible(type == 1);
  keyBox2_->setVisible(type == 2);
  keyBox3_->setVisible(type == 3);
  (type == 1 ? nType1_ : type == 2 ? nType2_ : nType3_)->setChecked(true);
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
  ++generation_;
  connected_ = true;
  if (!link_->OpenLink(portIndex_, kReplyTimeoutMs)) {
    tgx::Dialogs().Beep();
    tgx::Dialogs().Inform(this, QStringLiteral("Порт занят"));
    connected_ = false;
  }
  if (connected_ && !linkThread_) {
    linkThread_ = new QThread(this);
    linkThread_->setObjectName("LinkThread");
    linkContext_ = new QObject;
    linkContext_->setObjectName("LinkContext");
    linkContext_->moveToThread(linkThread_);
    connect(linkThread_, &QThread::finished, linkContext_, &QObject::deleteLater);
    linkThread_->start();
  }
  // Also after a failure: the first tick closes the window.
  if (active_) timer1_->start();
}

// The request under way ends by its reply or its timeout; the line is
// closed only after that, from this thread.
void TBikForm::StopLinkThread() {
  if (!linkThread_) return;
  linkThread_->quit();
  linkThread_->wait();
  delete linkThread_;
  linkThread_ = nullptr;
  linkContext_ = nullptr;
}

void TBikForm::FormDeactivate() {
  active_ = false;
  timer1_->stop();
  StopLinkThread();
  ++generation_;
  poll_.Done();
  if (link_) link_->CloseLink();
  cons_.reset();
  link_.reset();
  connected_ = false;
}

// ---------------------------------------------------------------- polling

void TBikForm::Timer1Timer() {
  if (connected_) PollPanel(timer1_->interval());
  else close();
}

void TBikForm::PollPanel(int elapsedMs) {
  // The busy mark keeps a tick that arrives while a request is out from
  // starting another; the reply clears it.
  if (!poll_.IsReady() || !cons_ || !link_ || !linkContext_) return;
  const bool due = poll_.Advance(elapsedMs);
  if (pendingKey_ != 0) {
    cons_->PressKey(static_cast<char>(pendingKey_));
    pendingKey_ = 0;
    RefreshPanel();
  } else if (due) {
    RefreshPanel();
  } else {
    poll_.Done();
  }
}

// Starts the request the panel needs now on the link thread.
void TBikForm::RefreshPanel() {
  Request what = Request::Identify;
  int32_t key = 0;
  if (identified_) what = cons_->TakeKey(key) ? Request::Key : Request::Poll;
  const int32_t frameLength = cons_->FrameLength();
  const uint64_t generation = generation_;
  ++requestsStarted_;
  QMetaObject::invokeMethod(linkContext_, [this, what, frameLength, key, generation] {
    const Reply reply = Exchange(what, frameLength, key);
    QMetaObject::invokeMethod(this, [this, generation, reply] { TakeReply(generation, reply); },
                              Qt::QueuedConnection);
  }, Qt::QueuedConnection);
}

TBikForm::Reply TBikForm::Exchange(Request what, int32_t frameLength, int32_t key) {
  Reply r;
  r.What = what;
  if (what == Request::Identify) {
    r.Ok = link_->QueryVersion(r.Known, r.Code);
    // The start's own status counts too: the transfer completes even when
    // the unit refuses it, and a refused start leaves every poll refused.
    if (r.Ok && CONS_CLNT::NeedsPanelStart(r.Known, r.Code))
      r.Ok = link_->PanelStart() && link_->LastStatus() == 0;
    return r;
  }
  const bool ok = what == Request::Key ? link_->PanelKey(frameLength, key) : link_->PanelPoll(frameLength);
  r.Ok = ok && link_->LastStatus() == 0;
  if (r.Ok) {
    const DATA& frame = link_->DataBuffer();
    r.Frame.assign(frame.Bytes(), frame.Bytes() + frame.Size());
  }
  return r;
}

void TBikForm::TakeReply(uint64_t generation, const Reply& reply) {
  if (generation != generation_ || !cons_) return;
  poll_.Done();
  if (reply.What == Request::Identify) {
    if (!reply.Ok) {
      strBarPanel_[2]->setText("ERROR");
      strBarPanel_[1]->setText("?");
      return;
    }
    const int variant = CONS_CLNT::VariantOfUnit(reply.Known, reply.Code);
    strBarPanel_[2]->setText("OK");
    strBarPanel_[1]->setText(QString::fromLatin1(CONS_CLNT::VariantLabel(variant)));
    if (variant != variant_) {
      variant_ = variant;
      cons_->SetMode(variant);
    }
    identified_ = true;
    return;
  }
  if (reply.Ok) {
    cons_->Decode(reply.Frame.data(), static_cast<int32_t>(reply.Frame.size()));
    ShowDisplay(tgx::ToQt(cons_->Text()));
  } else {
    displey_->clear();
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
  displey_->setPlainText(shown);
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
  // Escape would close the window in the middle of the operator's work on
  // the unit: it closes by its title bar only.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  if (typed.isEmpty()) {
    QDialog::keyPressEvent(event);
    return;
  }
  Button1KeyPress(typed.at(0));
  event->accept();
}
