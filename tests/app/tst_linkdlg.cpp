// The progress dialog of the system operations: the bar and the time left
// from the bytes on the line, a cancel that closes the dialog as soon as the
// worker stops, and a failure's status with its reason lines.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app/Flink.h"
#include "model/Cp1251.h"
#include "support/ModalDriver.h"
#include "support/SimRunner.h"

namespace tgxtest {

class TstLinkDlg : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { StopWatching(); }

  // The bar follows the bytes on the line when their total is known, the
  // session's own progress otherwise; the time left is what the rest of the
  // bytes take at the line's rate, a part of a second counting whole.
  void barAndTimeLeft() {
    const qint64 second = TBVLink::kLineBytesPerSecond;
    const struct { qint64 done, total; int progress, value; const char* text; } cases[] = {
        {100, 100 + 42 * second, 90, 0, "Осталось 0:42"}, {250, 1000, 90, 25, "Осталось 0:01"},
        {0, second + 1, 50, 0, "Осталось 0:02"},          {0, 61 * second, 50, 0, "Осталось 1:01"},
        {500, 500, 0, 100, "Осталось 0:00"},              {1200, 1000, 0, 100, "Осталось 0:00"},
        {250, 0, 40, 40, ""},
    };
    // Each answer carries its row's bytes, so that a failure names the row.
    for (const auto& c : cases) {
      const QString row = QString("%1 of %2: ").arg(c.done).arg(c.total);
      QCOMPARE(row + QString::number(TLinkDlg::BarValue(c.done, c.total, c.progress)), row + QString::number(c.value));
      QCOMPARE(row + TLinkDlg::TimeLeftText(c.done, c.total), row + c.text);
    }
  }

  // Cancel or Escape pressed right after a progress poll, while a slow unit
  // is still answering, closes the dialog before the next poll: the worker
  // stops well within the poll's period.
  void cancelClosesBeforeTheNextPoll() {
    for (bool escape : {false, true}) {
      SimRunner sim({"--byte-delay-ms", "200"});
      TLinkDlg dlg(nullptr, false);
      dlg.Session().DevicePath = sim.Path();
      int pollsAfterCancel = -1;
      connect(dlg.findChild<QTimer*>("Timer1"), &QTimer::timeout, &dlg, [&] {
        if (pollsAfterCancel >= 0) {
          ++pollsAfterCancel;
        } else if (!dlg.Session().Finished) {
          pollsAfterCancel = 0;
          if (escape) QTest::keyClick(&dlg, Qt::Key_Escape);
          else QTest::mouseClick(dlg.findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
        }
      });
      // Keeps a session that ended by itself from leaving the dialog open.
      QTimer::singleShot(20000, &dlg, [&] {
        dlg.Session().Cancel = true;
        dlg.CancelBtnClick();
      });
      QVERIFY(!dlg.RunRead("Чтение таблиц"));
      QCOMPARE(pollsAfterCancel, 0);
      QVERIFY(dlg.Session().Cancel);
    }
  }

  // A failed session keeps the dialog open with its status and, under it,
  // the reason lines it gave.
  void failureShowsStatusAndDetail() {
    TLinkDlg dlg(nullptr, false);
    dlg.Session().DevicePath = "/nonexistent/tgx-port";
    QString shown;
    WhenModal([&](QWidget* w) {
      if (w != &dlg || dlg.StatusLabel()->text().isEmpty()) return false;
      shown = dlg.StatusLabel()->text();
      QTest::mouseClick(dlg.findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
      return true;
    });
    QVERIFY(!dlg.RunRead("Чтение таблиц"));
    QString expected = QString::fromStdString(tgx::ToUtf8(dlg.Session().StatusText));
    if (!dlg.Session().StatusDetail.empty())
      expected += '\n' + QString::fromStdString(tgx::ToUtf8(dlg.Session().StatusDetail));
    QVERIFY(!dlg.Session().StatusText.empty());
    QCOMPARE(shown, expected);
    QVERIFY(!dlg.TimeLeftLabel()->isVisible());
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TstLinkDlg)
#include "tst_linkdlg.moc"
