#pragma once
// Whether a form survives its own file: a text typed into a form is written
// as it is, but the file is read back by the data-line rules of its type
// (runs of digits, pairs of fields), so "12x4" comes back as two values,
// "5OO" as 5 and "-300" as 300 in a litres column. These checks let the
// editor ask before such a form is saved, and say why a form does not turn
// into a table.

#include <cstdint>
#include <optional>
#include <string>

class FORMA;

struct UNSAFETEXT {
  int32_t Row = 0;      // 0-based; shown 1-based
  bool Volume = false;  // the volume column (else the level column)
  std::string Text;     // the text as it stands in the form (Windows-1251)
  int32_t Values = 0;   // how many values the file would give from it (0, 1 changed, 2, ...)
  std::string ReadAs;   // what the file gives instead when that is one value
};

// The first text of the form, row by row, level before volume, that would not
// read back from a file of the form's type as the same row and value. Empty
// when the form is safe to save. Generated levels are never written and
// always read back.
std::optional<UNSAFETEXT> FirstUnsafeText(const FORMA& form);

// Whether `text` in that column of a form of this form's type reads back as
// itself. Blanks around a value and ',' for '.' in cubic metres read back as
// the same value and count as safe; an empty volume of a pair form reads back
// empty.
bool TextReadsBack(const FORMA& form, const std::string& text, bool volumeColumn);

// The values a file of the form's type gives from `text` written in that
// column (the texts the reader would store).
int32_t ValuesReadBack(const FORMA& form, const std::string& text, bool volumeColumn,
                       std::string* first = nullptr);

// «Форма 2, строка 14: "12x4" будет прочитано как два значения. Сохранить?»
// (Windows-1251; `formIndex` 0-based, shown 1-based; a long text is cut).
std::string UnsafeTextQuestion(int32_t formIndex, const UNSAFETEXT& t);

// Why a form does not convert into a table, as one sentence naming the row
// and its text; "" when it converts.
std::string ConversionFailureText(const FORMA& form);
