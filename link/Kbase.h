#pragma once
// Link transport: one transaction with the unit (KDRT) and the two ways the
// program uses transactions, single and handshaked (KMASTER).
//
// A transaction is a command byte out, a status byte in and, when the status is
// 0, a data block in either direction. The wire has no frames: both sides know
// the block length, and integrity rests on an XOR byte after longer blocks and
// on a deadline for every byte. Nothing is retried here.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "link/Codes.h"
#include "model/Xstream.h"

class PCI;

class KDRT {
 public:
  // Modes, byte errors and result codes are those of link/Codes.h.
  static constexpr int32_t kDataByteTimeoutMs = 50;
  static constexpr int32_t kProgressMinBlock = 1024;
  // A read block whose unit has sent nothing for this long is over: the rest
  // is not coming, and waiting out every byte's deadline would take minutes.
  static constexpr int32_t kBlockSilenceMs = 1000;

  KDRT(PCI& line, DATA& data, int32_t replyTimeoutMs);
  virtual ~KDRT() = default;
  KDRT(const KDRT&) = delete;
  KDRT& operator=(const KDRT&) = delete;

  // One transaction; the result code. kModeWrite sends n bytes from src;
  // kModeRead receives n bytes into the data buffer.
  virtual int32_t Exchange(uint8_t code, uint8_t subAddress, const void* src, int32_t n, int32_t mode);

  void SetReplyTimeout(int32_t ms) { replyTimeout_ = ms; }
  int32_t ReplyTimeout() const { return replyTimeout_; }
  void SetLogging(bool on) { logging_ = on; }
  bool Logging() const { return logging_; }
  void SetProgress(std::atomic<int32_t>* progress) { progress_ = progress; }
  void SetCancelFlag(std::atomic<bool>* cancel) { cancel_ = cancel; }
  void SetLongestWait(std::atomic<int32_t>* longestWait) { longestWait_ = longestWait; }

  int32_t Status() const { return status_; }
  int32_t Result() const { return result_; }
  int32_t ByteError() const { return byteError_; }
  int32_t StatusWait() const { return statusWait_; }
  int32_t AckWait() const { return ackWait_; }
  int32_t DataWait() const { return dataWait_; }
  const DATA& SentLog() const { return sentLog_; }
  const DATA& ReceivedLog() const { return receivedLog_; }

 private:
  bool Cancelled() const { return cancel_ != nullptr && cancel_->load(); }
  // Waits up to timeoutMs for one byte and raises `longest` by the time it
  // took; on failure byteError_ says why.
  bool WaitByte(int32_t timeoutMs, int32_t& longest, uint8_t& b);
  void SendByte(uint8_t b);
  void ReportProgress(int32_t i, int32_t n);
  int32_t ReadBlock(int32_t n);
  int32_t WriteBlock(int32_t n);

  PCI& line_;
  DATA& data_;
  std::atomic<int32_t>* progress_ = nullptr;
  std::atomic<bool>* cancel_ = nullptr;
  std::atomic<int32_t>* longestWait_ = nullptr;
  int32_t byteError_ = 0;
  DATA sentLog_;
  DATA receivedLog_;
  int32_t status_ = 0;
  int32_t result_ = 0;
  int32_t replyTimeout_;
  int32_t statusWait_ = 0;
  int32_t ackWait_ = 0;
  int32_t dataWait_ = 0;
  bool logging_ = false;
};

class KMASTER {
 public:
  KMASTER(PCI& line, int32_t replyTimeoutMs);
  KMASTER(const KMASTER&) = delete;
  KMASTER& operator=(const KMASTER&) = delete;

  // One transaction; true when it completed (the status may still be non-zero).
  bool Request(uint8_t code, uint8_t subAddress, const void* src, int32_t n, int32_t mode);
  // Handshake, parameter block, then the transaction; on any failure the unit
  // is told to abort with request 15 and the result is false.
  bool Transfer(uint8_t code, uint8_t subAddress, const void* src, int32_t n, int32_t mode);

  KDRT& Drt() { return *drt_; }
  const KDRT& Drt() const { return *drt_; }
  const DATA& Data() const { return data_; }
  std::string Log() const { return log_; }
  int32_t Status() const { return drt_->Status(); }

 private:
  // Runs one exchange and appends its log segment; true when the result is 0.
  bool Step(uint8_t code, uint8_t subAddress, const void* src, int32_t n, int32_t mode);
  void AppendSegment();
  bool Abort();

  std::unique_ptr<KDRT> drt_;
  std::string log_;
  DATA data_;
  int32_t replyTimeout_;
};
