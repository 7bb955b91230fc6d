#pragma once
// Serial lines: one open line (PCI), the port map that turns the operator's
// "COM<n>" into a device path, and the list of usable ports for the dialogs.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "model/Xcol.h"

// ---------------------------------------------------------------- port map
// Port index n (shown as "COM<n+1>") reaches a device by, strongest first:
// the environment variable TGX_COM<n+1>=PATH, a line "COM<n+1>=PATH" of the
// port map file, and the default /dev/ttyS<n>.

// The program points this at "tgx.ports" beside its configuration file; an
// empty path switches the file off. The file is read again on every lookup, so
// an edit takes effect without a restart.
void SetPortMapFile(const std::string& path);
std::string PortMapFile();

// Device path of a port index; empty for a negative index.
std::string PortDevicePath(int index);

// "COM" + (index + 1), the only name the operator ever sees.
std::string PortName(int index);
// The index of a port name: "COM<n>" in any letter case with n from 1 to
// kMaxPortNumber (leading zeros allowed), else -1. The port map's keys and
// tgxctl's --port are read with it.
constexpr int kMaxPortNumber = 128;  // port indices are signed 8-bit
int PortIndexOfName(const std::string& name);

// Why a port is or is not listed; the port dialog shows it as a tooltip and
// NoPermission points the operator to the dialout group.
enum class PortAccess { Usable, Absent, Busy, NoPermission };
PortAccess ProbePortAccess(int index);

// ---------------------------------------------------------------- one line
// Line settings as indexes into PCI's tables.
struct LineSettings {
  int8_t BaudIndex;
  int8_t Parity;  // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int8_t DataBitsIndex;
  int8_t StopBits;  // 0 one, 1 one and a half, 2 two
};
// The unit's fixed line: 9600 baud, even parity, 8 data bits, one stop bit.
inline constexpr LineSettings kUnitLine{7, 2, 4, 0};

class PCI {
 public:
  static constexpr int kBaudCount = 14;
  static constexpr int32_t kBaudTable[kBaudCount] = {75,    110,   300,   600,   1200,  2400,  4800,
                                                     9600,  14400, 19200, 38400, 56000, 57600, 115200};
  static constexpr int kDataBitsCount = 5;
  static constexpr int32_t kDataBitsTable[kDataBitsCount] = {4, 5, 6, 7, 8};

  // Open results.
  static constexpr int32_t kOpenOk = 0;
  static constexpr int32_t kOpenNoDevice = 1;     // absent, busy or not permitted
  static constexpr int32_t kOpenBadSettings = 2;  // settings out of their tables
  static constexpr int32_t kOpenRefused = 3;      // the device refused the settings

  // GetByte statuses.
  static constexpr int32_t kGetOk = 0;
  static constexpr int32_t kGetFailed = 1;
  static constexpr int32_t kGetTimeout = 2;

  PCI();
  ~PCI();
  PCI(const PCI&) = delete;
  PCI& operator=(const PCI&) = delete;

  // Note the order: parity before the data-bits index.
  int32_t SetLine(int8_t portIndex, int8_t baudIndex, int8_t parity, int8_t dataBitsIndex, int8_t stopBits,
                  int8_t spare);
  int32_t SetLine(int8_t portIndex, const LineSettings& line) {
    return SetLine(portIndex, line.BaudIndex, line.Parity, line.DataBitsIndex, line.StopBits, 0);
  }
  int32_t Open();
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  bool PutByte(uint8_t b);
  // Status kGetOk, kGetFailed or kGetTimeout (the byte is then 0).
  uint8_t GetByte(int32_t& status);
  void Purge();
  void SetReadTimeout(uint32_t ms);
  // Time the bytes written so far still need on the line at its speed; a
  // read's time-out starts after it.
  int32_t PendingSendMs() const;
  // Drops what the line has not sent yet (a cancelled block) and takes the
  // line as free.
  void DiscardOutput();

  // Raised, the flag ends any wait of PutByte or GetByte within kWaitSliceMs
  // (GetByte then reports kGetFailed, PutByte false).
  static constexpr int32_t kWaitSliceMs = 20;
  void SetCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }
  // Bytes since the line was opened: written (queued), and of those the ones
  // that have left the line, and received. `wire`, when set, follows
  // BytesOnWire() while the line waits.
  int64_t BytesWritten() const { return written_; }
  int64_t BytesReceived() const { return received_; }
  int64_t BytesOnWire() const;
  void SetWireCounter(std::atomic<int64_t>* wire) { wire_ = wire; }

  // A device path used instead of the port map (tgxctl --device, tests);
  // empty returns to the port map.
  void SetDevicePath(const std::string& path) { devicePath_ = path; }
  const std::string& DevicePath() const { return devicePath_; }
  // The device path that Open uses.
  std::string TargetPath() const;

  int8_t PortIndex() const { return portIndex_; }
  // errno of the last failed open step, 0 after a success.
  int LastErrno() const { return lastErrno_; }

 private:
  struct Timeouts {
    uint32_t readInterval = 0xFFFFFFFFu;
    uint32_t readTotalMultiplier = 0xFFFFFFFFu;
    uint32_t readTotalConstant = 10;
    uint32_t writeTotalMultiplier = 50;
    uint32_t writeTotalConstant = 0;
  };

  // Bytes that a serial driver or a pseudo-terminal may hold unsent; a byte
  // that finds the queue full may wait for this many to go out.
  static constexpr int32_t kOutputQueueBytes = 8192;

  int fd_ = -1;
  Timeouts timeouts_;
  int32_t lineBaud_ = 9600;
  int32_t frameBits_ = 11;
  std::chrono::steady_clock::time_point lineFreeAt_{};
  bool writeStalled_ = false;
  // A line used without SetLine opens COM1 as the unit's line.
  int8_t portIndex_ = 0;
  int8_t baudIndex_ = kUnitLine.BaudIndex;
  int8_t dataBitsIndex_ = kUnitLine.DataBitsIndex;
  int8_t parity_ = kUnitLine.Parity;
  int8_t stopBits_ = kUnitLine.StopBits;
  int8_t spare_ = 0;
  std::string devicePath_;
  int lastErrno_ = 0;
  const std::atomic<bool>* cancel_ = nullptr;
  std::atomic<int64_t>* wire_ = nullptr;
  int64_t written_ = 0;
  int64_t received_ = 0;

  bool Cancelled() const { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }
  // Bytes written that the line has not sent yet: the device's own count
  // where it keeps one, else the line-speed estimate.
  int64_t UnsentBytes() const;
  void PublishWire() const;
};

// ---------------------------------------------------------------- open failures
// The reason line under the status text when a port does not open: the port
// is missing, not permitted (and whether the user lacks the device's group),
// or held by another program. `openCode` is the errno of the failed open
// (PCI::LastErrno). With a device path and a negative index only the path is
// named. Windows-1251.
std::string PortFailureText(int32_t openCode, int portIndex);
std::string PortFailureText(int32_t openCode, int portIndex, const std::string& devicePath);

// ---------------------------------------------------------------- port list
class TPort {
 public:
  TPort(int32_t index, std::string description);
  virtual ~TPort() = default;

  int32_t Index;
  std::string Name;
  std::string Description;
};

class TPortCollection : public TXCollection<TPort> {
 public:
  static constexpr int kProbedPorts = 9;  // COM1 to COM9

  // True when the port opens with the unit's line settings.
  static bool ProbePort(int index);
  // Lists the usable ports among COM1 to COM9, ascending, without descriptions.
  void Enumerate();
  // Does nothing when a port with that index is already listed.
  void AddPort(int32_t index, const std::string& description);
};
