// The volume graph: its range arithmetic, axis ticks, index lookup, the mouse
// selection and the not-xor figures, checked on the picture it draws.

#include <QImage>
#include <QTest>
#include <string>
#include <vector>

#include "editor/Graf.h"
#include "forms/Forma.h"

namespace {

constexpr int kW = 593;
constexpr int kH = 489;

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

struct Graph {
  QImage image{kW, kH, QImage::Format_RGB32};
  VGRAF g{&image, true};
  explicit Graph(const FORMA& f) {
    g.LoadForm(f);
    g.ShowCurrent();
  }
};

std::vector<int32_t> Labels(const std::vector<VGRAF::Tick>& ticks) {
  std::vector<int32_t> out;
  for (const auto& t : ticks) out.push_back(t.label);
  return out;
}

}  // namespace

class TestGraf : public QObject {
  Q_OBJECT

 private slots:
  void RangeFollowsCentreAndSpan_data() {
    QTest::addColumn<int>("centre");
    QTest::addColumn<int>("span");
    QTest::addColumn<float>("start");
    QTest::addColumn<float>("end");
    QTest::addColumn<bool>("partial");
    QTest::addColumn<float>("vmin");
    QTest::addColumn<float>("vmax");
    // V[i] = 10 i + 5 over 100 entries.
    QTest::newRow("centre 0 keeps the whole span") << 0 << 7 << 0.f << 7.f << true << 5.f << 75.f;
    QTest::newRow("centre 50 span 7") << 50 << 7 << 47.f << 53.f << true << 475.f << 535.f;
    QTest::newRow("centre near the end slides back") << 98 << 7 << 92.f << 99.f << true << 925.f << 995.f;
    QTest::newRow("span beyond the table is the whole view") << 10 << 500 << 0.f << 99.f << false << 0.f << 995.f;
    QTest::newRow("odd span loses its last entry") << 49 << 99 << 0.f << 98.f << true << 5.f << 985.f;
    QTest::newRow("even span covering the table") << 49 << 100 << 0.f << 99.f << false << 0.f << 995.f;
  }
  void RangeFollowsCentreAndSpan() {
    QFETCH(int, centre);
    QFETCH(int, span);
    QFETCH(float, start);
    QFETCH(float, end);
    QFETCH(bool, partial);
    QFETCH(float, vmin);
    QFETCH(float, vmax);
    Graph t(Linear(100, 10, 5));
    t.g.ShowRange(centre, span);
    const VGRAF::Range& r = t.g.MainRange();
    QCOMPARE(r.start, start);
    QCOMPARE(r.end, end);
    QCOMPARE(r.span, end - start);
    QCOMPARE(t.g.Partial(), partial);
    // A whole view starts its volume axis at zero, a partial one at V[start].
    QCOMPARE(r.vmin, vmin);
    QCOMPARE(r.vmax, vmax);
    QCOMPARE(r.xscale, 513.0f / (end - start));
    QCOMPARE(r.yscale, -449.0f / (vmax - vmin));
  }

  void FailedRangeKeepsThePicture() {
    Graph t(Linear(100));
    // Span 1 only survives where the end of the table shifts the range.
    t.g.ShowRange(100, 1);
    QCOMPARE(t.g.MainRange().start, 98.0f);
    QCOMPARE(t.g.MainRange().span, 1.0f);
    const QImage before = t.image.copy();
    // Half of span 1 is 0: no range, nothing redrawn, not even the cursor.
    t.g.Narrow();
    QCOMPARE(t.g.MainRange().span, 1.0f);
    QCOMPARE(t.image, before);
    t.g.Widen();
    QCOMPARE(t.g.MainRange().span, 2.0f);

    // A table that is zero throughout has no volume range, and a graph that
    // never had a range answers -1 for every pixel.
    Graph flat(LitresForm({0, 0, 0, 0}));
    QVERIFY(flat.g.Valid());
    QCOMPARE(flat.g.IndexAt(300), -1);
    Graph single(LitresForm({5}));
    QCOMPARE(single.g.IndexAt(300), -1);
  }

  void FormsWithoutTableAreNotValid() {
    FORMA increments;
    increments.SetType(5);
    increments.AppendRow("0", "1");
    increments.AppendRow("10", "2");
    FORMA letters = LitresForm({0, 1, 2});
    letters.SetVolumeText(1, "abc");
    for (const FORMA* f : {&increments, &letters}) {
      Graph t(*f);
      QVERIFY(!t.g.Valid());
      QCOMPARE(t.g.IndexAt(300), -1);
    }
  }

  void SparseViewTicksEveryEntryDenseViewTenths() {
    Graph sparse(Linear(21));
    std::vector<int32_t> expect;
    for (int i = 0; i <= 20; ++i) expect.push_back(i);
    QCOMPARE(Labels(sparse.g.XTicks()), expect);
    QCOMPARE(Labels(sparse.g.YTicks()).back(), 200);
    // 513 pixels over 20 steps: 25.65 per entry, truncated.
    QCOMPARE(sparse.g.XTicks()[1].pos, 65);
    QCOMPARE(sparse.g.XTicks()[20].pos, 553);

    Graph dense(Linear(22));
    QCOMPARE(Labels(dense.g.XTicks()), (std::vector<int32_t>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 21}));
    QCOMPARE(dense.g.XTicks().back().pos, 553);
  }

  void VolumeTicksStepByOneUpToRangeTen() {
    std::vector<int64_t> ten(30, 10), eleven(30, 11);
    ten[0] = eleven[0] = 0;
    Graph a(LitresForm(ten));
    QCOMPARE(a.g.MainRange().vrange, 10.0f);
    QCOMPARE(Labels(a.g.YTicks()), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    Graph b(LitresForm(eleven));
    QCOMPARE(b.g.MainRange().vrange, 11.0f);
    QCOMPARE(Labels(b.g.YTicks()), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11}));
  }

  void TicksEndEvenWhereFloatStepsVanish() {
    // Near two thousand million litres one litre is below the float
    // resolution; the ticks must still reach the top and stop.
    std::vector<int64_t> v;
    for (int i = 0; i < 40; ++i) v.push_back(2000000000 + i / 8);
    Graph t(LitresForm(v));
    t.g.ShowRange(20, 30);
    QVERIFY(t.g.Partial());
    QVERIFY(!t.g.YTicks().empty());
    QCOMPARE(t.g.YTicks().back().label, static_cast<int32_t>(t.g.MainRange().vmax));
  }

  void IndexAtPointsAndBetween_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("index");
    // 11 entries over 513 pixels: entry k at 40 + 51.3 k, half a step 25.65.
    QTest::newRow("left of the frame") << 0 << 0;
    QTest::newRow("at the left edge") << 40 << 0;
    QTest::newRow("at entry 1") << 91 << 1;
    QTest::newRow("last pixel of entry 0") << 65 << 0;
    QTest::newRow("first pixel of entry 1") << 66 << 1;
    QTest::newRow("last pixel of entry 4") << 270 << 4;
    QTest::newRow("first pixel of entry 5") << 271 << 5;
    QTest::newRow("at the right edge") << 553 << 10;
    QTest::newRow("right of the frame") << 590 << 10;
  }
  void IndexAtPointsAndBetween() {
    QFETCH(int, x);
    QFETCH(int, index);
    Graph t(Linear(11));
    QCOMPARE(t.g.IndexAt(x), index);
  }

  void ScrollKeepsSpanAroundTheNewCursor() {
    Graph t(Linear(101));
    t.g.ShowRange(0, 10);
    t.g.ScrollTo(50);
    QCOMPARE(t.g.Cursor(), 50);
    QCOMPARE(t.g.MainRange().start, 45.0f);
    QCOMPARE(t.g.MainRange().end, 55.0f);
    QCOMPARE(t.g.CentreIndex(), 50);
    QCOMPARE(t.g.ScrollStep(), 3);
    QCOMPARE(t.g.LastIndex(), 100);
    t.g.ShowAll();
    QVERIFY(!t.g.Partial());
  }

  void DragOfTenPixelsOnlyMovesTheCursor() {
    FORMA f = Linear(101);
    Graph click(f), drag(f), zoom(f);
    click.g.BeginSelect(200, 100);
    QVERIFY(!click.g.EndSelect(210, 300));

    drag.g.BeginSelect(200, 100);
    for (int x : {250, 180, 205, 210}) drag.g.DragTo(x, 300);
    QVERIFY(drag.g.Dragging());
    QVERIFY(!drag.g.EndSelect(210, 300));
    QCOMPARE(drag.g.Cursor(), drag.g.IndexAt(205));
    QVERIFY(!drag.g.Partial());
    // Every rectangle drawn on the way is gone again.
    QCOMPARE(drag.image, click.image);

    zoom.g.BeginSelect(200, 100);
    zoom.g.DragTo(211, 300);
    const int lo = zoom.g.IndexAt(200), hi = zoom.g.IndexAt(211);
    QVERIFY(zoom.g.EndSelect(211, 300));
    QVERIFY(zoom.g.Partial());
    QCOMPARE(zoom.g.Cursor(), zoom.g.IndexAt(205));
    QCOMPARE(zoom.g.MainRange().span, static_cast<float>(hi - lo));
  }

  void NotXorFiguresToggle() {
    Graph t(Linear(101));
    t.g.BeginSelect(300, 100);
    QVERIFY(!t.g.EndSelect(300, 100));
    const int x = (static_cast<int>(t.g.Cursor()) * 513) / 100 + 40;
    // The cursor is green on the white background somewhere along its line.
    bool green = false;
    for (int y = 21; y < 469 && !green; ++y) green = t.image.pixel(x, y) == qRgb(0, 128, 0);
    QVERIFY(green);

    const QImage withCursor = t.image.copy();
    t.g.DrawCursor();
    QVERIFY(t.image != withCursor);
    t.g.DrawCursor();
    QCOMPARE(t.image, withCursor);

    t.g.BeginSelect(100, 50);
    t.g.DragTo(400, 400);
    QVERIFY(t.image != withCursor);
    t.g.DrawSelection();
    QCOMPARE(t.image, withCursor);
  }

  void SecondDifferencesStartWithTwoZeros() {
    Graph t(LitresForm({0, 5, 10, 20, 40, 70}));
    QVERIFY(t.g.DdvCurrent());
    QCOMPARE(t.g.DdvCount(), 6);
    const std::vector<int32_t> expect{0, 0, 0, 5, 10, 10};
    for (int i = 0; i < 6; ++i) QCOMPARE(t.g.Ddv(i), expect[static_cast<size_t>(i)]);
    // The lower limit of the band is a red dashed line.
    int red = 0;
    for (int x = 100; x < 553; ++x) red += t.image.pixel(x, kH - 40) == qRgb(255, 0, 0);
    QVERIFY(red > 100 && red < 453);
  }
};

QTEST_MAIN(TestGraf)
#include "tst_graf.moc"
