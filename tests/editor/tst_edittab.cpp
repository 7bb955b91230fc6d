// The table editor window driven as an operator would: tabs, the grid's texts
// and red frames, row commands, in-place editing, the graph's cursor moving
// the grid, and what reaches the project when the window closes.

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "app/Feditdlg.h"
#include "app/Forms.h"
#include "editor/Fedittab.h"
#include "editor/Graf.h"
#include "forms/Fdata.h"
#include "forms/Forma.h"
#include "model/Eprj.h"

namespace {

FORMA MakeForm(int type, const std::vector<std::pair<std::string, std::string>>& rows, const char* title = "t") {
  FORMA f;
  f.SetType(type);
  f.SetTitle(title);
  for (const auto& [level, volume] : rows) f.AppendRow(level, volume);
  f.CountDefined();
  return f;
}

FORMA Litres(const std::vector<int64_t>& volumes, const char* title = "t") {
  std::vector<std::pair<std::string, std::string>> rows;
  for (int64_t v : volumes) rows.emplace_back("0", std::to_string(v));
  return MakeForm(1, rows, title);
}

FDATA SetOf(const std::vector<FORMA>& forms) {
  FDATA set;
  for (size_t i = 0; i < forms.size(); ++i) {
    set.AddNew();
    set.Replace(static_cast<int>(i), forms[i]);
  }
  return set;
}

// Runs `answer` inside the next modal run of the edit dialog.
void WhenEditDlgRuns(TEditDlg& dlg, std::function<void(TEditDlg&)> answer) {
  QTimer::singleShot(0, &dlg, [&dlg, answer] { answer(dlg); });
}

}  // namespace

class TestEditTab : public QObject {
  Q_OBJECT

  TEditDlg* dlg_ = nullptr;
  TEditTabForm* editor_ = nullptr;
  FDATA forms_;

  QTableWidget* Grid() { return editor_->findChild<QTableWidget*>("StringGrid1"); }
  QWidget* Child(const char* name) { return editor_->findChild<QWidget*>(name); }
  QString Cell(int qtRow, int col) {
    const QTableWidgetItem* item = Grid()->item(qtRow, col);
    return item ? item->text() : QStringLiteral("<none>");
  }
  void Open(const std::vector<FORMA>& forms) {
    editor_->hide();
    forms_ = SetOf(forms);
    editor_->Setup("NONAME", &forms_, true);
    editor_->show();
    QVERIFY(QTest::qWaitForWindowExposed(editor_));
  }
  // Clicks the graph where table index `index` is drawn.
  void ClickIndex(int index) {
    const VGRAF::Range& r = editor_->Graph()->MainRange();
    const int x = static_cast<int>((index - r.start) * r.xscale + 40.0f);
    QTest::mouseClick(Child("Image1"), Qt::LeftButton, {}, QPoint(x, 200));
  }

 private slots:
  void initTestCase() {
    dlg_ = new TEditDlg;
    EditDlg = dlg_;
    editor_ = new TEditTabForm;
  }
  void cleanupTestCase() {
    delete editor_;
    EditDlg = nullptr;
    delete dlg_;
  }

  void WindowAndControls() {
    Open({Litres({0, 10, 20}, "first"), Litres({0, 5}, "second")});
    QCOMPARE(editor_->objectName(), QStringLiteral("EditTabForm"));
    QCOMPARE(editor_->windowTitle(), QStringLiteral("Редактор таблиц"));
    QCOMPARE(editor_->size(), QSize(805, 623));
    for (const char* name : {"ToolBar1", "SNewButton", "SInsButton", "SDelButton", "Panel2", "FilePanel", "TabControl1",
                             "StringGrid1", "Image1", "FrGroup", "Label1", "FrDia", "Label2", "SelLowButton",
                             "SelGrowButton", "SelNotButton", "FrScrollBar"})
      QVERIFY2(Child(name), name);
    QCOMPARE(editor_->findChild<QLabel*>("FilePanel")->text(), QStringLiteral("NONAME"));
    auto* tabs = editor_->findChild<QTabBar*>("TabControl1");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(1), QStringLiteral("second"));
    QCOMPARE(Child("Image1")->size(), QSize(593, 489));

    tabs->setCurrentIndex(1);
    QCOMPARE(editor_->CurrentTab(), 1);
    QCOMPARE(Grid()->rowCount(), 2);
    QCOMPARE(Cell(1, 1), QStringLiteral("5"));
    // A new showing starts again at the first tab with a new graph.
    editor_->hide();
    QVERIFY(!editor_->Graph());
    editor_->show();
    QVERIFY(editor_->Graph());
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(Grid()->rowCount(), 3);
  }

  void GridTextsDdvColumnAndFrames() {
    // Second differences 127, 128, -128, -129, 0 and 300 at entries 2 to 7.
    Open({Litres({0, 10, 147, 412, 549, 557, 565, 873})});
    QTableWidget* grid = Grid();
    QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("L <мм>"));
    QCOMPARE(grid->horizontalHeaderItem(1)->text(), QStringLiteral("V <литр>"));
    QCOMPARE(grid->horizontalHeaderItem(2)->text(), QStringLiteral(" ddV"));
    const QStringList ddv{"0", "0", "127", "128", "-128", "-129", "0", "300"};
    const QStringList volumes{"0", "10", "147", "412", "549", "557", "565", "873"};
    for (int q = 0; q < 8; ++q) {
      QCOMPARE(Cell(q, 0), QString::number(10 * q));
      QCOMPARE(Cell(q, 1), volumes[q]);
      QCOMPARE(Cell(q, 2), ddv[q]);
    }
    // Grid row r (the header being 0) is framed by the difference centred on
    // its own volume, entry r: 128 at row 3, -129 at row 5, 300 at row 7.
    const std::vector<bool> framed{false, false, false, true, false, true, false, true, false};
    for (int r = 1; r <= 8; ++r) QCOMPARE(editor_->VolumeCellFramed(r), framed[static_cast<size_t>(r)]);

    // The generated level column is fixed: grey and never the cursor's column.
    QVERIFY(!(grid->item(0, 0)->flags() & Qt::ItemIsSelectable));
    QCOMPARE(grid->currentColumn(), 1);

    const QImage shot = grid->viewport()->grab().toImage();
    for (int q : {1, 2, 4}) {
      const QPoint frameCorner = grid->visualRect(grid->model()->index(q, 1)).topLeft();
      QCOMPARE(shot.pixelColor(frameCorner) == QColor(255, 0, 0), framed[static_cast<size_t>(q + 1)]);
    }
  }

  void FormsWithoutGraphOrGrid() {
    FORMA increments = MakeForm(5, {{"0", "1"}, {"100", "2"}});
    FORMA broken = Litres({0, 10, 20});
    broken.SetVolumeText(1, "1 0");
    FORMA gap;
    gap.ClearToGap(1);
    FORMA pairs = MakeForm(4, {{"0", "0"}, {"1000", "50"}, {"2500", "200"}});
    Open({increments, broken, gap, pairs});
    auto* tabs = editor_->findChild<QTabBar*>("TabControl1");
    struct Expect {
      bool grid, image, group, buttons;
    };
    const Expect expect[] = {{true, false, false, true}, {true, false, false, true}, {false, false, false, false},
                             {true, true, true, true}};
    for (int t = 0; t < 4; ++t) {
      tabs->setCurrentIndex(t);
      QCOMPARE(Grid()->isVisible(), expect[t].grid);
      QCOMPARE(Child("Image1")->isVisible(), expect[t].image);
      QCOMPARE(Child("FrGroup")->isVisible(), expect[t].group);
      QCOMPARE(Child("SNewButton")->isEnabled(), expect[t].buttons);
      if (expect[t].grid) QCOMPARE(Cell(1, 2), QString());
    }
    // Pairs keep an editable level column and show no ddV.
    QVERIFY(Grid()->item(0, 0)->flags() & Qt::ItemIsSelectable);
    QCOMPARE(Grid()->horizontalHeaderItem(0)->text(), QStringLiteral("L <мм*10>"));

    // Correcting the broken text brings the graph back.
    tabs->setCurrentIndex(1);
    Grid()->setCurrentCell(1, 1);
    WhenEditDlgRuns(*dlg_, [](TEditDlg& d) {
      QCOMPARE(d.GetText(), QStringLiteral("1 0"));
      d.SetText("10");
      d.Accept();
    });
    editor_->EditCell();
    QVERIFY(Child("Image1")->isVisible());
    QCOMPARE(Cell(2, 2), QStringLiteral("0"));
  }

  void CellEditingKeepsTheGraphAndItsRange() {
    std::vector<int64_t> v;
    for (int i = 0; i < 100; ++i) v.push_back(i * 3);
    Open({Litres(v)});
    VGRAF* graph = editor_->Graph();
    QTest::mouseClick(Child("SelLowButton"), Qt::LeftButton);
    QVERIFY(graph->Partial());
    const float span = graph->MainRange().span;

    Grid()->setCurrentCell(4, 1);
    WhenEditDlgRuns(*dlg_, [](TEditDlg& d) {
      d.SetText("13");
      d.Accept();
    });
    QTest::keyClick(Grid(), Qt::Key_Return);
    QCOMPARE(forms_.Form(0).VolumeText(4), std::string("13"));
    QCOMPARE(editor_->Graph(), graph);
    QCOMPARE(graph->MainRange().span, span);
    QVERIFY(editor_->isVisible());

    // Cancel, the ddV column and the fixed level column change nothing.
    WhenEditDlgRuns(*dlg_, [](TEditDlg& d) {
      d.SetText("99");
      d.done(QDialog::Rejected);
    });
    editor_->EditCell();
    Grid()->setCurrentCell(4, 2);
    editor_->EditCell();
    Grid()->setCurrentCell(4, 0);
    QCOMPARE(Grid()->currentColumn(), 1);
    bool ran = false;
    WhenEditDlgRuns(*dlg_, [&ran](TEditDlg& d) {
      ran = d.isVisible();
      d.SetText("77");
      d.Accept();
    });
    const QRect level = Grid()->visualRect(Grid()->model()->index(4, 0));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, level.center());
    QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, level.center());
    QTest::qWait(20);
    QVERIFY(!ran);
    QCOMPARE(forms_.Form(0).VolumeText(4), std::string("13"));
    QCOMPARE(forms_.Form(0).LevelText(4), std::string("40"));

    // A double-click on a volume edits that cell.
    WhenEditDlgRuns(*dlg_, [](TEditDlg& d) {
      d.SetText("14");
      d.Accept();
    });
    const QRect volume = Grid()->visualRect(Grid()->model()->index(6, 1));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, volume.center());
    QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, volume.center());
    QCOMPARE(forms_.Form(0).VolumeText(6), std::string("14"));
  }

  void RowCommandsRenumberGeneratedLevels() {
    Open({Litres({5, 6, 7}), MakeForm(4, {{"0", "0"}, {"1000", "50"}})});
    const FORMA& f = forms_.Form(0);
    Grid()->setCurrentCell(1, 1);
    editor_->SInsButtonClick();
    QCOMPARE(f.Volumes(), (TFormList{"5", "0", "6", "7"}));
    QCOMPARE(f.Levels(), (TFormList{"0", "10", "20", "30"}));
    QCOMPARE(Grid()->currentRow(), 1);
    QCOMPARE(Cell(3, 0), QStringLiteral("30"));

    editor_->SNewButtonClick();
    QCOMPARE(f.RowCount(), 5);
    QCOMPARE(f.LevelText(4), std::string("40"));
    QCOMPARE(f.VolumeText(4), std::string("0"));
    QCOMPARE(Grid()->currentRow(), 4);

    Grid()->setCurrentCell(0, 1);
    editor_->SDelButtonClick();
    QCOMPARE(f.Volumes(), (TFormList{"0", "6", "7", "0"}));
    QCOMPARE(f.Levels(), (TFormList{"0", "10", "20", "30"}));
    QCOMPARE(Grid()->rowCount(), 4);
    editor_->SDelButtonClick();
    editor_->SDelButtonClick();
    QCOMPARE(f.RowCount(), 2);
    editor_->SDelButtonClick();
    QCOMPARE(f.RowCount(), 2);
    QCOMPARE(Grid()->rowCount(), 2);

    editor_->findChild<QTabBar*>("TabControl1")->setCurrentIndex(1);
    editor_->SNewButtonClick();
    QCOMPARE(forms_.Form(1).LevelText(2), std::string("0"));
    QCOMPARE(Grid()->currentRow(), 2);
  }

  void GraphCursorSelectsTheGridRow_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("qtRow");
    // Tab 0: generated levels 0, 10, ... mm, one row per centimetre.
    QTest::newRow("litres at 20 cm") << 0 << 20 << 20;
    QTest::newRow("litres at 0 cm") << 0 << 0 << 0;
    // Tab 1: levels 0, 100, 250 mm in tenths of a millimetre (27 entries).
    QTest::newRow("pairs before a measured level") << 1 << 12 << 2;
    QTest::newRow("pairs at a measured level") << 1 << 10 << 1;
    QTest::newRow("pairs beyond the last level") << 1 << 26 << 2;
  }
  void GraphCursorSelectsTheGridRow() {
    QFETCH(int, tab);
    QFETCH(int, index);
    QFETCH(int, qtRow);
    std::vector<int64_t> v;
    for (int i = 0; i < 50; ++i) v.push_back(i * i);
    Open({Litres(v), MakeForm(4, {{"0", "0"}, {"1000", "50"}, {"2500", "200"}})});
    editor_->findChild<QTabBar*>("TabControl1")->setCurrentIndex(tab);
    ClickIndex(index);
    QCOMPARE(editor_->Graph()->Cursor(), index);
    QCOMPARE(Grid()->currentRow(), qtRow);
    QTest::mouseMove(Child("Image1"), QPoint(30, 100));
    QCOMPARE(editor_->findChild<QLabel*>("FrDia")->text(), QStringLiteral("L = 0"));
  }

  void RangeControlsFollowTheGraph() {
    std::vector<int64_t> v;
    for (int i = 0; i < 300; ++i) v.push_back(i * 7);
    Open({Litres(v)});
    QVERIFY(Child("SelLowButton")->isVisible());
    for (const char* hidden : {"SelGrowButton", "SelNotButton", "FrScrollBar"}) QVERIFY(!Child(hidden)->isVisible());

    QTest::mouseClick(Child("SelLowButton"), Qt::LeftButton);
    VGRAF* graph = editor_->Graph();
    auto* bar = editor_->findChild<QScrollBar*>("FrScrollBar");
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 299);
    QCOMPARE(bar->value(), graph->CentreIndex());
    QCOMPARE(bar->singleStep(), graph->ScrollStep());
    QCOMPARE(bar->pageStep(), 1);

    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(graph->Cursor(), bar->value());
    QCOMPARE(Grid()->currentRow(), bar->value());
    QTest::mouseClick(Child("SelNotButton"), Qt::LeftButton);
    QVERIFY(!graph->Partial());
    QVERIFY(!bar->isVisible());
  }

  void ProjectModifiedOnlyAfterAnEdit() {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.fs");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# t1\n| 0 10 25 40 60\n# t2\n| 3 4\n");
    file.close();
    editor_->hide();

    for (bool edit : {false, true}) {
      EPROJECT project;
      QVERIFY(project.Load(path.toStdString()));
      QVERIFY(!project.Modified());
      FDATA local;
      project.CopyFormsTo(local);
      editor_->Setup(project.Name(), &local, true);
      QTimer::singleShot(0, editor_, [this, edit] {
        if (edit) editor_->SNewButtonClick();
        editor_->done(QDialog::Accepted);
      });
      editor_->exec();
      QVERIFY(!editor_->Graph());
      project.SetForms(local);
      QCOMPARE(project.Modified(), edit);
    }
  }
};

QTEST_MAIN(TestEditTab)
#include "tst_edittab.moc"
