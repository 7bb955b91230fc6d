#pragma once
// The straight line through two measured points, in the arithmetic the unit's
// tables have always been built with: points, slope and intercept are stored
// in single precision, everything in between is computed in x87 extended
// precision, and a value is truncated toward zero. Keeping exactly this
// rounding matters: a table computed otherwise differs by a litre here and
// there from tables already in service.

#include <cstdint>

class LINE {
 public:
  LINE(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

  // False when both points have the same level; slope and intercept are then 0.
  bool Defined() const { return defined_; }
  float Slope() const { return slope_; }
  float Intercept() const { return intercept_; }

  // The whole-litre value at level x. False when the line is not defined or
  // the truncated value does not fit 32 bits signed.
  bool ValueAt(int32_t x, int32_t& value) const;

 private:
  float x1_, y1_, x2_, y2_;
  float slope_ = 0.0f;
  float intercept_ = 0.0f;
  bool defined_ = false;
};

// Truncates toward zero; false when the result does not fit 32 bits signed
// (or is not a number).
bool TruncateToInt32(long double v, int32_t& out);
