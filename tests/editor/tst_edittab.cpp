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

// A form of `type` written as in a form file.
struct Shown { const char* name; int type; std::string text; };
const char* const kThree = "# t\n| 5 6 7\n";

// Rows of a table as one QTest column holding their index.
template <class T, size_t N>
void AddRows(const T (&rows)[N]) {
  QTest::addColumn<int>("i");
  for (size_t i = 0; i < N; ++i) QTest::newRow(rows[i].name) << int(i);
}

// Whether the grid, the graph with its range controls and the row buttons
// show for the first form of a set.
const struct : Shown { bool grid, graph, rows; } kFormRows[] = {
    {{"increments have no table", 5, "# increments\n| 0 1\n| 100 2\n"}, true, false, true},
    {{"a text that is no number", 4, "# not a number\n| 0 0\n| 1055 ?\n"}, true, false, true},
    {{"a gap", 1, "# gap\n# t\n| 0 1 2\n"}, false, false, false},
    {{"pairs that convert", 4, kPairs}, true, true, true},
};

const struct { const char* name; bool dblclick; int col; bool accept; const char* volume; } kEditRows[] = {
    {"Enter on a volume", false, 1, true, "13"},       {"cancelled", false, 1, false, "12"},
    {"Enter on ddV", false, 2, true, "12"},            {"double-click on a volume", true, 1, true, "13"},
    {"double-click on the fixed level", true, 0, true, "12"},
};

// Generated levels are renumbered 0, 10, 20, ... after every row command;
// measured levels are the operator's, so a new row of pairs starts at 0.
// Two rows always stay: a table needs them. Commands: Insert, New, Delete.
const struct : Shown { const char* commands; const char* rows; int current; } kCommandRows[] = {
    {{"insert before the selected row", 1, kThree}, "I", "0:5 10:0 20:6 30:7", 1},
    {{"new row last and selected", 1, kThree}, "N", "0:5 10:6 20:7 30:0", 3},
    {{"delete the selected row", 1, kThree}, "D", "0:5 10:7", 1},
    {{"delete leaves two rows", 1, kThree}, "DDD", "0:5 10:7", 1},
    {{"new row of pairs at zero", 4, kPairs}, "N", "0:0 1000:50 2500:200 0:0", 3},
};

// Litres: generated levels 0, 10, ... mm, one row per centimetre. Pairs: one
// entry per centimetre up to 250 mm (27 entries).
const struct : Shown { int index, row; } kCursorRows[] = {
    {{"litres at 20 cm", 1, Linear(50)}, 20, 20},
    {{"litres at 0 cm", 1, Linear(50)}, 0, 0},
    {{"pairs before a measured level", 4, kPairs}, 12, 2},
    {{"pairs at a measured level", 4, kPairs}, 10, 1},
    {{"pairs beyond the last level", 4, kPairs}, 26, 2},
};

const struct : Shown { int row, col; const char* clipboard; const char* rows; } kPasteRows[] = {
    {{"a column of volumes", 1, kThree}, 1, 1, "8\n9\n", "0:5 10:8 20:9"},
    {{"past the last row", 1, kThree}, 2, 1, "8\n9\n", "0:5 10:6 20:8 30:9"},
    {{"CR LF lines", 1, kThree}, 0, 1, "8\r\n9\r\n", "0:8 10:9 20:7"},
    {{"level and volume", 4, kPairs}, 1, 1, "1500\t70\n", "0:0 1500:70 2500:200"},
    {{"a column of levels", 4, kPairs}, 1, 0, "1200\n", "0:0 1200:50 2500:200"},
    {{"pairs into generated levels", 1, kThree}, 0, 1, "0\t11\n10\t12\n", "0:11 10:12 20:7"},
    {{"a cell that is no number", 1, kThree}, 0, 1, "8\n9x\n", "0:5 10:6 20:7"},
    {{"lines of unequal cells", 4, kPairs}, 0, 1, "1\t2\n3\n", "0:0 1000:50 2500:200"},
};

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

  // Second differences 127, 128, -128, -129, 0 and 300 at entries 2 to 7.
  void GridTextsDdvColumnAndFrames() {
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
    // Pairs keep an editable level column and show no ddV.
    Open(4, kPairs);
    QVERIFY(Grid()->item(0, 0)->flags() & Qt::ItemIsSelectable);
    QCOMPARE(Column(-1), QStringLiteral("L <мм*10>|V <литр>| ddV"));
    QCOMPARE(Column(2), QStringLiteral("||"));
  }

  void FormsWithoutGraphOrGrid_data() { AddRows(kFormRows); }
  void FormsWithoutGraphOrGrid() {
    QFETCH(int, i);
    const auto& c = kFormRows[i];
    Open(c.type, c.text);
    QCOMPARE(Grid()->isVisible(), c.grid);
    QCOMPARE(Child("Image1")->isVisible(), c.graph);
    QCOMPARE(Child("FrGroup")->isVisible(), c.graph);
    QCOMPARE(Child("SNewButton")->isEnabled(), c.rows);
  }

  void CellEditing_data() { AddRows(kEditRows); }
  void CellEditing() {
    QFETCH(int, i);
    const auto& c = kEditRows[i];
    Open(1, Linear(100));
    QTest::mouseClick(Child("SelLowButton"), Qt::LeftButton);
    VGRAF* graph = editor_.Graph();
    const float span = graph->MainRange().span;
    WhenModalIs<TEditDlg>([accept = c.accept](TEditDlg* dlg) {
      dlg->SetText("13");
      accept ? dlg->Accept() : dlg->done(QDialog::Rejected);
    });
    const QPoint at = Grid()->visualRect(Grid()->model()->index(4, c.col)).center();
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, at);
    if (c.dblclick) QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, at);
    else QTest::keyClick(Grid(), Qt::Key_Return);
    QCOMPARE(forms_.Form(0).VolumeText(4), std::string(c.volume));
    QCOMPARE(forms_.Form(0).LevelText(4), std::string("40"));
    // The edit redraws the graph without losing the operator's range.
    QCOMPARE(editor_.Graph(), graph);
    QCOMPARE(graph->MainRange().span, span);
  }

  void RowCommands_data() { AddRows(kCommandRows); }
  void RowCommands() {
    QFETCH(int, i);
    const auto& c = kCommandRows[i];
    Open(c.type, c.text);
    Grid()->setCurrentCell(1, 1);
    for (const char* k = c.commands; *k; ++k) {
      if (*k == 'I') editor_.SInsButtonClick();
      if (*k == 'N') editor_.SNewButtonClick();
      if (*k == 'D') editor_.SDelButtonClick();
    }
    QCOMPARE(Rows(), QString(c.rows));
    QCOMPARE(Grid()->rowCount(), static_cast<int>(QString(c.rows).count(' ')) + 1);
    QCOMPARE(Grid()->currentRow(), c.current);
  }

  void GraphCursorSelectsTheGridRow_data() { AddRows(kCursorRows); }
  void GraphCursorSelectsTheGridRow() {
    QFETCH(int, i);
    const auto& c = kCursorRows[i];
    Open(c.type, c.text);
    const VGRAF::Range& r = editor_.Graph()->MainRange();
    const int x = static_cast<int>((c.index - r.start) * r.xscale + 40.0f);
    QTest::mouseClick(Child("Image1"), Qt::LeftButton, {}, QPoint(x, 200));
    QCOMPARE(editor_.Graph()->Cursor(), c.index);
    QCOMPARE(Grid()->currentRow(), c.row);
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
    Open(1, kThree);
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

  // Escape leaves the editor open; Ctrl+C copies the selected rows.
  void EscapeThenCopy() {
    Open(1, kThree);
    QTest::keyClick(Grid(), Qt::Key_Escape);
    QVERIFY(editor_.isVisible());
    Grid()->setCurrentCell(1, 1);
    QTest::keyClick(Grid(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(Grid(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("10\t6\n20\t7\n"));
  }

  void Paste_data() { AddRows(kPasteRows); }
  void Paste() {
    QFETCH(int, i);
    const auto& c = kPasteRows[i];
    ScriptedDialogs dialogs;
    Open(c.type, c.text);
    Grid()->setCurrentCell(c.row, c.col);
    QApplication::clipboard()->setText(c.clipboard);
    QTest::keyClick(Grid(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(Rows(), QString(c.rows));
  }

  void RefusedPasteNamesTheLine() {
    ScriptedDialogs dialogs;
    Open(1, kThree);
    QApplication::clipboard()->setText("8\n9x\n");
    QVERIFY(!editor_.PasteRows());
    QCOMPARE(dialogs.Texts().size(), 1);
    QVERIFY2(dialogs.Texts().front().startsWith(QStringLiteral("Строка 2 ")), qPrintable(dialogs.Texts().front()));
  }

  // Typed texts that a form file would give back otherwise show red.
  void UnsafeTextsAreRed() {
    Open(1, kThree);
    for (const auto& [text, red] : {std::pair{"13", false}, {"12x4", true}, {"5OO", true}}) {
      forms_.Form(0).SetVolumeText(1, text);
      editor_.RefreshTab();
      QVERIFY2((Grid()->item(1, 1)->foreground().color() == QColor(Qt::red)) == red, text);
    }
  }

  // The reason a form does not convert is on the status line; a form that
  // converts leaves it empty.
  void StatusLineSaysWhyAFormDoesNotConvert() {
    QLabel* status = editor_.findChild<QLabel*>("StatusLine");
    Open(4, "# not a number\n| 0 0\n| 1055 ?\n");
    QVERIFY(!status->text().isEmpty());
    Open(4, kPairs);
    QCOMPARE(status->text(), QString());
  }

  // Every word of every caption fits its column at the window's face, and
  // the header is tall enough for the lines they make.
  void CaptionsFitTheirColumns() {
    for (const auto& [type, text] : {std::pair{1, kThree}, std::pair{4, kPairs}}) {
      Open(type, text);
      QHeaderView* header = Grid()->horizontalHeader();
      const QFontMetrics m(header->font());
      for (int c = 0; c < Grid()->columnCount(); ++c) {
        const QStringList words = Grid()->horizontalHeaderItem(c)->text().split(' ', Qt::SkipEmptyParts);
        for (const QString& w : words) QVERIFY2(m.horizontalAdvance(w) + 4 <= Grid()->columnWidth(c), qPrintable(w));
        QVERIFY(header->height() >= static_cast<int>(words.size()) * m.height());
      }
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
