#pragma once
// The running session as the table drivers see it. The drivers are free
// functions that reach the session through this one context; one session runs
// at a time, and the session worker (link/session/Bvlink) points the context
// at its own fields. It is declared here, below the worker, because the worker
// runs the drivers: the drivers need not know the worker.

#include <atomic>
#include <cstdint>
#include <string>

#include "link/Codes.h"
#include "model/Prjvol.h"

class UKEDR_DRV;

struct SessionContext {
  int32_t ResultCode = kStatusOk;
  uint8_t Operation = kOpRead;
  GROUPTAB* Tables = nullptr;
  UKEDR_DRV* Link = nullptr;
  std::string* SessionLog = nullptr;
  // The session's expected wire bytes, raised as the drivers learn sizes.
  std::atomic<int64_t>* WireTotal = nullptr;
  // Bytes the session itself exchanges after the driver (the restart).
  int64_t WireAfterDriver = 0;
  // Why a write failed, for the detail under the status text:
  int32_t PackMode = 0;          // the packing mode of the last pack tried
  int64_t ImageBytes = 0;        // kResultNoMemory: the packed image
  int64_t ImageRoom = 0;         //   and the room the unit has for it
  // The unit took the new image but refused the directory that points into
  // it: its old directory now stands over the new image.
  bool DirectoryRefusedAfterImage = false;
};

SessionContext& Session();
