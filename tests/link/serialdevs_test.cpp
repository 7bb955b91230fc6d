// Serial devices found in a machine built in a temporary folder (sysfs and
// device folder, USB adapters on real pseudo-terminals), and the port map
// file that binds them to COM numbers.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "link/Portcol.h"
#include "link/Serialdevs.h"
#include "model/Cp1251.h"
#include "support/PtyPeer.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace tgxtest {
namespace {

std::string ReadBytes(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Adapter {
  const char *usb_path, *vendor, *product_id, *manufacturer, *product, *serial, *driver;
  const char* by_id;  // its link name in serial/by-id
  bool modem;         // ttyACM: the interface itself is the tty's device
};
const Adapter kFtdi = {"1-2", "0403", "6001", "FTDI", "FT232R USB UART", "A10K4XYZ", "ftdi_sio",
                       "usb-FTDI_FT232R_USB_UART_A10K4XYZ-if00-port0", false};
const Adapter kArduino = {"1-3", "2341", "0043", "Arduino", "Arduino Uno", "75735303", "cdc_acm",
                          "usb-Arduino_Arduino_Uno_75735303-if00", true};
const Adapter kNameless = {"1-4", "1a86", "7523", "", "", "", "ch341", "usb-1a86_USB_Serial-if00-port0", false};

class FakeMachine : public ::testing::Test {
 protected:
  FakeMachine() {
    ::setenv("TGX_SYSFS_ROOT", dir_.File("sys").c_str(), 1);
    ::setenv("TGX_DEV_ROOT", dir_.File("dev").c_str(), 1);
    fs::create_directories(Sys("class/tty"));
    fs::create_directories(Dev("serial/by-id"));
  }
  ~FakeMachine() override {
    ::unsetenv("TGX_SYSFS_ROOT");
    ::unsetenv("TGX_DEV_ROOT");
  }

  std::string Sys(const std::string& rel) const { return dir_.File("sys/" + rel); }
  std::string Dev(const std::string& rel) const { return dir_.File("dev/" + rel); }

  // A built-in UART as the 8250 driver registers it; type "0" is a phantom.
  void AddUart(int n, const char* type, bool with_driver) {
    const std::string name = "ttyS" + std::to_string(n);
    const std::string device = Sys("devices/pnp0/00:0" + std::to_string(n));
    fs::create_directories(device + "/tty/" + name);
    fs::create_directories(Sys("bus/pnp/drivers/serial"));
    if (with_driver) fs::create_directory_symlink(Sys("bus/pnp/drivers/serial"), device + "/driver");
    fs::create_directory_symlink(device, device + "/tty/" + name + "/device");
    WriteBytes(device + "/tty/" + name + "/type", std::string(type) + "\n");
    fs::create_directory_symlink(device + "/tty/" + name, Sys("class/tty/" + name));
    WriteBytes(Dev(name), "");  // the node exists for every ttyS
  }

  // The adapter appears as `tty`: its USB device, interface and port in
  // sysfs, a node on a fresh pseudo-terminal, its by-id link.
  void Plug(const Adapter& a, const std::string& tty) {
    const std::string usb = Sys(std::string("devices/pci0000:00/usb1/") + a.usb_path);
    const std::string interface = usb + "/" + a.usb_path + ":1.0";
    const std::string port = a.modem ? interface : interface + "/" + tty;
    fs::create_directories(port + "/tty/" + tty);
    for (const auto& [file, value] : std::map<std::string, std::string>{{"idVendor", a.vendor},
                                                                        {"idProduct", a.product_id},
                                                                        {"manufacturer", a.manufacturer},
                                                                        {"product", a.product},
                                                                        {"serial", a.serial}})
      WriteBytes(usb + "/" + file, value + "\n");
    const std::string driver = Sys(std::string("bus/usb/drivers/") + a.driver);
    fs::create_directories(driver);
    fs::create_directory_symlink(driver, port + "/driver");
    fs::create_directory_symlink(port, port + "/tty/" + tty + "/device");
    fs::create_directory_symlink(port + "/tty/" + tty, Sys("class/tty/" + tty));
    ptys_[tty] = std::make_unique<PtyPeer>();
    fs::create_symlink(ptys_[tty]->SlavePath(), Dev(tty));
    fs::create_symlink("../../" + tty, Dev(std::string("serial/by-id/") + a.by_id));
  }

  void Unplug(const Adapter& a, const std::string& tty) {
    fs::remove_all(Sys(std::string("devices/pci0000:00/usb1/") + a.usb_path));
    fs::remove(Sys("class/tty/" + tty));
    fs::remove(Dev(tty));
    fs::remove(Dev(std::string("serial/by-id/") + a.by_id));
    ptys_.erase(tty);
  }

  TempDir dir_{"tgx-serial"};
  std::map<std::string, std::unique_ptr<PtyPeer>> ptys_;
};

PortAccess AllUsable(const std::string&) { return PortAccess::Usable; }

TEST_F(FakeMachine, ListsRealUartsAdaptersAndModemsWithWhatTheSystemKnows) {
  AddUart(0, "4", true);
  AddUart(1, "0", true);   // phantom: no chip at its address
  AddUart(2, "4", false);  // no driver bound
  AddUart(11, "4", true);
  Plug(kArduino, "ttyACM0");
  Plug(kFtdi, "ttyUSB0");
  Plug(kNameless, "ttyUSB1");
  WriteBytes(Dev("ttyUSB3"), "");  // a node without sysfs entry
  const auto probe = [&](const std::string& path) {
    return path == Dev("ttyUSB0") ? PortAccess::NoPermission
                                  : path == Dev("ttyACM0") ? PortAccess::Busy : PortAccess::Usable;
  };

  struct Row {
    std::string name;
    SerialKind kind;
    std::string driver, by_id, description;
    PortAccess access;
  };
  const std::vector<Row> expected = {
      {"ttyS0", SerialKind::Builtin, "serial", "", "Встроенный порт", PortAccess::Usable},
      {"ttyS11", SerialKind::Builtin, "serial", "", "Встроенный порт", PortAccess::Usable},
      {"ttyUSB0", SerialKind::UsbSerial, "ftdi_sio", Dev(std::string("serial/by-id/") + kFtdi.by_id),
       "FTDI FT232R USB UART (A10K4XYZ)", PortAccess::NoPermission},
      {"ttyUSB1", SerialKind::UsbSerial, "ch341", Dev(std::string("serial/by-id/") + kNameless.by_id), "USB 1a86:7523",
       PortAccess::Usable},
      {"ttyUSB3", SerialKind::UsbSerial, "", "", "USB", PortAccess::Usable},
      {"ttyACM0", SerialKind::UsbModem, "cdc_acm", Dev(std::string("serial/by-id/") + kArduino.by_id),
       "Arduino Uno (75735303)", PortAccess::Busy},
  };
  const std::vector<SERIALDEV> got = ListSerialDevices(probe);
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(got[i].Name, expected[i].name);
    EXPECT_EQ(got[i].Kind, expected[i].kind);
    EXPECT_EQ(got[i].Driver, expected[i].driver);
    EXPECT_EQ(got[i].ById, expected[i].by_id);
    EXPECT_EQ(tgx::ToUtf8(got[i].Description()), expected[i].description);
    EXPECT_EQ(got[i].Access, expected[i].access);
  }
}

TEST_F(FakeMachine, ProbeTellsUsableBusyAbsentAndNotPermitted) {
  Plug(kFtdi, "ttyUSB0");
  Plug(kArduino, "ttyACM0");
  WriteBytes(Dev("ttyUSB5"), "");  // opens, but is no terminal
  EXPECT_EQ(ProbeDeviceAccess(Dev("ttyUSB0")), PortAccess::Usable);
  EXPECT_EQ(ProbeDeviceAccess(Dev("ttyUSB9")), PortAccess::Absent);
  EXPECT_EQ(ProbeDeviceAccess(Dev("ttyUSB5")), PortAccess::Absent);

  PCI holder;
  holder.SetDevicePath(Dev("ttyACM0"));
  ASSERT_EQ(holder.Open(), PCI::kOpenOk);
  EXPECT_EQ(ProbeDeviceAccess(Dev("ttyACM0")), PortAccess::Busy);
  holder.Close();
  EXPECT_EQ(ProbeDeviceAccess(Dev("ttyACM0")), PortAccess::Usable) << "the probe leaves nothing held";
}

TEST_F(FakeMachine, ADeviceWithoutPermissionIsReportedSo) {
  if (::geteuid() == 0) GTEST_SKIP() << "root opens every device; the rule is covered through an injected probe";
  Plug(kFtdi, "ttyUSB0");
  ASSERT_EQ(::chmod(ptys_["ttyUSB0"]->SlavePath().c_str(), 0), 0);
  EXPECT_EQ(ProbeDeviceAccess(Dev("ttyUSB0")), PortAccess::NoPermission);
}

// What the port map holds through replugging: the adapter keeps its COM
// number because it is bound by its by-id name, not by its node.
TEST_F(FakeMachine, BoundAdapterKeepsItsPortWhenPluggedInAgainAndIsAbsentWhenUnplugged) {
  const std::string map = dir_.File("tgx.ports");
  const std::string old_map = PortMapFile();
  SetPortMapFile(map);
  const std::string first = "# our ports\r\nCOM1=" + Dev("ttyS0") + "\r\n";
  WriteBytes(map, first);
  Plug(kFtdi, "ttyUSB0");
  const std::string by_id = Dev(std::string("serial/by-id/") + kFtdi.by_id);

  const std::vector<SERIALDEV> devices = ListSerialDevices(AllUsable);
  ASSERT_EQ(devices.size(), 1u);
  std::string message;
  ASSERT_TRUE(BindDevice(map, 3, devices[0], message)) << message;
  EXPECT_EQ(ReadBytes(map), first + "COM3=" + by_id + "\r\n");
  EXPECT_EQ(PortDevicePath(2), by_id);

  Unplug(kFtdi, "ttyUSB0");
  Plug(kFtdi, "ttyUSB1");
  std::vector<MAPPEDPORT> ports;
  ::setenv("TGX_COM1", "/dev/pts/77", 1);
  ports = ListPortMap(map);
  ::unsetenv("TGX_COM1");
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_TRUE(ports[0].Overridden);
  EXPECT_FALSE(ports[1].Overridden);
  EXPECT_EQ(ports[1].Number, 3);
  EXPECT_EQ(ports[1].Line, 3);
  EXPECT_EQ(ports[1].Device, "ttyUSB1");
  EXPECT_EQ(ports[1].Access, PortAccess::Usable);
  EXPECT_EQ(tgx::ToUtf8(ports[1].Description), "FTDI FT232R USB UART (A10K4XYZ)");
  PCI line;
  EXPECT_EQ(line.SetLine(2, kUnitLine), PCI::kOpenOk) << "COM3 reaches the adapter under its new node";
  line.Close();

  Unplug(kFtdi, "ttyUSB1");
  ports = ListPortMap(map);
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[1].Access, PortAccess::Absent);
  EXPECT_EQ(ports[1].Device, "");
  EXPECT_EQ(ports[1].Path, by_id);
  SetPortMapFile(old_map);
}

// ---------------------------------------------------------------- map text

TEST(PortMapText, RebindingChangesOnlyThePortsOwnLines) {
  const std::tuple<const char*, std::string, int, std::string, std::string> cases[] = {  // name, before, port, path, after
      {"empty file", "", 3, "/dev/x", "COM3=/dev/x\n"},
      {"appended after comments, CR LF kept", "# ports\r\nCOM1=/dev/a\r\n", 2, "/dev/x",
       "# ports\r\nCOM1=/dev/a\r\nCOM2=/dev/x\r\n"},
      {"rewritten in place, key in any case", "# a\n  com3 = /dev/old  \n# b\n", 3, "/dev/x", "# a\nCOM3=/dev/x\n# b\n"},
      {"later lines of the port commented out", "COM3=/dev/a\nCOM4=/dev/b\nCom3=/dev/c\n", 3, "/dev/x",
       "COM3=/dev/x\nCOM4=/dev/b\n# Com3=/dev/c\n"},
      {"commented and malformed lines stay", "#COM3=/dev/a\nCOM3 /dev/b\nCOM33=/dev/c\n", 3, "/dev/x",
       "#COM3=/dev/a\nCOM3 /dev/b\nCOM33=/dev/c\nCOM3=/dev/x\n"},
      {"unbinding comments every line out", "COM3=/dev/a\nCOM1=/dev/b\nCOM3=/dev/c", 3, "",
       "# COM3=/dev/a\nCOM1=/dev/b\n# COM3=/dev/c"},
  };
  for (const auto& [name, before, number, path, after] : cases)
    EXPECT_EQ(RebindPortMapText(before, number, path), after) << name;
}

TEST(PortMapFile, BindCreatesTheFileAndKeepsTheModeOfAnExistingOne) {
  TempDir dir;
  const std::string map = dir.File("tgx.ports");
  std::string message;
  ASSERT_TRUE(BindPort(map, 9, "/dev/ttyUSB0", message)) << message;
  EXPECT_EQ(ReadBytes(map), "COM9=/dev/ttyUSB0\n");
  ASSERT_EQ(::chmod(map.c_str(), 0640), 0);
  ASSERT_TRUE(BindPort(map, 1, "/dev/ttyUSB1", message)) << message;
  struct stat st {};
  ASSERT_EQ(::stat(map.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ASSERT_TRUE(UnbindPort(map, 9, message)) << message;
  EXPECT_EQ(ReadBytes(map), "# COM9=/dev/ttyUSB0\nCOM1=/dev/ttyUSB1\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1)
      << "no temporary file is left behind";
}

TEST(PortMapFile, RefusedBindingsLeaveTheFileAsItWas) {
  TempDir dir;
  const std::string map = dir.File("tgx.ports");
  const std::string full = dir.File("full.ports");
  const std::string before = "# mine\nCOM1=/dev/a\n";
  WriteBytes(map, before);
  WriteBytes(full, std::string(kPortMapMaxBytes - 4, '#') + "\n");
  fs::create_directory(dir.File("folder.ports"));
  const std::tuple<const char*, std::string, int, std::string, const char*> cases[] = {  // name, file, port, path, message
      {"COM10", map, 10, "/dev/x", "Порт может быть от COM1 до COM9"},
      {"a line end in the path", map, 2, "/dev/x\nCOM1=/dev/y", "Недопустимое имя устройства"},
      {"no map file", "", 2, "/dev/x", "Файл портов не задан"},
      {"a folder", dir.File("folder.ports"), 2, "/dev/x", "Невозможно прочитать файл портов"},
      {"growing beyond what the lookup reads", full, 2, "/dev/x", "Файл портов слишком велик"},
  };
  for (const auto& [name, file, number, path, text] : cases) {
    SCOPED_TRACE(name);
    std::string message;
    EXPECT_FALSE(BindPort(file, number, path, message));
    EXPECT_EQ(tgx::ToUtf8(message), text);
  }
  EXPECT_EQ(ReadBytes(map), before);
  EXPECT_EQ(ReadBytes(full).size(), kPortMapMaxBytes - 3);
}

}  // namespace
}  // namespace tgxtest
