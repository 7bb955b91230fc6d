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

  void barValue_data() {
    QTest::addColumn<qint64>("done");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("progress");
    QTest::addColumn<int>("value");
    QTest::newRow("bytes known") << qint64(250) << qint64(1000) << 90 << 25;
    QTest::newRow("total unknown: the session's progress") << qint64(250) << qint64(0) << 40 << 40;
    QTest::newRow("more bytes than expected") << qint64(1200) << qint64(1000) << 0 << 100;
  }
  void barValue() {
    QFETCH(qint64, done);
    QFETCH(qint64, total);
    QFETCH(int, progress);
    QFETCH(int, value);
    QCOMPARE(TLinkDlg::BarValue(done, total, progress), value);
  }

  void timeLeftText_data() {
    QTest::addColumn<qint64>("done");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("text");
    const qint64 second = TBVLink::kLineBytesPerSecond;
    QTest::newRow("42 seconds to go") << qint64(100) << 100 + 42 * second << "Осталось 0:42";
    QTest::newRow("a part of a second counts whole") << qint64(0) << second + 1 << "Осталось 0:02";
    QTest::newRow("over a minute") << qint64(0) << 61 * second << "Осталось 1:01";
    QTest::newRow("all sent") << qint64(500) << qint64(500) << "Осталось 0:00";
    QTest::newRow("total unknown") << qint64(0) << qint64(0) << "";
  }
  void timeLeftText() {
    QFETCH(qint64, done);
    QFETCH(qint64, total);
    QFETCH(QString, text);
    QCOMPARE(TLinkDlg::TimeLeftText(done, total), text);
  }

  // Cancel pressed right after a progress poll, while a slow unit is still
  // answering, closes the dialog before the next poll: the worker stops well
  // within the poll's period.
  void cancelClosesBeforeTheNextPoll() {
    SimRunner sim({"--byte-delay-ms", "200"});
    TLinkDlg dlg(nullptr, false);
    dlg.Session().DevicePath = sim.Path();
    auto* poll = dlg.findChild<QTimer*>("Timer1");
    QVERIFY(poll);
    int pollsAfterCancel = -1;
    connect(poll, &QTimer::timeout, &dlg, [&] {
      if (pollsAfterCancel >= 0) {
        ++pollsAfterCancel;
      } else if (!dlg.Session().Finished) {
        pollsAfterCancel = 0;
        QTest::mouseClick(dlg.findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
      }
    });
    // Keeps a session that ended by itself from leaving the dialog open.
    QTimer::singleShot(20000, &dlg, [&] {
      dlg.Session().Cancel = true;
      dlg.CancelBtnClick();
    });
    QVERIFY(!dlg.RunRead("Чтение таблиц"));
    QVERIFY(pollsAfterCancel >= 0);
    QCOMPARE(pollsAfterCancel, 0);
  }

  void escapeCancelsAsTheButtonDoes() {
    SimRunner sim({"--byte-delay-ms", "200"});
    TLinkDlg dlg(nullptr, false);
    dlg.Session().DevicePath = sim.Path();
    WhenModal([&](QWidget* w) {
      if (w != &dlg) return false;
      QTest::keyClick(&dlg, Qt::Key_Escape);
      return true;
    });
    QVERIFY(!dlg.RunRead("Чтение таблиц"));
    QVERIFY(dlg.Session().Cancel);
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
