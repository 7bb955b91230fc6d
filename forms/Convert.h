#pragma once
// Turning calibration forms into volume tables: one whole-litre entry per
// centimetre of level, computed in the unit's own float arithmetic.

#include <cstdint>
#include <string_view>

class FORMA;
class PARTAB;

// The longest table a form may give. The unit keeps all of its tables in one
// image of at most 65,535 bytes, so no longer table can ever be loaded into
// it; the bound also keeps one mistyped top level of a pair form (9,999.98 m)
// from costing a million entries per form.
constexpr int64_t kMaxTableEntries = 65'535;

// The entries of the table of a pair form whose highest level is `topTenths`
// tenths of a millimetre: one per centimetre up to one past the top.
constexpr int64_t PairTableEntries(int32_t topTenths) { return static_cast<int64_t>(topTenths) / 10 / 10 + 2; }

// Fills `table` from the form; false when the form's type cannot be converted
// or a text is not a number (the table then holds zeros).
bool ConvertForm(const FORMA& form, PARTAB& table);

// Whether a second difference fits the unit's packed table, which keeps it in
// one signed byte.
constexpr bool SmoothDdv(int64_t d) { return d >= -128 && d <= 127; }

// out[i] = (in[i] - in[i-1]) - (in[i-1] - in[i-2]), out[0] = out[1] = 0; true when
// every value fits (SmoothDdv).
bool SecondDifference(const PARTAB& in, PARTAB& out);

// The integer reader of the forms: leading blanks, optional sign, decimal
// digits or a hexadecimal number introduced by '$', 'x', 'X', '0x' or '0X';
// nothing after the digits; the value must fit 32 bits signed.
bool ReadFormInteger(std::string_view text, int32_t& value);

// The decimal reader of the forms: leading blanks, optional sign, digits with
// '.' or ',' as the separator, an optional exponent; nothing after it. A value
// too small for the type reads as 0, one too large is refused. The process
// locale plays no part.
bool ReadFormDecimal(std::string_view text, long double& value);

// A level text as a number: what the integer reader takes (hexadecimal
// included), else what the decimal reader takes.
bool ReadFormLevel(std::string_view text, long double& value);

// The form row that table entry `index` (a level in centimetres) stands for:
// the first row whose level is at or above the entry's level in the form's
// own unit (millimetres for types 1 to 3, tenths of a millimetre for type 4,
// the index itself for any other type); the last row when every level lies
// below, or no level reads as a number. -1 for a form without rows.
int FormRowOfIndex(const FORMA& form, int32_t index);
