#pragma once
#include <cstdint>

// Link channel parameters, kept in the configuration file.
struct CHANPAR {
  int32_t PortIndex = 0;         // 0-based: 0 is COM1
  int32_t Spare = 9;             // carried through the configuration file only
  int32_t ReplyTimeoutMs = 4000; // reply time-out of write and delete sessions
  uint8_t SpareFlag = 0;         // carried through the configuration file only
};

// The reply time-outs a write or delete session accepts: the wait for the
// unit's acknowledgement or status byte. From a tenth of a second (a zero or
// negative wait would fail every transaction before the unit could answer)
// to a minute (beyond that the operator takes a silent unit for a hung
// program), so that a damaged configuration file or a typing slip can neither
// make a session wait for ever nor give up at once.
inline constexpr int32_t kMinReplyTimeoutMs = 100;
inline constexpr int32_t kMaxReplyTimeoutMs = 60000;

// `ms` brought into [kMinReplyTimeoutMs, kMaxReplyTimeoutMs].
constexpr int32_t ClampReplyTimeout(int32_t ms) {
  return ms < kMinReplyTimeoutMs ? kMinReplyTimeoutMs : ms > kMaxReplyTimeoutMs ? kMaxReplyTimeoutMs : ms;
}
