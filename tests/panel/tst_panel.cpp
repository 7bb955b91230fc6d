// The remote panel window against the unit simulator on a pseudo-terminal,
// reached as COM1 through TGX_COM1.

#include <algorithm>

#include <QAction>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>

#include "link/Ukdr_drv.h"
#include "panel/Fbik.h"
#include "support/ScriptedDialogs.h"
#include "support/SimRunner.h"

namespace {
constexpr int kPanelStart = 0x0D, kVersionQuery = 0x07, kPoll = 0xF0;

// A simulated unit as COM1 and the panel window for it, not yet shown; the
// unit's traffic log tells which requests reached it.
struct Rig {
  tgxtest::SimRunner sim;
  tgxtest::ScriptedDialogs dialogs;
  TBikForm form;

  explicit Rig(std::vector<std::string> args) : sim(std::move(args)) { qputenv("TGX_COM1", sim.Path().c_str()); }
  ~Rig() { qunsetenv("TGX_COM1"); }
  QString Bar(int i) const { return form.findChild<QLabel*>(QString("StrBarPanel%1").arg(i))->text(); }
  QString Shown() const { return form.findChild<QTextEdit*>("Displey")->toPlainText(); }
  // The display's characters without the dot-or-blank that follows each one.
  QString Characters() const {
    const QString text = Shown();
    QString chars;
    for (int i = 0; i < text.size(); i += 2) chars += text.at(i);
    return chars;
  }
  // Command bytes in the order the unit saw them.
  QList<int> Commands() const {
    QList<int> commands;
    for (const auto& t : sim.Log()) commands.append(t.Command());
    return commands;
  }
};
}  // namespace

class TestPanel : public QObject {
  Q_OBJECT

 private slots:
  void variantByVersionCode() {
    // The menu key's answer as the display's characters, look-alikes as the unit draws them.
    const QString segments = QString::fromUtf8("П-1"), lower = QString::fromUtf8("Mеню");
    // bar: the variant and its label.
    const struct { std::vector<std::string> args; QString bar; bool panelStart; int frame; QString menu; } cases[] = {
        {{"--version-code", "6350"}, "0| << 635", true, 13, segments},
        {{"--version-code", "6351"}, "2| 6361 >>", true, 33, lower},
        {{"--version-code", "6360"}, "1| 636 ", true, 33, QString::fromUtf8("MEHЮ")},
        {{"--version-code", "6361"}, "2| 6361 >>", true, 33, lower},
        {{"--version-code", "7320"}, "0| << 635", true, 13, segments},
        {{"--unknown-version"}, "0| << 635", false, 13, segments}};
    for (const auto& c : cases) {
      Rig rig(c.args);
      rig.form.show();
      QVERIFY(QTest::qWaitForWindowExposed(&rig.form));
      QTRY_VERIFY_WITH_TIMEOUT(!rig.Shown().isEmpty(), 3000);
      QCOMPARE(QString::number(rig.form.Variant()) + "|" + rig.Bar(1) + "|" + rig.Bar(0) + "|" + rig.Bar(2),
               c.bar + QString::fromUtf8("|СИСТЕМА|OK"));
      QCOMPARE(rig.Shown().size(), 2 * (c.frame - 1));
      QVERIFY(!rig.Characters().contains('?'));  // the unit's frames decode fully
      // One display row per line, each fitting the memo without clipping.
      auto* memo = rig.form.findChild<QTextEdit*>("Displey");
      const QTextLayout* layout = memo->document()->firstBlock().layout();
      QCOMPARE(layout->lineCount(), c.frame == 33 ? 2 : 1);
      QCOMPARE(layout->lineAt(0).textLength(), qMin(32, 2 * (c.frame - 1)));
      QVERIFY(layout->lineAt(0).naturalTextWidth() <= memo->viewport()->width());
      QVERIFY(memo->document()->size().height() <= memo->viewport()->height() + 1);

      const QList<int> commands = rig.Commands();
      QVERIFY(commands.first() == kVersionQuery && commands.contains(kPanelStart) == c.panelStart);
      for (const auto& t : rig.sim.Log())  // every display answer is status, frame and checksum
        if (t.Command() == kPoll) QCOMPARE(int(t.out.size()), 1 + c.frame + 1);
      // The menu key of this variant reaches the unit, and its answer is shown.
      QVERIFY(!rig.Characters().startsWith(c.menu));
      QTest::keyClick(&rig.form, 'm');
      QTRY_VERIFY_WITH_TIMEOUT(rig.Characters().startsWith(c.menu), 1500);
      QVERIFY(rig.dialogs.shown.empty());
    }
  }

  void keysGoAtTheNextTickOnlyWhenTheVariantHasThem() {
    Rig rig({"--version-code", "6360"});  // first character display
    rig.form.findChild<QAction*>("NType1")->trigger();
    QVERIFY(rig.form.KeyboardType() == 1 && rig.form.findChild<QGroupBox*>("KeyBox1")->isVisibleTo(&rig.form));
    rig.form.show();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.Shown().isEmpty(), 3000);
    const auto key = [&rig](const QString& caption) {
      for (QPushButton* b : rig.form.findChild<QGroupBox*>("KeyBox1")->findChildren<QPushButton*>())
        if (b->text() == caption) return b;
      return static_cast<QPushButton*>(nullptr);
    };
    const auto keysSent = [&rig] {
      QList<int> keys;
      for (int c : rig.Commands())
        if ((c & 0xF0) == 0xE0) keys.append(c);
      return keys;
    };
    // "+" is on this keypad but is no key of this display, nor is "Q": a poll
    // follows them and nothing else went out.
    const int polls = rig.Commands().count(kPoll);
    QTest::mouseClick(key("+"), Qt::LeftButton);
    QTest::keyClick(&rig.form, 'Q');
    QTRY_VERIFY_WITH_TIMEOUT(rig.Commands().count(kPoll) > polls, 1000);
    QCOMPARE(keysSent(), QList<int>{});

    // Right after a display poll the next one is 500 ms away; a click goes at
    // the next 100 ms tick as a key request, which carries the display back.
    const int sent = rig.Commands().size();
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(key("7"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(rig.Commands().size() > sent, 1000);
    QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
    const tgxtest::SimRunner::Transaction sentKey = rig.sim.Log().at(size_t(sent));
    QCOMPARE(sentKey.in, std::vector<uint8_t>{0xE7});
    QCOMPARE(int(sentKey.out.size()), 1 + 33 + 1);
    // The polls keep their own rhythm, and the key is sent only once.
    QTRY_VERIFY_WITH_TIMEOUT(rig.Commands().size() > sent + 1, 1000);
    QCOMPARE(rig.Commands().at(sent + 1), kPoll);

    // PC keys: "." is the key written "n"; a caption's first letter is its key.
    QTest::keyClick(&rig.form, '.');
    QTRY_COMPARE_WITH_TIMEOUT(keysSent(), (QList<int>{0xE7, 0xEF}), 1000);
    QTest::mouseClick(key("m (MR)"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(keysSent(), (QList<int>{0xE7, 0xEF, 0xEE}), 1000);

    // Closing the window gives the port back at once.
    rig.form.hide();
    UKEDR_DRV next;
    QVERIFY(next.OpenLink(0, 500));
    next.CloseLink();
    QVERIFY(rig.dialogs.shown.empty());
  }

  // The second display poll fails, and so does the first identification after
  // it; nothing but identification (with its panel start) goes out between the
  // failed poll and the next one.
  void failedDisplayRequestClearsAndIdentifiesAgain() {
    const struct { std::vector<std::string> faults; QList<int> between; } cases[] = {
        {{"--status", "poll=4@2", "--status", "7=4@2"}, {kVersionQuery, kVersionQuery, kPanelStart}},
        {{"--silence-after", "poll=0@2", "--status", "13=4@2"},  // the start refused
         {kVersionQuery, kPanelStart, kVersionQuery, kPanelStart}},
        {{"--bad-checksum", "poll@2", "--silence-after", "7=0@2"}, {kVersionQuery, kVersionQuery, kPanelStart}}};
    for (const auto& c : cases) {
      std::vector<std::string> args{"--version-code", "6361"};
      args.insert(args.end(), c.faults.begin(), c.faults.end());
      Rig rig(args);
      rig.form.show();
      QTRY_VERIFY_WITH_TIMEOUT(!rig.Shown().isEmpty(), 3000);
      QTRY_VERIFY_WITH_TIMEOUT(!rig.form.Identified(), 3000);
      QCOMPARE(rig.Shown(), QString());
      QCOMPARE(rig.Bar(2), QString("OK"));  // the status bar keeps its texts until identification fails
      QTRY_COMPARE_WITH_TIMEOUT(rig.Bar(2), QString("ERROR"), 2000);
      QVERIFY(rig.Bar(1) == "?" && rig.Shown().isEmpty());
      QTRY_VERIFY_WITH_TIMEOUT(rig.form.Identified(), 1500);
      QCOMPARE(rig.Bar(2), QString("OK"));
      QTRY_VERIFY_WITH_TIMEOUT(!rig.Shown().isEmpty(), 1500);
      const QList<int> commands = rig.Commands();
      const int failed = commands.indexOf(kPoll, commands.indexOf(kPoll) + 1);
      QVERIFY(failed > 0);
      QList<int> between = commands.mid(failed + 1, commands.indexOf(kPoll, failed + 1) - failed - 1);
      const auto oneStart = [](int a, int b) { return a == kPanelStart && b == kPanelStart; };  // a start takes frames
      between.erase(std::unique(between.begin(), between.end(), oneStart), between.end());
      QCOMPARE(between, c.between);
      QVERIFY(rig.dialogs.shown.empty());
    }
  }

  void busyPortBeepsAndTheWindowCloses() {
    Rig rig({"--version-code", "6361"});
    UKEDR_DRV holder;  // the table session, say
    QVERIFY(holder.OpenLink(0, 500));
    rig.form.SetKeyboardType(2);
    QTimer::singleShot(5000, &rig.form, &QDialog::reject);  // keeps a failure from hanging
    QElapsedTimer clock;
    clock.start();
    rig.form.exec();
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(rig.dialogs.Texts(), QStringList{QString::fromUtf8("Порт занят")});
    QVERIFY(rig.dialogs.beeps == 1 && !rig.form.Connected() && rig.form.KeyboardType() == 2);
    QVERIFY(rig.Commands().isEmpty());
    holder.CloseLink();
  }
};

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"