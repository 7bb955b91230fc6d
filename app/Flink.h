#pragma once
// The progress dialog of the system table operations. It owns the one session
// worker of the run, starts one operation, and polls the worker every 500 ms
// for its progress while it runs: the GUI thread never waits on the serial
// line. The end of the session is looked for far more often, so that a
// cancelled session closes the dialog as soon as the worker has stopped.

#include <QDialog>
#include <memory>

#include "link/session/Bvlink.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TLinkDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kPollMs = 500;
  static constexpr int kFinishPollMs = 20;

  // The bar's percentage: the bytes on the line against the session's
  // expected total once it is known, else the session's own progress.
  static int BarValue(int64_t done, int64_t total, int32_t progress);
  // «Осталось 0:42»: the bytes still to go at the line's speed, rounded up
  // to whole seconds; "" while the total is unknown.
  static QString TimeLeftText(int64_t done, int64_t total);

  TLinkDlg(QWidget* parent, bool logging);
  ~TLinkDlg() override;

  // Each copies CHANPAR into the session, starts the worker, runs the dialog
  // modally with the caption and returns whether the session succeeded.
  bool RunRead(const QString& caption);
  bool RunWrite(const QString& caption);
  bool RunDelete();

  // The session; read its results only after a Run* returned.
  TBVLink& Session() { return *session_; }
  // Shows the last session's byte log (test mode).
  void LogButtonClick();

  void CancelBtnClick();
  void Timer1Timer();
  QLabel* TimeLeftLabel() const { return time_left_label_; }
  QLabel* StatusLabel() const { return label1_; }

 public slots:
  // Escape is the Cancel button: while a session runs it only raises Cancel.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  bool Run(uint8_t operation, const QString& caption);
  void FormActivate();
  void FinishTimerTimer();

  std::unique_ptr<TBVLink> session_;
  bool close_pending_ = false;
  QLabel* label1_;
  QLabel* time_left_label_;
  QTimer* finish_timer_;
  bool finish_seen_ = false;
  QProgressBar* progress_bar1_;
  QPushButton* cancel_btn_;
  QTimer* timer1_;
};
