#include "link/session/Bvlink.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>


#include "link/drivers/Drv632.h"
#include "link/drivers/Drv853.h"
#include "link/drivers/Drv960.h"
#include "link/Arjvol.h"
#include "link/Portcol.h"
#include "link/drivers/SessionContext.h"
#include "model/Cp1251.h"

namespace {
// A read changes nothing in the unit and waits for replies no longer than the
// remote panel does; writes and deletes take the configured time-out.
constexpr int32_t kReadReplyTimeoutMs = 500;

// Byte deadlines of 50 ms must hold while the windows redraw; without the
// right to real-time scheduling the worker simply runs at normal priority.
void RaisePriority(std::thread& t) {
  sched_param param{};
  param.sched_priority = sched_get_priority_max(SCHED_FIFO);
  (void)pthread_setschedparam(t.native_handle(), SCHED_FIFO, &param);
}
}  // namespace

bool HasDriverOfIndex(uint8_t driverIndex) {
  return HeaderGeometryOf(driverIndex) != nullptr || driverIndex == kDrv853Index || IsDrv960Index(driverIndex);
}

bool RunDriverOfIndex(uint8_t driverIndex) {
  if (const HeaderGeometry* g = HeaderGeometryOf(driverIndex)) {
    RunDriver(*g);
    return true;
  }
  if (driverIndex == kDrv853Index) {
    RunDrv853();
    return true;
  }
  if (IsDrv960Index(driverIndex)) {
    RunDrv960(driverIndex);
    return true;
  }
  return false;
}

TBVLink::TBVLink(bool logging) {
  link_.SetLogging(logging);
  link_.SetCancelFlag(&Cancel);
  link_.SetProgress(&Progress);
  link_.SetLongestWait(&LongestWait);
  link_.SetWireCounter(&WireBytesDone);
  BindSessionContext();
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

SessionContext& TBVLink::BindSessionContext() {
  SessionContext& s = Session();
  s.Tables = &Tables;
  s.Link = &link_;
  s.SessionLog = &SessionLog;
  s.WireTotal = &WireBytesTotal;
  return s;
}

void TBVLink::Start() {
  // Everything the owner polls is reset here, on the owner's thread and while
  // the worker waits, so that neither a stale Finished nor a Cancel raised
  // right after Start can be lost.
  Cancel = false;
  Progress = 0;
  LongestWait = 0;
  WireBytesDone = 0;
  WireBytesTotal = 0;
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
    StartedAt = std::chrono::system_clock::now();
    Succeeded = RunSession();
    EndedAt = std::chrono::system_clock::now();
    Finished = true;
    Finished.notify_all();
  }
  // A Start that raced with destruction still sees its session end.
  Finished = true;
  Finished.notify_all();
}

namespace {
const char* const kInconsistentText = "Таблицы БВ могут быть несогласованы: запишите таблицы ещё раз.";
// Where the operator finds the tables the unit held before, when they were
// read first: the window program and tgxctl record them in the journal.
const char* const kBackupKeptText = "Прежние таблицы БВ прочитаны перед записью: их можно взять из журнала сеансов.";
}  // namespace

std::string TBVLink::FailureDetail(const SessionContext& s) const {
  if (s.DirectoryRefusedAfterImage)
    return tgx::FromUtf8(kInconsistentText) + (BackupTaken ? "\n" + tgx::FromUtf8(kBackupKeptText) : std::string());
  switch (s.ResultCode) {
    case kResultPackError: return PackFailureText(Tables, s.PackMode);
    case kResultNoMemory:
      return tgx::FromUtf8("Таблицам не хватает ") + std::to_string(s.ImageBytes - std::max<int64_t>(0, s.ImageRoom)) +
             tgx::FromUtf8(" байт памяти БВ (нужно ") + std::to_string(s.ImageBytes) + tgx::FromUtf8(", доступно ") +
             std::to_string(std::max<int64_t>(0, s.ImageRoom)) + ")";
    default: return {};
  }
}

namespace {
// What the change after a backup read will exchange, so that the backup's
// planned total already holds it: the drivers' own plans, from the tables as
// they pack in mode 0.
int64_t ChangeWireBytes(uint8_t driverIndex, uint8_t operation, const GROUPTAB& tables) {
  TArjTab arj(0);
  arj.Pack(tables);
  const int64_t image = arj.Errors == 0 && arj.Directory.UniqueCount > 0 ? TransferWireBytes(arj.Size(), true) : 0;
  if (const HeaderGeometry* g = HeaderGeometryOf(driverIndex)) {
    const int64_t header = kPrepareWireBytes + TransferWireBytes(g->HeaderSize, false) +
                           TransferWireBytes(g->HeaderSize, true);
    return operation == kOpWrite ? TransferWireBytes(2, false) + header + image : header;
  }
  const int64_t compact = kPrepareWireBytes + TransferWireBytes(kCompactBlockSize, true);
  if (operation != kOpWrite) return compact;
  if (!IsDrv960Index(driverIndex)) return compact + image;
  // Request 8, and a "96XX" asks for its memory.
  const int64_t memory = Drv960Limit(driverIndex) == 0 ? TransferWireBytes(4, false) : 0;
  return TransferWireBytes(2, false) + memory + compact + image;
}
}  // namespace

bool TBVLink::TakeBackup(SessionContext& s) {
  s.WireAfterDriver = ChangeWireBytes(DriverOfVersion(VersionId), Operation, Tables) +
                      (VersionId >= kFirstRestartingId ? TransferWireBytes(0, false) : 0);
  // The same driver reads into Backup; the session's own tables stay as given.
  s.Operation = kOpRead;
  s.Tables = &Backup;
  RunDriverOfIndex(DriverOfVersion(VersionId));
  s.Operation = Operation;
  s.Tables = &Tables;
  s.WireAfterDriver = 0;
  BackupTaken = s.ResultCode == kStatusOk;
  if (!BackupTaken) Backup.Clear();
  return BackupTaken;
}

bool TBVLink::RunSession() {
  const bool changing = Operation == kOpWrite || Operation == kOpDelete;
  // The one place the configured time-out is brought into its range.
  const int32_t timeout = changing ? ClampReplyTimeout(Channel.ReplyTimeoutMs) : kReadReplyTimeoutMs;
  SessionLog.clear();
  StatusDetail.clear();
  ResultCode = kStatusOk;
  VersionCode = 0;
  BytesExchanged = 0;
  BackupTaken = false;
  Backup.Clear();
  const bool open =
      DevicePath.empty() ? link_.OpenLink(Channel.PortIndex, timeout) : link_.OpenDevice(DevicePath, timeout);
  if (!open) {
    StatusText = PortBusyText();
    StatusDetail = DevicePath.empty() ? PortFailureText(link_.LastOpenErrno(), Channel.PortIndex)
                                      : PortFailureText(link_.LastOpenErrno(), -1, DevicePath);
    ResultCode = kStatusLinkFailure;
    link_.CloseLink();
    return false;
  }
  // Bound again: a worker created later may have taken the context over.
  SessionContext& s = BindSessionContext();
  s.Operation = Operation;
  s.ResultCode = kStatusOk;
  s.PackMode = 0;
  s.ImageBytes = 0;
  s.ImageRoom = 0;
  s.DirectoryRefusedAfterImage = false;
  s.WireAfterDriver = 0;

  VersionId = kUnknownVersionId;
  if (!Identify(VersionId, VersionCode)) {
    s.ResultCode = kStatusLinkFailure;
  } else if (!HasDriverOfIndex(DriverOfVersion(VersionId))) {
    s.ResultCode = kResultNoDriver;
  } else if (!changing || !BackupFirst || TakeBackup(s)) {
    // A failed backup read ends the session with its own result: the unit
    // is not changed.
    s.ResultCode = kStatusOk;
    s.WireAfterDriver = changing && VersionId >= kFirstRestartingId ? TransferWireBytes(0, false) : 0;
    RunDriverOfIndex(DriverOfVersion(VersionId));
    s.WireAfterDriver = 0;
  }
  // Firmware from id 10 on only takes new tables after a restart.
  if (s.ResultCode == kStatusOk && changing && VersionId >= kFirstRestartingId) Restart();

  StatusText = ResultText(s.ResultCode);
  StatusDetail = FailureDetail(s);
  ResultCode = s.ResultCode;
  BytesExchanged = link_.BytesExchanged();
  link_.CloseLink();
  // Whatever was still counted as unsent is gone with the port.
  if (s.ResultCode == kStatusOk) WireBytesTotal = WireBytesDone.load();
  else if (WireBytesTotal.load() < WireBytesDone.load()) WireBytesTotal = WireBytesDone.load();
  return s.ResultCode == kStatusOk;
}
