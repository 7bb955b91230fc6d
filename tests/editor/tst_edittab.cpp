// The table editor window driven as an operator would: the grid's texts and
// red frames, in-place editing, row commands, paste, the graph's cursor
// moving the grid, and what reaches the project on closing. The rules behind
// them (row mapping, renumbering, conversion) are the forms' own tests.

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

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
const std::string kPairs = "# p\n| 0 0\n| 1000 50\n| 2500 200\n";
const std::string kThree = "# t\n| 5 6 7\n";

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
    QCOMPARE(Column(0), QStringLiteral("0|10|20|30|40|50|60|70"));
    QCOMPARE(Column(2), QStringLiteral("0|0|127|128|-128|-129|0|300"));
    // Grid row r (the header being 0) is framed by the difference of entry r.
    QString framed;
    for (int r = 1; r <= 8; ++r) framed += editor_.VolumeCellFramed(r) ? 'X' : '.';
    QCOMPARE(framed, QStringLiteral("..X.X.X."));
    // The generated level column is fixed: never the cursor's column.
    QVERIFY(!(grid->item(0, 0)->flags() & Qt::ItemIsSelectable));
    QCOMPARE(grid->currentColumn(), 1);
    // Typed texts that a form file would give back otherwise show red.
    for (const auto& [text, red] : {std::pair{"13", false}, {"12x4", true}, {"5OO", true}}) {
      forms_.Form(0).SetVolumeText(1, text);
      editor_.RefreshTab();
      QVERIFY2((Grid()->item(1, 1)->foreground().color() == QColor(Qt::red)) == red, text);
    }
    Open(4, kPairs);
    QVERIFY(Grid()->item(0, 0)->flags() & Qt::ItemIsSelectable);
    QCOMPARE(Column(-1), QStringLiteral("L <мм*10>|V <литр>| ddV"));
    QCOMPARE(Column(2), QStringLiteral("||"));
  }

  void FormsWithoutGraphOrGrid() {
    const struct { const char* name; int type; std::string text; bool grid, graph; } rows[] = {
        {"a text that is no number", 4, "# n\n| 0 0\n| 1055 ?\n", true, false},
        {"a gap", 1, "# gap\n# t\n| 0 1 2\n", false, false},
        {"pairs that convert", 4, kPairs, true, true},
    };
    for (const auto& c : rows) {
      Open(c.type, c.text);
      QVERIFY2(Grid()->isVisible() == c.grid, c.name);
      QVERIFY2(Child("Image1")->isVisible() == c.graph, c.name);
      QVERIFY2(Child("FrGroup")->isVisible() == c.graph, c.name);
      QVERIFY2(Child("SNewButton")->isEnabled() == c.grid, c.name);
      // The status line says why a form does not convert.
      if (c.grid) QVERIFY2(editor_.findChild<QLabel*>("StatusLine")->text().isEmpty() == c.graph, c.name);
    }
  }

  // Neither the generated level nor ddV is ever edited.
  void CellEditing() {
    const struct { const char* name; bool dblclick; int col; bool accept; const char* volume; } rows[] = {
        {"Enter on a volume", false, 1, true, "13"},
        {"cancelled", false, 1, false, "12"},
        {"Enter on ddV", false, 2, true, "12"},
        {"double-click on the fixed level", true, 0, true, "12"},
    };
    for (const auto& c : rows) {
      Open(1, Linear(100));
      QTest::mouseClick(Child("SelLowButton"), Qt::LeftButton);
      const float span = editor_.Graph()->MainRange().span;
      WhenModalIs<TEditDlg>([accept = c.accept](TEditDlg* dlg) {
        dlg->SetText("13");
        accept ? dlg->Accept() : dlg->done(QDialog::Rejected);
      });
      const QPoint at = Grid()->visualRect(Grid()->model()->index(4, c.col)).center();
      QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, at);
      if (c.dblclick) QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, at);
      else QTest::keyClick(Grid(), Qt::Key_Return);
      StopWatching();
      QVERIFY2(forms_.Form(0).VolumeText(4) == c.volume, c.name);
      // The edit redraws the graph without losing the operator's range.
      QVERIFY2(editor_.Graph()->MainRange().span == span, c.name);
    }
  }

  // Commands: Insert, New, Delete. Generated levels are renumbered; a new row
  // of pairs starts at 0; two rows always stay.
  void RowCommands() {
    const struct { const char* name; int type; std::string text; const char* commands; const char* rows; int current; } rows[] = {
        {"insert before the selected row", 1, kThree, "I", "0:5 10:0 20:6 30:7", 1},
        {"delete leaves two rows", 1, kThree, "DDD", "0:5 10:7", 1},
        {"new row of pairs at zero, selected", 4, kPairs, "N", "0:0 1000:50 2500:200 0:0", 3},
    };
    for (const auto& c : rows) {
      Open(c.type, c.text);
      Grid()->setCurrentCell(1, 1);
      for (const char* k = c.commands; *k; ++k) {
        if (*k == 'I') editor_.SInsButtonClick();
        if (*k == 'N') editor_.SNewButtonClick();
        if (*k == 'D') editor_.SDelButtonClick();
      }
      QCOMPARE(Rows(), QString(c.rows));
      QVERIFY2(Grid()->rowCount() == forms_.Form(0).RowCount(), c.name);
      QVERIFY2(Grid()->currentRow() == c.current, c.name);
    }
  }

  // Litres: one row per centimetre; pairs: entry 12 (120 mm) lies before the
  // measured level of row 2.
  void GraphCursorSelectsTheGridRow() {
    const struct { const char* name; int type; std::string text; int index, row; } rows[] = {
        {"litres", 1, Linear(50), 20, 20},
        {"pairs", 4, kPairs, 12, 2},
    };
    for (const auto& c : rows) {
      Open(c.type, c.text);
      const VGRAF::Range& r = editor_.Graph()->MainRange();
      const int x = static_cast<int>((c.index - r.start) * r.xscale + 40.0f);
      QTest::mouseClick(Child("Image1"), Qt::LeftButton, {}, QPoint(x, 200));
      QVERIFY2(editor_.Graph()->Cursor() == c.index, c.name);
      QVERIFY2(Grid()->currentRow() == c.row, c.name);
    }
  }

  // Escape would end the editing; a digit opens the cell's edit holding it; Ctrl+V pastes past the last row; a
  // refused paste names the line and changes nothing.
  void Keys() {
    ScriptedDialogs dialogs;
    Open(1, kThree);
    QTest::keyClick(Grid(), Qt::Key_Escape);
    QVERIFY(editor_.isVisible());
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
    Grid()->setCurrentCell(2, 1);
    QApplication::clipboard()->setText("8\n9\n");
    QTest::keyClick(Grid(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(Rows(), QStringLiteral("0:5 10:42 20:8 30:9"));
    QApplication::clipboard()->setText("8\n9x\n");
    QVERIFY(!editor_.PasteRows());
    QCOMPARE(Rows(), QStringLiteral("0:5 10:42 20:8 30:9"));
    QCOMPARE(dialogs.Texts().size(), 1);
    QVERIFY2(dialogs.Texts().front().startsWith(QStringLiteral("Строка 2 ")), qPrintable(dialogs.Texts().front()));
  }

  void ProjectModifiedOnlyAfterAnEdit() {
    TempDir dir;
    const std::string path = dir.File("p.fs");
    WriteBytes(path, "# t1\n| 0 10 25 40 60\n# t2\n| 3 4\n");
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
      QVERIFY(!editor_.Graph());  // closing ends the showing's graph
      project.SetForms(local);
      QCOMPARE(project.Modified(), edit);
    }
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TestEditTab)
#include "tst_edittab.moc"
