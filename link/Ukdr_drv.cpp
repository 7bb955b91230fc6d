#include "link/Ukdr_drv.h"

#include <cstdint>
#include <cstring>

#include "link/Codes.h"
#include "link/Kbase.h"
#include "link/Portcol.h"
#include "link/Versions.h"

UKEDR_DRV::UKEDR_DRV()
    : line_(std::make_unique<PCI>()), master_(std::make_unique<KMASTER>(*line_, kDefaultReplyTimeoutMs)) {}

// master_ is declared after line_, so it goes first.
UKEDR_DRV::~UKEDR_DRV() = default;

bool UKEDR_DRV::OpenLink(int32_t portIndex, int32_t replyTimeoutMs) {
  line_->SetDevicePath("");
  const int8_t port = portIndex >= 0 && portIndex <= INT8_MAX ? static_cast<int8_t>(portIndex) : int8_t{-1};
  const int32_t code = line_->SetLine(port, kUnitLine);
  master_->Drt().SetReplyTimeout(replyTimeoutMs);
  return code == PCI::kOpenOk;
}

bool UKEDR_DRV::OpenDevice(const std::string& devicePath, int32_t replyTimeoutMs) {
  // An empty path must not fall back to the port map: port -1 has no device.
  line_->SetDevicePath(devicePath);
  const int8_t port = devicePath.empty() ? int8_t{-1} : int8_t{0};
  const int32_t code = line_->SetLine(port, kUnitLine);
  master_->Drt().SetReplyTimeout(replyTimeoutMs);
  return code == PCI::kOpenOk;
}

void UKEDR_DRV::CloseLink() { line_->Close(); }

void UKEDR_DRV::SetCancelFlag(std::atomic<bool>* cancel) {
  master_->Drt().SetCancelFlag(cancel);
  line_->SetCancelFlag(cancel);
}
void UKEDR_DRV::SetWireCounter(std::atomic<int64_t>* wire) { line_->SetWireCounter(wire); }
int64_t UKEDR_DRV::BytesExchanged() const { return line_->BytesWritten() + line_->BytesReceived(); }
int UKEDR_DRV::LastOpenErrno() const { return line_->LastErrno(); }
void UKEDR_DRV::SetProgress(std::atomic<int32_t>* progress) { master_->Drt().SetProgress(progress); }
void UKEDR_DRV::SetLongestWait(std::atomic<int32_t>* longestWait) { master_->Drt().SetLongestWait(longestWait); }
void UKEDR_DRV::SetLogging(bool on) { master_->Drt().SetLogging(on); }

int32_t UKEDR_DRV::LastStatus() const { return master_->Status(); }
std::string UKEDR_DRV::LogText() const { return master_->Log(); }
const DATA& UKEDR_DRV::DataBuffer() const { return master_->Data(); }

namespace {
// The data buffer always holds n bytes after a read of n (zeros when the unit
// sent none), but a negative n holds nothing.
void CopyOut(const DATA& data, void* dst, int32_t n) {
  if (dst == nullptr || n <= 0 || data.Size() < n) return;
  std::memcpy(dst, data.Bytes(), static_cast<size_t>(n));
}
}  // namespace

bool UKEDR_DRV::QuickRead(uint8_t code, uint8_t subAddress, void* dst, int32_t n) {
  if (!master_->Request(code, subAddress, nullptr, n, kModeRead)) return false;
  CopyOut(master_->Data(), dst, n);
  return true;
}

bool UKEDR_DRV::QuickCommand(uint8_t code) { return master_->Request(code, 0, nullptr, 0, kModeNone); }

bool UKEDR_DRV::ReadBlock(uint8_t code, void* dst, int32_t n) {
  if (!master_->Transfer(code, 0, nullptr, n, kModeRead)) return false;
  CopyOut(master_->Data(), dst, n);
  return true;
}

bool UKEDR_DRV::WriteBlock(uint8_t code, const void* src, int32_t n) {
  return master_->Transfer(code, 0, src, n, kModeWrite);
}

bool UKEDR_DRV::Command(uint8_t code) { return master_->Transfer(code, 0, nullptr, 0, kModeNone); }

bool UKEDR_DRV::PanelStart() { return Command(kReqPanelStart); }

bool UKEDR_DRV::PanelKey(int32_t n, int32_t key) {
  return master_->Request(kReqPanelKey, static_cast<uint8_t>(key & 0x0F), nullptr, n, kModeRead);
}

bool UKEDR_DRV::PanelPoll(int32_t n) { return master_->Request(kReqPanelPoll, 0, nullptr, n, kModeRead); }

bool UKEDR_DRV::QueryVersion(bool& known, int32_t& code) {
  known = false;
  uint8_t v[3] = {0, 0, 0};
  if (!QuickRead(kReqVersion, 0, v, 3)) return false;
  const int32_t status = LastStatus();
  if (status == kStatusUnsupported) return true;
  if (status != kStatusOk) return false;
  known = true;
  code = VersionCodeOfBytes(v[0], v[1], v[2]);
  return true;
}
