// The small dialogs driven through their real widgets: the in-place cell
// editor, the channel and port windows (ports mapped to pseudo-terminals
// through TGX_COMn) and the about box.

#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <functional>
#include <vector>

#include "Version.h"
#include "app/Fabout.h"
#include "app/Fchancfg.h"
#include "editor/Feditdlg.h"
#include "app/core/Syscfg.h"
#include "link/Portcol.h"
#include "support/ModalDriver.h"
#include "support/PtyPeer.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

// Runs `step` once the next modal window is up.
void WhenModalRun(std::function<void(QWidget*)> step) {
  WhenModal([step](QWidget* w) { return step(w), true; });
}

QByteArray Path(const PtyPeer& pty) { return QByteArray::fromStdString(pty.SlavePath()); }

// COMn for n beyond `paths` points nowhere, so the machine's own ttyS* never
// show up in the list.
void SetPorts(const std::vector<QByteArray>& paths) {
  for (size_t i = 0; i < size_t{TPortCollection::kProbedPorts}; ++i)
    qputenv(("TGX_COM" + QByteArray::number(i + 1)).constData(), i < paths.size() ? paths[i] : "/nonexistent/tgx");
}

QStringList Items(QListWidget* box) {
  QStringList out;
  for (int i = 0; i < box->count(); ++i) out << box->item(i)->text();
  return out;
}

void Click(QWidget* dlg, const char* button) {
  QTest::mouseClick(dlg->findChild<QPushButton*>(button), Qt::LeftButton);
}

}  // namespace

class TstDialogs : public QObject {
  Q_OBJECT

  TempDir config_dir_{"tgx-dialogs"};

 private slots:
  void initTestCase() {
    qputenv("TGX_CONFIG_DIR", QByteArray::fromStdString(config_dir_.Path().string()));
    SetPortMapFile("");
    CreateSettings();
    QVERIFY(Chanpar());
  }
  void cleanupTestCase() { DestroySettings(); }

  // The editor takes the keyboard with the whole text selected; Enter, keypad
  // Enter accept, Escape rejects.
  void editDlgEndsAsTheKeysSay() {
    const struct { const char* name; const char* typed; int key; int result; const char* text; } rows[] = {
        {"Enter, unchanged", "", Qt::Key_Return, QDialog::Accepted, "Резервуар 1"},
        {"keypad Enter", "b", Qt::Key_Enter, QDialog::Accepted, "Резервуар 1b"},
        {"Escape after typing", "yz", Qt::Key_Escape, QDialog::Rejected, "Резервуар 1yz"},
    };
    for (const auto& row : rows) {
      TEditDlg dlg;
      dlg.SetText("Резервуар 1");
      WhenModalRun([&](QWidget*) {
        QLineEdit* box = dlg.EdBox();
        QVERIFY(box->hasFocus());
        QVERIFY(box->hasSelectedText());
        box->end(false);
        QTest::keyClicks(box, row.typed);
        QTest::keyClick(box, Qt::Key(row.key), row.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
      });
      QVERIFY2(dlg.exec() == row.result, row.name);
      QVERIFY2(dlg.GetText() == QString(row.text), row.name);
    }
  }

  // The list keeps the ascending order with its gaps and preselects the first
  // usable port, not the configured one; only OK on a port changes the choice.
  void portDialogPreselectsFirstUsablePortAndKeepsThePortWithoutAChoice() {
    PtyPeer com2, com4;
    SetPorts({});
    Chanpar()->PortIndex = 3;
    TChanCfgForm form;
    QCOMPARE(form.ComPanel()->text(), QString("COM4"));  // configured, though it does not exist
    WhenModalRun([&](QWidget* dlg) { Click(dlg, "OKBtn"); });  // an empty list
    form.Button1Click();
    QCOMPARE(Chanpar()->PortIndex, 3);
    SetPorts({"/nonexistent/a", Path(com2), "/nonexistent/b", Path(com4)});
    WhenModalRun([&](QWidget* dlg) {
      auto* box = dlg->findChild<QListWidget*>("NameBox");
      QCOMPARE(Items(box), QStringList({"COM2", "COM4"}));
      QCOMPARE(box->currentRow(), 0);
      QCOMPARE(box->item(1)->toolTip(), QString::fromLocal8Bit(Path(com4)));
      dlg->close();  // through its title bar
    });
    form.Button1Click();
    QCOMPARE(Chanpar()->PortIndex, 3);
    WhenModalRun([&](QWidget* dlg) { Click(dlg, "OKBtn"); });
    form.Button1Click();
    QCOMPARE(Chanpar()->PortIndex, 1);
    QCOMPARE(form.ComPanel()->text(), QString("COM2"));
  }

  void portDialogExplainsPortsItCannotOpen() {
    PtyPeer free_port, held_port;
    TempDir dir;
    const QByteArray locked = QByteArray::fromStdString(dir.File("locked-tty"));
    QVERIFY(QFile(QString::fromLocal8Bit(locked)).open(QIODevice::WriteOnly));
    ::chmod(locked.constData(), 0);
    SetPorts({Path(free_port), Path(held_port), locked});
    PCI other;  // another program holds COM2
    QCOMPARE(other.SetLine(1, 7, 2, 4, 0, 0), PCI::kOpenOk);
    TPortDlg dlg;
    dlg.RefreshPorts();
    QCOMPARE(Items(dlg.NameBox()), QStringList({"COM1"}));
    const QString note = dlg.NoteLabel()->text();
    QVERIFY2(note.contains("COM2: " + QString::fromLocal8Bit(Path(held_port)) + " — занят другой программой"),
             qPrintable(note));
    QCOMPARE(dlg.NameBox()->toolTip(), note);
    if (::geteuid() != 0)  // root opens a file whatever its mode
      QVERIFY2(note.contains("COM3: " + QString::fromLocal8Bit(locked) + " — нет прав доступа (группа dialout)"),
               qPrintable(note));
    // Once the other program lets go, COM2 is listed again and the note goes.
    other.Close();
    Click(&dlg, "Button1");
    QVERIFY(Items(dlg.NameBox()).contains("COM2"));
    QVERIFY(!dlg.NoteLabel()->text().contains("COM2"));
  }

  // The running program is named by its file, with the build it was made from.
  void aboutBoxNamesTheRunningProgram() {
    tgx::SetExePathForTest("/home/op/Инструменты/tgx-old");
    TAboutDlg about;
    tgx::SetExePathForTest({});
    const QString version = QString::asprintf("%d.%d.%d.%d", tgx::kVersionMajor, tgx::kVersionMinor,
                                              tgx::kVersionRelease, tgx::kVersionBuild);
    QCOMPARE(about.findChild<QPlainTextEdit*>("Memo2")->toPlainText(),
             "Исполняемый модуль:\t tgx-old, сборка " + version);
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TstDialogs)
#include "tst_dialogs.moc"
