// The small dialogs driven through their real widgets on the offscreen
// platform: the in-place cell editor, the channel and port windows (ports
// mapped to pseudo-terminals through TGX_COMn) and the about box.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <vector>

#include "Version.h"
#include "app/Fabout.h"
#include "app/Fchancfg.h"
#include "app/Feditdlg.h"
#include "app/core/Syscfg.h"
#include "link/Portcol.h"

namespace {

// A pseudo-terminal whose slave side stands in for a serial port.
class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) path_ = ::ptsname(master_);
  }
  ~Pty() {
    if (master_ >= 0) ::close(master_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
  const QByteArray& Path() const { return path_; }

 private:
  int master_ = -1;
  QByteArray path_;
};

// Runs `step` once the modal loop of the next dialog is up.
void WhenModal(std::function<void(QWidget*)> step) {
  QTimer::singleShot(0, [step] {
    QWidget* modal = QApplication::activeModalWidget();
    QVERIFY(modal);
    step(modal);
  });
}

void SetPorts(const std::vector<QByteArray>& paths) {
  for (int n = 1; n <= TPortCollection::kProbedPorts; ++n) {
    const QByteArray var = "TGX_COM" + QByteArray::number(n);
    const size_t i = static_cast<size_t>(n - 1);
    // A port without a pty points nowhere, so the machine's own ttyS* never
    // show up in the list.
    qputenv(var.constData(), i < paths.size() ? paths[i] : QByteArray("/nonexistent/tgx-tty") + QByteArray::number(n));
  }
}

// QTest::keyClicks takes Latin-1 only; the operator types Cyrillic.
void TypeText(QWidget* w, const QString& text) {
  for (const QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &release);
  }
}

QStringList Items(QListWidget* box) {
  QStringList out;
  for (int i = 0; i < box->count(); ++i) out << box->item(i)->text();
  return out;
}

}  // namespace

class TstDialogs : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();

  void editDlgCoversTheCell_data();
  void editDlgCoversTheCell();
  void editDlgEndsAsTheKeysSay_data();
  void editDlgEndsAsTheKeysSay();

  void channelWindowShowsConfiguredPort_data();
  void channelWindowShowsConfiguredPort();
  void portDialogPreselectsFirstUsablePort();
  void portDialogRefreshShowsNewPort();
  void portDialogWithoutChoiceKeepsPort_data();
  void portDialogWithoutChoiceKeepsPort();
  void portDialogExplainsPortsItCannotOpen();

  void aboutBoxTexts_data();
  void aboutBoxTexts();

 private:
  QTemporaryDir config_dir_;
};

void TstDialogs::initTestCase() {
  QVERIFY(config_dir_.isValid());
  qputenv("TGX_CONFIG_DIR", config_dir_.path().toLocal8Bit());
  SetPortMapFile("");
  CreateSettings();
  QVERIFY(Chanpar());
}

void TstDialogs::cleanupTestCase() { DestroySettings(); }

// ---------------------------------------------------------------- TEditDlg

void TstDialogs::editDlgCoversTheCell_data() {
  QTest::addColumn<int>("row");
  QTest::addColumn<int>("col");
  QTest::addColumn<int>("scroll");
  QTest::newRow("inner cell") << 3 << 2 << 0;
  QTest::newRow("scrolled partly out") << 10 << 4 << 1;
}

void TstDialogs::editDlgCoversTheCell() {
  QFETCH(int, row);
  QFETCH(int, col);
  QFETCH(int, scroll);
  QTableWidget grid(17, 5);
  grid.verticalHeader()->hide();
  for (int c = 0; c < 5; ++c) grid.setColumnWidth(c, 60 + 5 * c);
  grid.resize(260, 200);
  grid.move(100, 80);
  grid.show();
  QVERIFY(QTest::qWaitForWindowExposed(&grid));
  if (scroll) {
    // Half of the row above the view, part of the column left of it.
    grid.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    grid.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    grid.verticalScrollBar()->setValue(grid.rowViewportPosition(row) + grid.rowHeight(row) / 2);
    grid.horizontalScrollBar()->setValue(grid.horizontalScrollBar()->maximum());
    QVERIFY(grid.visualRect(grid.model()->index(row, col)).top() < 0);
  }

  TEditDlg dlg;
  dlg.PlaceOverCell(&grid, row, col);
  const QRect cell = grid.visualRect(grid.model()->index(row, col));
  const QRect expected(grid.viewport()->mapToGlobal(cell.topLeft()), cell.size());
  QCOMPARE(dlg.geometry(), expected);

  // Shown, the edit box fills the dialog and therefore the cell.
  WhenModal([&](QWidget* modal) {
    QCOMPARE(modal, &dlg);
    QCOMPARE(dlg.EdBox()->geometry(), dlg.rect());
    QCOMPARE(dlg.geometry().size(), cell.size());
    QCOMPARE(dlg.mapToGlobal(QPoint(0, 0)), expected.topLeft());
    dlg.reject();
  });
  dlg.exec();
}

void TstDialogs::editDlgEndsAsTheKeysSay_data() {
  QTest::addColumn<QString>("initial");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("finish");  // enter, keypad, escape, dblclick
  QTest::addColumn<int>("result");
  QTest::addColumn<QString>("text");
  const int ok = QDialog::Accepted;
  const int cancel = QDialog::Rejected;
  QTest::newRow("enter unchanged") << "Резервуар 1" << "" << "enter" << ok << "Резервуар 1";
  QTest::newRow("keypad enter") << "a" << "b" << "keypad" << ok << "ab";
  QTest::newRow("escape after typing") << "x" << "yz" << "escape" << cancel << "xyz";
  QTest::newRow("double click") << "12,5" << "" << "dblclick" << ok << "12,5";
  QTest::newRow("letters blanks commas") << "" << "Ёмкость, м3  №7 abc" << "enter" << ok
                                         << "Ёмкость, м3  №7 abc";
  QTest::newRow("empty text") << "" << "" << "enter" << ok << "";
}

void TstDialogs::editDlgEndsAsTheKeysSay() {
  QFETCH(QString, initial);
  QFETCH(QString, typed);
  QFETCH(QString, finish);
  QFETCH(int, result);
  QFETCH(QString, text);

  TEditDlg dlg;
  QCOMPARE(dlg.objectName(), QString("EditDlg"));
  QCOMPARE(dlg.windowTitle(), QString("Edit Dialog"));
  QVERIFY(dlg.windowFlags() & Qt::FramelessWindowHint);
  dlg.SetText(initial);
  WhenModal([&](QWidget*) {
    QLineEdit* box = dlg.findChild<QLineEdit*>("EdBox");
    QVERIFY(box);
    box->end(false);  // typing goes after the text, not over a selection
    TypeText(box, typed);
    if (finish == "enter") QTest::keyClick(box, Qt::Key_Return);
    else if (finish == "keypad") QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
    else if (finish == "escape") QTest::keyClick(box, Qt::Key_Escape);
    else QTest::mouseDClick(box, Qt::LeftButton);
  });
  QCOMPARE(dlg.exec(), result);
  QCOMPARE(dlg.GetText(), text);
}

// ---------------------------------------------------------------- channel and port

void TstDialogs::channelWindowShowsConfiguredPort_data() {
  QTest::addColumn<int>("index");
  QTest::addColumn<QString>("name");
  QTest::newRow("COM1") << 0 << "COM1";
  QTest::newRow("COM3 that does not exist") << 2 << "COM3";
  QTest::newRow("beyond the probed ports") << 11 << "COM12";
}

void TstDialogs::channelWindowShowsConfiguredPort() {
  QFETCH(int, index);
  QFETCH(QString, name);
  SetPorts({});
  Chanpar()->PortIndex = index;
  TChanCfgForm form;
  form.show();
  QCOMPARE(form.windowTitle(), QString("Канал связи"));
  QCOMPARE(form.findChild<QLabel*>("ComPanel")->text(), name);
  QCOMPARE(form.findChild<QPushButton*>("Button1")->text(), QString(">>"));
}

void TstDialogs::portDialogPreselectsFirstUsablePort() {
  Pty com1, com2;
  QVERIFY(!com1.Path().isEmpty() && !com2.Path().isEmpty());
  // COM2 and COM4 usable, COM3 missing: the list keeps the ascending order
  // with its gap, and the configured COM4 is not what is preselected.
  SetPorts({"/nonexistent/a", com1.Path(), "/nonexistent/b", com2.Path()});
  Chanpar()->PortIndex = 3;

  TChanCfgForm form;
  form.show();
  QCOMPARE(form.ComPanel()->text(), QString("COM4"));
  WhenModal([&](QWidget* modal) {
    auto* dlg = qobject_cast<TPortDlg*>(modal);
    QVERIFY(dlg);
    QCOMPARE(dlg->windowTitle(), QString("Выбор порта"));
    QListWidget* box = dlg->findChild<QListWidget*>("NameBox");
    QCOMPARE(Items(box), QStringList({"COM2", "COM4"}));
    QCOMPARE(box->currentRow(), 0);
    QCOMPARE(box->item(0)->toolTip(), QString::fromLocal8Bit(com1.Path()));
    QCOMPARE(box->item(1)->toolTip(), QString::fromLocal8Bit(com2.Path()));
    QTest::mouseClick(dlg->findChild<QPushButton*>("OKBtn"), Qt::LeftButton);
  });
  form.Button1Click();
  QCOMPARE(Chanpar()->PortIndex, 1);
  QCOMPARE(form.ComPanel()->text(), QString("COM2"));
}

void TstDialogs::portDialogRefreshShowsNewPort() {
  Pty com1, late;
  SetPorts({com1.Path()});
  Chanpar()->PortIndex = 0;
  TChanCfgForm form;
  WhenModal([&](QWidget* modal) {
    QListWidget* box = modal->findChild<QListWidget*>("NameBox");
    QCOMPARE(Items(box), QStringList({"COM1"}));
    // An adapter plugged in while the dialog is open.
    qputenv("TGX_COM5", late.Path());
    QTest::mouseClick(modal->findChild<QPushButton*>("Button1"), Qt::LeftButton);
    QCOMPARE(Items(box), QStringList({"COM1", "COM5"}));
    QCOMPARE(box->currentRow(), 0);
    box->setCurrentRow(1);
    QTest::mouseClick(modal->findChild<QPushButton*>("OKBtn"), Qt::LeftButton);
  });
  form.Button1Click();
  QCOMPARE(Chanpar()->PortIndex, 4);
  QCOMPARE(form.ComPanel()->text(), QString("COM5"));
}

void TstDialogs::portDialogWithoutChoiceKeepsPort_data() {
  QTest::addColumn<bool>("withPorts");
  QTest::addColumn<bool>("pressOk");
  QTest::newRow("OK on an empty list") << false << true;
  QTest::newRow("closed through the title bar") << true << false;
}

void TstDialogs::portDialogWithoutChoiceKeepsPort() {
  QFETCH(bool, withPorts);
  QFETCH(bool, pressOk);
  Pty com1;
  SetPorts(withPorts ? std::vector<QByteArray>{com1.Path()} : std::vector<QByteArray>{});
  Chanpar()->PortIndex = 6;
  TChanCfgForm form;
  WhenModal([&](QWidget* modal) {
    QListWidget* box = modal->findChild<QListWidget*>("NameBox");
    QCOMPARE(box->count(), withPorts ? 1 : 0);
    if (pressOk) QTest::mouseClick(modal->findChild<QPushButton*>("OKBtn"), Qt::LeftButton);
    else modal->close();
  });
  form.Button1Click();
  QCOMPARE(Chanpar()->PortIndex, 6);
  QCOMPARE(form.ComPanel()->text(), QString("COM7"));
}

void TstDialogs::portDialogExplainsPortsItCannotOpen() {
  Pty free_port, held_port;
  QTemporaryDir dir;
  const QByteArray locked = dir.filePath("locked-tty").toLocal8Bit();
  {
    QFile f(QString::fromLocal8Bit(locked));
    QVERIFY(f.open(QIODevice::WriteOnly));
  }
  ::chmod(locked.constData(), 0);
  SetPorts({free_port.Path(), held_port.Path(), locked});

  // Another program holds COM2.
  PCI other;
  QCOMPARE(other.SetLine(1, 7, 2, 4, 0, 0), PCI::kOpenOk);

  TPortDlg dlg;
  dlg.RefreshPorts();
  QCOMPARE(Items(dlg.NameBox()), QStringList({"COM1"}));
  const QString note = dlg.NoteLabel()->text();
  QVERIFY2(note.contains("COM2: " + QString::fromLocal8Bit(held_port.Path()) + " — занят другой программой"),
           qPrintable(note));
  QCOMPARE(dlg.NameBox()->toolTip(), note);
  // Root opens a file whatever its mode, so the permission line is only
  // checked for an ordinary user.
  if (::geteuid() != 0) {
    QVERIFY2(note.contains("COM3: " + QString::fromLocal8Bit(locked) + " — нет прав доступа (группа dialout)"),
             qPrintable(note));
  }

  // Once the other program lets go, COM2 is listed again and the note goes.
  other.Close();
  QTest::mouseClick(dlg.findChild<QPushButton*>("Button1"), Qt::LeftButton);
  QVERIFY(Items(dlg.NameBox()).contains("COM2"));
  QVERIFY(!dlg.NoteLabel()->text().contains("COM2"));
}

// ---------------------------------------------------------------- about box

void TstDialogs::aboutBoxTexts_data() {
  QTest::addColumn<QString>("exePath");
  QTest::addColumn<QString>("fileName");
  QTest::newRow("installed") << "/usr/bin/tgx" << "tgx";
  QTest::newRow("renamed") << "/home/op/Инструменты/tgx-old" << "tgx-old";
}

void TstDialogs::aboutBoxTexts() {
  QFETCH(QString, exePath);
  QFETCH(QString, fileName);
  tgx::SetExePathForTest(exePath.toStdString());
  TAboutDlg about;
  tgx::SetExePathForTest({});

  const QString version = QString("%1.%2.%3.%4")
                              .arg(tgx::kVersionMajor)
                              .arg(tgx::kVersionMinor)
                              .arg(tgx::kVersionRelease)
                              .arg(tgx::kVersionBuild);
  auto memo = [&](const char* name) { return about.findChild<QPlainTextEdit*>(name)->toPlainText(); };
  QCOMPARE(about.windowTitle(), QString("О программе"));
  QCOMPARE(memo("Memo1"), QString("Программа \"Тирель-Сервис. Градуировочные таблицы\""));
  QCOMPARE(memo("Memo2"), "Исполняемый модуль:\t " + fileName + ", сборка " + version);
  QCOMPARE(memo("Memo3").split('\n'),
           QStringList({"Группа разработки TGX", "https://tgx.example.org", "support@tgx.example.org"}));
  QCOMPARE(about.findChild<QPushButton*>("OKBtn")->text(), QString("OK"));
  // The emblem comes from the program's resources.
  QVERIFY(!about.findChild<QLabel*>("Image1")->pixmap().isNull());

  WhenModal([&](QWidget*) { QTest::keyClick(&about, Qt::Key_Return); });
  QCOMPARE(about.exec(), int(QDialog::Accepted));
}

QTEST_MAIN(TstDialogs)
#include "tst_dialogs.moc"
