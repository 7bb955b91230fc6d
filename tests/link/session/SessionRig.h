#pragma once
// What the session tests share: one session worker run against tgx-sim, a
// state file for units that must start with given contents, tables to write,
// and readings of the simulator's traffic log.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "link/session/Bvlink.h"
#include "model/Cp1251.h"
#include "support/SimRunner.h"
#include "support/TempDir.h"

namespace tgxtest {

using Log = std::vector<SimRunner::Transaction>;
using Strings = std::vector<std::string>;

// A set of one table of n entries: first, first + step, ...
inline GROUPTAB Ramp(int n, int first = 0, int step = 1) {
  PARTAB t(n);
  for (int i = 0; i < n; ++i) t[i] = first + i * step;
  GROUPTAB set;
  set.Add(t);
  return set;
}

// How many transactions received exactly `in`.
inline int Count(const Log& log, const std::vector<uint8_t>& in) {
  return int(std::ranges::count(log, in, &SimRunner::Transaction::in));
}

// Every byte the unit received and sent.
inline int64_t LineBytes(const Log& log) {
  int64_t n = 0;
  for (const auto& t : log) n += int64_t(t.in.size() + t.out.size());
  return n;
}

// Index of the first parameter block of a handshaked request (code, length,
// mode, 0, checksum) of `code` (any with -1) in `mode`, -1 without one.
inline int FirstParameters(const Log& log, int mode, int code = -1) {
  const auto hit = std::ranges::find_if(log, [&](const SimRunner::Transaction& t) {
    return t.in.size() == 6 && (code < 0 || t.in[0] == code) && t.in[3] == mode && t.in[4] == 0;
  });
  return hit == log.end() ? -1 : int(hit - log.begin());
}

class SessionRig : public ::testing::Test {
 protected:
  void Start(const std::string& device, uint8_t operation, const GROUPTAB& tables = {}) {
    session_->DevicePath = device;
    session_->Operation = operation;
    session_->Tables = tables;
    session_->Start();
  }
  bool Run(const std::string& device, uint8_t operation, const GROUPTAB& tables = {}) {
    Start(device, operation, tables);
    session_->WaitFinished();
    return session_->Succeeded;
  }
  std::string Status() const { return tgx::ToUtf8(session_->StatusText); }
  std::string Detail() const { return tgx::ToUtf8(session_->StatusDetail); }

  std::unique_ptr<TBVLink> session_ = std::make_unique<TBVLink>(false);
  TempDir dir_;
  const std::string state_ = dir_.File("unit.state");
};

}  // namespace tgxtest
