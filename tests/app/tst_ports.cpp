// The port dialog over a machine built in a temporary folder (TGX_SYSFS_ROOT,
// TGX_DEV_ROOT): an FTDI adapter on a pseudo-terminal, listed with what the
// system says of it, bound to a COM<n> in the port map when chosen, shown
// greyed once unplugged; and the channel window's backup switch.

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/Fchancfg.h"
#include "app/core/Options.h"
#include "app/core/Syscfg.h"
#include "link/Portcol.h"
#include "support/PtyPeer.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace tgxtest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kById = "usb-FTDI_FT232R_USB_UART_A10K4XYZ-if00-port0";
const QString kFtdi = QStringLiteral(" — FTDI FT232R USB UART (A10K4XYZ)");

std::string ReadBytes(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

}  // namespace

class TstPorts : public QObject {
  Q_OBJECT

  TempDir dir_{"tgx-ports"};
  std::unique_ptr<PtyPeer> pty_;

  std::string Sys(const std::string& rel) const { return dir_.File("sys/" + rel); }
  std::string Dev(const std::string& rel) const { return dir_.File("dev/" + rel); }
  std::string MapFile() const { return dir_.File("tgx.ports"); }

  // An FTDI adapter appears as ttyUSB0: its USB device, interface and port
  // in sysfs, a node on a fresh pseudo-terminal, its by-id link.
  void Plug() {
    const std::string usb = Sys("devices/pci0000:00/usb1/1-2");
    const std::string port = usb + "/1-2:1.0/ttyUSB0";
    fs::create_directories(port + "/tty/ttyUSB0");
    WriteBytes(usb + "/idVendor", "0403\n");
    WriteBytes(usb + "/idProduct", "6001\n");
    WriteBytes(usb + "/manufacturer", "FTDI\n");
    WriteBytes(usb + "/product", "FT232R USB UART\n");
    WriteBytes(usb + "/serial", "A10K4XYZ\n");
    fs::create_directories(Sys("bus/usb/drivers/ftdi_sio"));
    fs::create_directory_symlink(Sys("bus/usb/drivers/ftdi_sio"), port + "/driver");
    fs::create_directory_symlink(port, port + "/tty/ttyUSB0/device");
    fs::create_directory_symlink(port + "/tty/ttyUSB0", Sys("class/tty/ttyUSB0"));
    pty_ = std::make_unique<PtyPeer>();
    fs::create_symlink(pty_->SlavePath(), Dev("ttyUSB0"));
    fs::create_symlink("../../ttyUSB0", Dev(std::string("serial/by-id/") + kById));
  }

  void Unplug() {
    fs::remove_all(Sys("devices/pci0000:00/usb1/1-2"));
    fs::remove(Sys("class/tty/ttyUSB0"));
    fs::remove(Dev("ttyUSB0"));
    fs::remove(Dev(std::string("serial/by-id/") + kById));
    pty_.reset();
  }

  // The list row of the adapter, or -1.
  static int AdapterRow(QListWidget* box) {
    for (int i = 0; i < box->count(); ++i)
      if (box->item(i)->text().endsWith(kFtdi)) return i;
    return -1;
  }

 private slots:
  void initTestCase() {
    qputenv("TGX_SYSFS_ROOT", QByteArray::fromStdString(Sys("")));
    qputenv("TGX_DEV_ROOT", QByteArray::fromStdString(Dev("")));
    fs::create_directories(dir_.File("config"));
    qputenv("TGX_CONFIG_DIR", QByteArray::fromStdString(dir_.File("config")));
    for (int n = 1; n <= TPortCollection::kProbedPorts; ++n) qunsetenv(("TGX_COM" + QByteArray::number(n)).constData());
    CreateSettings();
    QVERIFY(Chanpar());
  }
  void cleanupTestCase() {
    SetPortMapFile("");
    DestroySettings();
  }
  void init() {
    fs::remove_all(Sys(""));
    fs::remove_all(Dev(""));
    fs::create_directories(Sys("class/tty"));
    fs::create_directories(Dev("serial/by-id"));
    fs::remove(MapFile());
    SetPortMapFile(MapFile());
    pty_.reset();
  }

  // A bound adapter that is unplugged is listed greyed under its number;
  // plugged in, it shows under that number, and choosing it leaves the map
  // as it is.
  void boundAdapterKeepsItsNumber() {
    WriteBytes(MapFile(), "COM7=" + Dev(std::string("serial/by-id/") + kById) + "\n");
    const std::string before = ReadBytes(MapFile());
    TPortDlg dlg;
    dlg.RefreshPorts();
    const QList<QListWidgetItem*> found =
        dlg.NameBox()->findItems(QStringLiteral("COM7 — %1 — не подключён").arg(kById), Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    QVERIFY(!(found.front()->flags() & Qt::ItemIsEnabled));
    Plug();
    dlg.RefreshPorts();
    const int row = AdapterRow(dlg.NameBox());
    QVERIFY(row >= 0);
    QCOMPARE(dlg.NameBox()->item(row)->text(), "COM7" + kFtdi);
    dlg.NameBox()->setCurrentRow(row);
    QTest::mouseClick(dlg.findChild<QPushButton*>("OKBtn"), Qt::LeftButton);
    QCOMPARE(dlg.SelectedPort(), 6);
    QCOMPARE(ReadBytes(MapFile()), before);
  }

  // The list is read again on every opening: an adapter plugged in between
  // two showings is there the second time, and gone once unplugged.
  void listIsRefreshedOnEveryOpening() {
    TPortDlg dlg;
    for (bool plugged : {false, true, false}) {
      if (plugged) Plug();
      else if (pty_) Unplug();
      dlg.show();
      QCOMPARE(AdapterRow(dlg.NameBox()) >= 0, plugged);
      dlg.hide();
    }
  }

  // The backup switch shows the stored option, and a click stores it.
  void backupSwitchFollowsTheStoredOption_data() {
    QTest::addColumn<bool>("on");
    QTest::newRow("on") << true;
    QTest::newRow("off") << false;
  }
  void backupSwitchFollowsTheStoredOption() {
    QFETCH(bool, on);
    tgx::SaveBackupOption(on);
    TChanCfgForm form;
    form.show();
    QCOMPARE(form.BackupCheck()->isChecked(), on);
    QTest::mouseClick(form.BackupCheck(), Qt::LeftButton);
    QCOMPARE(tgx::LoadBackupOption(), !on);
  }

  void backupSwitchTextFitsTheWindow() {
    TChanCfgForm form;
    form.show();
    QVERIFY(form.rect().contains(form.BackupCheck()->geometry()));
    QVERIFY(form.BackupCheck()->width() >= form.BackupCheck()->sizeHint().width());
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TstPorts)
#include "tst_ports.moc"
