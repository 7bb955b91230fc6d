#include "exchange/Csv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <optional>

#include "forms/Convert.h"
#include "forms/Forma.h"
#include "model/Cp1251.h"
#include "model/Prjvol.h"
#include "model/Safesave.h"
#include "project/Eprj.h"

namespace {

constexpr int kMaxChannels = FDATA::kMaxForms;
constexpr int kMaxColumns = kMaxChannels + 1;  // a level column and 16 volume columns
// The delimiter is judged on the first lines only; a header and a few dozen
// rows tell it as well as the whole file would.
constexpr int kSampleLines = 64;
constexpr size_t kSampleBytes = 64 * 1024;
constexpr size_t kReadPiece = 64 * 1024;
// A form file line is read in pieces of 255 characters; a longer title would
// not survive a save and a load.
constexpr size_t kMaxTitleBytes = 250;
constexpr size_t kExcerptBytes = 24;  // of a bad cell, in a message
constexpr int32_t kTenthsPerCm = 100;
constexpr int32_t kLitresType = 1;
constexpr int32_t kPairsType = 4;
constexpr int32_t kCubicMetresType = 2;
constexpr const char kBom[] = "\xEF\xBB\xBF";
constexpr char kDelimiters[] = {';', '\t', ','};  // preferred in this order on a tie

std::string Cp(const char* utf8) { return tgx::FromUtf8(utf8); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// ---------------------------------------------------------------- numbers

// A cell as a number, normalised for the readers of the forms: sign ('-'
// only), digits, '.' as the separator, an exponent. False when the cell is no
// number. A comma counts as the separator only where it is not the delimiter.
bool NormaliseNumber(std::string_view cell, bool decimal_comma, std::string& out) {
  out.clear();
  size_t i = 0;
  if (i < cell.size() && (cell[i] == '-' || cell[i] == '+')) {
    if (cell[i] == '-') out += '-';
    ++i;
  }
  int mantissa_digits = 0;
  while (i < cell.size() && IsDigit(cell[i])) {
    out += cell[i++];
    ++mantissa_digits;
  }
  if (i < cell.size() && (cell[i] == '.' || (decimal_comma && cell[i] == ','))) {
    out += '.';
    ++i;
    while (i < cell.size() && IsDigit(cell[i])) {
      out += cell[i++];
      ++mantissa_digits;
    }
  }
  if (mantissa_digits == 0) return false;
  if (i < cell.size() && (cell[i] == 'e' || cell[i] == 'E')) {
    out += 'e';
    ++i;
    if (i < cell.size() && (cell[i] == '-' || cell[i] == '+')) out += cell[i++];
    int exponent_digits = 0;
    while (i < cell.size() && IsDigit(cell[i])) {
      out += cell[i++];
      ++exponent_digits;
    }
    if (exponent_digits == 0) return false;
  }
  return i == cell.size();
}

// A normalised number times 10^scale as a whole number, computed on its digits
// so that no binary fraction creeps in: '105.55' mm is 1055.5 tenths exactly.
// The fraction left is dropped (toward zero) or rounded half away from zero.
// False when the result lies beyond 32 bits signed.
bool ScaleDecimal(std::string_view norm, int scale, bool round_nearest, int32_t& out) {
  size_t i = 0;
  const bool negative = i < norm.size() && norm[i] == '-';
  if (negative) ++i;
  std::string digits;
  int64_t exponent = scale;
  bool fraction = false;
  for (; i < norm.size() && norm[i] != 'e'; ++i) {
    if (norm[i] == '.') {
      fraction = true;
      continue;
    }
    if (digits.empty() && norm[i] == '0') {
      if (fraction) --exponent;  // a leading zero of the fraction only shifts
      continue;
    }
    digits += norm[i];
    if (fraction) --exponent;
  }
  if (i < norm.size()) {  // the exponent; beyond a few digits it is absurd either way
    int64_t e = 0;
    const bool e_negative = norm[i + 1] == '-';
    for (size_t k = i + 1; k < norm.size(); ++k)
      if (IsDigit(norm[k]) && e < 1'000'000) e = e * 10 + (norm[k] - '0');
    exponent += e_negative ? -e : e;
  }
  constexpr size_t kMaxDigits = 10;  // 2^31 has ten digits
  int64_t value = 0;
  if (!digits.empty()) {
    if (exponent >= 0) {
      if (static_cast<int64_t>(digits.size()) + exponent > static_cast<int64_t>(kMaxDigits)) return false;
      digits.append(static_cast<size_t>(exponent), '0');
    } else {
      const int64_t dropped = -exponent;
      char first_dropped = '0';
      if (dropped <= static_cast<int64_t>(digits.size())) {
        first_dropped = digits[digits.size() - static_cast<size_t>(dropped)];
        digits.resize(digits.size() - static_cast<size_t>(dropped));
      } else {
        digits.clear();
      }
      if (digits.size() > kMaxDigits) return false;
      if (round_nearest && first_dropped >= '5') {
        for (char c : digits) value = value * 10 + (c - '0');
        digits.clear();
        ++value;
      }
    }
    if (digits.size() > kMaxDigits) return false;
    for (char c : digits) value = value * 10 + (c - '0');
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  out = static_cast<int32_t>(value);
  return true;
}

int32_t TenthsScale(CsvLevelUnit unit) {
  switch (unit) {
    case CsvLevelUnit::Centimetres: return 2;
    case CsvLevelUnit::Tenths: return 0;
    default: return 1;
  }
}

// ---------------------------------------------------------------- texts

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    int more = 0;
    unsigned min = 0;
    unsigned cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      more = 1, min = 0x80, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      more = 2, min = 0x800, cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      more = 3, min = 0x10000, cp = b & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(more) >= s.size()) return false;
    for (int k = 1; k <= more; ++k) {
      const auto c = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += static_cast<size_t>(more) + 1;
  }
  return true;
}

// Bytes of the file as a Windows-1251 text for a title or a message: control
// characters become blanks (a title ends up on one line of a form file).
std::string TextOf(std::string_view raw, CsvEncoding encoding, size_t max_bytes) {
  std::string text;
  if (encoding == CsvEncoding::Utf8) {
    // Cut at a character boundary before converting.
    size_t end = std::min(raw.size(), max_bytes * 4);
    while (end < raw.size() && end > 0 && (static_cast<unsigned char>(raw[end]) & 0xC0) == 0x80) --end;
    text = tgx::FromUtf8(raw.substr(0, end));
  } else {
    text.assign(raw);
  }
  if (text.size() > max_bytes) text.resize(max_bytes);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}

// Windows-1251 lower case of ASCII and Cyrillic letters.
char Lower(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b >= 'A' && b <= 'Z') return static_cast<char>(b + 32);
  if (b >= 0xC0 && b <= 0xDF) return static_cast<char>(b + 32);
  if (b == 0xA8) return static_cast<char>(0xB8);
  return c;
}

bool IsLetter(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || b >= 0xC0 || b == 0xA8 || b == 0xB8;
}

// Whether the caption above the first column names a level: its first word
// is a level word or a length unit ("L <мм>", "level_mm", "Уровень, см").
bool IsLevelCaption(const std::string& caption) {
  size_t i = 0;
  while (i < caption.size() && !IsLetter(caption[i])) ++i;
  std::string word;
  while (i < caption.size() && IsLetter(caption[i])) word += Lower(caption[i++]);
  static const std::array<std::string, 9> kWords = {"l", "h", "lvl", "mm", "cm", Cp("мм"), Cp("см"), "level",
                                                    "height"};
  static const std::array<std::string, 3> kPrefixes = {Cp("уров"), Cp("высот"), Cp("взлив")};
  for (const auto& w : kWords)
    if (word == w) return true;
  for (const auto& p : kPrefixes)
    if (word.compare(0, p.size(), p) == 0) return true;
  return word.compare(0, 5, "level") == 0;
}

// "Строка 4, столбец 2: не число «x»"; a fault that is no one place reads
// as a sentence of its own.
std::string Placed(int32_t line, int32_t column, const std::string& text) {
  if (line <= 0) {
    std::string sentence = text;
    if (!sentence.empty()) {
      const auto b = static_cast<unsigned char>(sentence[0]);
      if (b >= 'a' && b <= 'z') sentence[0] = static_cast<char>(b - 32);
      if (b >= 0xE0) sentence[0] = static_cast<char>(b - 32);  // Windows-1251 а..я
    }
    return sentence;
  }
  std::string out = Cp("Строка ") + std::to_string(line);
  if (column > 0) out += Cp(", столбец ") + std::to_string(column);
  return out + ": " + text;
}

std::string Quoted(const std::string& cp1251) { return Cp("«") + cp1251 + Cp("»"); }

// ---------------------------------------------------------------- reader

// A column of cells as one block of text: the cells of 16 columns of tens of
// thousands of rows stay a few bytes each instead of a string object each.
class COLUMN {
 public:
  void Pad(size_t rows) { ends_.resize(rows, static_cast<uint32_t>(text_.size())); }
  void Push(std::string_view cell) {
    text_ += cell;
    ends_.push_back(static_cast<uint32_t>(text_.size()));
  }
  size_t Size() const { return ends_.size(); }
  std::string_view Cell(size_t row) const {
    if (row >= ends_.size()) return {};
    const uint32_t begin = row == 0 ? 0 : ends_[row - 1];
    return std::string_view(text_).substr(begin, ends_[row] - begin);
  }

 private:
  std::string text_;
  std::vector<uint32_t> ends_;
};

class CsvReader {
 public:
  CsvReader(const CsvImportOptions& options, CsvImportReport& report) : options_(options), report_(report) {}

  // Both false once a fault has stopped the import.
  bool Feed(std::string_view bytes);
  bool Finish(FDATA& forms);

 private:
  enum class State { FieldStart, Plain, Quoted, QuoteInQuoted };

  // Records the first fault; every later step then refuses.
  bool Stop(int32_t line, int32_t column, const std::string& text) {
    if (stopped_) return false;
    stopped_ = true;
    report_.Line = line;
    report_.Column = column;
    report_.Message = Placed(line, column, text);
    return false;
  }
  void StartParsing();
  bool PutAll(std::string_view bytes);
  bool Put(char c);
  void EndField();
  bool EndRow();
  void DecideEncoding();
  bool Compose(FDATA& forms);
  bool Litres(int column, std::vector<std::optional<int32_t>>& litres);

  const CsvImportOptions& options_;
  CsvImportReport& report_;
  bool stopped_ = false;
  size_t total_ = 0;

  // Before the delimiter is known the first lines wait here.
  bool parsing_ = false;
  std::string sample_;
  int sample_lines_ = 0;
  char delimiter_ = ';';
  bool decimal_comma_ = true;
  bool bom_ = false;

  State state_ = State::FieldStart;
  std::string field_;
  bool field_quoted_ = false;
  int32_t line_ = 1;       // physical line of the byte being read
  int32_t row_line_ = 1;   // where the current row began
  int32_t quote_line_ = 0; // where the open quote began
  size_t row_bytes_ = 0;
  int field_count_ = 0;
  std::array<std::string, kMaxColumns + 1> fields_{};  // raw trimmed cells, the rest only counted
  std::array<std::string, kMaxColumns + 1> numbers_{};
  int extent_ = 0;      // fields up to the last non-empty one
  int first_text_ = 0;  // 1-based field of the first cell that is no number, 0 when none

  // Header rows: only the last one matters, and whether they all read as UTF-8.
  std::array<std::string, kMaxColumns + 1> header_{};
  int header_extent_ = 0;
  int32_t header_line_ = 0;
  bool header_utf8_ = true;
  bool encoding_decided_ = false;
  CsvEncoding encoding_ = CsvEncoding::Utf8;

  std::array<COLUMN, kMaxColumns> columns_{};
  std::vector<int32_t> row_lines_;
  int data_extent_ = 0;
};

bool CsvReader::Feed(std::string_view bytes) {
  if (stopped_) return false;
  total_ += bytes.size();
  if (total_ > kMaxCsvBytes) return Stop(0, 0, Cp("файл больше 8 МБ"));
  if (!parsing_) {
    sample_ += bytes;
    sample_lines_ += static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n'));
    if (sample_lines_ < kSampleLines && sample_.size() < kSampleBytes) return true;
    StartParsing();
    return !stopped_;
  }
  return PutAll(bytes);
}

// Runs of ordinary bytes go into the field at once; only the bytes that can
// change the state pass through Put one by one.
bool CsvReader::PutAll(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const bool quoted = state_ == State::Quoted;
    if (quoted || state_ == State::FieldStart || state_ == State::Plain) {
      size_t end = i;
      if (quoted) {
        while (end < bytes.size() && bytes[end] != '"') ++end;
        line_ += static_cast<int32_t>(std::count(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                                                 bytes.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
      } else {
        while (end < bytes.size() && bytes[end] != delimiter_ && bytes[end] != '\n' && bytes[end] != '"') ++end;
        if (end > i) state_ = State::Plain;
      }
      row_bytes_ += end - i;
      if (row_bytes_ > kMaxCsvRowBytes) return Stop(row_line_, 0, Cp("длиннее 64 КБ"));
      field_.append(bytes.substr(i, end - i));
      i = end;
      if (i == bytes.size()) break;
    }
    if (!Put(bytes[i++])) return false;
  }
  return true;
}

// Decides the delimiter on the sample and reads the sample.
void CsvReader::StartParsing() {
  parsing_ = true;
  std::string_view sample = sample_;
  if (sample.substr(0, 3) == kBom) {
    bom_ = true;
    sample.remove_prefix(3);
  }
  if (std::find(std::begin(kDelimiters), std::end(kDelimiters), options_.Delimiter) != std::end(kDelimiters)) {
    delimiter_ = options_.Delimiter;
  } else {
    // A candidate must occur (outside quotes) in every line that starts like
    // a number: a row of data without its delimiter would be one cell. Among
    // those the one found in most lines wins. So a single column with decimal
    // commas, where some value has no fraction, is not split at its commas.
    std::array<int, 3> lines{};
    std::array<bool, 3> seen{}, missing{};
    bool quoted = false, blank = true, data = false, dot = false, any_dot = false;
    const auto end_line = [&] {
      for (size_t k = 0; k < 3; ++k) {
        lines[k] += seen[k];
        if (data && !seen[k]) missing[k] = true;
      }
      if (data && dot) any_dot = true;
      seen = {};
      blank = true, data = false, dot = false;
    };
    for (char c : sample) {
      if (c == '"') quoted = !quoted;
      if (c == '\n' && !quoted) {
        end_line();
        continue;
      }
      if (blank && c != ' ' && c != '\r' && c != '"') {
        blank = false;
        data = IsDigit(c) || c == '-' || c == '+' || c == '.';
      }
      if (quoted) continue;
      if (c == '.') dot = true;
      for (size_t k = 0; k < 3; ++k)
        if (c == kDelimiters[k]) seen[k] = true;
    }
    end_line();
    // Cubic metres have fractions: if no row shows a decimal point, the
    // commas are the decimal commas.
    if (options_.Volumes == CsvVolumeUnit::CubicMetres && !any_dot) missing[2] = true;
    int best = -1;
    for (int k = 0; k < 3; ++k)
      if (lines[static_cast<size_t>(k)] > 0 && !missing[static_cast<size_t>(k)] &&
          (best < 0 || lines[static_cast<size_t>(k)] > lines[static_cast<size_t>(best)]))
        best = k;
    delimiter_ = best < 0 ? kDelimiters[0] : kDelimiters[static_cast<size_t>(best)];
  }
  decimal_comma_ = delimiter_ != ',';
  report_.Delimiter = delimiter_;
  std::string held;
  held.swap(sample_);
  PutAll(std::string_view(held).substr(bom_ ? 3 : 0));
}

bool CsvReader::Put(char c) {
  // Every byte of a row counts, those of a quoted line end too: no field can
  // grow past the bound, however the quotes fall.
  if ((c != '\n' || state_ == State::Quoted) && ++row_bytes_ > kMaxCsvRowBytes)
    return Stop(row_line_, 0, Cp("длиннее 64 КБ"));
  switch (state_) {
    case State::Quoted:
      if (c == '"') {
        state_ = State::QuoteInQuoted;
      } else {
        if (c == '\n') ++line_;
        field_ += c;
      }
      return true;
    case State::QuoteInQuoted:
      if (c == '"') {  // a doubled quote is one quote
        field_ += c;
        state_ = State::Quoted;
        return true;
      }
      state_ = State::Plain;  // what follows the closing quote is kept as it is
      break;
    default:
      break;
  }
  if (c == delimiter_) {
    EndField();
    state_ = State::FieldStart;
  } else if (c == '\n') {
    EndField();
    if (!EndRow()) return false;
    state_ = State::FieldStart;
    ++line_;
    row_line_ = line_;
    row_bytes_ = 0;
  } else if (c == '"' && !field_quoted_ &&
             field_.find_first_not_of(delimiter_ == '\t' ? " \r" : " \t\r") == std::string::npos) {
    field_.clear();  // blanks before an opening quote do not count
    field_quoted_ = true;
    quote_line_ = line_;
    state_ = State::Quoted;
  } else {
    field_ += c;
    state_ = State::Plain;
  }
  return true;
}

void CsvReader::EndField() {
  ++field_count_;
  // Blanks around a cell never matter; a CR is one, so CR LF lines need no
  // rule of their own.
  const char* blanks = delimiter_ == '\t' ? " \r" : " \t\r";
  const size_t first = field_.find_first_not_of(blanks);
  const std::string_view cell =
      first == std::string::npos ? std::string_view() : std::string_view(field_).substr(first, field_.find_last_not_of(blanks) - first + 1);
  if (!cell.empty()) {
    extent_ = field_count_;
    if (field_count_ <= kMaxColumns + 1) {
      std::string& number = numbers_[static_cast<size_t>(field_count_ - 1)];
      if (!NormaliseNumber(cell, decimal_comma_, number) && first_text_ == 0) first_text_ = field_count_;
      fields_[static_cast<size_t>(field_count_ - 1)].assign(cell);
    } else if (first_text_ == 0) {
      std::string ignored;
      if (!NormaliseNumber(cell, decimal_comma_, ignored)) first_text_ = field_count_;
    }
  } else if (field_count_ <= kMaxColumns + 1) {
    fields_[static_cast<size_t>(field_count_ - 1)].clear();
    numbers_[static_cast<size_t>(field_count_ - 1)].clear();
  }
  field_.clear();
  field_quoted_ = false;
}

void CsvReader::DecideEncoding() {
  if (encoding_decided_) return;
  encoding_decided_ = true;
  // Windows-1251 Cyrillic is almost never well-formed UTF-8, and plain ASCII
  // reads the same either way.
  encoding_ = bom_ || header_utf8_ ? CsvEncoding::Utf8 : CsvEncoding::Cp1251;
  report_.Encoding = encoding_;
}

bool CsvReader::EndRow() {
  const int extent = extent_;
  const int first_text = first_text_;
  field_count_ = 0;
  extent_ = 0;
  first_text_ = 0;
  if (extent == 0) return true;  // blank line, or only empty cells

  if (row_lines_.empty() && first_text != 0) {  // still among the header rows
    ++report_.HeaderRows;
    header_extent_ = extent;
    header_line_ = row_line_;
    for (size_t k = 0; k < header_.size(); ++k) {
      header_[k] = static_cast<int>(k) < extent ? fields_[k] : std::string();
      if (header_utf8_ && !IsUtf8(header_[k])) header_utf8_ = false;
    }
    return true;
  }
  DecideEncoding();
  if (first_text != 0) {
    const std::string excerpt =
        first_text <= kMaxColumns + 1
            ? TextOf(fields_[static_cast<size_t>(first_text - 1)], encoding_, kExcerptBytes)
            : std::string();
    return Stop(row_line_, first_text, Cp("не число ") + Quoted(excerpt));
  }
  if (extent > kMaxColumns) return Stop(row_line_, extent, Cp("больше 16 каналов"));
  if (static_cast<int32_t>(row_lines_.size()) >= kMaxCsvDataRows)
    return Stop(row_line_, 0, Cp("больше ") + std::to_string(kMaxCsvDataRows) + Cp(" строк данных"));
  const size_t row = row_lines_.size();
  row_lines_.push_back(row_line_);
  for (int c = 0; c < extent; ++c) {
    COLUMN& column = columns_[static_cast<size_t>(c)];
    column.Pad(row);
    column.Push(numbers_[static_cast<size_t>(c)]);
  }
  data_extent_ = std::max(data_extent_, extent);
  return true;
}

bool CsvReader::Finish(FDATA& forms) {
  if (stopped_) return false;
  if (!parsing_) StartParsing();
  if (stopped_) return false;
  if (state_ == State::Quoted) return Stop(quote_line_, field_count_ + 1, Cp("кавычки не закрыты"));
  if (field_count_ > 0 || !field_.empty() || field_quoted_) {  // the last line had no line end
    EndField();
    if (!EndRow()) return false;
  }
  if (row_lines_.empty()) return Stop(0, 0, Cp("в файле нет строк данных"));
  return Compose(forms);
}

// The whole litres of one channel's column, one per data row; nothing where
// the cell is empty.
bool CsvReader::Litres(int column, std::vector<std::optional<int32_t>>& litres) {
  const COLUMN& cells = columns_[static_cast<size_t>(column)];
  const size_t rows = row_lines_.size();
  litres.assign(rows, std::nullopt);
  const auto excerpt = [&](size_t row) { return Quoted(std::string(cells.Cell(row))); };
  if (options_.Volumes == CsvVolumeUnit::Litres) {
    for (size_t r = 0; r < rows; ++r) {
      const std::string_view cell = cells.Cell(r);
      if (cell.empty()) continue;
      int32_t v = 0;
      if (!ScaleDecimal(cell, 0, false, v))
        return Stop(row_lines_[r], column + 1, Cp("число вне допустимых пределов ") + excerpt(r));
      litres[r] = v;
    }
  } else {
    // Cubic metres become litres exactly as a type 2 form's volumes do.
    FORMA cubic;
    cubic.SetType(kCubicMetresType);
    cubic.Reserve(rows);
    std::vector<size_t> row_of;
    for (size_t r = 0; r < rows; ++r) {
      const std::string_view cell = cells.Cell(r);
      if (cell.empty()) continue;
      cubic.AppendRow(std::string(), std::string(cell));
      row_of.push_back(r);
    }
    PARTAB table;
    if (!ConvertForm(cubic, table)) {
      // Find the value that failed, for the message.
      for (size_t j = 0; j < row_of.size(); ++j) {
        FORMA one;
        one.SetType(kCubicMetresType);
        one.AppendRow(std::string(), cubic.VolumeText(static_cast<int>(j)));
        if (!ConvertForm(one, table))
          return Stop(row_lines_[row_of[j]], column + 1, Cp("число вне допустимых пределов ") + excerpt(row_of[j]));
      }
      return Stop(0, column + 1, Cp("число вне допустимых пределов"));
    }
    for (size_t j = 0; j < row_of.size(); ++j) litres[row_of[j]] = table[static_cast<int32_t>(j)];
  }
  for (size_t r = 0; r < rows; ++r)
    if (litres[r] && *litres[r] < 0) return Stop(row_lines_[r], column + 1, Cp("отрицательный объём ") + excerpt(r));
  return true;
}

bool CsvReader::Compose(FDATA& forms) {
  DecideEncoding();
  const size_t rows = row_lines_.size();
  const std::string first_caption =
      report_.HeaderRows > 0 ? TextOf(header_[0], encoding_, kMaxTitleBytes) : std::string();

  const int columns = std::max(data_extent_, header_extent_);
  CsvLayout layout = options_.Layout;
  if (layout == CsvLayout::Auto) {
    if (columns < 2)
      layout = CsvLayout::Volumes;
    else if (report_.HeaderRows > 0)
      layout = first_caption.empty() || IsLevelCaption(first_caption) ? CsvLayout::Levels : CsvLayout::Volumes;
    else
      layout = CsvLayout::Levels;  // measured pairs are what a calibration protocol lists
  }
  report_.Layout = layout;
  const int first_volume = layout == CsvLayout::Levels ? 1 : 0;
  const int channels = columns - first_volume;
  report_.DataRows = static_cast<int32_t>(rows);
  if (channels < 1) return Stop(0, 0, Cp("в файле нет столбцов объёма"));
  if (channels > kMaxChannels)
    return Stop(header_extent_ > data_extent_ ? header_line_ : 0, 0, Cp("в файле больше 16 каналов"));
  report_.Channels = channels;
  for (auto& column : columns_) column.Pad(rows);

  // Levels in tenths of a millimetre.
  std::vector<int32_t> tenths(rows);
  bool per_centimetre = true;
  if (layout == CsvLayout::Levels) {
    const int32_t scale = TenthsScale(options_.Levels);
    for (size_t r = 0; r < rows; ++r) {
      const std::string_view cell = columns_[0].Cell(r);
      if (cell.empty()) return Stop(row_lines_[r], 1, Cp("нет уровня"));
      if (!ScaleDecimal(cell, scale, true, tenths[r]))
        return Stop(row_lines_[r], 1, Cp("число вне допустимых пределов ") + Quoted(std::string(cell)));
      if (per_centimetre && static_cast<int64_t>(tenths[r]) != static_cast<int64_t>(r) * kTenthsPerCm)
        per_centimetre = false;
    }
  } else {
    for (size_t r = 0; r < rows; ++r) {
      if (static_cast<int64_t>(r) * kTenthsPerCm > INT32_MAX) return Stop(row_lines_[r], 0, Cp("слишком много строк"));
      tenths[r] = static_cast<int32_t>(r) * kTenthsPerCm;
    }
  }

  int32_t type = options_.Type;
  if (type != kLitresType && type != kPairsType) type = per_centimetre ? kLitresType : kPairsType;
  report_.Type = type;
  if (type == kLitresType && !per_centimetre) {
    for (size_t r = 0; r < rows; ++r)
      if (static_cast<int64_t>(tenths[r]) != static_cast<int64_t>(r) * kTenthsPerCm)
        return Stop(row_lines_[r], 1,
                    Cp("для формы типа 1 уровни идут через 1 см от 0, здесь нужен ") + std::to_string(r) + Cp(" см"));
  }

  // Every check first: the caller's forms change only once nothing can fail.
  std::vector<std::vector<std::optional<int32_t>>> litres(static_cast<size_t>(channels));
  std::vector<size_t> filled(static_cast<size_t>(channels), 0);
  for (int k = 0; k < channels; ++k) {
    const int column = first_volume + k;
    auto& values = litres[static_cast<size_t>(k)];
    if (!Litres(column, values)) return false;
    size_t& n = filled[static_cast<size_t>(k)];
    while (n < rows && values[n]) ++n;
    if (type == kLitresType)
      for (size_t r = n; r < rows; ++r)
        if (values[r]) return Stop(row_lines_[n], column + 1, Cp("пустая ячейка внутри столбца"));
  }

  forms.Clear();
  for (int k = 0; k < channels; ++k) {
    const int column = first_volume + k;
    const auto& values = litres[static_cast<size_t>(k)];
    forms.AddNew();
    FORMA& form = forms.Form(k);
    form.Clear();
    form.SetType(type);
    std::string title = TextOf(header_[static_cast<size_t>(column)], encoding_, kMaxTitleBytes);
    if (title.empty()) {
      title = "t";  // appended: g++ 12 warns falsely on "t" + ... at -O3
      title += std::to_string(k + 1);
    }
    form.SetTitle(std::move(title));
    if (type == kLitresType) {
      form.Reserve(filled[static_cast<size_t>(k)]);
      for (size_t r = 0; r < filled[static_cast<size_t>(k)]; ++r) form.AppendRow(std::string(), std::to_string(*values[r]));
    } else {
      form.Reserve(rows);
      for (size_t r = 0; r < rows; ++r)
        if (values[r]) form.AppendRow(std::to_string(tenths[r]), std::to_string(*values[r]));
    }
    form.CountDefined();
  }
  return true;
}

// ---------------------------------------------------------------- files

void AppendCell(std::string& out, std::string_view utf8, char delimiter) {
  if (utf8.find_first_of(std::string{delimiter, '"', '\r', '\n'}) == std::string_view::npos) {
    out += utf8;
    return;
  }
  out += '"';
  for (char c : utf8) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendNumber(std::string& out, int64_t v) {
  char buf[24];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  (void)ec;
  out.append(buf, end);
}

}  // namespace

bool ParseCsvLevelUnit(std::string_view word, CsvLevelUnit& unit) {
  if (word == "mm") unit = CsvLevelUnit::Millimetres;
  else if (word == "cm") unit = CsvLevelUnit::Centimetres;
  else if (word == "tenths") unit = CsvLevelUnit::Tenths;
  else return false;
  return true;
}

bool ParseCsvVolumeUnit(std::string_view word, CsvVolumeUnit& unit) {
  if (word == "l") unit = CsvVolumeUnit::Litres;
  else if (word == "m3") unit = CsvVolumeUnit::CubicMetres;
  else return false;
  return true;
}

bool ParseCsvDelimiter(std::string_view word, char& delimiter) {
  if (word == ";" || word == ",") delimiter = word[0];
  else if (word == "tab" || word == "\t") delimiter = '\t';
  else return false;
  return true;
}

bool ImportCsvText(std::string_view bytes, const CsvImportOptions& options, FDATA& forms, CsvImportReport& report) {
  report = CsvImportReport{};
  CsvReader reader(options, report);
  // In the pieces a file would come in, so that text and file read alike.
  for (size_t at = 0; at < bytes.size(); at += kReadPiece)
    if (!reader.Feed(bytes.substr(at, kReadPiece))) return false;
  return reader.Finish(forms);
}

bool ImportCsvFile(const std::string& path, const CsvImportOptions& options, FDATA& forms,
                   CsvImportReport& report) {
  report = CsvImportReport{};
  const auto refuse = [&](const char* utf8) {
    report.Message = Cp(utf8);
    return false;
  };
  // Not blocking: a FIFO given by mistake must not hang the program here.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return refuse("Невозможно прочитать файл!");
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return refuse("Невозможно прочитать файл!");
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxCsvBytes) {
    ::close(fd);
    return refuse("Файл больше 8 МБ");
  }
  CsvReader reader(options, report);
  std::string piece(kReadPiece, '\0');
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, piece.data(), piece.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return refuse("Невозможно прочитать файл!");
    }
    if (!reader.Feed(std::string_view(piece.data(), static_cast<size_t>(n)))) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  return ok && reader.Finish(forms);
}

bool ImportCsvProject(const std::string& path, const CsvImportOptions& options, EPROJECT& project,
                      CsvImportReport& report) {
  FDATA forms;
  if (!ImportCsvFile(path, options, forms, report)) return false;
  project.Reset();
  project.SetName(tgx::FromUtf8(path));
  project.SetForms(forms);
  return true;
}

std::string ExportCsvText(const GROUPTAB& tables, const std::vector<std::string>& titles,
                          const CsvExportOptions& options) {
  const char d = options.Delimiter;
  int32_t rows = 0;
  for (int k = 0; k < tables.Count(); ++k) rows = std::max(rows, tables.Table(k).Count());
  std::string out = kBom;
  out.reserve(static_cast<size_t>(rows) * static_cast<size_t>(tables.Count() + 1) * 8 + 256);
  out += "level_mm";
  for (int k = 0; k < tables.Count(); ++k) {
    out += d;
    std::string title = static_cast<size_t>(k) < titles.size() ? tgx::ToUtf8(titles[static_cast<size_t>(k)]) : "";
    // An untitled gap at the end would read back as no column at all; the
    // import names untitled channels so anyway.
    if (title.find_first_not_of(" \t\r\n") == std::string::npos) {
      title = "t";
      title += std::to_string(k + 1);
    }
    AppendCell(out, title, d);
  }
  out += "\r\n";
  constexpr int64_t kMmPerEntry = 10;
  for (int32_t i = 0; i < rows; ++i) {
    AppendNumber(out, i * kMmPerEntry);
    for (int k = 0; k < tables.Count(); ++k) {
      out += d;
      const PARTAB& t = tables.Table(k);
      if (i < t.Count()) AppendNumber(out, t[i]);
    }
    out += "\r\n";
  }
  return out;
}

bool ExportCsvFile(const std::string& path, const GROUPTAB& tables, const std::vector<std::string>& titles,
                   const CsvExportOptions& options, std::string& message) {
  message.clear();
  if (!SaveFileSafely(path, ExportCsvText(tables, titles, options))) {
    message = Cp("Невозможно записать файл!");
    return false;
  }
  return true;
}

bool ExportProjectCsv(const EPROJECT& project, const std::string& path, const CsvExportOptions& options,
                      std::string& message) {
  FDATA forms;
  project.CopyFormsTo(forms);
  GROUPTAB tables;
  forms.ToTables(tables);
  std::vector<std::string> titles;
  for (int k = 0; k < forms.Count(); ++k) {
    const FORMA& f = forms.Form(k);
    titles.push_back(f.Title());
    if (f.Converted()) continue;
    if (!project.IsGap(k)) {
      message = Cp("Канал ") + std::to_string(k + 1) + Cp(": форма не преобразуется в таблицу");
      return false;
    }
    tables.Table(k).Clear();  // a gap has no table
  }
  return ExportCsvFile(path, tables, titles, options, message);
}
