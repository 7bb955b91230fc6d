#pragma once
#include <cstdint>

// Link channel parameters, kept in the configuration file.
struct CHANPAR {
  int32_t PortIndex = 0;         // 0-based: 0 is COM1
  int32_t Spare = 9;             // carried through the configuration file only
  int32_t ReplyTimeoutMs = 4000; // reply time-out of write and delete sessions
  uint8_t SpareFlag = 0;         // carried through the configuration file only
};
