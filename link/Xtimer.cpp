#include "link/Xtimer.h"

#include <algorithm>
#include <cstdint>

bool XTIMER::Advance(int32_t elapsedMs) {
  busy_ = true;
  const int64_t sum = static_cast<int64_t>(accumulated_) + elapsedMs;
  if (sum < period_) {
    accumulated_ = static_cast<int32_t>(std::max<int64_t>(sum, INT32_MIN));
    return false;
  }
  accumulated_ = 0;
  return true;
}
