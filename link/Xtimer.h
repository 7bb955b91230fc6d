#pragma once
// Divides the ticks of a window timer into a slower period: the remote panel
// ticks every 100 ms but polls the unit every 500 ms, and a poll still running
// keeps the next tick from starting another.

#include <cstdint>

class XTIMER {
 public:
  static constexpr int32_t kDefaultPeriodMs = 1000;

  void Start(int32_t periodMs) {
    period_ = periodMs;
    enabled_ = true;
  }
  void Start() { enabled_ = true; }
  bool IsReady() const { return enabled_ && !busy_; }
  // Marks the tick busy and adds its time; true when a period has passed.
  bool Advance(int32_t elapsedMs);
  void Done() { busy_ = false; }

  int32_t Period() const { return period_; }
  int32_t Accumulated() const { return accumulated_; }
  bool Enabled() const { return enabled_; }
  bool Busy() const { return busy_; }

 private:
  int32_t accumulated_ = 0;
  int32_t period_ = kDefaultPeriodMs;
  bool enabled_ = false;
  bool busy_ = false;
};
