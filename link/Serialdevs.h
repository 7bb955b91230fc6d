#pragma once
// The serial devices of this machine as the kernel knows them, and the port
// map file that binds them to the operator's COM1 ... COM9.
//
// Devices are found in sysfs (<sysfs>/class/tty) and the device folder:
// built-in UARTs that have hardware behind them (a bound driver and a UART
// type other than 0, so not the 32 ttyS that the 8250 driver always
// registers), USB serial adapters (ttyUSB*) and USB modems (ttyACM*). For a
// USB device the manufacturer, product and serial number come from its USB
// device's sysfs attributes, and its stable name from <dev>/serial/by-id.
//
// Roots: TGX_SYSFS_ROOT (default /sys) and TGX_DEV_ROOT (default /dev), read
// on every call, so that tests build a machine in a temporary folder.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/Portcol.h"

std::string SysfsRoot();
std::string DevRoot();

enum class SerialKind { Builtin, UsbSerial, UsbModem };

struct SERIALDEV {
  std::string Name;          // kernel name: "ttyUSB0"
  std::string Path;          // device node: "<dev>/ttyUSB0"
  std::string ById;          // "<dev>/serial/by-id/usb-FTDI_..." or empty
  SerialKind Kind = SerialKind::Builtin;
  std::string Driver;        // "ftdi_sio", "cdc_acm", "serial"...; empty when unknown
  std::string Manufacturer;  // USB strings as the system reports them (UTF-8)
  std::string Product;
  std::string Serial;
  std::string VendorId;      // "0403"
  std::string ProductId;     // "6001"
  PortAccess Access = PortAccess::Absent;

  // The name to bind a port to: the by-id link survives replugging into
  // another socket or a renumbering; the node name does not.
  const std::string& StablePath() const { return ById.empty() ? Path : ById; }
  // Windows-1251, for the port dialog: "FTDI FT232R USB UART (A10K4XYZ)",
  // "USB 0403:6001" when the device names nothing, "Встроенный порт".
  std::string Description() const;
};

// How a device path is found usable, busy, not permitted or absent. Tests
// inject their own; running as root they cannot be refused a device.
using AccessProbe = std::function<PortAccess(const std::string& path)>;

// An exclusive open attempt as the serial line makes it (not blocking, not
// becoming the controlling terminal, the lock that copies of this program
// take, and the exclusive mode of a terminal held by another program), closed
// at once. A path that opens but is no terminal counts as absent.
PortAccess ProbeDeviceAccess(const std::string& path);

// Every serial device, built-in UARTs first, then ttyUSB and ttyACM, each in
// number order. A node that exists without sysfs entry is listed with what
// its name says; a sysfs entry without node is listed absent.
std::vector<SERIALDEV> ListSerialDevices(const AccessProbe& probe = ProbeDeviceAccess);

// ---------------------------------------------------------------- port map

// The bounds within which the lookup of a port reads the file.
inline constexpr size_t kPortMapMaxBytes = 64 * 1024;
inline constexpr size_t kPortMapMaxLine = 4096;

struct PORTMAPLINE {
  int32_t Number = 0;  // n of "COM<n>"
  std::string Path;
  int32_t Line = 0;    // 1-based line of the file that gives it
};

// The entries of a port map file by the rules of the port lookup: blank lines
// and '#' comments skipped, "COM<n>=PATH" with the key in any letter case and
// blanks around key and path, malformed lines skipped, the last line of a port
// winning; ascending by port number.
std::vector<PORTMAPLINE> ParsePortMap(std::string_view text);

// The text with port `number` bound to `path`: its first line is rewritten in
// place, later lines for the port are commented out ("# " before them), or a
// line is appended. Every other line, comment and line end stays as it was.
// An empty path unbinds: every line for the port is commented out.
std::string RebindPortMapText(std::string_view text, int number, const std::string& path);

// Binds COM<number> (1 to 9) in the port map file, creating it when missing,
// rewriting it atomically (a temporary file in its folder renamed over it;
// its mode is kept). False, with `message` in Windows-1251, when the number
// or path cannot be written, or the file is unreadable, no regular file, or
// would grow beyond the lookup's bound; the file is then as it was.
bool BindPort(const std::string& file, int number, const std::string& path, std::string& message);
// By the device's stable name.
bool BindDevice(const std::string& file, int number, const SERIALDEV& device, std::string& message);
bool UnbindPort(const std::string& file, int number, std::string& message);

struct MAPPEDPORT {
  int32_t Number = 0;
  std::string Path;             // as the file gives it
  int32_t Line = 0;
  bool Overridden = false;      // TGX_COM<n> is set: the program uses that instead
  std::string Device;           // the device the path leads to now ("ttyUSB1"), or the name of the
                                // file it resolves to when that is no listed device; empty when none
  std::string Description;      // of that device, Windows-1251; empty when none
  PortAccess Access = PortAccess::Absent;  // of the path: a device unplugged is absent
};

// The file's entries with where each leads now. A missing or unreadable file
// has none.
std::vector<MAPPEDPORT> ListPortMap(const std::string& file, const AccessProbe& probe = ProbeDeviceAccess);
