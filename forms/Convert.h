#pragma once
// Turning calibration forms into volume tables: one whole-litre entry per
// centimetre of level, computed in the unit's own float arithmetic.

#include <cstdint>
#include <string_view>

class FORMA;
class PARTAB;

// Fills `table` from the form; false when the form's type cannot be converted
// or a text is not a number (the table then holds zeros).
bool ConvertForm(const FORMA& form, PARTAB& table);

// out[i] = (in[i] - in[i-1]) - (in[i-1] - in[i-2]), out[0] = out[1] = 0; true when
// every value lies within -128..127.
bool SecondDifference(const PARTAB& in, PARTAB& out);

// The integer reader of the forms: leading blanks, optional sign, decimal
// digits or a hexadecimal number introduced by '$', 'x', 'X', '0x' or '0X';
// nothing after the digits; the value must fit 32 bits signed.
bool ReadFormInteger(std::string_view text, int32_t& value);
