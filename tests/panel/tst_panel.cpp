// The remote panel window against the unit simulator on a pseudo-terminal,
// reached as COM1 through TGX_COM1.

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>

#include "link/Ukdr_drv.h"
#include "panel/Fbik.h"
#include "support/ScriptedDialogs.h"

namespace {
constexpr int kStartupMs = 5000;

// One simulated unit for one test: its terminal is COM1 while it lives, and
// its traffic log tells which requests reached it.
class Sim {
 public:
  explicit Sim(const QStringList& args) {
    logPath_ = dir_.filePath("traffic.log");
    process_.setProgram(TGX_SIM_PATH);
    process_.setArguments(args + QStringList{"--log", logPath_, "--exit-on-stdin-eof"});
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start();
    if (!process_.waitForStarted(kStartupMs)) return;
    QElapsedTimer clock;
    clock.start();
    while (!process_.canReadLine() && clock.elapsed() < kStartupMs) process_.waitForReadyRead(100);
    path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    if (!path_.isEmpty()) qputenv("TGX_COM1", path_.toLocal8Bit());
  }
  ~Sim() {
    qunsetenv("TGX_COM1");
    process_.closeWriteChannel();
    process_.terminate();
    if (!process_.waitForFinished(2000)) process_.kill();
  }
  bool Running() const { return !path_.isEmpty(); }
  const QString& Path() const { return path_; }

  // One entry per transaction: the bytes the unit received, then the bytes it sent.
  struct Transaction {
    QList<int> in, out;
  };
  QList<Transaction> Log() const {
    QList<Transaction> result;
    QFile f(logPath_);
    if (!f.open(QIODevice::ReadOnly)) return result;
    for (const QByteArray& raw : f.readAll().split('\n')) {
      const QString line = QString::fromLatin1(raw).trimmed();
      if (!line.startsWith('>')) continue;
      Transaction t;
      bool sent = false;
      for (const QString& word : line.mid(1).split(' ', Qt::SkipEmptyParts)) {
        if (word == "<") {
          sent = true;
          continue;
        }
        (sent ? t.out : t.in).append(word.toInt(nullptr, 16));
      }
      if (!t.in.isEmpty()) result.append(t);
    }
    return result;
  }
  // Command bytes in the order the unit saw them.
  QList<int> Commands() const {
    QList<int> commands;
    for (const Transaction& t : Log()) commands.append(t.in.first());
    return commands;
  }

 private:
  QTemporaryDir dir_;
  QString logPath_;
  QProcess process_;
  QString path_;
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

constexpr int kPanelStart = 0x0D;
constexpr int kVersionQuery = 0x07;
constexpr int kPoll = 0xF0;
}  // namespace

class TestPanel : public QObject {
  Q_OBJECT

 private slots:
  void keyboardTypeShowsOneKeypadAndReturnsToTheOwner();
  void variantByVersionCode_data();
  void variantByVersionCode();
  void keyClickedBetweenPollsGoesAtTheNextTick();
  void keysAcceptedByTheDisplayVariant();
  void menuKeyChangesTheUnitsDisplay_data();
  void menuKeyChangesTheUnitsDisplay();
  void twoRowDisplayShowsOneRowPerLine();
  void failedDisplayRequestClearsAndIdentifiesAgain_data();
  void failedDisplayRequestClearsAndIdentifiesAgain();
  void refusedIdentificationShowsError_data();
  void refusedIdentificationShowsError();
  void busyPortBeepsAndTheWindowCloses();
  void portIsFreeAgainAfterTheWindowCloses();
};

void TestPanel::keyboardTypeShowsOneKeypadAndReturnsToTheOwner() {
  TBikForm form;
  auto shown = [&form] {
    QString s;
    for (const char* box : {"KeyBox1", "KeyBox2", "KeyBox3"})
      if (form.findChild<QGroupBox*>(box)->isVisibleTo(&form)) s += box;
    return s;
  };
  QCOMPARE(form.KeyboardType(), 3);
  QCOMPARE(shown(), QString("KeyBox3"));
  QVERIFY(form.findChild<QAction*>("NType3")->isChecked());

  form.findChild<QAction*>("NType1")->trigger();
  QCOMPARE(form.KeyboardType(), 1);
  QCOMPARE(shown(), QString("KeyBox1"));
  QVERIFY(!form.findChild<QAction*>("NType3")->isChecked());

  form.SetKeyboardType(2);
  QCOMPARE(shown(), QString("KeyBox2"));
  QVERIFY(form.findChild<QAction*>("NType2")->isChecked());

  // A damaged setting is handed back unchanged; the keypad stays as it was.
  form.SetKeyboardType(9);
  QCOMPARE(form.KeyboardType(), 9);
  QCOMPARE(shown(), QString("KeyBox2"));
  QCOMPARE(form.windowTitle(), QString::fromUtf8("Пульт"));
}

void TestPanel::variantByVersionCode_data() {
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<int>("variant");
  QTest::addColumn<QString>("label");
  QTest::addColumn<bool>("panelStart");
  QTest::addColumn<int>("frame");
  QTest::newRow("6350") << QStringList{"--version-code", "6350"} << 0 << " << 635" << true << 13;
  QTest::newRow("6351") << QStringList{"--version-code", "6351"} << 2 << " 6361 >>" << true << 33;
  QTest::newRow("6360") << QStringList{"--version-code", "6360"} << 1 << " 636 " << true << 33;
  QTest::newRow("6361") << QStringList{"--version-code", "6361"} << 2 << " 6361 >>" << true << 33;
  QTest::newRow("7320") << QStringList{"--version-code", "7320"} << 0 << " << 635" << true << 13;
  QTest::newRow("6343") << QStringList{"--version-code", "6343"} << 0 << " << 635" << false << 13;
  QTest::newRow("unknown") << QStringList{"--unknown-version"} << 0 << " << 635" << false << 13;
}

void TestPanel::variantByVersionCode() {
  QFETCH(QStringList, args);
  QFETCH(int, variant);
  QFETCH(QString, label);
  QFETCH(bool, panelStart);
  QFETCH(int, frame);
  Sim sim(args);
  QVERIFY(sim.Running());
  tgx::test::ScriptedDialogs dialogs;
  TBikForm form;
  form.show();
  QTRY_VERIFY_WITH_TIMEOUT(!ShownText(form).isEmpty(), 3000);
  QCOMPARE(form.Variant(), variant);
  QCOMPARE(Panel(form, 0), QString::fromUtf8("СИСТЕМА"));
  QCOMPARE(Panel(form, 1), label);
  QCOMPARE(Panel(form, 2), QString("OK"));
  QCOMPARE(ShownText(form).size(), 2 * (frame - 1));
  QVERIFY(!DisplayCharacters(form).contains('?'));  // the unit's frames decode fully

  const QList<int> commands = sim.Commands();
  QCOMPARE(commands.first(), kVersionQuery);
  QCOMPARE(commands.contains(kPanelStart), panelStart);
  // Every display answer is status, frame and checksum.
  for (const Sim::Transaction& t : sim.Log())
    if (t.in.first() == kPoll) QCOMPARE(t.out.size(), 1 + frame + 1);
  QVERIFY(dialogs.shown.empty());
}

void TestPanel::keyClickedBetweenPollsGoesAtTheNextTick() {
  Sim sim({"--version-code", "6361"});
  QVERIFY(sim.Running());
  tgx::test::ScriptedDialogs dialogs;
  TBikForm form;
  form.SetKeyboardType(3);
  form.show();
  QTRY_VERIFY_WITH_TIMEOUT(!ShownText(form).isEmpty(), 3000);

  // Right after a display poll the next one is 500 ms away.
  const auto polls = [&sim] { return sim.Commands().count(kPoll); };
  const int before = polls();
  QTRY_VERIFY_WITH_TIMEOUT(polls() > before, 1000);
  const int sent = sim.Commands().size();
  QElapsedTimer clock;
  clock.start();
  QTest::mouseClick(Key(form, "KeyBox3", "7"), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(sim.Commands().size() > sent, 1000);
  QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
  // The key request replaces the poll and carries the display back.
  const Sim::Transaction key = sim.Log().at(sent);
  QCOMPARE(key.in, QList<int>{0xE7});
  QCOMPARE(key.out.size(), 1 + 33 + 1);
  // The next poll keeps its own 500 ms rhythm, and the key is sent only once.
  QTest::qWait(700);
  const QList<int> after = sim.Commands().mid(sent + 1);
  QVERIFY(!after.isEmpty());
  QVERIFY(!after.contains(0xE7));
  QCOMPARE(after.first(), kPoll);

  // A caption's first letter is the key: "q (8+2)" sends q, code 12.
  QTest::mouseClick(Key(form, "KeyBox3", "q (8+2)"), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(sim.Commands().contains(0xEC), 1000);
}

void TestPanel::keysAcceptedByTheDisplayVariant() {
  Sim sim({"--version-code", "6360"});  // first character display
  QVERIFY(sim.Running());
  tgx::test::ScriptedDialogs dialogs;
  TBikForm form;
  form.SetKeyboardType(1);
  form.show();
  QTRY_VERIFY_WITH_TIMEOUT(!ShownText(form).isEmpty(), 3000);
  QCOMPARE(form.Variant(), 1);

  auto keysSent = [&sim] {
    QList<int> keys;
    for (int c : sim.Commands())
      if ((c & 0xF0) == 0xE0) keys.append(c);
    return keys;
  };
  // "+" is on this keypad but is no key of this display: nothing is sent.
  QTest::mouseClick(Key(form, "KeyBox1", "+"), Qt::LeftButton);
  QTest::keyClick(&form, '+');
  QTest::keyClick(&form, 'Q');
  QTest::qWait(700);
  QCOMPARE(keysSent(), QList<int>{});
  // PC keys: "." is the key written "n"; a comma is a key here.
  QTest::keyClick(&form, '.');
  QTRY_COMPARE_WITH_TIMEOUT(keysSent(), QList<int>{0xEF}, 1000);
  QTest::keyClick(&form, ',');
  QTRY_COMPARE_WITH_TIMEOUT(keysSent(), (QList<int>{0xEF, 0xEA}), 1000);
  QTest::mouseClick(Key(form, "KeyBox1", "m (MR)"), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(keysSent(), (QList<int>{0xEF, 0xEA, 0xEE}), 1000);
}

void TestPanel::menuKeyChangesTheUnitsDisplay_data() {
  QTest::addColumn<QString>("code");
  QTest::addColumn<QString>("menu");  // the display's characters, look-alikes as the unit draws them
  QTest::newRow("seven segments") << "6320" << QString::fromUtf8("П-1");
  QTest::newRow("character display 1") << "6360" << QString::fromUtf8("MEHЮ");
  QTest::newRow("character display 2") << "6361" << QString::fromUtf8("Mеню");
}

void TestPanel::menuKeyChangesTheUnitsDisplay() {
  QFETCH(QString, code);
  QFETCH(QString, menu);
  Sim sim({"--version-code", code});
  QVERIFY(sim.Running());
  tgx::test::ScriptedDialogs dialogs;
  TBikForm form;
  form.show();
  QTRY_VERIFY_WITH_TIMEOUT(!ShownText(form).isEmpty(), 3000);
  QVERIFY(!DisplayCharacters(form).startsWith(menu));
  QTest::keyClick(&form, 'm');
  QTRY_VERIFY_WITH_TIMEOUT(DisplayCharacters(form).startsWith(menu), 1500);
  QTest::keyClick(&form, 'q');
  QTRY_VERIFY_WITH_TIMEOUT(!DisplayCharacters(form).startsWith(menu), 1500);
}

void TestPanel::twoRowDisplayShowsOneRowPerLine() {
  Sim sim({"--version-code", "6361"});
  QVERIFY(sim.Running());
  tgx::test::ScriptedDialogs dialogs;
  TBikForm form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  auto* memo = form.findChild<QTextEdit*>("Displey");
  QTRY_VERIFY_WITH_TIMEOUT(!memo->toPlainText().isEmpty(), 3000);
  QCOMPARE(memo->toPlainText().size(), 64);
  QTextDocument* doc = memo->document();
  QCOMPARE(doc->blockCount(), 1);
  const QTextLayout* layout = doc->firstBlock().layout();
  QCOMPARE(layout->lineCount(), 2);
  QCOMPARE(layout->lineAt(0).textLength(), 32);
  QCOMPARE(layout->lineAt(1).textLength(), 32);
  // Both rows fit the memo without clipping.
  QVERIFY(layout->lineAt(0).naturalTextWidth() <= memo->viewport()->width());
  QVERIFY(doc->size().height() <= memo->viewport()->height() + 1);
}

void TestPanel::failedDisplayRequestClearsAndIdentifiesAgain_data() {
  QTest::addColumn<QStringList>("fault");
  QTest::newRow("status") << QStringList{"--status", "poll=4@3"};
  QTest::newRow("silent") << QStringList{"--silence-after", "poll=0@3"};
  QTest::newRow("checksum") << QStringList{"--bad-checksum", "poll@3"};
}

void TestPanel::failedDisplayRequestClearsAndIdentifiesAgain() {
  QFETCH(QStringList, fault);
  Sim sim(QStringList{"--version-code", "6361"} + fault);
  QVERIFY(sim.Running());
  tgx::test::ScriptedDialogs dialogs;
  TBikForm form;
  form.show();
  QTRY_VERIFY_WITH_TIMEOUT(!ShownText(form).isEmpty(), 3000);
  QTRY_VERIFY_WITH_TIMEOUT(!form.Identified(), 3000);
  QCOMPARE(ShownText(form), QString());
  QCOMPARE(Panel(form, 2), QString("OK"));  // the status bar keeps its texts
  QTRY_VERIFY_WITH_TIMEOUT(form.Identified(), 1500);
  QTRY_VERIFY_WITH_TIMEOUT(!ShownText(form).isEmpty(), 1500);
  // The third poll failed; identification (with its panel start) followed it.
  QList<int> commands = sim.Commands();
  int third = -1;
  for (int i = 0, polls = 0; i < commands.size(); ++i)
    if (commands[i] == kPoll && ++polls == 3) third = i;
  QVERIFY(third > 0);
  QCOMPARE(commands.at(third + 1), kVersionQuery);
  QVERIFY(commands.mid(third + 1).contains(kPanelStart));
  QVERIFY(dialogs.shown.empty());
}

void TestPanel::refusedIdentificationShowsError_data() {
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<QList<int>>("asked");  // the only requests repeated every 500 ms
  QTest::newRow("version query") << QStringList{"--version-code", "6361", "--status", "7=4"}
                                 << QList<int>{kVersionQuery};
  QTest::newRow("silent unit") << QStringList{"--version-code", "6361", "--silence-after", "7=0"}
                               << QList<int>{kVersionQuery};
  QTest::newRow("panel start") << QStringList{"--version-code", "6350", "--status", "13=4"}
                               << QList<int>{kVersionQuery, kPanelStart};
}

void TestPanel::refusedIdentificationShowsError() {
  QFETCH(QStringList, args);
  QFETCH(QList<int>, asked);
  Sim sim(args);
  QVERIFY(sim.Running());
  tgx::test::ScriptedDialogs dialogs;
  TBikForm form;
  form.show();
  QTRY_COMPARE_WITH_TIMEOUT(Panel(form, 2), QString("ERROR"), 2000);
  QCOMPARE(Panel(form, 1), QString("?"));
  QTest::qWait(1600);
  QVERIFY(!form.Identified());
  QCOMPARE(ShownText(form), QString());
  const QList<int> commands = sim.Commands();
  QVERIFY(commands.count(kVersionQuery) >= 3);
  for (int c : commands) QVERIFY2(asked.contains(c), qPrintable(QString::number(c, 16)));
  QVERIFY(dialogs.shown.empty());
}

void TestPanel::busyPortBeepsAndTheWindowCloses() {
  Sim sim({"--version-code", "6361"});
  QVERIFY(sim.Running());
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

void TestPanel::portIsFreeAgainAfterTheWindowCloses() {
  Sim sim({"--version-code", "6320"});
  QVERIFY(sim.Running());
  tgx::test::ScriptedDialogs dialogs;
  {
    TBikForm form;
    QTimer::singleShot(1500, &form, &QDialog::accept);
    form.exec();
    QVERIFY(!sim.Commands().isEmpty());
    // The window still exists, but its link is gone with the showing.
    UKEDR_DRV next;
    QVERIFY(next.OpenLink(0, 500));
    next.CloseLink();
  }
  QVERIFY(dialogs.shown.empty());
}

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
