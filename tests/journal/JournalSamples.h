#pragma once
// Tables and sessions for the journal tests and benchmark.

#include <chrono>
#include <cstdint>
#include <string>

#include "journal/Journal.h"
#include "model/Prjvol.h"

namespace tgxtest {

// A horizontal-cylinder-like volume curve: the increment grows, then shrinks.
// `shift` moves every entry, so that sets of different shifts differ.
inline PARTAB SmoothTable(int entries, int k, int32_t shift = 0) {
  PARTAB t;
  int32_t v = shift;
  for (int i = 0; i < entries; ++i) {
    t.Append(v);
    v += 10 + k + (i < entries / 2 ? i / 100 : (entries - i) / 100);
  }
  return t;
}

inline GROUPTAB SmoothSet(int tables, int entries, int32_t shift = 0) {
  GROUPTAB set;
  for (int k = 0; k < tables; ++k) set.Add(SmoothTable(entries, k, shift));
  return set;
}

inline tgx::JournalTime At(int64_t ms) { return tgx::JournalTime(std::chrono::milliseconds(ms)); }

// A write session with every field set to something other than its default.
inline tgx::SessionRecord SampleWrite(int32_t shift = 0) {
  tgx::SessionRecord s;
  s.Started = At(1714558502123);
  s.Ended = At(1714558547861);
  s.User = "service";
  s.Port = "COM1";
  s.Device = "/dev/ttyUSB0";
  s.VersionLabel = "853 ";
  s.VersionCode = 8530;
  s.Operation = tgx::JournalOp::Write;
  s.ResultCode = 0;
  s.StatusText = "OK";
  s.LongestWait = 412;
  s.Bytes = 33110;
  s.DurationMs = 45738;
  s.ProjectFile = "/home/service/Станция 3.fs";
  s.ProjectChecksum = "995dc9bbdf1939fa";
  s.Tables = SmoothSet(3, 300, shift);
  s.Backup = SmoothSet(2, 250, shift + 7);
  return s;
}

}  // namespace tgxtest
