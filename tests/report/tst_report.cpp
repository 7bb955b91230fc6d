// The calibration table document as a reader gets it: the text of the PDF read
// back gives every table of the project, page after page; the command line's
// contract; and the dialogs of the command «Отчёт».

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/Freport.h"
#include "forms/Convert.h"
#include "model/Cp1251.h"
#include "model/Messages.h"
#include "model/Prjvol.h"
#include "project/Eprj.h"
#include "report/Report.h"
#include "report/Sitefields.h"
#include "report/qt/Command.h"
#include "report/qt/Paint.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

using Tables = std::vector<std::vector<int32_t>>;

QString Example(const char* name) { return QStringLiteral(TGX_SOURCE_DIR "/examples/") + QLatin1String(name); }

// The tables of the forms that get a section, as the form commands convert them.
Tables ProjectTables(const QString& file) {
  tgx::RecordingSink quiet;
  tgx::ScopedMessageSink scope(quiet);
  EPROJECT p;
  Tables out;
  if (!p.Load(file.toStdString())) return out;
  for (int k = 0; k < p.FormCount(); ++k) {
    PARTAB t;
    if (!p.IsGap(k) && ConvertForm(p.Form(k), t)) out.push_back(t.Values());
  }
  return out;
}

// A type 1 form file: a short table, a gap, 3000 volumes (300 rows, pages of
// them) that grow unevenly so that neighbouring cells never hold the same
// number, and a form that does not convert.
std::string Station(const TempDir& dir) {
  const std::string path = dir.File("station.fs");
  std::ofstream f(path, std::ios::binary);
  f << "# good\r\n| 1 2 3\r\n# gap\r\n# long\r\n";
  for (int i = 0; i < 3000; ++i) f << (i % 10 == 0 ? "\r\n| " : "") << " " << (i * 1237 + (i * i) / 7);
  f << "\r\n# bad\r\n| 5 99999999999\r\n";
  return path;
}

struct Run { int code; QString out, err; };

Run Report(const QStringList& words) {
  std::vector<std::string> args = {"report"};
  for (const QString& w : words) args.push_back(w.toStdString());
  TempDir dir;
  std::FILE *out = std::fopen(dir.File("out").c_str(), "wb"), *err = std::fopen(dir.File("err").c_str(), "wb");
  const int code = RunReportCommand(args, out, err);
  std::fclose(out);
  std::fclose(err);
  return {code, QString::fromStdString(ReadBytes(dir.File("out"))), QString::fromStdString(ReadBytes(dir.File("err")))};
}

QString Tool(const char* name) { return QStandardPaths::findExecutable(QLatin1String(name)); }

QStringList PdfPages(const QString& pdf) {
  QProcess p;
  p.start(Tool("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  p.waitForFinished(120000);
  QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
  if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) pages.removeLast();
  return pages;
}

// The tables as a reader of the text finds them: on each page the lines of
// numbers below the column header, the first number of a line being its level.
// A level of 0 starts the next table; a level out of step is kept as -1 so the
// comparison fails.
Tables TablesInText(const QStringList& pages) {
  Tables out;
  for (const QString& page : pages) {
    const QStringList lines = page.split(QLatin1Char('\n'));
    qsizetype i = 0;
    while (i < lines.size() && !lines[i].contains(QStringLiteral("Уровень, см"))) ++i;
    for (++i; i < lines.size(); ++i) {
      const QStringList tokens = lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
      if (tokens.isEmpty()) continue;
      if (!QRegularExpression(QStringLiteral("^[-\\d ]+$")).match(lines[i]).hasMatch()) break;
      const long long level = tokens[0].toLongLong();
      if (level == 0) out.emplace_back();
      if (out.empty()) return {{-1}};
      if (level != static_cast<long long>(out.back().size())) out.back().push_back(-1);
      for (qsizetype k = 1; k < tokens.size(); ++k) out.back().push_back(static_cast<int32_t>(tokens[k].toLongLong()));
    }
  }
  return out;
}

}  // namespace

class TstReport : public QObject {
  Q_OBJECT

 private slots:
  // The path goes out and the reason of the form that does not convert to
  // the errors; the PDF's text gives every table, the reason, and a sheet
  // number on every page.
  void pdfTextGivesEveryTableInOrder() {
    TempDir dir;
    const QString file = QString::fromStdString(Station(dir)), pdf = QString::fromStdString(dir.File("t.pdf"));
    const Run run = Report({file, pdf});
    QCOMPARE(run.code, kReportExitNotConverted);
    QCOMPARE(run.out, pdf + QLatin1Char('\n'));
    QCOMPARE(run.err, QStringLiteral("Форма 4 (bad) не преобразуется в таблицу: строка 2: объём «99999999999» не является "
                                     "целым числом литров.\n"));
    if (Tool("pdftotext").isEmpty()) QSKIP("pdftotext (poppler-utils) is not installed");
    // Rows are read only below a column header, so a page that lost its
    // header loses its rows too.
    const QStringList pages = PdfPages(pdf);
    for (int i = 0; i < pages.size(); ++i)
      QVERIFY2(pages[i].contains(QStringLiteral("Лист %1 из %2").arg(i + 1).arg(pages.size())), qPrintable(pages[i]));
    const Tables expected = ProjectTables(file), read = TablesInText(pages);
    QCOMPARE(expected.size(), size_t{2});
    QCOMPARE(read.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) QCOMPARE(read[k], expected[k]);
    QVERIFY(pages.join(QString()).simplified().contains(
        QStringLiteral("Форма не преобразуется в таблицу: строка 2: объём «99999999999»")));
  }

  void commandLineContract_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<int>("code");
    const QString ok = Example("station_with_gap.fs");
    const QString pdf = QStringLiteral("@/x.pdf");  // @ is the test's folder
    QTest::newRow("nothing") << QStringList{} << kReportExitUsage;
    QTest::newRow("unknown field") << QStringList{ok, pdf, "--field", "colour=red"} << kReportExitUsage;
    QTest::newRow("only a gap") << QStringList{ok, pdf, "--channels", "2"} << kReportExitUsage;
    QTest::newRow("missing file") << QStringList{"@/none.fs", pdf} << kReportExitFile;
    QTest::newRow("output is a folder") << QStringList{ok, "@/taken.pdf"} << kReportExitFile;
    QTest::newRow("fields") << QStringList{ok, pdf, "--channels", "1-3", "--field", "tank3=РВС-3"} << kReportExitOk;
  }
  void commandLineContract() {
    QFETCH(QStringList, words);
    QFETCH(int, code);
    TempDir dir;
    for (QString& w : words) w.replace(QLatin1Char('@'), QString::fromStdString(dir.Path().string()));
    QVERIFY(QDir().mkdir(QString::fromStdString(dir.File("taken.pdf"))));
    const Run run = Report(words);
    QCOMPARE(run.code, code);
    const QString pdf = QString::fromStdString(dir.File("x.pdf"));
    // Only a success prints the path, and only then is there a file; a
    // failure leaves no temporary file behind either.
    QCOMPARE(run.out, code == kReportExitOk ? pdf + QLatin1Char('\n') : QString());
    QCOMPARE(QDir(QString::fromStdString(dir.Path().string())).entryList(QDir::Files | QDir::Hidden),
             code == kReportExitOk ? QStringList{QStringLiteral("x.pdf")} : QStringList{});
    QCOMPARE(run.err.isEmpty(), code == kReportExitOk);
  }

  void aDocumentWithoutSectionsIsOneSheetWithANotice() {
    TempDir dir;
    const std::string pdf = dir.File("empty.pdf");
    QVERIFY(WriteReportPdf(REPORTLAYOUT{}, pdf));
    if (Tool("pdftotext").isEmpty()) QSKIP("pdftotext (poppler-utils) is not installed");
    const QStringList pages = PdfPages(QString::fromStdString(pdf));
    QCOMPARE(pages.size(), 1);
    QVERIFY(pages[0].contains(QStringLiteral("Нет таблиц для отчёта")));
  }

  // A bad channel list is refused with the dialog kept open; one tank row per
  // form that is no gap; fields the operator did not touch are kept; the
  // fields are saved and the preview saves the PDF.
  void theCommandKeepsTheFieldsAndSavesThePdfFromThePreview() {
    ScriptedDialogs dialogs;
    TempDir dir;
    tgx::RecordingSink quiet;
    tgx::ScopedMessageSink scope(quiet);
    EPROJECT p;
    QVERIFY(p.Load(Example("station_with_gap.fs").toStdString()));
    p.SetName(tgx::FromUtf8(dir.File("Станция.fs")));
    SITEFIELDS start;
    start.tank[1] = "kept";
    QVERIFY(SaveSiteFields(dir.File("tgx.site"), start));
    const QString pdf = QString::fromStdString(dir.File("out.pdf"));
    dialogs.files = {pdf};
    int rows = 0;
    bool keptOpen = false;
    QStringList refused;
    WhenModalIs<TReportDlg>([&](TReportDlg* dlg) {
      auto* channels = dlg->findChild<QLineEdit*>(QStringLiteral("ChannelsEdit"));
      channels->setText(QStringLiteral("1,x"));
      dlg->findChild<QPushButton*>(QStringLiteral("OkButton"))->click();
      keptOpen = dlg->isVisible();
      refused = dialogs.Texts();
      channels->clear();
      auto* grid = dlg->findChild<QTableWidget*>(QStringLiteral("TankGrid"));
      rows = grid->rowCount();
      grid->item(1, TReportDlg::kTankColumn)->setText(QStringLiteral("РВС-3"));
      dlg->findChild<QLineEdit*>(QStringLiteral("ByEdit"))->setText(QStringLiteral("Петров"));
      dlg->findChild<QPushButton*>(QStringLiteral("OkButton"))->click();
    });
    WhenModal([](QWidget* w) {
      if (w->objectName() != QLatin1String("ReportPreview")) return false;
      w->findChild<QAction*>(QStringLiteral("SavePdfAction"))->trigger();
      QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
      return true;
    });
    ShowReport(nullptr, p, dir.File("tgx.site"));
    QVERIFY(keptOpen);
    QCOMPARE(refused, QStringList{QStringLiteral("Неверный список каналов: 1,x")});
    QCOMPARE(rows, 2);
    SITEFIELDS kept;
    QVERIFY(LoadSiteFields(dir.File("tgx.site"), kept));
    QCOMPARE(kept.by, tgx::FromUtf8("Петров"));
    QCOMPARE(kept.tank[2], tgx::FromUtf8("РВС-3"));
    QCOMPARE(kept.tank[1], std::string("kept"));
    QVERIFY(QFileInfo(pdf).size() > 0);
    QCOMPARE(dialogs.shown.at(1).fileName, QString::fromStdString(dir.File("Станция.pdf")));
  }

  void cleanup() { StopWatching(); }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TstReport)
#include "tst_report.moc"
