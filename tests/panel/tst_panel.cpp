// The remote panel window against the unit simulator on a pseudo-terminal,
// reached as COM1 through TGX_COM1.

#include <algorithm>

#include <QAction>
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

namespace tgxtest {
namespace {

constexpr int kPanelStart = 0x0D, kVersionQuery = 0x07, kPoll = 0xF0;
// A bound for what comes within a few polls; generous, so that a loaded
// machine never fails a test by its slowness.
constexpr int kWaitMs = 10000;

// A simulated unit as COM1 and the panel window for it, not yet shown; the
// unit's traffic log tells which requests reached it.
struct Rig {
  SimRunner sim;
  ScriptedDialogs dialogs;
  TBikForm form;

  explicit Rig(std::vector<std::string> args) : sim(std::move(args)) { qputenv("TGX_COM1", sim.Path().c_str()); }
  ~Rig() { qunsetenv("TGX_COM1"); }
  QString Bar(int i) const { return form.findChild<QLabel*>(QString("StrBarPanel%1").arg(i))->text(); }
  QTextEdit* Memo() const { return form.findChild<QTextEdit*>("Displey"); }
  QString Shown() const { return Memo()->toPlainText(); }
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
  QPushButton* Key(const QString& caption) const {
    for (QPushButton* b : form.findChild<QGroupBox*>("KeyBox1")->findChildren<QPushButton*>())
      if (b->text() == caption) return b;
    return nullptr;
  }
  // Shows the window and waits for the first display.
  bool ShowAndWait() {
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return false;
    return QTest::qWaitFor([this] { return !Shown().isEmpty(); }, kWaitMs);
  }
};

// One firmware of each display variant (the codes' rule is the core's): the
// status bar label, the frame length, whether the panel is started first, and
// the menu key's answer as the display's characters.
const struct { const char* name; std::vector<std::string> args; int variant; const char* label; int frame; bool panelStart; const char* menu; } kVersions[] = {
    {"6350", {"--version-code", "6350"}, 0, " << 635", 13, true, "П-1"},
    {"6360", {"--version-code", "6360"}, 1, " 636 ", 33, true, "MEHЮ"},
    {"6361", {"--version-code", "6361"}, 2, " 6361 >>", 33, true, "Mеню"},
    {"unknown", {"--unknown-version"}, 0, " << 635", 13, false, "П-1"},
};

}  // namespace

class TestPanel : public QObject {
  Q_OBJECT

 private slots:
  // Identification, then the panel start where the firmware needs it, then
  // polls answered with status, frame and checksum; the whole frame shows,
  // one display row per line without clipping, and the menu key of the
  // variant reaches the unit and its answer is shown.
  void variantOfEachFirmware_data() {
    QTest::addColumn<int>("i");
    for (int i = 0; i < 4; ++i) QTest::newRow(kVersions[i].name) << i;
  }
  void variantOfEachFirmware() {
    QFETCH(int, i);
    const auto& [name, args, variant, label, frame, panelStart, menu] = kVersions[i];
    Rig rig(args);
    QVERIFY(rig.ShowAndWait());
    QCOMPARE(rig.form.Variant(), variant);
    QCOMPARE(rig.Bar(0), QString("СИСТЕМА"));
    QCOMPARE(rig.Bar(1), QString(label));
    QCOMPARE(rig.Commands().first(), kVersionQuery);
    QCOMPARE(rig.Commands().contains(kPanelStart), panelStart);
    QCOMPARE(rig.Shown().size(), 2 * (frame - 1));
    const QTextLayout* layout = rig.Memo()->document()->firstBlock().layout();
    QCOMPARE(layout->lineCount(), frame == 33 ? 2 : 1);
    QCOMPARE(layout->lineAt(0).textLength(), qMin(32, 2 * (frame - 1)));
    QVERIFY(!rig.Characters().startsWith(QString(menu)));
    QTest::keyClick(&rig.form, 'm');
    QTRY_VERIFY_WITH_TIMEOUT(rig.Characters().startsWith(QString(menu)), kWaitMs);
  }

  // The keyboard type chosen in the menu shows its keypad. A click goes at the
  // next tick as a key request, ahead of the next display poll; the key goes
  // only once.
  void aKeyGoesOnceBeforeTheNextPollAndClosingFreesThePort() {
    Rig rig({"--version-code", "6360"});
    rig.form.findChild<QAction*>("NType1")->trigger();
    QVERIFY(rig.ShowAndWait());
    QVERIFY(rig.form.findChild<QGroupBox*>("KeyBox1")->isVisible());
    QVERIFY(!rig.form.findChild<QGroupBox*>("KeyBox3")->isVisible());
    // Right after a display poll, so that the next one is half a second of
    // ticks away and nothing is under way.
    const int polls = rig.Commands().count(kPoll);
    QTRY_VERIFY_WITH_TIMEOUT(rig.Commands().count(kPoll) > polls, kWaitMs);
    const int sent = rig.Commands().size();
    QTest::mouseClick(rig.Key("7"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(rig.Commands().size() > sent + 1, kWaitMs);
    QCOMPARE(rig.Commands().mid(sent, 2), (QList<int>{0xE7, kPoll}));
    QTRY_VERIFY_WITH_TIMEOUT(rig.Commands().count(kPoll) > polls + 3, kWaitMs);
    QCOMPARE(rig.Commands().count(0xE7), 1);
    // Closing the window gives the port back at once.
    rig.form.hide();
    UKEDR_DRV next;
    QVERIFY(next.OpenLink(0, 500));
    next.CloseLink();
  }

  // While a request waits for a unit that never answers, the window's event
  // loop keeps turning: a short timer started once the request is out fires
  // while that same request is still pending.
  void eventsFlowWhileTheUnitIsSilent() {
    Rig rig({"--silence-after", "0"});
    rig.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.form));
    QVERIFY(QTest::qWaitFor([&] { return rig.form.RequestPending(); }, kWaitMs));
    const int64_t request = rig.form.RequestsStarted();
    int64_t requestAtFire = -1;
    QTimer::singleShot(50, &rig.form, [&] {
      requestAtFire = rig.form.RequestPending() ? rig.form.RequestsStarted() : -2;
    });
    QVERIFY(QTest::qWaitFor([&] { return requestAtFire != -1; }, kWaitMs));
    QCOMPARE(requestAtFire, request);
  }

  // The second display poll goes unanswered and the panel start after it is
  // refused: the display clears, the status bar shows the error, and only
  // identification with its panel start goes out until the display is back.
  void failureAndRecovery() {
    Rig rig({"--version-code", "6361", "--silence-after", "poll=0@2", "--status", "13=4@2"});
    QVERIFY(rig.ShowAndWait());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.form.Identified(), kWaitMs);
    QCOMPARE(rig.Shown(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(rig.Bar(2), QString("ERROR"), kWaitMs);
    QCOMPARE(rig.Bar(1), QString("?"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.form.Identified(), kWaitMs);
    QCOMPARE(rig.Bar(2), QString("OK"));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.Shown().isEmpty(), kWaitMs);
    const QList<int> commands = rig.Commands();
    const int failed = commands.indexOf(kPoll, commands.indexOf(kPoll) + 1);
    QVERIFY(failed > 0);
    QList<int> seen = commands.mid(failed + 1, commands.indexOf(kPoll, failed + 1) - failed - 1);
    const auto oneStart = [](int a, int b) { return a == kPanelStart && b == kPanelStart; };  // a start takes frames
    seen.erase(std::unique(seen.begin(), seen.end(), oneStart), seen.end());
    QCOMPARE(seen, (QList<int>{kVersionQuery, kPanelStart, kVersionQuery, kPanelStart}));
    QVERIFY(rig.dialogs.shown.empty());
  }

  // The window closes by itself at its first tick, asks the unit nothing and
  // keeps the keyboard type it was given.
  void busyPortBeepsAndTheWindowCloses() {
    Rig rig({"--version-code", "6361"});
    UKEDR_DRV holder;  // the table session, say
    QVERIFY(holder.OpenLink(0, 500));
    rig.form.SetKeyboardType(2);
    bool closedByTheGuard = false;
    QTimer::singleShot(kWaitMs, &rig.form, [&] {  // keeps a failure from hanging
      closedByTheGuard = rig.form.isVisible();
      rig.form.reject();
    });
    rig.form.exec();
    QVERIFY(!closedByTheGuard);
    QCOMPARE(rig.dialogs.Texts(), QStringList{"Порт занят"});
    QCOMPARE(rig.dialogs.beeps, 1);
    QVERIFY(!rig.form.Connected());
    QCOMPARE(rig.form.KeyboardType(), 2);
    QVERIFY(rig.Commands().isEmpty());
    holder.CloseLink();
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TestPanel)
#include "tst_panel.moc"
