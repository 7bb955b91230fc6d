// The table editor window driven as an operator would: the grid's texts and
// red frames, forms without a graph, in-place editing, row commands, the
// graph's cursor moving the grid, and what reaches the project on closing.

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <string>

#include "editor/Feditdlg.h"
#include "editor/Fedittab.h"
#include "graph/Graf.h"
#include "forms/Fdata.h"
#include "forms/Forma.h"
#include "forms/Readback.h"
#include "model/Cp1251.h"
#include "project/Eprj.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

// A litres form of n volumes 3 i, ten to a line as the files have them.
std::string Linear(int n) {
  std::string text = "# t";
  for (int i = 0; i < n; ++i) text += (i % 10 ? " " : "\n| ") + std::to_string(3 * i);
  return text + "\n";
}

// Levels 0, 100 and 250 mm in tenths of a millimetre.
constexpr const char* kPairs = "# p\n| 0 0\n| 1000 50\n| 2500 200\n";

}  // namespace

class TestEditTab : public QObject {
  Q_OBJECT

  TEditDlg dlg_;
  TEditTabForm editor_{&dlg_};
  FDATA forms_;

  QTableWidget* Grid() { return editor_.findChild<QTableWidget*>("StringGrid1"); }
  QWidget* Child(const char* name) { return editor_.findChild<QWidget*>(name); }
  // The texts of grid column `col` joined by '|'; -1 for the captions.
  QString Column(int col) {
    QStringList out;
    for (int c = 0; col < 0 && c < Grid()->columnCount(); ++c) out << Grid()->horizontalHeaderItem(c)->text();
    for (int r = 0; col >= 0 && r < Grid()->rowCount(); ++r) out << Grid()->item(r, col)->text();
    return out.join('|');
  }
  // The first form's rows as "level:volume ...".
  QString Rows() {
    QStringList out;
    for (int r = 0; r < forms_.Form(0).RowCount(); ++r)
      out << QString::fromStdString(forms_.Form(0).LevelText(r) + ":" + forms_.Form(0).VolumeText(r));
    return out.join(' ');
  }
  // Shows the editor on a set of forms of one type written as in a form file.
  void Open(int type, const std::string& text) {
    editor_.hide();
    forms_.ReadText(text, type);
    editor_.Setup("NONAME", &forms_, true);
    editor_.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor_));
  }

 private slots:
  void cleanup() { StopWatching(); }

  void GridTextsDdvColumnAndFrames() {
    // Second differences 127, 128, -128, -129, 0 and 300 at entries 2 to 7.
    Open(1, "# t\n| 0 10 147 412 549 557 565 873\n");
    QTableWidget* grid = Grid();
    QCOMPARE(Column(-1), QStringLiteral("L <мм>|V <литр>| ddV"));
    QCOMPARE(Column(0), QStringLiteral("0|10|20|30|40|50|60|70"));
    QCOMPARE(Column(1), QStringLiteral("0|10|147|412|549|557|565|873"));
    QCOMPARE(Column(2), QStringLiteral("0|0|127|128|-128|-129|0|300"));
    // Grid row r (the header being 0) is framed by the difference centred on
    // its own volume, entry r: 128 at row 3, -129 at row 5, 300 at row 7.
    QString framed;
    for (int r = 1; r <= 8; ++r) framed += editor_.VolumeCellFramed(r) ? 'X' : '.';
    QCOMPARE(framed, QStringLiteral("..X.X.X."));
    const QImage shot = grid->viewport()->grab().toImage();
    for (int q : {1, 2, 4}) {
      const QPoint corner = grid->visualRect(grid->model()->index(q, 1)).topLeft();
      QCOMPARE(shot.pixelColor(corner) == QColor(255, 0, 0), framed[q] == 'X');
    }
    // The generated level column is fixed: never the cursor's column.
    QVERIFY(!(grid->item(0, 0)->flags() & Qt::ItemIsSelectable));
    QCOMPARE(grid->currentColumn(), 1);
  }

  // Whether the grid, the graph with its range controls and the row
  // buttons show for the first form of a set.
  void FormsWithoutGraphOrGrid_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("grid");
    QTest::addColumn<bool>("graph");
    QTest::addColumn<bool>("rows");
    QTest::newRow("increments have no table") << 5 << "# increments\n| 0 1\n| 100 2\n" << true << false << true;
    QTest::newRow("a text that is no number") << 4 << "# not a number\n| 0 0\n| 1055 ?\n" << true << false << true;
    QTest::newRow("a gap") << 1 << "# gap\n# t\n| 0 1 2\n" << false << false << false;
    QTest::newRow("pairs that convert") << 4 << kPairs << true << true << true;
  }
  void FormsWithoutGraphOrGrid() {
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(bool, grid);
    QFETCH(bool, graph);
    QFETCH(bool, rows);
    Open(type, text.toStdString());
    QCOMPARE(Grid()->isVisible(), grid);
    QCOMPARE(Child("Image1")->isVisible(), graph);
    QCOMPARE(Child("FrGroup")->isVisible(), graph);
    QCOMPARE(Child("SNewButton")->isEnabled(), rows);
  }

  // Pairs keep an editable level column and show no ddV.
  void PairsHaveAnEditableLevelAndNoDdv() {
    Open(4, kPairs);
    QVERIFY(Grid()->item(0, 0)->flags() & Qt::ItemIsSelectable);
    QCOMPARE(Column(-1), QStringLiteral("L <мм*10>|V <литр>| ddV"));
    QCOMPARE(Column(2), QStringLiteral("||"));
  }

  void CellEditing_data() {
    QTest::addColumn<bool>("dblclick");
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("volume");
    QTest::newRow("Enter on a volume") << false << 1 << true << "13";
    QTest::newRow("cancelled") << false << 1 << false << "12";
    QTest::newRow("Enter on ddV") << false << 2 << true << "12";
    QTest::newRow("double-click on a volume") << true << 1 << true << "13";
    QTest::newRow("double-click on the fixed level") << true << 0 << true << "12";
  }
  void CellEditing() {
    QFETCH(bool, dblclick);
    QFETCH(int, col);
    QFETCH(bool, accept);
    QFETCH(QString, volume);
    Open(1, Linear(100));
    QTest::mouseClick(Child("SelLowButton"), Qt::LeftButton);
    VGRAF* graph = editor_.Graph();
    const float span = graph->MainRange().span;
    WhenModalIs<TEditDlg>([accept](TEditDlg* dlg) {
      dlg->SetText("13");
      accept ? dlg->Accept() : dlg->done(QDialog::Rejected);
    });
    const QPoint at = Grid()->visualRect(Grid()->model()->index(4, col)).center();
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, at);
    if (dblclick) QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, at);
    else QTest::keyClick(Grid(), Qt::Key_Return);
    QCOMPARE(QString::fromStdString(forms_.Form(0).VolumeText(4)), volume);
    QCOMPARE(forms_.Form(0).LevelText(4), std::string("40"));
    // The edit redraws the graph without losing the operator's range.
    QCOMPARE(editor_.Graph(), graph);
    QCOMPARE(graph->MainRange().span, span);
  }

  // Generated levels are renumbered 0, 10, 20, ... after every row command.
  void InsertGoesBeforeTheSelectedRow() {
    Open(1, "# t\n| 5 6 7\n");
    Grid()->setCurrentCell(1, 1);
    editor_.SInsButtonClick();
    QCOMPARE(Rows(), QStringLiteral("0:5 10:0 20:6 30:7"));
    QCOMPARE(Column(0), QStringLiteral("0|10|20|30"));
    QCOMPARE(Grid()->currentRow(), 1);
  }

  void NewRowGoesLastAndIsSelected() {
    Open(1, "# t\n| 5 6 7\n");
    editor_.SNewButtonClick();
    QCOMPARE(Rows(), QStringLiteral("0:5 10:6 20:7 30:0"));
    QCOMPARE(Grid()->currentRow(), 3);
  }

  void DeleteTakesTheSelectedRow() {
    Open(1, "# t\n| 5 6 7\n");
    Grid()->setCurrentCell(1, 1);
    editor_.SDelButtonClick();
    QCOMPARE(Rows(), QStringLiteral("0:5 10:7"));
  }

  // Two rows stay: a table needs them.
  void DeleteLeavesTwoRows() {
    Open(1, "# t\n| 5 6 7\n");
    for (int i = 0; i < 3; ++i) editor_.SDelButtonClick();
    QCOMPARE(Rows(), QStringLiteral("0:6 10:7"));
    QCOMPARE(Grid()->rowCount(), 2);
  }

  // Measured levels are the operator's: a new row of pairs starts at 0.
  void NewRowOfPairsStartsAtZero() {
    Open(4, kPairs);
    editor_.SNewButtonClick();
    QCOMPARE(Rows(), QStringLiteral("0:0 1000:50 2500:200 0:0"));
    QCOMPARE(Grid()->currentRow(), 3);
  }

  void GraphCursorSelectsTheGridRow_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("row");
    // Litres: generated levels 0, 10, ... mm, one row per centimetre.
    QTest::newRow("litres at 20 cm") << 1 << 20 << 20;
    QTest::newRow("litres at 0 cm") << 1 << 0 << 0;
    // Pairs: one entry per centimetre up to 250 mm (27 entries).
    QTest::newRow("pairs before a measured level") << 4 << 12 << 2;
    QTest::newRow("pairs at a measured level") << 4 << 10 << 1;
    QTest::newRow("pairs beyond the last level") << 4 << 26 << 2;
  }
  void GraphCursorSelectsTheGridRow() {
    QFETCH(int, type);
    QFETCH(int, index);
    QFETCH(int, row);
    Open(type, type == 1 ? Linear(50) : kPairs);
    const VGRAF::Range& r = editor_.Graph()->MainRange();
    const int x = static_cast<int>((index - r.start) * r.xscale + 40.0f);
    QTest::mouseClick(Child("Image1"), Qt::LeftButton, {}, QPoint(x, 200));
    QCOMPARE(editor_.Graph()->Cursor(), index);
    QCOMPARE(Grid()->currentRow(), row);
  }

  void ScrollBarOfANarrowedViewMovesCursorAndRow() {
    Open(1, Linear(300));
    auto* bar = editor_.findChild<QScrollBar*>("FrScrollBar");
    QVERIFY(!bar->isVisible());
    QTest::mouseClick(Child("SelLowButton"), Qt::LeftButton);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 299);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    // Half of span 299 from index 0 is 0..149: centre 74, a step of a third, 49.
    QCOMPARE(bar->value(), 74 + 49);
    QCOMPARE(editor_.Graph()->Cursor(), 123);
    QCOMPARE(Grid()->currentRow(), 123);
  }

  // A digit typed on a selected cell opens its edit holding that digit, and
  // the keys after it add to it.
  void DigitTypedOnACellStartsItsEdit() {
    Open(1, "# t\n| 5 6 7\n");
    Grid()->setCurrentCell(1, 1);
    QString opened;
    WhenModalIs<TEditDlg>([&opened](TEditDlg* dlg) {
      opened = dlg->GetText();
      QTest::keyClicks(dlg->EdBox(), "2");
      dlg->Accept();
    });
    QTest::keyClick(Grid(), Qt::Key_4);
    QCOMPARE(opened, QStringLiteral("4"));
    QCOMPARE(Rows(), QStringLiteral("0:5 10:42 20:7"));
  }

  void EscapeLeavesTheEditorOpen() {
    Open(1, "# t\n| 5 6 7\n");
    QTest::keyClick(Grid(), Qt::Key_Escape);
    QVERIFY(editor_.isVisible());
  }

  void CopyPutsTheSelectedRowsOnTheClipboard() {
    Open(1, "# t\n| 5 6 7\n");
    Grid()->setCurrentCell(1, 1);
    QTest::keyClick(Grid(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(Grid(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("10\t6\n20\t7\n"));
  }

  void Paste_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("form");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("rows");
    QTest::newRow("a column of volumes") << 1 << "# t\n| 5 6 7\n" << 1 << 1 << "8\n9\n" << "0:5 10:8 20:9";
    QTest::newRow("past the last row") << 1 << "# t\n| 5 6 7\n" << 2 << 1 << "8\n9\n" << "0:5 10:6 20:8 30:9";
    QTest::newRow("CR LF lines") << 1 << "# t\n| 5 6 7\n" << 0 << 1 << "8\r\n9\r\n" << "0:8 10:9 20:7";
    QTest::newRow("level and volume") << 4 << kPairs << 1 << 1 << "1500\t70\n" << "0:0 1500:70 2500:200";
    QTest::newRow("a column of levels") << 4 << kPairs << 1 << 0 << "1200\n" << "0:0 1200:50 2500:200";
    QTest::newRow("pairs into generated levels") << 1 << "# t\n| 5 6 7\n" << 0 << 1 << "0\t11\n10\t12\n" << "0:11 10:12 20:7";
    QTest::newRow("a cell that is no number") << 1 << "# t\n| 5 6 7\n" << 0 << 1 << "8\n9x\n" << "0:5 10:6 20:7";
    QTest::newRow("lines of unequal cells") << 4 << kPairs << 0 << 1 << "1\t2\n3\n" << "0:0 1000:50 2500:200";
  }
  void Paste() {
    QFETCH(int, type);
    QFETCH(QString, form);
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(QString, clipboard);
    QFETCH(QString, rows);
    ScriptedDialogs dialogs;
    Open(type, form.toStdString());
    Grid()->setCurrentCell(row, col);
    QApplication::clipboard()->setText(clipboard);
    QTest::keyClick(Grid(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(Rows(), rows);
  }

  void RefusedPasteNamesTheLine() {
    ScriptedDialogs dialogs;
    Open(1, "# t\n| 5 6 7\n");
    QApplication::clipboard()->setText("8\n9x\n");
    QVERIFY(!editor_.PasteRows());
    QCOMPARE(dialogs.Texts().size(), 1);
    QVERIFY2(dialogs.Texts().front().startsWith(QStringLiteral("Строка 2 ")), qPrintable(dialogs.Texts().front()));
  }

  // Typed texts that a form file would give back otherwise show red.
  void UnsafeTextsAreRed_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("red");
    QTest::newRow("a number") << "13" << false;
    QTest::newRow("two numbers in one") << "12x4" << true;
    QTest::newRow("letters for zeros") << "5OO" << true;
  }
  void UnsafeTextsAreRed() {
    QFETCH(QString, text);
    QFETCH(bool, red);
    Open(1, "# t\n| 5 6 7\n");
    forms_.Form(0).SetVolumeText(1, text.toStdString());
    editor_.RefreshTab();
    QCOMPARE(Grid()->item(1, 1)->foreground().color() == QColor(Qt::red), red);
  }

  void StatusLineSaysWhyAFormDoesNotConvert_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("converts");
    QTest::newRow("a text that is no number") << 4 << "# not a number\n| 0 0\n| 1055 ?\n" << false;
    QTest::newRow("pairs that convert") << 4 << kPairs << true;
  }
  void StatusLineSaysWhyAFormDoesNotConvert() {
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(bool, converts);
    Open(type, text.toStdString());
    const QString line = editor_.findChild<QLabel*>("StatusLine")->text();
    QCOMPARE(line, QString::fromStdString(tgx::ToUtf8(ConversionFailureText(forms_.Form(0)))));
    QCOMPARE(line.isEmpty(), converts);
  }

  // Every word of every caption fits its column at the window's face, and
  // the header is tall enough for the lines they make.
  void CaptionsFitTheirColumns_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::newRow("litres") << 1 << "# t\n| 5 6 7\n";
    QTest::newRow("pairs in tenths of a millimetre") << 4 << kPairs;
  }
  void CaptionsFitTheirColumns() {
    QFETCH(int, type);
    QFETCH(QString, text);
    Open(type, text.toStdString());
    QHeaderView* header = Grid()->horizontalHeader();
    const QFontMetrics m(header->font());
    for (int c = 0; c < Grid()->columnCount(); ++c) {
      const QStringList words = Grid()->horizontalHeaderItem(c)->text().split(' ', Qt::SkipEmptyParts);
      for (const QString& w : words)
        QVERIFY2(m.horizontalAdvance(w) + 4 <= Grid()->columnWidth(c), qPrintable(w));
      QVERIFY(header->height() >= static_cast<int>(words.size()) * m.height());
    }
  }

  void ProjectModifiedOnlyAfterAnEdit() {
    TempDir dir;
    const std::string path = dir.File("p.fs");
    forms_.ReadText("# t1\n| 0 10 25 40 60\n# t2\n| 3 4\n", 1);
    QVERIFY(forms_.Save(path));
    editor_.hide();
    for (bool edit : {false, true}) {
      EPROJECT project;
      QVERIFY(project.Load(path));
      FDATA local;
      project.CopyFormsTo(local);
      editor_.Setup(project.Name(), &local, true);
      QTimer::singleShot(0, &editor_, [this, edit] {
        if (edit) editor_.SNewButtonClick();
        editor_.done(QDialog::Accepted);
      });
      editor_.exec();
      // Closing ends the showing's graph.
      QVERIFY(!editor_.Graph());
      project.SetForms(local);
      QCOMPARE(project.Modified(), edit);
    }
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TestEditTab)
#include "tst_edittab.moc"
