#include "link/Serialdevs.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "model/Cp1251.h"
#include "model/Safesave.h"

namespace fs = std::filesystem;

namespace {

constexpr int kBindablePorts = TPortCollection::kProbedPorts;  // COM1 to COM9
constexpr size_t kMaxAttributeBytes = 256;  // a USB string is at most 126 characters
// From a tty's device up to its USB device: port, interface, device.
constexpr int kMaxUsbDepth = 6;

struct Family {
  const char* prefix;
  SerialKind kind;
};
// In listing order.
constexpr std::array<Family, 3> kFamilies = {{
    {"ttyS", SerialKind::Builtin},
    {"ttyUSB", SerialKind::UsbSerial},
    {"ttyACM", SerialKind::UsbModem},
}};

std::string Env(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::string(v) : std::string(fallback);
}

// The family and number of a kernel tty name such as "ttyUSB12"; -1 when the
// name is none of ours.
int FamilyOf(const std::string& name, long& number) {
  for (size_t f = 0; f < kFamilies.size(); ++f) {
    const std::string_view prefix = kFamilies[f].prefix;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return -1;
    number = std::strtol(digits.c_str(), nullptr, 10);
    return static_cast<int>(f);
  }
  return -1;
}

// One sysfs attribute, without its line end; empty when it is missing.
std::string Attribute(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  std::string value(kMaxAttributeBytes, '\0');
  ssize_t n;
  do n = ::read(fd, value.data(), value.size());
  while (n < 0 && errno == EINTR);
  ::close(fd);
  value.resize(n > 0 ? static_cast<size_t>(n) : 0);
  while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.pop_back();
  return value;
}

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

// The last part of where a link points: the driver's or the device's name.
std::string LinkName(const fs::path& link) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(link, ec);
  return ec ? std::string() : target.filename().string();
}

// Only a UART with a driver bound and a known type has hardware behind it;
// the 8250 driver registers its ttyS0 ... ttyS31 whether or not a chip
// answers, and leaves the type of the missing ones 0.
bool IsRealUart(const fs::path& tty) {
  if (!Exists(tty / "device") || !Exists(tty / "device" / "driver")) return false;
  const std::string type = Attribute(tty / "type");
  return type != "0";
}

void ReadUsbStrings(const fs::path& tty, SERIALDEV& d) {
  std::error_code ec;
  fs::path at = fs::canonical(tty / "device", ec);
  if (ec) return;
  for (int depth = 0; depth < kMaxUsbDepth && !at.empty() && at != at.root_path(); ++depth, at = at.parent_path()) {
    if (!Exists(at / "idVendor")) continue;
    d.VendorId = Attribute(at / "idVendor");
    d.ProductId = Attribute(at / "idProduct");
    d.Manufacturer = Attribute(at / "manufacturer");
    d.Product = Attribute(at / "product");
    d.Serial = Attribute(at / "serial");
    return;
  }
}

// Kernel name -> by-id link. When several links name one device the first in
// name order is taken, so that the choice does not change between calls.
std::map<std::string, std::string> ByIdLinks(const std::string& dev) {
  std::map<std::string, std::string> links;
  const fs::path folder = fs::path(dev) / "serial" / "by-id";
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string target = LinkName(folder / name);
    if (!target.empty()) links.emplace(target, (folder / name).string());
  }
  return links;
}

std::string Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(first, last - first + 1));
}

// The port a line of the map file sets, with its path (possibly empty); 0 for
// a line that sets none.
int EntryOfLine(std::string_view line, std::string& path) {
  if (line.size() > kPortMapMaxLine) return 0;
  const std::string t = Trim(line);
  if (t.empty() || t[0] == '#') return 0;
  const auto eq = t.find('=');
  if (eq == std::string::npos) return 0;
  path = Trim(std::string_view(t).substr(eq + 1));
  return PortIndexOfName(Trim(std::string_view(t).substr(0, eq))) + 1;
}

// Calls visit(line without '\n', line with it) for every line the lookup
// reads: those that begin within its byte bound.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    const size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    visit(text.substr(pos, end - pos), text.substr(pos, next - pos), pos < kPortMapMaxBytes);
    pos = next;
  }
}

// At most `limit` bytes of a regular file; `whole` tells whether that was all
// of it.
bool ReadSmallFile(const std::string& path, size_t limit, std::string& bytes, bool& missing, bool& whole) {
  missing = false;
  whole = true;
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    missing = errno == ENOENT;
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  bool ok = true;
  char piece[4096];
  for (;;) {
    const ssize_t n = ::read(fd, piece, sizeof piece);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    bytes.append(piece, static_cast<size_t>(n));
    if (bytes.size() > limit) {
      bytes.resize(limit);
      whole = false;
      break;
    }
  }
  ::close(fd);
  return ok;
}

// Through the shared safe save: the program reading the map at any moment
// sees the old file or the new one, never half of one.
bool ReplaceFile(const std::string& target, std::string_view bytes) { return SaveFileSafely(target, bytes); }

std::string Cp(const char* utf8) { return tgx::FromUtf8(utf8); }

std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return {};
  std::string s = real;
  std::free(real);
  return s;
}

}  // namespace

std::string SysfsRoot() { return Env("TGX_SYSFS_ROOT", "/sys"); }
std::string DevRoot() { return Env("TGX_DEV_ROOT", "/dev"); }

std::string SERIALDEV::Description() const {
  if (Kind == SerialKind::Builtin) return Cp("Встроенный порт");
  const auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  std::string text;
  // "FTDI" and "FT232R USB UART" read as one name; a product that already
  // begins with its maker is not prefixed twice.
  if (!Manufacturer.empty() && lower(Product).rfind(lower(Manufacturer), 0) != 0) text = Manufacturer;
  if (!Product.empty()) text += (text.empty() ? "" : " ") + Product;
  if (text.empty()) text = VendorId.empty() ? std::string("USB") : "USB " + VendorId + ":" + ProductId;
  if (!Serial.empty()) text += " (" + Serial + ")";
  std::string out = tgx::FromUtf8(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return out;
}

PortAccess ProbeDeviceAccess(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    switch (errno) {
      case EACCES:
      case EPERM:
        return PortAccess::NoPermission;
      case EBUSY:  // held in exclusive mode by another program
        return PortAccess::Busy;
      default:
        return PortAccess::Absent;  // missing, or no hardware behind the node
    }
  }
  PortAccess access = PortAccess::Usable;
  termios tio{};
  int exclusive = 0;
  if (::tcgetattr(fd, &tio) != 0) {
    access = PortAccess::Absent;  // not a serial line
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    access = PortAccess::Busy;  // another copy of this program, or its remote panel
  } else if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
    access = PortAccess::Busy;  // exclusive mode keeps others out, root excepted
  }
  ::close(fd);  // releases the lock too
  return access;
}

std::vector<SERIALDEV> ListSerialDevices(const AccessProbe& probe) {
  const fs::path sys_tty = fs::path(SysfsRoot()) / "class" / "tty";
  const std::string dev = DevRoot();

  // name -> (family, number), from both places.
  struct Found {
    int family;
    long number;
    std::string name;
  };
  std::vector<Found> found;
  const auto consider = [&](const std::string& name, bool from_sysfs) {
    long number = 0;
    const int family = FamilyOf(name, number);
    if (family < 0) return;
    // A ttyS node always exists; only sysfs tells whether a UART is there.
    if (kFamilies[static_cast<size_t>(family)].kind == SerialKind::Builtin &&
        (!from_sysfs || !IsRealUart(sys_tty / name)))
      return;
    if (std::none_of(found.begin(), found.end(), [&](const Found& f) { return f.name == name; }))
      found.push_back({family, number, name});
  };
  std::error_code ec;
  for (fs::directory_iterator it(sys_tty, ec), end; !ec && it != end; it.increment(ec))
    consider(it->path().filename().string(), true);
  ec.clear();
  for (fs::directory_iterator it(dev, ec), end; !ec && it != end; it.increment(ec))
    consider(it->path().filename().string(), false);
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return a.family != b.family ? a.family < b.family : a.number < b.number;
  });

  const std::map<std::string, std::string> by_id = ByIdLinks(dev);
  std::vector<SERIALDEV> devices;
  devices.reserve(found.size());
  for (const Found& f : found) {
    SERIALDEV d;
    d.Name = f.name;
    d.Kind = kFamilies[static_cast<size_t>(f.family)].kind;
    d.Path = (fs::path(dev) / f.name).string();
    const fs::path tty = sys_tty / f.name;
    d.Driver = LinkName(tty / "device" / "driver");
    if (d.Kind != SerialKind::Builtin) ReadUsbStrings(tty, d);
    if (const auto link = by_id.find(f.name); link != by_id.end()) d.ById = link->second;
    d.Access = probe ? probe(d.Path) : PortAccess::Absent;
    devices.push_back(std::move(d));
  }
  return devices;
}

// ---------------------------------------------------------------- port map

std::vector<PORTMAPLINE> ParsePortMap(std::string_view text) {
  std::map<int, PORTMAPLINE> entries;
  int32_t line_number = 0;
  ForEachLine(text, [&](std::string_view line, std::string_view, bool read) {
    ++line_number;
    std::string path;
    const int number = read ? EntryOfLine(line, path) : 0;
    if (number != 0 && !path.empty()) entries[number] = PORTMAPLINE{number, path, line_number};
  });
  std::vector<PORTMAPLINE> list;
  list.reserve(entries.size());
  for (auto& [number, entry] : entries) list.push_back(std::move(entry));
  return list;
}

std::string RebindPortMapText(std::string_view text, int number, const std::string& path) {
  // New lines end as the file's first line does.
  const size_t first_end = text.find('\n');
  const char* eol = first_end != std::string_view::npos && first_end > 0 && text[first_end - 1] == '\r' ? "\r\n" : "\n";
  const std::string binding = "COM" + std::to_string(number) + "=" + path;
  std::string out;
  out.reserve(text.size() + binding.size() + 4);
  bool bound = path.empty();
  ForEachLine(text, [&](std::string_view line, std::string_view whole, bool read) {
    std::string old_path;
    if (!read || EntryOfLine(line, old_path) != number) {
      out += whole;
    } else if (!bound) {
      // Its own line end, CR LF or LF, if it had one.
      const size_t content = !line.empty() && line.back() == '\r' ? line.size() - 1 : line.size();
      out += binding;
      out += whole.substr(content);
      bound = true;
    } else {
      out += "# ";  // superseded: kept for the reader of the file, not for the lookup
      out += whole;
    }
  });
  if (!bound) {
    if (!out.empty() && out.back() != '\n') out += eol;
    out += binding;
    out += eol;
  }
  return out;
}

bool BindPort(const std::string& file, int number, const std::string& path, std::string& message) {
  message.clear();
  if (number < 1 || number > kBindablePorts) {
    message = Cp("Порт может быть от COM1 до COM9");
    return false;
  }
  // The path has to come back from the file as it went in.
  if (!path.empty() && (path != Trim(path) || path.find_first_of(std::string("\r\n\0", 3)) != std::string::npos ||
                        path.size() + 8 > kPortMapMaxLine)) {
    message = Cp("Недопустимое имя устройства");
    return false;
  }
  if (file.empty()) {
    message = Cp("Файл портов не задан");
    return false;
  }
  std::string old;
  bool missing = false, whole = true;
  if (!ReadSmallFile(file, kPortMapMaxBytes, old, missing, whole) && !missing) {
    message = Cp("Невозможно прочитать файл портов");
    return false;
  }
  const std::string text = RebindPortMapText(old, number, path);
  // Beyond the bound the lookup would not see the new line, and the rest of
  // the file would be lost.
  if (!whole || text.size() > kPortMapMaxBytes) {
    message = Cp("Файл портов слишком велик");
    return false;
  }
  if (text == old && !missing) return true;
  if (!ReplaceFile(file, text)) {
    message = Cp("Невозможно записать файл!");
    return false;
  }
  return true;
}

bool BindDevice(const std::string& file, int number, const SERIALDEV& device, std::string& message) {
  return BindPort(file, number, device.StablePath(), message);
}

bool UnbindPort(const std::string& file, int number, std::string& message) {
  return BindPort(file, number, std::string(), message);
}

std::vector<MAPPEDPORT> ListPortMap(const std::string& file, const AccessProbe& probe) {
  std::vector<MAPPEDPORT> ports;
  std::string text;
  bool missing = false, whole = true;
  // The lookup reads lines that begin within its bound; the last one may run
  // on for a line's length.
  if (file.empty() || !ReadSmallFile(file, kPortMapMaxBytes + kPortMapMaxLine + 1, text, missing, whole))
    return ports;
  const std::vector<PORTMAPLINE> entries = ParsePortMap(text);
  if (entries.empty()) return ports;

  // The devices once, without probing them: only their names and texts.
  std::map<std::string, SERIALDEV> by_real_path;
  for (SERIALDEV& d : ListSerialDevices(AccessProbe())) {
    const std::string real = RealPath(d.Path);
    if (!real.empty()) by_real_path.emplace(real, std::move(d));
  }
  for (const PORTMAPLINE& e : entries) {
    MAPPEDPORT p;
    p.Number = e.Number;
    p.Path = e.Path;
    p.Line = e.Line;
    p.Overridden = !Env(("TGX_COM" + std::to_string(e.Number)).c_str(), "").empty();
    const std::string real = RealPath(e.Path);
    if (const auto d = by_real_path.find(real); !real.empty() && d != by_real_path.end()) {
      p.Device = d->second.Name;
      p.Description = d->second.Description();
    } else if (!real.empty()) {
      p.Device = fs::path(real).filename().string();
    }
    p.Access = probe ? probe(e.Path) : PortAccess::Absent;
    ports.push_back(std::move(p));
  }
  return ports;
}
