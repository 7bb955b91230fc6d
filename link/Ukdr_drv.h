#pragma once
// The one object through which the program talks to the computing unit: it
// owns the serial line and the transport and offers the unit's requests by name.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "model/Xstream.h"

class PCI;
class KMASTER;

class UKEDR_DRV {
 public:
  static constexpr int32_t kDefaultReplyTimeoutMs = 500;

  UKEDR_DRV();
  ~UKEDR_DRV();
  UKEDR_DRV(const UKEDR_DRV&) = delete;
  UKEDR_DRV& operator=(const UKEDR_DRV&) = delete;

  // Opens "COM<port+1>" through the port map as the unit's line (kUnitLine);
  // sets the reply time-out also when the port could not be opened. True when
  // the line is open.
  bool OpenLink(int32_t portIndex, int32_t replyTimeoutMs);
  // The same with an explicit device path instead of the port map.
  bool OpenDevice(const std::string& devicePath, int32_t replyTimeoutMs);
  void CloseLink();

  void SetCancelFlag(std::atomic<bool>* cancel);
  void SetProgress(std::atomic<int32_t>* progress);
  void SetLongestWait(std::atomic<int32_t>* longestWait);
  void SetLogging(bool on);
  // Follows the bytes that have left the line or arrived (PCI::BytesOnWire).
  void SetWireCounter(std::atomic<int64_t>* wire);
  // Bytes written and received since the line was opened.
  int64_t BytesExchanged() const;
  // errno of the last failed open, 0 after a success.
  int LastOpenErrno() const;

  int32_t LastStatus() const;        // kStatusLinkFailure after a failure
  std::string LogText() const;       // transport log of the last request
  const DATA& DataBuffer() const;    // data phase of the last transaction

  bool QuickRead(uint8_t code, uint8_t subAddress, void* dst, int32_t n);
  bool QuickCommand(uint8_t code);
  bool ReadBlock(uint8_t code, void* dst, int32_t n);
  bool WriteBlock(uint8_t code, const void* src, int32_t n);
  bool Command(uint8_t code);
  bool PanelStart();
  bool PanelKey(int32_t n, int32_t key);
  bool PanelPoll(int32_t n);
  // success; `known` and `code` as the unit reports them (VersionCodeOfBytes).
  bool QueryVersion(bool& known, int32_t& code);

 private:
  std::unique_ptr<PCI> line_;
  std::unique_ptr<KMASTER> master_;
};
