// ports: where each of COM1 ... COM9 leads now, and the serial devices that no
// port reaches, so that a script can see what to bind before a session.

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/core/Syscfg.h"
#include "link/Portcol.h"
#include "link/Serialdevs.h"
#include "model/Cp1251.h"
#include "tgxctl/Commands.h"
#include "tgxctl/Output.h"

namespace tgxctl {
namespace {
namespace fs = std::filesystem;

// The operator's ports: the ones the windows offer.
constexpr int kListedPorts = 9;

const char* AccessWord(PortAccess a) {
  switch (a) {
    case PortAccess::Usable:
      return "usable";
    case PortAccess::Busy:
      return "busy";
    case PortAccess::NoPermission:
      return "no-permission";
    case PortAccess::Absent:
      break;
  }
  return "absent";
}

// The file a path leads to after its links; the path itself when it leads nowhere.
std::string Resolved(const std::string& path) {
  std::error_code ec;
  const fs::path real = fs::canonical(path, ec);
  return ec ? path : real.string();
}

void Line(const std::string& com, const std::string& path, PortAccess access, const std::string& description) {
  std::string text = com + "\t" + path + "\t" + AccessWord(access) + "\t" + tgx::ToUtf8(description);
  // A path or description with a line end would split the record.
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  Out(text + "\n");
}
}  // namespace

std::string PortsUsage() {
  return "Порты:\n"
         "  tgxctl ports                     COM1 ... COM9 по карте портов (TGX_COMn, tgx.ports, /dev/ttyS<n-1>),\n"
         "                                   затем последовательные устройства без порта (\"-\"): порт, путь,\n"
         "                                   состояние (usable, busy, no-permission, absent), описание\n";
}

int RunPortsCommand(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fputs("tgxctl: ports: лишний аргумент; подробности: tgxctl --help\n", stderr);
    return kExitUsage;
  }
  SetPortMapFile(tgx::PortMapFilePath());
  const std::vector<SERIALDEV> devices = ListSerialDevices();
  std::vector<bool> reached(devices.size(), false);
  for (int index = 0; index < kListedPorts; ++index) {
    const std::string path = PortDevicePath(index);
    const std::string real = Resolved(path);
    std::string description;
    for (size_t d = 0; d < devices.size(); ++d) {
      if (Resolved(devices[d].Path) != real) continue;
      reached[d] = true;
      description = devices[d].Description();
    }
    Line(PortName(index), path, ProbeDeviceAccess(path), description);
  }
  for (size_t d = 0; d < devices.size(); ++d) {
    if (!reached[d]) Line("-", devices[d].StablePath(), devices[d].Access, devices[d].Description());
  }
  return kExitOk;
}
}  // namespace tgxctl
