#pragma once
// Serial lines: one open line (PCI), the port map that turns the operator's
// "COM<n>" into a device path, and the list of usable ports for the dialogs.

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

// Why a port is or is not listed; the port dialog shows it as a tooltip and
// NoPermission points the operator to the dialout group.
enum class PortAccess { Usable, Absent, Busy, NoPermission };
PortAccess ProbePortAccess(int index);

// ---------------------------------------------------------------- one line
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
  static constexpr int32_t kByteOk = 0;
  static constexpr int32_t kByteFailed = 1;
  static constexpr int32_t kByteTimeout = 2;

  PCI();
  ~PCI();
  PCI(const PCI&) = delete;
  PCI& operator=(const PCI&) = delete;

  // Note the order: parity before the data-bits index.
  int32_t SetLine(int8_t portIndex, int8_t baudIndex, int8_t parity, int8_t dataBitsIndex, int8_t stopBits,
                  int8_t spare);
  int32_t Open();
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  bool PutByte(uint8_t b);
  // Status kByteOk, kByteFailed or kByteTimeout (the byte is then 0).
  uint8_t GetByte(int32_t& status);
  void Purge();
  void SetReadTimeout(uint32_t ms);
  // Time the bytes written so far still need on the line at its speed; a
  // read's time-out starts after it.
  int32_t PendingSendMs() const;

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
  int8_t portIndex_ = 0;
  int8_t baudIndex_ = 7;
  int8_t dataBitsIndex_ = 4;
  int8_t parity_ = 2;
  int8_t stopBits_ = 0;
  int8_t spare_ = 0;
  std::string devicePath_;
  int lastErrno_ = 0;
};

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

  // True when the port opens with the default line settings.
  static bool ProbePort(int index);
  // Lists the usable ports among COM1 to COM9, ascending, without descriptions.
  void Enumerate();
  // Does nothing when a port with that index is already listed.
  void AddPort(int32_t index, const std::string& description);
};
