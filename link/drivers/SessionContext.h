#pragma once
// The running session as the table drivers see it. The drivers are free
// functions that reach the session through this one context; one session runs
// at a time, and the session worker (link/session/Bvlink) points the context
// at its own fields. It is declared here, below the worker, because the worker
// runs the drivers: the drivers need not know the worker.

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
};

SessionContext& Session();
