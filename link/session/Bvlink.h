#pragma once
// The session worker: one read, write or delete of the unit's tables per start,
// on its own thread, so that the windows stay responsive and can cancel.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "app/core/Chanpar.h"
#include "link/Codes.h"
#include "link/Ukdr_drv.h"
#include "link/Versions.h"
#include "link/drivers/SessionContext.h"
#include "model/Prjvol.h"

class TBVLink {
 public:
  using enum SessionOperation;  // TBVLink::kOpWrite, kOpRead, kOpDelete

  explicit TBVLink(bool logging);
  ~TBVLink();  // raises Cancel, ends the loop and joins the worker
  TBVLink(const TBVLink&) = delete;
  TBVLink& operator=(const TBVLink&) = delete;

  // Written by the owner only while the worker waits.
  GROUPTAB Tables;
  CHANPAR Channel;
  uint8_t Operation = kOpRead;
  std::string DevicePath;  // when not empty, opened instead of Channel.PortIndex
  // Write and delete: read the unit's tables first, in the same session.
  bool BackupFirst = false;

  // Read by the owner only after Finished.
  std::string StatusText;
  std::string SessionLog;
  uint8_t VersionId = kUnknownVersionId;
  int32_t ResultCode = 0;      // the session's result code (link/Codes.h)
  int32_t VersionCode = 0;     // the unit's firmware code as identified, 0 when unknown
  int64_t BytesExchanged = 0;  // bytes sent and received on the line in this session
  std::string StatusDetail;    // reason lines that follow StatusText, "" when none
  std::chrono::system_clock::time_point StartedAt{}, EndedAt{};
  GROUPTAB Backup;             // the unit's tables as read before the change
  bool BackupTaken = false;

  // Shared with the owner while a session runs.
  std::atomic<bool> Finished{true};
  std::atomic<bool> Succeeded{false};
  std::atomic<bool> Cancel{false};
  std::atomic<int32_t> Progress{0};
  std::atomic<int32_t> LongestWait{0};
  // Bytes that have really left the line or arrived so far, against the
  // session's expected total once it is known (0 before).
  std::atomic<int64_t> WireBytesDone{0};
  std::atomic<int64_t> WireBytesTotal{0};

  // 8E1: eleven bits on the line for every byte.
  static constexpr int32_t kLineBytesPerSecond = 9600 / 11;

  // Clears Finished on the caller's thread, then wakes the worker for exactly
  // one session.
  void Start();
  // Blocks until the running session has finished (tgxctl, tests).
  void WaitFinished();

 private:
  // Points the drivers' session context at this worker's fields.
  SessionContext& BindSessionContext();
  void Execute();
  bool RunSession();
  // Write or delete with BackupFirst: reads the unit's tables into Backup.
  bool TakeBackup(SessionContext& s);
  std::string FailureDetail(const SessionContext& s) const;

  UKEDR_DRV link_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool start_requested_ = false;
  bool terminate_ = false;
  std::thread worker_;
};

// Whether a driver index has a driver.
bool HasDriverOfIndex(uint8_t driverIndex);
// Runs the driver of a driver index (header, 853 or 96x) in the session
// context; false when the index has no driver.
bool RunDriverOfIndex(uint8_t driverIndex);
