#include "forms/Forma.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "model/Cp1251.h"

namespace {
constexpr int32_t kLevelStepMm = 10;  // automatic levels: one row per centimetre
constexpr int kMinRowsToDelete = 3;   // a form never drops below two rows by deleting

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const std::string& LevelHeaderMm() {
  static const std::string s = tgx::FromUtf8("L <мм>");
  return s;
}
const std::string& LevelHeaderTenths() {
  static const std::string s = tgx::FromUtf8("L <мм*10>");
  return s;
}
const std::string& VolumeHeaderLitres() {
  static const std::string s = tgx::FromUtf8("V <литр>");
  return s;
}
const std::string& VolumeHeaderCubicMetres() {
  static const std::string s = tgx::FromUtf8("V <м.куб>");
  return s;
}
const std::string& VolumeHeaderIncrement() {
  static const std::string s = tgx::FromUtf8("dV <литр>");
  return s;
}

// Word-at-a-time scanning: the end of a run of digits or blanks is found from
// eight bytes at once instead of a branch per character, which is what keeps
// reading a large pair file fast (its fields are padded to nine characters).
constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHigh = 0x8080808080808080ull;

uint64_t Load8(const char* p) {
  uint64_t x;
  std::memcpy(&x, p, sizeof x);
  return x;  // little-endian: byte 0 in the low bits
}

// High bit of each byte set where the byte is not in '0'..'9'.
uint64_t NonDigits(uint64_t x) {
  const uint64_t a = x ^ (kOnes * '0');  // digits become 0..9
  return (((a & ~kHigh) + kOnes * (0x80 - 10)) | a) & kHigh;
}

// High bit of each byte set where the byte is not a blank.
uint64_t NonBlanks(uint64_t x) {
  const uint64_t a = x ^ (kOnes * ' ');
  return (((a & ~kHigh) + ~kHigh) | a) & kHigh;
}

template <uint64_t (*Other)(uint64_t)>
const char* SkipRun(const char* p, const char* end) {
  while (end - p >= 8) {
    const uint64_t other = Other(Load8(p));
    if (other) return p + std::countr_zero(other) / 8;
    p += 8;
  }
  while (p != end && !(Other(static_cast<uint8_t>(*p)) & 0x80)) ++p;  // byte 0 only
  return p;
}

const char* SkipDigits(const char* p, const char* end) { return SkipRun<NonDigits>(p, end); }
const char* SkipBlanks(const char* p, const char* end) { return SkipRun<NonBlanks>(p, end); }

// Each parser hands its rows to `emit(level, volume)`.

// Types 1 and 3: every maximal run of digits is one volume; signs and points
// only separate values.
template <typename Emit>
void ParseDigitRuns(std::string_view line, Emit emit) {
  size_t i = 0;
  while (i < line.size() && line[i] != '*') {
    if (!IsDigit(line[i])) {
      ++i;
      continue;
    }
    const size_t start = i;
    i = static_cast<size_t>(SkipDigits(line.data() + i, line.data() + line.size()) - line.data());
    emit(std::string_view(), line.substr(start, i - start));
  }
}

// Type 2: a value starts at a digit and runs over digits, '.' and ','; the
// comma is a decimal separator too and is stored as a point.
template <typename Emit>
void ParseDecimals(std::string_view line, Emit emit) {
  size_t i = 0;
  std::string value;
  while (i < line.size() && line[i] != '*') {
    if (!IsDigit(line[i])) {
      ++i;
      continue;
    }
    value.clear();
    while (i < line.size() && (IsDigit(line[i]) || line[i] == '.' || line[i] == ',')) {
      value += line[i] == ',' ? '.' : line[i];
      ++i;
    }
    emit(std::string_view(), value);
  }
}

// Types 4 and 5: up to two fields, level then volume; '?' marks a value that
// was not measured and is kept so that the conversion refuses the form.
template <typename Emit>
void ParsePair(std::string_view line, Emit emit) {
  std::string_view fields[2];
  int found = 0;
  const char* p = line.data();
  const char* const end = p + line.size();
  while (found < 2 && p != end) {
    const char c = *p;
    if (c == ' ') {  // the padding of the written layout: most characters
      p = SkipBlanks(p, end);
    } else if (IsDigit(c) || c == '-') {
      const char* start = p;
      p = SkipDigits(p + 1, end);
      fields[found++] = std::string_view(start, static_cast<size_t>(p - start));
    } else if (c == '?') {
      fields[found++] = std::string_view(p++, 1);
    } else if (c == '*') {
      break;
    } else {
      ++p;
    }
  }
  if (found > 0) emit(fields[0], fields[1]);
}
}  // namespace

void FORMA::Clear() {
  title_.clear();
  level_.clear();
  volume_.clear();
  flags_ = 0;
}

void FORMA::SetType(int32_t t) {
  type_ = t;
  const bool automatic = t >= 1 && t <= 3;
  level_header_ = automatic ? LevelHeaderMm() : LevelHeaderTenths();
  volume_header_ = t == 2 ? VolumeHeaderCubicMetres() : t == 5 ? VolumeHeaderIncrement() : VolumeHeaderLitres();
  if (automatic)
    flags_ |= kAutoLevel;
  else
    flags_ &= ~kAutoLevel;
}

void FORMA::Init(int32_t t) {
  Clear();
  SetType(t);
  AppendRow("0", "0");
  AppendRow("1", "1");
  flags_ |= kDefined;
}

void FORMA::ClearToGap(int32_t t) {
  Clear();
  SetType(t);
}

void FORMA::CopyFrom(const FORMA& other) {
  if (this == &other) return;
  Clear();
  type_ = other.type_;
  flags_ = other.flags_;
  title_ = other.title_;
  level_header_ = other.level_header_;
  volume_header_ = other.volume_header_;
  level_ = other.level_;
  volume_ = other.volume_;
}

bool FORMA::Equals(const FORMA& other) const {
  return type_ == other.type_ && title_ == other.title_ && level_header_ == other.level_header_ &&
         volume_header_ == other.volume_header_ && level_ == other.level_ && volume_ == other.volume_;
}

void FORMA::AppendRow(std::string level, std::string volume) {
  if (AutoLevel()) level = std::to_string(static_cast<int64_t>(level_.size()) * kLevelStepMm);
  level_.push_back(std::move(level));
  volume_.push_back(std::move(volume));
}

void FORMA::InsertRow(int i, std::string level, std::string volume) {
  // Callers keep i within the rows; an index past the end appends rather than
  // corrupting the columns.
  const size_t at = std::min(static_cast<size_t>(std::max(i, 0)), level_.size());
  level_.insert(level_.begin() + static_cast<std::ptrdiff_t>(at), std::move(level));
  volume_.insert(volume_.begin() + static_cast<std::ptrdiff_t>(at), std::move(volume));
  if (AutoLevel()) RenumberLevels();
}

void FORMA::DeleteRow(int i) {
  if (RowCount() < kMinRowsToDelete || i < 0 || i >= RowCount()) return;
  level_.erase(level_.begin() + i);
  volume_.erase(volume_.begin() + i);
  if (AutoLevel()) RenumberLevels();
}

void FORMA::RenumberLevels() {
  for (size_t i = 0; i < level_.size(); ++i) level_[i] = std::to_string(static_cast<int64_t>(i) * kLevelStepMm);
}

void FORMA::CountDefined() {
  if (RowCount() >= 2)
    flags_ |= kDefined;
  else
    flags_ &= ~kDefined;
}

void FORMA::ParseLine(std::string_view line) {
  const auto emit = [this](std::string_view level, std::string_view volume) { AppendParsed(level, volume); };
  switch (type_) {
    case 1:
      if (!line.empty() && line.front() == '|') ParseDigitRuns(line, emit);
      break;
    case 3:
      ParseDigitRuns(line, emit);
      break;
    case 2:
      ParseDecimals(line, emit);
      break;
    case 4:
    case 5:
      if (!line.empty() && line.front() == '|') ParsePair(line, emit);
      break;
    default:
      break;  // a form of no known type has no data lines
  }
}

void FORMA::AppendParsed(std::string_view level, std::string_view volume) {
  if (AutoLevel())
    level_.push_back(std::to_string(static_cast<int64_t>(level_.size()) * kLevelStepMm));
  else
    level_.emplace_back(level);
  volume_.emplace_back(volume);
}

void FORMA::Reserve(size_t rows) {
  level_.reserve(rows);
  volume_.reserve(rows);
}
