#include "link/Kbase.h"

#include <algorithm>
#include <chrono>

#include "link/Portcol.h"
#include "model/Le.h"

// ---------------------------------------------------------------- KDRT

KDRT::KDRT(PCI& line, DATA& data, int32_t replyTimeoutMs)
    : line_(line), data_(data), replyTimeout_(replyTimeoutMs) {}

bool KDRT::WaitByte(int32_t timeoutMs, int32_t& longest, uint8_t& b) {
  b = 0;
  if (Cancelled()) {
    byteError_ = kByteFailed;
    return false;
  }
  // The wait is counted from when the line has sent what was written, as the
  // line's time-out is.
  const int32_t sending = line_.PendingSendMs();
  TIMER watch;
  line_.SetReadTimeout(timeoutMs > 0 ? static_cast<uint32_t>(timeoutMs) : 0u);
  int32_t status = PCI::kGetOk;
  const uint8_t got = line_.GetByte(status);
  const int32_t elapsed = std::max(0, static_cast<int32_t>(watch.Elapsed()) - sending);
  if (elapsed > longest) longest = elapsed;
  // One writer (this thread); the window only reads it.
  if (longestWait_ != nullptr && elapsed > longestWait_->load(std::memory_order_relaxed)) {
    longestWait_->store(elapsed, std::memory_order_relaxed);
  }
  if (status == PCI::kGetTimeout) {
    byteError_ = kByteTimeout;
    return false;
  }
  if (status != PCI::kGetOk || Cancelled()) {
    byteError_ = kByteFailed;
    return false;
  }
  byteError_ = kByteReceived;
  if (logging_) receivedLog_.AppendByte(got);
  b = got;
  return true;
}

void KDRT::SendByte(uint8_t b) {
  line_.PutByte(b);
  if (logging_) sentLog_.AppendByte(b);
}

void KDRT::ReportProgress(int32_t i, int32_t n) {
  if (progress_ == nullptr || n < kProgressMinBlock) return;
  progress_->store(static_cast<int32_t>(static_cast<int64_t>(i) * 100 / n), std::memory_order_relaxed);
}

int32_t KDRT::ReadBlock(int32_t n) {
  uint8_t sum = 0;
  int32_t kept = kByteReceived;  // error of the last byte that failed
  uint8_t* dst = data_.Bytes();
  using Clock = std::chrono::steady_clock;
  auto lastByteAt = Clock::now();
  for (int32_t i = 0; i < n; ++i) {
    uint8_t b = 0;
    // A missing byte does not end the block: the unit keeps sending, and a
    // late stop would leave its bytes to spoil the next transaction. A unit
    // silent for a whole second has stopped, though.
    if (WaitByte(kDataByteTimeoutMs, dataWait_, b)) {
      dst[i] = b;
      sum ^= b;
      lastByteAt = Clock::now();
    } else {
      kept = byteError_;
      if (kept == kByteTimeout && Clock::now() - lastByteAt >= std::chrono::milliseconds(kBlockSilenceMs))
        return BlockResult(kept);
    }
    ReportProgress(i, n);
    if (Cancelled()) return BlockResult(kept);
  }
  if (n >= 2) {
    uint8_t check = 0;
    if (!WaitByte(kDataByteTimeoutMs, dataWait_, check)) {
      kept = byteError_;
    } else if (kept == kByteReceived && check != sum) {
      byteError_ = kByteChecksum;
      return kBlockChecksum;
    }
  }
  return kept == kByteReceived ? kTransactionOk : BlockResult(kept);
}

int32_t KDRT::WriteBlock(int32_t n) {
  uint8_t sum = 0;
  const uint8_t* src = data_.Bytes();
  bool stopped = false;
  for (int32_t i = 0; i < n; ++i) {
    SendByte(src[i]);
    sum ^= src[i];
    ReportProgress(i, n);
    if (Cancelled()) {
      // No checksum, and what the line still holds is dropped: the unit sees
      // a short block, and the acknowledgement wait fails at once.
      line_.DiscardOutput();
      stopped = true;
      break;
    }
  }
  // Two-byte blocks (the handshake echo) go without a checksum.
  if (!stopped && n > 2) SendByte(sum);
  uint8_t ack = 0;
  if (!WaitByte(replyTimeout_, ackWait_, ack)) {
    // Cancelled while the block still waits in the line's queue: the rest
    // must not reach the unit either.
    if (Cancelled()) line_.DiscardOutput();
    return AckWaitResult(byteError_);
  }
  status_ = ack;
  return kTransactionOk;
}

int32_t KDRT::Exchange(uint8_t code, uint8_t subAddress, const void* src, int32_t n, int32_t mode) {
  if (n < 0) n = 0;
  line_.Purge();
  data_.Release();
  sentLog_.Release();
  receivedLog_.Release();
  byteError_ = kByteReceived;
  result_ = kTransactionOk;
  statusWait_ = 0;
  ackWait_ = 0;
  dataWait_ = 0;

  if (n != 0) {
    if (mode == kModeWrite && src != nullptr) {
      data_.Assign(src, n);
    } else {
      // Zeroed, so that a block that never came (a non-zero status) reads as
      // zeros and not as whatever the buffer held.
      data_.SetSizeZeroed(n);
    }
  }

  SendByte(static_cast<uint8_t>(code | (subAddress & 0x0F)));

  uint8_t status = 0;
  if (!WaitByte(replyTimeout_, statusWait_, status)) {
    result_ = StatusWaitResult(byteError_);
  } else {
    status_ = status;
    if (status == kStatusOk && n != 0) {
      if (mode == kModeRead) {
        result_ = ReadBlock(n);
      } else if (mode == kModeWrite) {
        result_ = WriteBlock(n);
      }
    }
  }
  if (result_ != kTransactionOk) status_ = kStatusLinkFailure;
  return result_;
}

// ---------------------------------------------------------------- KMASTER

KMASTER::KMASTER(PCI& line, int32_t replyTimeoutMs)
    : drt_(std::make_unique<KDRT>(line, data_, replyTimeoutMs)), replyTimeout_(replyTimeoutMs) {}

void KMASTER::AppendSegment() {
  log_ += '#';
  log_ += std::to_string(drt_->StatusWait());
  log_ += " >";
  log_ += HexDump(drt_->SentLog());
  log_ += " <";
  log_ += HexDump(drt_->ReceivedLog());
}

bool KMASTER::Step(uint8_t code, uint8_t subAddress, const void* src, int32_t n, int32_t mode) {
  const int32_t result = drt_->Exchange(code, subAddress, src, n, mode);
  AppendSegment();
  return result == kTransactionOk;
}

bool KMASTER::Request(uint8_t code, uint8_t subAddress, const void* src, int32_t n, int32_t mode) {
  log_.clear();
  return Step(code, subAddress, src, n, mode);
}

bool KMASTER::Abort() {
  Step(kReqProbe, 0, nullptr, 0, kModeNone);
  return false;
}

bool KMASTER::Transfer(uint8_t code, uint8_t subAddress, const void* src, int32_t n, int32_t mode) {
  log_.clear();
  auto word = [this] { return tgx::GetLe16(data_.Bytes()); };

  if (!Step(code, subAddress, nullptr, 2, kModeRead)) return Abort();
  const uint16_t w = word();
  if (w == kHandshakeRepeat) {
    if (!Step(code, subAddress, nullptr, 2, kModeRead) || word() != kHandshakeRepeat) return Abort();
  } else if (w == kHandshakeEcho) {
    uint8_t echo[2];
    tgx::PutLe16(echo, kHandshakeEcho);
    if (!Step(code, subAddress, echo, 2, kModeWrite)) return Abort();
    if (!Step(code, subAddress, echo, 2, kModeWrite)) return Abort();
  } else {
    return Abort();
  }

  // The low 16 bits of the length and of the mode.
  uint8_t params[4];
  tgx::PutLe16(params, static_cast<uint16_t>(n));
  tgx::PutLe16(params + 2, static_cast<uint16_t>(mode));
  if (!Step(code, subAddress, params, 4, kModeWrite)) return Abort();
  if (!Step(code, subAddress, src, n, mode)) return Abort();
  return true;
}
