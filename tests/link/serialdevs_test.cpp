// Serial devices found in a machine built in a temporary folder (sysfs and
// device folder, USB adapters on real pseudo-terminals), and the port map
// file that binds them to COM numbers.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>
#include <tuple>

#include "link/Serialdevs.h"
#include "model/Cp1251.h"
#include "support/PtyPeer.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace tgxtest {
namespace {

struct Adapter {
  std::string usb_path, vendor, product_id, manufacturer, product, serial, driver, by_id;
  bool modem;  // ttyACM: the interface itself is the tty's device
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
    const std::string name = "ttyS" + std::to_string(n), device = Sys("devices/pnp0/00:0" + std::to_string(n));
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
    const std::string usb = Sys("devices/pci0000:00/usb1/" + a.usb_path), driver = Sys("bus/usb/drivers/" + a.driver);
    const std::string port = usb + "/" + a.usb_path + ":1.0" + (a.modem ? "" : "/" + tty);
    fs::create_directories(port + "/tty/" + tty);
    fs::create_directories(driver);
    for (const auto& [file, value] : std::map<std::string, std::string>{
             {"idVendor", a.vendor}, {"idProduct", a.product_id}, {"manufacturer", a.manufacturer},
             {"product", a.product}, {"serial", a.serial}})
      WriteBytes(usb + "/" + file, value + "\n");
    fs::create_directory_symlink(driver, port + "/driver");
    fs::create_directory_symlink(port, port + "/tty/" + tty + "/device");
    fs::create_directory_symlink(port + "/tty/" + tty, Sys("class/tty/" + tty));
    ptys_[tty] = std::make_unique<PtyPeer>();
    fs::create_symlink(ptys_[tty]->SlavePath(), Dev(tty));
    fs::create_symlink("../../" + tty, Dev("serial/by-id/" + a.by_id));
  }
  void Unplug(const Adapter& a, const std::string& tty) {
    fs::remove_all(Sys("devices/pci0000:00/usb1/" + a.usb_path));
    fs::remove(Sys("class/tty/" + tty));
    fs::remove(Dev(tty));
    fs::remove(Dev("serial/by-id/" + a.by_id));
    ptys_.erase(tty);
  }

  TempDir dir_{"tgx-serial"};
  std::map<std::string, std::unique_ptr<PtyPeer>> ptys_;
};

// One line per device: name, kind, driver, by-id link, description, access.
std::string Show(const SERIALDEV& d) {
  return d.Name + " " + std::to_string(int(d.Kind)) + " " + d.Driver + " " + d.ById + " '" +
         tgx::ToUtf8(d.Description()) + "' " + std::to_string(int(d.Access));
}

TEST_F(FakeMachine, ListsRealUartsAdaptersAndModemsWithWhatTheSystemKnows) {
  AddUart(0, "4", true);
  AddUart(1, "0", true);   // phantom: no chip at its address
  AddUart(2, "4", false);  // no driver bound
  Plug(kArduino, "ttyACM0");
  Plug(kFtdi, "ttyUSB0");
  Plug(kNameless, "ttyUSB1");
  WriteBytes(Dev("ttyUSB3"), "");  // a node without sysfs entry
  const auto probe = [&](const std::string& path) {
    return path == Dev("ttyUSB0") ? PortAccess::NoPermission
                                  : path == Dev("ttyACM0") ? PortAccess::Busy : PortAccess::Usable;
  };
  const std::string usable = std::to_string(int(PortAccess::Usable)), byId = Dev("serial/by-id/");
  const std::vector<std::string> expected = {
      "ttyS0 0 serial  'Встроенный порт' " + usable,
      "ttyUSB0 1 ftdi_sio " + byId + kFtdi.by_id + " 'FTDI FT232R USB UART (A10K4XYZ)' " +
          std::to_string(int(PortAccess::NoPermission)),
      "ttyUSB1 1 ch341 " + byId + kNameless.by_id + " 'USB 1a86:7523' " + usable,
      "ttyUSB3 1   'USB' " + usable,
      "ttyACM0 2 cdc_acm " + byId + kArduino.by_id + " 'Arduino Uno (75735303)' " + std::to_string(int(PortAccess::Busy)),
  };
  const std::vector<SERIALDEV> got = ListSerialDevices(probe);
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(Show(got[i]), expected[i]);
}

// The adapter keeps its COM number through replugging because it is bound by
// its by-id name, not by its node.
TEST_F(FakeMachine, BoundAdapterKeepsItsPortWhenPluggedInAgainAndIsAbsentWhenUnplugged) {
  const std::string map = dir_.File("tgx.ports"), old_map = PortMapFile(), first = "# ours\r\nCOM1=/dev/ttyS0\r\n";
  const std::string by_id = Dev("serial/by-id/" + kFtdi.by_id);
  SetPortMapFile(map);
  WriteBytes(map, first);
  Plug(kFtdi, "ttyUSB0");
  const std::vector<SERIALDEV> devices = ListSerialDevices([](const std::string&) { return PortAccess::Usable; });
  ASSERT_EQ(devices.size(), 1u);
  std::string message;
  ASSERT_TRUE(BindDevice(map, 3, devices[0], message)) << message;
  EXPECT_EQ(ReadBytes(map), first + "COM3=" + by_id + "\r\n");

  Unplug(kFtdi, "ttyUSB0");
  Plug(kFtdi, "ttyUSB1");
  std::vector<MAPPEDPORT> ports = ListPortMap(map);
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[1].Number, 3);
  EXPECT_EQ(ports[1].Device, "ttyUSB1");
  EXPECT_EQ(ports[1].Access, PortAccess::Usable);
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

// A binding creates the file, rewrites the port's own line, keeps the mode of
// an existing file and leaves no temporary file; unbinding comments the line
// out; a refused binding leaves the file as it was.
TEST(PortMapFile, BindingsKeepTheModeAndRefusalsLeaveTheFileAsItWas) {
  TempDir dir;
  const std::string map = dir.File("tgx.ports"), full = dir.File("full.ports"), folder = dir.File("folder.ports");
  std::string message;
  ASSERT_TRUE(BindPort(map, 9, "/dev/ttyUSB0", message)) << message;
  ASSERT_EQ(::chmod(map.c_str(), 0640), 0);
  ASSERT_TRUE(BindPort(map, 1, "/dev/ttyUSB1", message)) << message;
  ASSERT_TRUE(BindPort(map, 1, "/dev/ttyUSB2", message)) << message;
  ASSERT_TRUE(UnbindPort(map, 9, message)) << message;
  const std::string before = "# COM9=/dev/ttyUSB0\nCOM1=/dev/ttyUSB2\n";
  EXPECT_EQ(ReadBytes(map), before);
  struct stat st {};
  ASSERT_EQ(::stat(map.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1) << "no temporary file left";

  WriteBytes(full, std::string(kPortMapMaxBytes - 4, '#') + "\n");
  fs::create_directory(folder);
  const std::tuple<std::string, int, std::string, const char*> cases[] = {  // file, port, path, message
      {map, 10, "/dev/x", "Порт может быть от COM1 до COM9"},
      {map, 2, "/dev/x\nCOM1=/dev/y", "Недопустимое имя устройства"},
      {folder, 2, "/dev/x", "Невозможно прочитать файл портов"},
      {full, 2, "/dev/x", "Файл портов слишком велик"},  // growing beyond what the lookup reads
  };
  for (const auto& [file, number, path, text] : cases) {
    EXPECT_FALSE(BindPort(file, number, path, message)) << text;
    EXPECT_EQ(tgx::ToUtf8(message), text);
  }
  EXPECT_EQ(ReadBytes(map), before);
  EXPECT_EQ(ReadBytes(full).size(), kPortMapMaxBytes - 3);
}

}  // namespace
}  // namespace tgxtest
