// The remote panel window against the unit simulator on a pseudo-terminal,
// reached as COM1 through TGX_COM1.

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
constexpr int kPanelStart = 0x0D;
constexpr int kVersionQuery = 0x07;
constexpr int kPoll = 0xF0;

// One simulated unit for one test: its terminal is COM1 while it lives, and
// its traffic log tells which requests reached it.
struct Sim : tgxtest::SimRunner {
  explicit Sim(const QStringList& args) : SimRunner(Std(args)) { qputenv("TGX_COM1", Path().c_str()); }
  ~Sim() { qunsetenv("TGX_COM1"); }
  static std::vector<std::string> Std(const QStringList& args) {
    std::vector<std::string> out;
    for (const QString& a : args) out.push_back(a.toStdString());
    return out;
  }
  // Command bytes in the order the unit saw them.
  QList<int> Commands() const {
    QList<int> commands;
    for (const Transaction& t : Log()) commands.append(t.Command());
    return commands;
  }
};

QString Panel(const TBikForm& form, int i) {
  return form.findChild<QLabel*>(QString("StrBarPanel%1").arg(i))->text();
}

QString ShownText(const TBikForm& form) { return form.findChild<QTextEdit*>("Displey")->toPlainText(); }

// The display's characters without the dot-or-blank that follows each one.
QString DisplayCharacters(const TBikForm& form) {
  const QString text = ShownText(form);
  QString chars;
  for (int i = 0; i < text.size(); i += 2) chars += text.at(i);
  return chars;
}

QPushButton* Key(const TBikForm& form, const char* box, const QString& caption) {
  for (QPushButton* b : form.findChild<QGroupBox*>(box)->findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
}
}  // namespace

class TestPanel : public QObject {
  Q_OBJECT

 private slots:
  void keyboardTypeShowsOneKeypad();
  void variantByVersionCode_data();
  void variantByVersionCode();
  void keysGoAtTheNextTickOnlyWhenTheVariantHasThem();
  void failedDisplayRequestClearsAndIdentifiesAgain_data();
  void failedDisplayRequestClearsAndIdentifiesAgain();
  void busyPortBeepsAndTheWindowCloses();
};

void TestPanel::keyboardTypeShowsOneKeypad() {
  TBikForm form;
  const auto shown = [&form] {
    QString s;
    for (const char* box : {"KeyBox1", "KeyBox2", "KeyBox3"})
      if (form.findChild<QGroupBox*>(box)->isVisibleTo(&form)) s += box;
    return s;
  };
  QCOMPARE(shown(), QString("KeyBox3"));
  form.findChild<QAction*>("NType1")->trigger();
  QCOMPARE(form.KeyboardType(), 1);
  QCOMPARE(shown(), QString("KeyBox1"));
  // A damaged setting is handed back unchanged; the keypad stays as it was.
  form.SetKeyboardType(9);
  QCOMPARE(form.KeyboardType(), 9);
  QCOMPARE(shown(), QString("KeyBox1"));
}

void TestPanel::variantByVersionCode_data() {
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<int>("variant");
  QTest::addColumn<QString>("label");
  QTest::addColumn<bool>("panelStart");
  QTest::addColumn<int>("frame");
  QTest::addColumn<QString>("menu");  // the display's characters, look-alikes as the unit draws them
  const QString segments = QString::fromUtf8("П-1"), lower = QString::fromUtf8("Mеню");
  QTest::newRow("6350") << QStringList{"--version-code", "6350"} << 0 << " << 635" << true << 13 << segments;
  QTest::newRow("6351") << QStringList{"--version-code", "6351"} << 2 << " 6361 >>" << true << 33 << lower;
  QTest::newRow("6360") << QStringList{"--version-code", "6360"} << 1 << " 636 " << true << 33
                        << QString::fromUtf8("MEHЮ");
  QTest::newRow("6361") << QStringList{"--version-code", "6361"} << 2 << " 6361 >>" << true << 33 << lower;
  QTest::newRow("7320") << QStringList{"--version-code", "7320"} << 0 << " << 635" << true << 13 << segments;
  QTest::newRow("unknown") << QStringList{"--unknown-version"} << 0 << " << 635" << false << 13 << segments;
}

void TestPanel::variantByVersionCode() {
  QFETCH(QStringList, args);
  QFETCH(int, variant);
  QFETCH(QString, label);
  QFETCH(bool, panelStart);
  QFETCH(int, frame);
  QFETCH(QString, menu);
  Sim sim(args);
  tgx::test::ScriptedDialogs dialogs;
  TBikForm form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QTRY_VERIFY_WITH_TIMEOUT(!ShownText(form).isEmpty(), 3000);
  QCOMPARE(form.Variant(), variant);
  QCOMPARE(Panel(form, 0), QString::fromUtf8("СИСТЕМА"));
  QCOMPARE(Panel(form, 1), label);
  QCOMPARE(Panel(form, 2), QString("OK"));
  QCOMPARE(ShownText(form).size(), 2 * (frame - 1));
  QVERIFY(!DisplayCharacters(form).contains('?'));  // the unit's frames decode fully
  // One display row per line, each fitting the memo without clipping.
  auto* memo = form.findChild<QTextEdit*>("Displey");
  const QTextLayout* layout = memo->document()->firstBlock().layout();
  QCOMPARE(layout->lineCount(), frame == 33 ? 2 : 1);
  QCOMPARE(layout->lineAt(0).textLength(), qMin(32, 2 * (frame - 1)));
  QVERIFY(layout->lineAt(0).naturalTextWidth() <= memo->viewport()->width());
  QVERIFY(memo->document()->size().height() <= memo->viewport()->height() + 1);

  const QList<int> commands = sim.Commands();
  QCOMPARE(commands.first(), kVersionQuery);
  QCOMPARE(commands.contains(kPanelStart), panelStart);
  // Every display answer is status, frame and checksum.
  for (const Sim::Transaction& t : sim.Log())
    if (t.Command() == kPoll) QCOMPARE(int(t.out.size()), 1 + frame + 1);
  // The menu key of this variant reaches the unit, and its answer is shown.
  QVERIFY(!DisplayCharacters(form).startsWith(menu));
  QTest::keyClick(&form, 'm');
  QTRY_VERIFY_WITH_TIMEOUT(DisplayCharacters(form).startsWith(menu), 1500);
  QVERIFY(dialogs.shown.empty());
}

void TestPanel::keysGoAtTheNextTickOnlyWhenTheVariantHasThem() {
  Sim sim({"--version-code", "6360"});  // first character display
  tgx::test::ScriptedDialogs dialogs;
  TBikForm form;
  form.SetKeyboardType(1);
  form.show();
  QTRY_VERIFY_WITH_TIMEOUT(!ShownText(form).isEmpty(), 3000);
  const auto polls = [&sim] { return sim.Commands().count(kPoll); };
  const auto keysSent = [&sim] {
    QList<int> keys;
    for (int c : sim.Commands())
      if ((c & 0xF0) == 0xE0) keys.append(c);
    return keys;
  };
  // "+" is on this keypad but is no key of this display, nor is "Q": a poll
  // follows them and nothing else went out.
  const int before = polls();
  QTest::mouseClick(Key(form, "KeyBox1", "+"), Qt::LeftButton);
  QTest::keyClick(&form, '+');
  QTest::keyClick(&form, 'Q');
  QTRY_VERIFY_WITH_TIMEOUT(polls() > before, 1000);
  QCOMPARE(keysSent(), QList<int>{});

  // Right after a display poll the next one is 500 ms away; a click goes at
  // the next 100 ms tick as a key request, which carries the display back.
  const int sent = sim.Commands().size();
  QElapsedTimer clock;
  clock.start();
  QTest::mouseClick(Key(form, "KeyBox1", "7"), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(sim.Commands().size() > sent, 1000);
  QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
  const Sim::Transaction key = sim.Log().at(size_t(sent));
  QCOMPARE(key.in, std::vector<uint8_t>{0xE7});
  QCOMPARE(int(key.out.size()), 1 + 33 + 1);
  // The polls keep their own rhythm, and the key is sent only once.
  QTRY_VERIFY_WITH_TIMEOUT(sim.Commands().size() > sent + 1, 1000);
  QCOMPARE(sim.Commands().at(sent + 1), kPoll);

  // PC keys: "." is the key written "n", a comma is a key here; a caption's
  // first letter is its key.
  QTest::keyClick(&form, '.');
  QTRY_COMPARE_WITH_TIMEOUT(keysSent(), (QList<int>{0xE7, 0xEF}), 1000);
  QTest::keyClick(&form, ',');
  QTRY_COMPARE_WITH_TIMEOUT(keysSent(), (QList<int>{0xE7, 0xEF, 0xEA}), 1000);
  QTest::mouseClick(Key(form, "KeyBox1", "m (MR)"), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(keysSent(), (QList<int>{0xE7, 0xEF, 0xEA, 0xEE}), 1000);

  // Closing the window gives the port back at once.
  form.hide();
  UKEDR_DRV next;
  QVERIFY(next.OpenLink(0, 500));
  next.CloseLink();
  QVERIFY(dialogs.shown.empty());
}

// The second display poll fails, and so does the first identification after it.
void TestPanel::failedDisplayRequestClearsAndIdentifiesAgain_data() {
  QTest::addColumn<QStringList>("faults");
  QTest::newRow("status, refused version") << QStringList{"--status", "poll=4@2", "--status", "7=4@2"};
  QTest::newRow("silent, refused start") << QStringList{"--silence-after", "poll=0@2", "--status", "13=4@2"};
  QTest::newRow("checksum, silent version") << QStringList{"--bad-checksum", "poll@2", "--silence-after", "7=0@2"};
}

void TestPanel::failedDisplayRequestClearsAndIdentifiesAgain() {
  QFETCH(QStringList, faults);
  Sim sim(QStringList{"--version-code", "6361"} + faults);
  tgx::test::ScriptedDialogs dialogs;
  TBikForm form;
  form.show();
  QTRY_VERIFY_WITH_TIMEOUT(!ShownText(form).isEmpty(), 3000);
  QTRY_VERIFY_WITH_TIMEOUT(!form.Identified(), 3000);
  QCOMPARE(ShownText(form), QString());
  QCOMPARE(Panel(form, 2), QString("OK"));  // the status bar keeps its texts until identification fails
  QTRY_COMPARE_WITH_TIMEOUT(Panel(form, 2), QString("ERROR"), 2000);
  QCOMPARE(Panel(form, 1), QString("?"));
  QCOMPARE(ShownText(form), QString());
  QTRY_VERIFY_WITH_TIMEOUT(form.Identified(), 1500);
  QCOMPARE(Panel(form, 2), QString("OK"));
  QTRY_VERIFY_WITH_TIMEOUT(!ShownText(form).isEmpty(), 1500);
  // Nothing but identification (with its panel start) went out between the
  // failed poll and the next one, every 500 ms.
  const QList<int> commands = sim.Commands();
  const int failed = commands.indexOf(kPoll, commands.indexOf(kPoll) + 1);
  QVERIFY(failed > 0);
  const QList<int> between = commands.mid(failed + 1, commands.indexOf(kPoll, failed + 1) - failed - 1);
  QCOMPARE(between.first(), kVersionQuery);
  QCOMPARE(between.count(kVersionQuery), 2);
  QVERIFY(between.contains(kPanelStart));
  for (int c : between) QVERIFY2(c == kVersionQuery || c == kPanelStart, qPrintable(QString::number(c, 16)));
  QVERIFY(dialogs.shown.empty());
}

void TestPanel::busyPortBeepsAndTheWindowCloses() {
  Sim sim({"--version-code", "6361"});
  UKEDR_DRV holder;  // the table session, say
  QVERIFY(holder.OpenLink(0, 500));
  tgx::test::ScriptedDialogs dialogs;
  TBikForm form;
  form.SetKeyboardType(2);
  QTimer::singleShot(5000, &form, &QDialog::reject);  // keeps a failure from hanging
  QElapsedTimer clock;
  clock.start();
  form.exec();
  QVERIFY(clock.elapsed() < 2000);
  QCOMPARE(dialogs.Texts(), QStringList{QString::fromUtf8("Порт занят")});
  QCOMPARE(dialogs.beeps, 1);
  QVERIFY(!form.Connected());
  QCOMPARE(form.KeyboardType(), 2);
  QVERIFY(sim.Commands().isEmpty());
  holder.CloseLink();
}

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
