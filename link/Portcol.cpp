#include "link/Portcol.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

#include "model/Cp1251.h"
#include "model/Regfile.h"

namespace {

constexpr size_t kMaxPortMapBytes = 64 * 1024;  // a hand-written file is far smaller
constexpr size_t kMaxPortMapLine = 4096;

std::mutex g_map_mutex;
std::string g_map_file;

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

// The path that the map file gives to port number n (1-based), or empty.
// Malformed lines are skipped so that one typo does not hide the other ports;
// a later line for the same port wins.
std::string LookupMapFile(const std::string& file, int number) {
  if (file.empty()) return {};
  // Only a regular file, and only as much as a hand-written map can hold: a
  // FIFO or a device given as the map reads as no map at all, a huge file as
  // its beginning.
  std::string text;
  const RegFileStatus status = ReadRegularFile(file, kMaxPortMapBytes, text);
  if (status != RegFileStatus::Ok && status != RegFileStatus::TooLarge) return {};
  std::string found;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const size_t length = end - start;
    const std::string line = length > kMaxPortMapLine ? std::string() : text.substr(start, length);
    start = end + 1;
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    const auto eq = t.find('=');
    if (eq == std::string::npos) continue;
    if (PortIndexOfName(Trim(t.substr(0, eq))) != number - 1) continue;
    const std::string path = Trim(t.substr(eq + 1));
    if (!path.empty()) found = path;
  }
  return found;
}

speed_t SpeedOfBaud(int32_t baud) {
  switch (baud) {
    case 75: return B75;
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;  // 14400 and 56000 have no termios speed
  }
}

bool LineMatches(const termios& want, const termios& got) {
  // Everything but parity (see Open).
  const tcflag_t cflagMask = CSIZE | CSTOPB | CLOCAL | CREAD | CRTSCTS;
  return ::cfgetospeed(&got) == ::cfgetospeed(&want) && ::cfgetispeed(&got) == ::cfgetispeed(&want) &&
         (got.c_cflag & cflagMask) == (want.c_cflag & cflagMask) &&
         (got.c_iflag & ~static_cast<tcflag_t>(INPCK)) == (want.c_iflag & ~static_cast<tcflag_t>(INPCK)) &&
         got.c_oflag == want.c_oflag && got.c_lflag == want.c_lflag && got.c_cc[VMIN] == want.c_cc[VMIN] &&
         got.c_cc[VTIME] == want.c_cc[VTIME];
}

bool IsNoModemLinesError(int err) { return err == ENOTTY || err == EINVAL; }

}  // namespace

// ---------------------------------------------------------------- port map

void SetPortMapFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_map_mutex);
  g_map_file = path;
}

std::string PortMapFile() {
  std::lock_guard<std::mutex> lock(g_map_mutex);
  return g_map_file;
}

std::string PortDevicePath(int index) {
  if (index < 0) return {};
  const int number = index + 1;
  const std::string var = "TGX_COM" + std::to_string(number);
  if (const char* env = std::getenv(var.c_str()); env != nullptr && *env != '\0') return env;
  if (number <= kMaxPortNumber) {
    std::string mapped = LookupMapFile(PortMapFile(), number);
    if (!mapped.empty()) return mapped;
  }
  return "/dev/ttyS" + std::to_string(index);
}

std::string PortName(int index) { return "COM" + std::to_string(index + 1); }

int PortIndexOfName(const std::string& name) {
  // Three digits hold every number up to kMaxPortNumber.
  if (name.size() < 4 || name.size() > 6) return -1;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return -1;
  }
  int n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    n = n * 10 + (name[i] - '0');
  }
  return n >= 1 && n <= kMaxPortNumber ? n - 1 : -1;
}

PortAccess ProbePortAccess(int index) {
  if (index < 0 || index >= kMaxPortNumber) return PortAccess::Absent;
  PCI line;
  if (line.SetLine(static_cast<int8_t>(index), kUnitLine) == PCI::kOpenOk) return PortAccess::Usable;
  switch (line.LastErrno()) {
    case EACCES:
    case EPERM:
      return PortAccess::NoPermission;
    case EBUSY:
    case EWOULDBLOCK:
      return PortAccess::Busy;
    default:
      return PortAccess::Absent;  // missing, no hardware behind it, or not a serial line
  }
}

// ---------------------------------------------------------------- PCI

PCI::PCI() = default;

PCI::~PCI() { Close(); }

int32_t PCI::SetLine(int8_t portIndex, int8_t baudIndex, int8_t parity, int8_t dataBitsIndex, int8_t stopBits,
                     int8_t spare) {
  portIndex_ = portIndex;
  baudIndex_ = baudIndex;
  parity_ = parity;
  dataBitsIndex_ = dataBitsIndex;
  stopBits_ = stopBits;
  spare_ = spare;
  return Open();
}

std::string PCI::TargetPath() const { return devicePath_.empty() ? PortDevicePath(portIndex_) : devicePath_; }

int32_t PCI::Open() {
  // Settings outside their tables cannot describe a line: nothing is opened.
  if (baudIndex_ < 0 || baudIndex_ >= kBaudCount || dataBitsIndex_ < 0 || dataBitsIndex_ >= kDataBitsCount ||
      parity_ < 0 || parity_ > 4 || stopBits_ < 0 || stopBits_ > 2) {
    lastErrno_ = EINVAL;
    return kOpenBadSettings;
  }

  Close();

  const std::string path = TargetPath();
  // Non-blocking so that the open never waits for a carrier; reads and writes
  // wait through poll with their own time-outs anyway.
  const int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    lastErrno_ = path.empty() ? ENOENT : errno;
    return kOpenNoDevice;
  }
  // TIOCEXCL keeps other users out but not root; the lock also catches a
  // second copy of this program (or the remote panel) running as root.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    lastErrno_ = errno;
    ::close(fd);
    return kOpenNoDevice;
  }

  auto refuse = [this, fd](int err) {
    lastErrno_ = err != 0 ? err : EINVAL;
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return kOpenRefused;
  };
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return refuse(errno);  // not a terminal
  ::ioctl(fd, TIOCEXCL);

  const speed_t speed = SpeedOfBaud(kBaudTable[baudIndex_]);
  const int32_t bits = kDataBitsTable[dataBitsIndex_];
  // No termios equivalent for 14400 and 56000 baud, four data bits or one and
  // a half stop bits: the device refuses rather than run at a wrong speed.
  if (speed == B0 || bits < 5 || stopBits_ == 1) return refuse(EINVAL);

  ::cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD;
  switch (bits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
  }
  switch (parity_) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;  // mark
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;           // space
    default: break;
  }
  if (parity_ != 0) tio.c_iflag |= INPCK;
  if (stopBits_ == 2) tio.c_cflag |= CSTOPB;
  // With one byte as the minimum a non-blocking read of an empty line says
  // EAGAIN, so a read of 0 bytes can only mean the other end hung up.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);

  // tcsetattr reports success when any part was taken and failure when none
  // was, so its result alone says little: read the line back instead. A
  // pseudo-terminal drops the parity bits (it has no parity to check) and
  // reports failure once nothing else is left to change; everything else has
  // to be as asked.
  errno = 0;
  ::tcsetattr(fd, TCSANOW, &tio);
  termios applied{};
  if (::tcgetattr(fd, &applied) != 0 || !LineMatches(tio, applied)) return refuse(errno);

  // The unit's line interface wants DTR on and RTS off. A pseudo-terminal
  // has no modem lines; that is not a refusal.
  int dtr = TIOCM_DTR;
  int rts = TIOCM_RTS;
  if (::ioctl(fd, TIOCMBIS, &dtr) != 0 && !IsNoModemLinesError(errno)) return refuse(errno);
  if (::ioctl(fd, TIOCMBIC, &rts) != 0 && !IsNoModemLinesError(errno)) return refuse(errno);

  ::tcflush(fd, TCIFLUSH);
  fd_ = fd;
  lineBaud_ = kBaudTable[baudIndex_];
  // start bit, data bits, parity bit, stop bits
  frameBits_ = 1 + bits + (parity_ != 0 ? 1 : 0) + (stopBits_ == 2 ? 2 : 1);
  lineFreeAt_ = std::chrono::steady_clock::now();
  writeStalled_ = false;
  lastErrno_ = 0;
  written_ = 0;
  received_ = 0;
  return kOpenOk;
}

void PCI::Close() {
  if (fd_ < 0) return;
  // Exclusive mode stays on the terminal after close while the other end
  // (a pseudo-terminal's master) lives; give it back so the port reopens.
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
}

bool PCI::PutByte(uint8_t b) {
  if (!IsOpen()) Open();
  if (!IsOpen()) return false;
  using Clock = std::chrono::steady_clock;
  // The kernel queues what we write. A byte waits for room only while the
  // queue ahead of it drains, which at the line's speed takes far longer than
  // the per-byte write time-out; it gets that time-out on top. Once a wait has
  // run out the line is taken as stuck and later bytes fail at once until the
  // queue moves again, so a dead peer costs one wait, not one per byte.
  const int64_t drainMs = static_cast<int64_t>(kOutputQueueBytes) * frameBits_ * 1000 / std::max(1, lineBaud_);
  const auto deadline = Clock::now() + std::chrono::milliseconds(drainMs + timeouts_.writeTotalMultiplier +
                                                                 timeouts_.writeTotalConstant);
  for (;;) {
    if (Cancelled()) return false;
    // Judged before the attempt: a thread kept off the processor past the
    // deadline still gets one try at a queue that has drained meanwhile.
    const bool expired = Clock::now() >= deadline;
    const ssize_t w = ::write(fd_, &b, 1);
    if (w == 1) {
      writeStalled_ = false;
      const auto now = Clock::now();
      const auto frame = std::chrono::microseconds(static_cast<int64_t>(frameBits_) * 1000000 / std::max(1, lineBaud_));
      lineFreeAt_ = std::max(now, lineFreeAt_) + frame;
      ++written_;
      PublishWire();
      return true;
    }
    if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (writeStalled_) return false;
    if (expired) {
      writeStalled_ = true;
      return false;
    }
    const auto left = std::max<int64_t>(
        1, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
    // In slices, so that a cancel is seen while the queue drains.
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, kWaitSliceMs))) < 0 && errno != EINTR) return false;
    PublishWire();
  }
}

uint8_t PCI::GetByte(int32_t& status) {
  if (!IsOpen()) Open();
  if (!IsOpen()) {
    status = kGetFailed;
    return 0;
  }
  using Clock = std::chrono::steady_clock;
  const uint32_t total = std::min<uint32_t>(timeouts_.readTotalConstant, INT_MAX / 2);
  // The time-out runs from when the bytes written so far have left the line:
  // an answer cannot come before the unit has heard the question, and the
  // kernel may still hold much of a long block when the last byte is queued.
  const auto deadline = std::max(Clock::now(), lineFreeAt_) + std::chrono::milliseconds(total);
  for (;;) {
    // Judged before the read: a byte that reached the terminal in time counts
    // even when this thread was kept off the processor past the deadline (a
    // busy machine preempts at the return from the read). Otherwise a unit
    // that answered in time would be reported silent.
    const bool expired = Clock::now() >= deadline;
    uint8_t b = 0;
    const ssize_t r = ::read(fd_, &b, 1);
    if (r == 1) {
      // The unit answers only what it has heard: whatever was written is off
      // the line now, even if the line is faster than its stated speed.
      lineFreeAt_ = std::min(lineFreeAt_, Clock::now());
      ++received_;
      PublishWire();
      status = kGetOk;
      return b;
    }
    // 0 is end of file: the other end hung up.
    if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
      status = kGetFailed;
      return 0;
    }
    if (Cancelled()) {
      status = kGetFailed;
      return 0;
    }
    if (expired) {
      status = kGetTimeout;
      return 0;
    }
    const auto left = std::max<int64_t>(
        1, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
    // In slices: a cancel is seen, and the wire count moves while the line
    // still sends what was written before the wait.
    pollfd p{fd_, POLLIN, 0};
    const int pr = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, kWaitSliceMs)));
    PublishWire();
    if (pr < 0 && errno != EINTR) {
      status = kGetFailed;
      return 0;
    }
    if (pr > 0 && (p.revents & POLLIN) == 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      status = kGetFailed;
      return 0;
    }
  }
}

void PCI::Purge() {
  if (!IsOpen()) Open();
  if (IsOpen()) ::tcflush(fd_, TCIFLUSH);
}

void PCI::SetReadTimeout(uint32_t ms) { timeouts_.readTotalConstant = ms; }

int32_t PCI::PendingSendMs() const {
  if (!IsOpen()) return 0;
  const auto left = lineFreeAt_ - std::chrono::steady_clock::now();
  return left.count() > 0 ? static_cast<int32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count())
                          : 0;
}

void PCI::DiscardOutput() {
  if (!IsOpen()) return;
  ::tcflush(fd_, TCOFLUSH);
  const int64_t unsent = UnsentBytes();
  written_ -= std::min(unsent, written_);
  lineFreeAt_ = std::chrono::steady_clock::now();
  writeStalled_ = false;
}

int64_t PCI::UnsentBytes() const {
  if (!IsOpen()) return 0;
  // A pseudo-terminal says 0 whatever it holds, and an adapter may count only
  // its host side: the larger of the device's count and the estimate keeps
  // the wire count from running ahead of the line.
  int queued = 0;
  if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued < 0) queued = 0;
  const auto left = lineFreeAt_ - std::chrono::steady_clock::now();
  int64_t estimated = 0;
  if (left.count() > 0) {
    const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
    const int64_t frameUs = std::max<int64_t>(1, static_cast<int64_t>(frameBits_) * 1000000 / std::max(1, lineBaud_));
    estimated = (us + frameUs - 1) / frameUs;
  }
  return std::min(written_, std::max<int64_t>(queued, estimated));
}

int64_t PCI::BytesOnWire() const { return written_ - UnsentBytes() + received_; }

void PCI::PublishWire() const {
  if (wire_ == nullptr) return;
  // Only the line's thread writes it; the count never goes back.
  const int64_t now = BytesOnWire();
  if (now > wire_->load(std::memory_order_relaxed)) wire_->store(now, std::memory_order_relaxed);
}

// ---------------------------------------------------------------- open failures

namespace {
// Whether the process is a member of group `gid`.
bool InGroup(gid_t gid) {
  if (::getegid() == gid) return true;
  const int n = ::getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(n));
  const int got = ::getgroups(n, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

std::string GroupName(gid_t gid) {
  std::vector<char> buf(4096);
  group g{};
  group* found = nullptr;
  if (::getgrgid_r(gid, &g, buf.data(), buf.size(), &found) == 0 && found != nullptr) return found->gr_name;
  return std::to_string(gid);
}
}  // namespace

std::string PortFailureText(int32_t openCode, int portIndex) {
  return PortFailureText(openCode, portIndex, portIndex >= 0 ? PortDevicePath(portIndex) : std::string());
}

std::string PortFailureText(int32_t openCode, int portIndex, const std::string& devicePath) {
  using tgx::FromUtf8;
  // "COM3 (/dev/ttyUSB0)", or the bare path of a session given a device.
  std::string port = portIndex >= 0 ? PortName(portIndex) : std::string();
  if (!devicePath.empty()) port += port.empty() ? devicePath : " (" + devicePath + ")";
  switch (openCode) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
      return FromUtf8("Порт ") + port + FromUtf8(" не найден");
    case EACCES:
    case EPERM: {
      std::string text = FromUtf8("Нет доступа к порту ") + port;
      struct stat st {};
      if (!devicePath.empty() && ::stat(devicePath.c_str(), &st) == 0 && st.st_gid != 0 && !InGroup(st.st_gid))
        text += FromUtf8(": пользователь не в группе ") + GroupName(st.st_gid);
      return text;
    }
    case EBUSY:
    case EWOULDBLOCK:
      return FromUtf8("Порт ") + port + FromUtf8(" занят другой программой");
    case ENOTTY:
      return FromUtf8("Порт ") + port + FromUtf8(" не является последовательным портом");
    default:
      return FromUtf8("Порт ") + port + FromUtf8(" не открывается (ошибка ") + std::to_string(openCode) + ")";
  }
}

// ---------------------------------------------------------------- port list

TPort::TPort(int32_t index, std::string description)
    : Index(index), Name(PortName(index)), Description(std::move(description)) {}

bool TPortCollection::ProbePort(int index) { return ProbePortAccess(index) == PortAccess::Usable; }

void TPortCollection::Enumerate() {
  Clear();
  for (int i = 0; i < kProbedPorts; ++i) {
    if (ProbePort(i)) AddPort(i, "");
  }
}

void TPortCollection::AddPort(int32_t index, const std::string& description) {
  for (int i = 0; i < Count(); ++i) {
    if (Item(i)->Index == index) return;
  }
  Add(std::make_unique<TPort>(index, description));
}
