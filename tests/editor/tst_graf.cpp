// The volume graph: its range arithmetic, axis ticks, index lookup, the mouse
// selection and the not-xor figures, checked on the picture it draws.

#include <QImage>
#include <QStringList>
#include <QTest>
#include <string>
#include <vector>

#include "graph/Graf.h"
#include "forms/Forma.h"

namespace tgxtest {
namespace {

FORMA LitresForm(const std::vector<int64_t>& volumes) {
  FORMA f;
  f.SetType(1);
  for (int64_t v : volumes) f.AppendRow("0", std::to_string(v));
  f.CountDefined();
  return f;
}

// V[i] = step * i + base for n entries.
FORMA Linear(int n, int64_t step = 10, int64_t base = 0) {
  std::vector<int64_t> v;
  for (int i = 0; i < n; ++i) v.push_back(base + step * i);
  return LitresForm(v);
}

// A graph on a picture of the editor's logical size at a device pixel ratio.
struct Graph {
  QImage image;
  VGRAF g;
  explicit Graph(const FORMA& f, qreal dpr = 1.0)
      : image(QSize(593, 489) * dpr, QImage::Format_RGB32), g((image.setDevicePixelRatio(dpr), &image), true) {
    g.LoadForm(f);
    g.ShowCurrent();
  }
};

}  // namespace

class TestGraf : public QObject {
  Q_OBJECT

 private slots:
  // Six and seven digit volumes, a sparse and a dense view, at 100 % and
  // 200 %: every caption is written and no label covers another.
  void LabelsNeverOverlap() {
    for (qreal dpr : {1.0, 2.0})
      for (auto [entries, step] : {std::pair{12, 91234}, {400, 25013}}) {
        Graph graph(Linear(entries, step), dpr);
        const auto& labels = graph.g.Labels();
        const QString at = QString(" (%1 entries of step %2 at %3x)").arg(entries).arg(step).arg(dpr);
        QStringList texts;
        for (const auto& l : labels) texts << l.text;
        for (const char* caption : {"V[литр]", "L[см]", "ddV", "V(L)", "ddV(L)"})
          QVERIFY2(texts.contains(QString::fromUtf8(caption)), qPrintable(caption + at));
        for (size_t i = 0; i < labels.size(); ++i)
          for (size_t j = i + 1; j < labels.size(); ++j)
            QVERIFY2(!labels[i].box.intersects(labels[j].box), qPrintable(labels[i].text + " covers " + labels[j].text + at));
      }
  }

  // V[i] = 10 i + 5 over 100 entries; a whole view starts its volume axis at
  // zero, a partial one at V[start]. Near the end the range slides back; an
  // odd span loses its last entry.
  void RangeFollowsCentreAndSpan() {
    const char* const cases[] = {"50/7: 47..53 partial V 475..535", "98/7: 92..99 partial V 925..995",
                                 "10/500: 0..99 whole V 0..995", "49/99: 0..98 partial V 5..985"};
    for (const QString expected : cases) {
      const int centre = expected.section('/', 0, 0).toInt(), span = expected.section('/', 1).section(':', 0, 0).toInt();
      Graph t(Linear(100, 10, 5));
      t.g.ShowRange(centre, span);
      const VGRAF::Range& r = t.g.MainRange();
      QCOMPARE(QString("%1/%2: %3..%4 %5 V %6..%7")
                   .arg(centre).arg(span).arg(r.start).arg(r.end).arg(t.g.Partial() ? "partial" : "whole").arg(r.vmin).arg(r.vmax),
               expected);
    }
  }

  void FailedRangesKeepThePictureAndAnswerMinusOne() {
    Graph t(Linear(100));
    // Span 1 only survives where the end of the table shifts the range.
    t.g.ShowRange(100, 1);
    QCOMPARE(t.g.MainRange().start, 98.0f);
    const QImage before = t.image.copy();
    // Half of span 1 is 0: no range, nothing redrawn, not even the cursor.
    t.g.Narrow();
    QCOMPARE(t.g.MainRange().span, 1.0f);
    QCOMPARE(t.image, before);

    FORMA letters = LitresForm({0, 1, 2});
    letters.SetVolumeText(1, "abc");
    // A flat table and a single entry convert but have no range.
    const std::pair<FORMA, bool> forms[] = {{LitresForm({0, 0, 0, 0}), true}, {LitresForm({5}), true}, {letters, false}};
    for (const auto& [form, valid] : forms) {
      Graph t(form);
      QCOMPARE(t.g.Valid(), valid);
      QCOMPARE(t.g.IndexAt(300), -1);
    }
  }

  void TicksReachTheTopWhereOneLitreIsBelowTheFloatResolution() {
    // Near two thousand million litres one litre is below the float
    // resolution; the ticks must still reach the top and stop.
    std::vector<int64_t> v;
    for (int i = 0; i < 40; ++i) v.push_back(2000000000 + i / 8);
    Graph big(LitresForm(v));
    big.g.ShowRange(20, 30);
    QVERIFY(big.g.Partial());
    QVERIFY(!big.g.YTicks().empty());
    QCOMPARE(big.g.YTicks().back().label, static_cast<int32_t>(big.g.MainRange().vmax));
  }

  void IndexAtPointsAndBetween() {
    // 11 entries over 513 pixels: entry k at 40 + 51.3 k, half a step 25.65;
    // outside the frame the first and last entries answer.
    Graph t(Linear(11));
    for (auto [x, index] : {std::pair{0, 0}, {91, 1}, {65, 0}, {66, 1}, {553, 10}, {590, 10}})
      QCOMPARE(std::pair(x, t.g.IndexAt(x)), std::pair(x, index));
  }

  void DragOfTenPixelsOnlyMovesTheCursorElevenZooms() {
    // 101 entries 5.13 pixels apart: x 200 is entry 31, 205 is 32, 211 is 33.
    const FORMA f = Linear(101);
    Graph click(f), drag(f), zoom(f);
    click.g.BeginSelect(200, 100);
    click.g.EndSelect(210, 300);
    drag.g.BeginSelect(200, 100);
    for (int x : {250, 180, 205, 210}) drag.g.DragTo(x, 300);
    QVERIFY(!drag.g.EndSelect(210, 300));
    QCOMPARE(drag.g.Cursor(), 32);
    // Every not-xor rectangle drawn on the way is gone again.
    QCOMPARE(drag.image, click.image);
    zoom.g.BeginSelect(200, 100);
    zoom.g.DragTo(211, 300);
    QVERIFY(zoom.g.EndSelect(211, 300));
    QCOMPARE(zoom.g.MainRange().start, 31.0f);
    QCOMPARE(zoom.g.MainRange().end, 33.0f);
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TestGraf)
#include "tst_graf.moc"
