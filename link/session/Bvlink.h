#pragma once
// The session worker: one read, write or delete of the unit's tables per start,
// on its own thread, so that the windows stay responsive and can cancel.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "app/core/Chanpar.h"
#include "link/Ukdr_drv.h"
#include "model/Prjvol.h"

class TBVLink {
 public:
  static constexpr uint8_t kOpWrite = 0;
  static constexpr uint8_t kOpRead = 1;
  static constexpr uint8_t kOpDelete = 2;
  static constexpr uint8_t kUnknownVersionId = 34;

  explicit TBVLink(bool logging);
  ~TBVLink();  // raises Cancel, ends the loop and joins the worker
  TBVLink(const TBVLink&) = delete;
  TBVLink& operator=(const TBVLink&) = delete;

  // Written by the owner only while the worker waits.
  GROUPTAB Tables;
  CHANPAR Channel;
  uint8_t Operation = kOpRead;
  std::string DevicePath;  // when not empty, opened instead of Channel.PortIndex

  // Read by the owner only after Finished.
  std::string StatusText;
  std::string SessionLog;
  uint8_t VersionId = kUnknownVersionId;

  // Shared with the owner while a session runs.
  std::atomic<bool> Finished{true};
  std::atomic<bool> Succeeded{false};
  std::atomic<bool> Cancel{false};
  std::atomic<int32_t> Progress{0};
  std::atomic<int32_t> LongestWait{0};

  // Clears Finished on the caller's thread, then wakes the worker for exactly
  // one session.
  void Start();
  // Blocks until the running session has finished (tgxctl, tests).
  void WaitFinished();

 private:
  void Execute();
  bool RunSession();

  UKEDR_DRV link_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool start_requested_ = false;
  bool terminate_ = false;
  std::thread worker_;
};

// Version table lookups.
uint8_t VersionIdOfCode(int32_t code);
std::string VersionLabel(uint8_t id);  // "?" for an id without a record
uint8_t DriverOfVersion(uint8_t id);   // 15 for an id without a record
// The session's status text of a result code (Windows-1251).
std::string ResultText(int32_t resultCode);
