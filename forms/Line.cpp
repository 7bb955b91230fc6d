#include "forms/Line.h"

#include <cmath>
#include <limits>

bool TruncateToInt32(long double v, int32_t& out) {
  if (!std::isfinite(v)) return false;
  const long double t = std::trunc(v);
  if (t < static_cast<long double>(std::numeric_limits<int32_t>::min()) ||
      t > static_cast<long double>(std::numeric_limits<int32_t>::max()))
    return false;
  out = static_cast<int32_t>(t);
  return true;
}

LINE::LINE(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
    : x1_(static_cast<float>(x1)),
      y1_(static_cast<float>(y1)),
      x2_(static_cast<float>(x2)),
      y2_(static_cast<float>(y2)) {
  // Two levels that differ can still become one float (beyond 2^24 mm); the
  // line is then as undefined as with equal levels, never a division by zero.
  if (x1_ == x2_) return;
  const long double dy = static_cast<long double>(y2_) - static_cast<long double>(y1_);
  const long double dx = static_cast<long double>(x2_) - static_cast<long double>(x1_);
  slope_ = static_cast<float>(dy / dx);
  intercept_ = static_cast<float>(static_cast<long double>(y2_) -
                                  static_cast<long double>(slope_) * static_cast<long double>(x2_));
  defined_ = true;
}

bool LINE::ValueAt(int32_t x, int32_t& value) const {
  if (!defined_) return false;
  const long double v = static_cast<long double>(x) * static_cast<long double>(slope_) +
                        static_cast<long double>(intercept_);
  return TruncateToInt32(v, value);
}
