// The progress dialog of the system table operations.

#include "app/Flink.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "app/Qtext.h"
#include "app/Dialogs.h"
#include "app/core/Syscfg.h"

namespace {
constexpr int kClientWidth = 313;
constexpr int kClientHeight = 76;
const QColor kSkyBlue(0xA6, 0xCA, 0xF0);
}  // namespace

TLinkDlg::TLinkDlg(QWidget* parent, bool logging)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      session_(std::make_unique<TBVLink>(logging)) {
  setObjectName(QStringLiteral("LinkDlg"));
  setFixedSize(kClientWidth, kClientHeight);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kSkyBlue);
  setPalette(pal);

  label1_ = new QLabel(this);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setWordWrap(true);
  label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label1_->setGeometry(16, 6, 281, 38);

  // While the session runs the time left stands where a failure's text
  // will; the two never show together.
  time_left_label_ = new QLabel(this);
  time_left_label_->setObjectName(QStringLiteral("TimeLeftLabel"));
  time_left_label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  time_left_label_->setGeometry(16, 8, 281, 18);

  progress_bar1_ = new QProgressBar(this);
  progress_bar1_->setObjectName(QStringLiteral("ProgressBar1"));
  progress_bar1_->setRange(0, 100);
  progress_bar1_->setTextVisible(false);
  progress_bar1_->setGeometry(16, 30, 281, 9);

  cancel_btn_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_btn_->setObjectName(QStringLiteral("CancelBtn"));
  cancel_btn_->setGeometry(119, 45, 75, 25);
  cancel_btn_->setAutoDefault(false);
  connect(cancel_btn_, &QPushButton::clicked, this, &TLinkDlg::CancelBtnClick);

  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(kPollMs);
  connect(timer1_, &QTimer::timeout, this, &TLinkDlg::Timer1Timer);

  finish_timer_ = new QTimer(this);
  finish_timer_->setObjectName(QStringLiteral("FinishTimer"));
  finish_timer_->setInterval(kFinishPollMs);
  connect(finish_timer_, &QTimer::timeout, this, &TLinkDlg::FinishTimerTimer);
}

int TLinkDlg::BarValue(int64_t done, int64_t total, int32_t progress) {
  if (total <= 0) return std::clamp(progress, 0, 100);
  return static_cast<int>(std::clamp<int64_t>(done, 0, total) * 100 / total);
}

QString TLinkDlg::TimeLeftText(int64_t done, int64_t total) {
  if (total <= 0) return {};
  const int64_t left = std::max<int64_t>(0, total - done);
  const int64_t seconds = (left + TBVLink::kLineBytesPerSecond - 1) / TBVLink::kLineBytesPerSecond;
  return QStringLiteral("Осталось %1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// The worker is told to cancel, then ended and joined by its destructor.
TLinkDlg::~TLinkDlg() {
  timer1_->stop();
  finish_timer_->stop();
  session_->Cancel = true;
  session_.reset();
}

bool TLinkDlg::Run(uint8_t operation, const QString& caption) {
  // The worker waits between sessions, so its inputs may be written now.
  if (const CHANPAR* channel = Chanpar()) session_->Channel = *channel;
  session_->Operation = operation;
  session_->Start();
  setWindowTitle(caption);
  exec();
  return session_->Succeeded;
}

bool TLinkDlg::RunRead(const QString& caption) { return Run(TBVLink::kOpRead, caption); }
bool TLinkDlg::RunWrite(const QString& caption) { return Run(TBVLink::kOpWrite, caption); }
bool TLinkDlg::RunDelete() { return Run(TBVLink::kOpDelete, QStringLiteral("Удаление таблиц")); }

void TLinkDlg::LogButtonClick() { tgx::Dialogs().Inform(this, tgx::ToQt(session_->SessionLog)); }

void TLinkDlg::FormActivate() {
  progress_bar1_->setRange(0, 100);
  progress_bar1_->setValue(0);
  progress_bar1_->setVisible(true);
  label1_->clear();
  label1_->setToolTip(QString());
  time_left_label_->clear();
  time_left_label_->setVisible(true);
  close_pending_ = false;
  finish_seen_ = false;
  timer1_->start();
  finish_timer_->start();
}

void TLinkDlg::Timer1Timer() {
  if (close_pending_) {
    done(QDialog::Accepted);
    return;
  }
  if (!session_->Finished) {
    const int64_t total = session_->WireBytesTotal.load();
    const int64_t bytes = session_->WireBytesDone.load();
    progress_bar1_->setValue(BarValue(bytes, total, session_->Progress.load()));
    progress_bar1_->repaint();
    time_left_label_->setText(TimeLeftText(bytes, total));
    return;
  }
  finish_seen_ = true;
  finish_timer_->stop();
  time_left_label_->clear();
  if (session_->Succeeded) {
    progress_bar1_->setValue(100);
    progress_bar1_->repaint();
    close_pending_ = true;  // one more tick, so the full bar is seen
  } else if (session_->Cancel) {
    done(QDialog::Rejected);
  } else {
    // The status, and the reason lines under it when the session gave any.
    QString text = tgx::ToQt(session_->StatusText);
    if (!session_->StatusDetail.empty()) text += '\n' + tgx::ToQt(session_->StatusDetail);
    time_left_label_->setVisible(false);
    label1_->setText(text);
    label1_->setToolTip(text);
    progress_bar1_->setVisible(false);
    timer1_->stop();
  }
}

// The end is acted on once, at once: a cancelled session closes the dialog
// as soon as the worker stops, not at the next progress poll.
void TLinkDlg::FinishTimerTimer() {
  if (!finish_seen_ && session_->Finished) Timer1Timer();
}

// Closing before the worker has finished would let the next command start it
// while it still runs: Cancel only asks, and the poll closes the dialog.
void TLinkDlg::CancelBtnClick() {
  if (session_->Finished)
    done(QDialog::Rejected);
  else
    session_->Cancel = true;
}

void TLinkDlg::reject() { CancelBtnClick(); }

void TLinkDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TLinkDlg::hideEvent(QHideEvent* event) {
  timer1_->stop();
  finish_timer_->stop();
  QDialog::hideEvent(event);
}

void TLinkDlg::closeEvent(QCloseEvent* event) {
  if (session_->Finished) {
    QDialog::closeEvent(event);
    return;
  }
  event->ignore();
  CancelBtnClick();
}
