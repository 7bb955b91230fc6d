#pragma once
// The running session as the table drivers see it. The drivers are free
// functions that reach the session through this one context; one session runs
// at a time, and the session worker points the context at its own fields.

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
