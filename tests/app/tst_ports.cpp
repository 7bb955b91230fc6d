// The port dialog over a machine built in a temporary folder (TGX_SYSFS_ROOT,
// TGX_DEV_ROOT): an FTDI adapter on a pseudo-terminal, listed with what the
// system says of it under the COM<n> the port map binds it to, greyed while
// unplugged; and the channel window's backup switch.

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
#include "support/TempDir.h"

namespace tgxtest {
namespace {

namespace fs = std::filesystem;

const std::string kById = "serial/by-id/usb-FTDI_FT232R_USB_UART_A10K4XYZ-if00-port0";
const QString kFtdi = QStringLiteral(" — FTDI FT232R USB UART (A10K4XYZ)");

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
    for (const auto& [name, value] : {std::pair{"idVendor", "0403"}, {"idProduct", "6001"}, {"manufacturer", "FTDI"},
                                      {"product", "FT232R USB UART"}, {"serial", "A10K4XYZ"}})
      WriteBytes(usb + "/" + name, std::string(value) + "\n");
    fs::create_directories(Sys("bus/usb/drivers/ftdi_sio"));
    fs::create_directory_symlink(Sys("bus/usb/drivers/ftdi_sio"), port + "/driver");
    fs::create_directory_symlink(port, port + "/tty/ttyUSB0/device");
    fs::create_directory_symlink(port + "/tty/ttyUSB0", Sys("class/tty/ttyUSB0"));
    pty_ = std::make_unique<PtyPeer>();
    fs::create_symlink(pty_->SlavePath(), Dev("ttyUSB0"));
    fs::create_symlink("../../ttyUSB0", Dev(kById));
  }
  // An empty machine: no serial device at all.
  void Unplug() {
    fs::remove_all(dir_.File("sys"));
    fs::remove_all(dir_.File("dev"));
    fs::create_directories(Sys("class/tty"));
    fs::create_directories(Dev("serial/by-id"));
    pty_.reset();
  }

 private slots:
  void initTestCase() {
    qputenv("TGX_SYSFS_ROOT", QByteArray::fromStdString(Sys("")));
    qputenv("TGX_DEV_ROOT", QByteArray::fromStdString(Dev("")));
    Unplug();
    fs::create_directories(dir_.File("config"));
    qputenv("TGX_CONFIG_DIR", QByteArray::fromStdString(dir_.File("config")));
    for (int n = 1; n <= TPortCollection::kProbedPorts; ++n) qunsetenv(("TGX_COM" + QByteArray::number(n)).constData());
    CreateSettings();
    QVERIFY(Chanpar());
    SetPortMapFile(MapFile());
  }
  void cleanupTestCase() {
    SetPortMapFile("");
    DestroySettings();
  }

  // The list is read again on every opening. A bound adapter that is
  // unplugged is listed greyed under its number; plugged in, it shows under
  // that number, and choosing it leaves the map as it is.
  void boundAdapterPluggedAndUnplugged() {
    const std::string map = "COM7=" + Dev(kById) + "\n";
    WriteBytes(MapFile(), map);
    const QString absent = QString("COM7 — %1 — не подключён").arg(QString::fromStdString(kById).mid(13));
    TPortDlg dlg;
    for (bool plugged : {false, true, false}) {
      if (plugged) Plug();
      else Unplug();
      dlg.hide();
      dlg.show();
      const auto greyed = dlg.NameBox()->findItems(absent, Qt::MatchExactly);
      QCOMPARE(greyed.size(), int(!plugged));
      if (!plugged) QVERIFY(!(greyed.front()->flags() & Qt::ItemIsEnabled));
      const auto found = dlg.NameBox()->findItems("COM7" + kFtdi, Qt::MatchExactly);
      QCOMPARE(found.size(), int(plugged));
      if (!plugged) continue;
      dlg.NameBox()->setCurrentItem(found.front());
      QTest::mouseClick(dlg.findChild<QPushButton*>("OKBtn"), Qt::LeftButton);
      QCOMPARE(dlg.SelectedPort(), 6);
      QCOMPARE(ReadBytes(MapFile()), map);
    }
  }

  // The backup switch shows the stored option and a click stores it.
  void backupSwitchFollowsTheStoredOption() {
    for (bool on : {true, false}) {
      tgx::SaveBackupOption(on);
      TChanCfgForm form;
      QCOMPARE(form.BackupCheck()->isChecked(), on);
      QTest::mouseClick(form.BackupCheck(), Qt::LeftButton);
      QCOMPARE(tgx::LoadBackupOption(), !on);
    }
  }
};

}  // namespace tgxtest

QTEST_MAIN(tgxtest::TstPorts)
#include "tst_ports.moc"
