#include "link/session/Bvlink.h"

#include <pthread.h>
#include <sched.h>

#include <array>

#include "link/drivers/Drv632.h"
#include "model/Cp1251.h"

namespace {
struct VersionRecord {
  uint8_t Id;
  const char* Label;
  int32_t Code;
  uint8_t Driver;
};

// Searched in this order; ids are not in table order and id 5 is absent. The
// all-zero record ends the table and never matches.
constexpr std::array<VersionRecord, 34> kVersionTable{{
    {0, "5X0 ", 0, 0},        {1, "501 ", 5010, 1},     {2, "511 ", 5110, 1},     {3, "521 ", 5210, 1},
    {4, "621a ", 6210, 2},    {6, "632 ", 6320, 3},     {7, "633 ", 6330, 4},     {8, "634 ", 6340, 4},
    {9, "6341 ", 6341, 4},    {10, "6342 ", 6342, 5},   {11, "6343 ", 6343, 5},   {12, "635 ", 6350, 5},
    {13, "636 ", 6360, 5},    {14, "6362 ", 6362, 5},   {15, "6363 ", 6363, 6},   {16, "6364 ", 6364, 6},
    {17, "641 ", 6410, 7},    {21, "731 ", 7310, 5},    {18, "735 ", 7350, 5},    {19, "7364 ", 7364, 6},
    {20, "741 ", 7410, 7},    {23, "7411 ", 7411, 7},   {22, "843 ", 8430, 8},    {24, "8431 ", 8431, 8},
    {25, "8432 ", 8432, 8},   {27, "8433 ", 8433, 8},   {26, "851 ", 8510, 9},    {28, "852 ", 8520, 10},
    {29, "853 ", 8530, 11},   {30, "960 ", 9600, 12},   {31, "96XX", 9616, 14},   {32, "962 ", 9620, 13},
    {33, "96XX", 9626, 14},   {0, nullptr, 0, 0},
}};
constexpr int kVersionRecords = 33;  // the terminator is not searched
constexpr int32_t kHighestKnownCode = 9626;
constexpr uint8_t kOpenEndedVersionId = 33;
constexpr uint8_t kNoDriver = 15;
constexpr uint8_t kFirstRestartingId = 10;
constexpr int32_t kReadReplyTimeoutMs = 500;

const VersionRecord* RecordOfId(uint8_t id) {
  for (int i = 0; i < kVersionRecords; ++i)
    if (kVersionTable[static_cast<size_t>(i)].Id == id) return &kVersionTable[static_cast<size_t>(i)];
  return nullptr;
}

// Byte deadlines of 50 ms must hold while the windows redraw; without the
// right to real-time scheduling the worker simply runs at normal priority.
void RaisePriority(std::thread& t) {
  sched_param param{};
  param.sched_priority = sched_get_priority_max(SCHED_FIFO);
  (void)pthread_setschedparam(t.native_handle(), SCHED_FIFO, &param);
}
}  // namespace

uint8_t VersionIdOfCode(int32_t code) {
  for (int i = 0; i < kVersionRecords; ++i)
    if (kVersionTable[static_cast<size_t>(i)].Code == code) return kVersionTable[static_cast<size_t>(i)].Id;
  // Newer 96x firmware keeps the open-ended layout.
  return code > kHighestKnownCode ? kOpenEndedVersionId : TBVLink::kUnknownVersionId;
}

std::string VersionLabel(uint8_t id) {
  const VersionRecord* r = RecordOfId(id);
  return r ? r->Label : "?";
}

uint8_t DriverOfVersion(uint8_t id) {
  const VersionRecord* r = RecordOfId(id);
  return r ? r->Driver : kNoDriver;
}

std::string ResultText(int32_t resultCode) {
  switch (resultCode) {
    case kResultOk: return "OK";
    case kResultUnitFault: return tgx::FromUtf8("Неисправность БВ!");
    case kResultPackError: return tgx::FromUtf8("Ошибка сжатия таблиц");
    case kResultNoDriver: return tgx::FromUtf8("Версия не поддерживается");
    case kResultNoMemory: return tgx::FromUtf8("Недостаточно памяти БВ!");
    case kResultInitialising: return tgx::FromUtf8("Инициализация БВ");
    default: return tgx::FromUtf8("Ошибка связи");
  }
}

TBVLink::TBVLink(bool logging) {
  link_.SetLogging(logging);
  link_.SetCancelFlag(&Cancel);
  link_.SetProgress(&Progress);
  link_.SetLongestWait(&LongestWait);
  SessionContext& s = Session();
  s.Tables = &Tables;
  s.Link = &link_;
  s.SessionLog = &SessionLog;
  worker_ = std::thread([this] { Execute(); });
  RaisePriority(worker_);
}

TBVLink::~TBVLink() {
  Cancel = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    terminate_ = true;
  }
  wake_.notify_all();
  worker_.join();
  SessionContext& s = Session();
  if (s.Link == &link_) s = SessionContext{};
}

void TBVLink::Start() {
  // Everything the owner polls is reset here, on the owner's thread and while
  // the worker waits, so that neither a stale Finished nor a Cancel raised
  // right after Start can be lost.
  Cancel = false;
  Progress = 0;
  LongestWait = 0;
  Succeeded = false;
  Finished = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    start_requested_ = true;
  }
  wake_.notify_all();
}

void TBVLink::WaitFinished() { Finished.wait(false); }

void TBVLink::Execute() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return start_requested_ || terminate_; });
      if (terminate_) break;
      start_requested_ = false;
    }
    Succeeded = RunSession();
    Finished = true;
    Finished.notify_all();
  }
  // A Start that raced with destruction still sees its session end.
  Finished = true;
  Finished.notify_all();
}

bool TBVLink::RunSession() {
  const bool changing = Operation == kOpWrite || Operation == kOpDelete;
  const int32_t timeout = changing ? Channel.ReplyTimeoutMs : kReadReplyTimeoutMs;
  SessionLog.clear();
  const bool open =
      DevicePath.empty() ? link_.OpenLink(Channel.PortIndex, timeout) : link_.OpenDevice(DevicePath, timeout);
  if (!open) {
    StatusText = tgx::FromUtf8("Порт занят");
    link_.CloseLink();
    return false;
  }
  SessionContext& s = Session();
  s.Tables = &Tables;
  s.Link = &link_;
  s.SessionLog = &SessionLog;
  s.Operation = Operation;
  s.ResultCode = kResultOk;

  VersionId = kUnknownVersionId;
  if (!Identify(VersionId)) {
    s.ResultCode = kResultLinkError;
  } else if (!RunDriverOfIndex(DriverOfVersion(VersionId))) {
    s.ResultCode = kResultNoDriver;
  }
  // Firmware from id 10 on only takes new tables after a restart.
  if (s.ResultCode == kResultOk && changing && VersionId >= kFirstRestartingId) Restart();

  StatusText = ResultText(s.ResultCode);
  link_.CloseLink();
  return s.ResultCode == kResultOk;
}
