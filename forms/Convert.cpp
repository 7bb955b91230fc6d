#include "forms/Convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "forms/Forma.h"
#include "forms/Line.h"
#include "model/Prjvol.h"

namespace {
// Cubic metres to litres, a single-precision constant: the product is rounded
// to float before truncation, which is what makes '0.123' give 123.
constexpr float kLitresPerCubicMetre = 1000.0f;
// Levels of pair forms are tenths of a millimetre; tables step by centimetres.
constexpr int32_t kTenthsPerMm = 10;
constexpr int32_t kMmPerEntry = 10;
// Below this many pairs a merge sort is as quick as four counting passes.
constexpr size_t kRadixMinPairs = 256;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ConvertLitres(const FORMA& form, PARTAB& table) {
  const int n = form.RowCount();
  table.SetCount(n);
  for (int i = 0; i < n; ++i)
    if (!ReadFormInteger(form.VolumeText(i), table[i])) return false;
  return true;
}

bool ConvertCubicMetres(const FORMA& form, PARTAB& table) {
  const int n = form.RowCount();
  table.SetCount(n);
  for (int i = 0; i < n; ++i) {
    long double cubic = 0;
    if (!ReadFormDecimal(form.VolumeText(i), cubic)) return false;
    const float litres = static_cast<float>(cubic * static_cast<long double>(kLitresPerCubicMetre));
    if (std::isinf(litres)) return false;  // overflow in the store to single precision
    if (!TruncateToInt32(litres, table[i])) return false;
  }
  return true;
}

struct Pair {
  int32_t level;  // millimetres
  int32_t volume;
};

// Ascending by level, stable: levels of equal value keep their order, so the
// first measured volume wins. Forms are mostly typed in order and cost one
// pass; otherwise a byte-wise radix sort (stable by construction) keeps a
// full file of shuffled 4,000-pair forms within a few milliseconds.
void SortByLevel(std::vector<Pair>& pairs) {
  const auto by_level = [](const Pair& a, const Pair& b) { return a.level < b.level; };
  if (std::is_sorted(pairs.begin(), pairs.end(), by_level)) return;
  if (pairs.size() < kRadixMinPairs) {
    std::stable_sort(pairs.begin(), pairs.end(), by_level);
    return;
  }
  // Levels become unsigned keys in the same order.
  const auto key = [](const Pair& p) { return static_cast<uint32_t>(p.level) ^ 0x80000000u; };
  std::vector<Pair> buffer(pairs.size());
  for (int shift = 0; shift < 32; shift += 8) {
    size_t counts[257] = {};
    for (const Pair& p : pairs) ++counts[((key(p) >> shift) & 0xFF) + 1];
    if (std::any_of(std::begin(counts), std::end(counts), [&](size_t c) { return c == pairs.size(); }))
      continue;  // every key has the same byte here: nothing to reorder
    for (int b = 0; b < 256; ++b) counts[b + 1] += counts[b];
    for (const Pair& p : pairs) buffer[counts[(key(p) >> shift) & 0xFF]++] = p;
    pairs.swap(buffer);
  }
}

// The pairs must be sorted by level with at least two of them. The scan only
// moves forward because the table's levels only grow; it finds the same row
// as a scan from the first pair would: the first one at or above the level.
bool Resample(const std::vector<Pair>& p, PARTAB& table) {
  const size_t n = p.size();
  // The table reaches one centimetre past the highest level, so its length
  // follows from one typed number: bounded before anything is allocated.
  const int64_t m = static_cast<int64_t>(p[n - 1].level) / kMmPerEntry + 2;
  if (m <= 0 || m > kMaxTableEntries) return false;
  table.SetCount(static_cast<int32_t>(m));

  const LINE below(0, 0, p[0].level, p[0].volume);
  const LINE above(p[n - 2].level, p[n - 2].volume, p[n - 1].level, p[n - 1].volume);
  size_t j = 0;
  for (int32_t i = 0; i < m; ++i) {
    const int32_t x = i * kMmPerEntry;
    int32_t& entry = table[i];
    if (x < p[0].level) {
      if (!below.ValueAt(x, entry)) return false;
    } else if (x > p[n - 1].level) {
      // Equal top levels leave no slope to extend: the step above holds the
      // top volume of the sorted pairs.
      if (above.Defined()) {
        if (!above.ValueAt(x, entry)) return false;
      } else {
        entry = p[n - 1].volume;
      }
    } else {
      while (p[j].level < x) ++j;
      if (p[j].level == x) {
        entry = p[j].volume;
      } else {
        const LINE segment(p[j - 1].level, p[j - 1].volume, p[j].level, p[j].volume);
        if (!segment.ValueAt(x, entry)) return false;
      }
    }
  }
  return true;
}

bool ConvertPairs(const FORMA& form, PARTAB& table) {
  const int n = form.RowCount();
  if (n < 2) return false;
  std::vector<Pair> pairs(static_cast<size_t>(n));
  for (int j = 0; j < n; ++j) {
    int32_t tenths = 0;
    if (!ReadFormInteger(form.LevelText(j), tenths)) return false;
    if (!ReadFormInteger(form.VolumeText(j), pairs[static_cast<size_t>(j)].volume)) return false;
    pairs[static_cast<size_t>(j)].level = tenths / kTenthsPerMm;
  }
  SortByLevel(pairs);
  return Resample(pairs, table);
}
}  // namespace

bool ReadFormInteger(std::string_view text, int32_t& value) {
  // Most texts are a few plain digits: read them without the general rules.
  if (!text.empty() && text.size() <= 9) {
    uint32_t v = 0;
    size_t k = 0;
    while (k < text.size() && IsDigit(text[k])) v = v * 10 + static_cast<uint32_t>(text[k++] - '0');
    if (k == text.size()) {
      value = static_cast<int32_t>(v);
      return true;
    }
  }
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';

  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }

  // The magnitude may reach 2^31 only for a negative number.
  const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
  uint64_t magnitude = 0;
  size_t digits = 0;
  for (; i < text.size(); ++i, ++digits) {
    const int d = base == 16 ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
    if (d < 0) return false;
    magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (magnitude > limit) return false;
  }
  if (digits == 0) return false;
  value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
  return true;
}

// Read into x87 extended precision: the text is checked and normalised here,
// std::from_chars does the correctly rounded conversion.
bool ReadFormDecimal(std::string_view text, long double& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string norm;
  norm.reserve(text.size() - i);
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    if (text[i] == '-') norm += '-';
    ++i;
  }
  int int_digits = 0, frac_digits = 0;
  // Decimal order of the first significant digit, to tell an underflow
  // (a plain zero) from an overflow when the conversion is out of range.
  int64_t order = 0;
  bool significant = false;
  while (i < text.size() && IsDigit(text[i])) {
    if (text[i] != '0' || significant) {
      if (!significant) order = 0;
      significant = true;
      ++order;
    }
    norm += text[i++];
    ++int_digits;
  }
  if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
    norm += '.';
    ++i;
    while (i < text.size() && IsDigit(text[i])) {
      if (!significant) {
        if (text[i] != '0') significant = true;
        else --order;
      }
      norm += text[i++];
      ++frac_digits;
    }
  }
  if (int_digits + frac_digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    norm += 'e';
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
      negative = text[i] == '-';
      norm += text[i++];
    }
    int64_t exponent = 0;
    int exp_digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
      if (exponent < 1'000'000) exponent = exponent * 10 + (text[i] - '0');
      norm += text[i++];
      ++exp_digits;
    }
    if (exp_digits == 0) return false;
    order += negative ? -exponent : exponent;
  }
  if (i != text.size()) return false;

  long double v = 0;
  const char* first = norm.data();
  const char* last = norm.data() + norm.size();
  const auto [end, ec] = std::from_chars(first, last, v, std::chars_format::general);
  if (end != last) return false;
  if (ec == std::errc::result_out_of_range) {
    if (significant && order > 0) return false;  // overflow
    v = 0;                                       // underflow: too small to matter
  } else if (ec != std::errc()) {
    return false;
  }
  value = v;
  return true;
}

bool ReadFormLevel(std::string_view text, long double& value) {
  int32_t whole = 0;
  if (ReadFormInteger(text, whole)) {
    value = whole;
    return true;
  }
  return ReadFormDecimal(text, value);
}

int FormRowOfIndex(const FORMA& form, int32_t index) {
  const int rows = form.RowCount();
  if (rows == 0) return -1;
  int64_t level = index;
  switch (form.Type()) {
    case 1:
    case 2:
    case 3:
      level *= kMmPerEntry;
      break;
    case 4:
      level *= kMmPerEntry * kTenthsPerMm;
      break;
    default:
      break;
  }
  const long double wanted = static_cast<long double>(level);
  for (int r = 0; r < rows; ++r) {
    long double value = 0;
    if (ReadFormLevel(form.LevelText(r), value) && value >= wanted) return r;
  }
  return rows - 1;
}

bool ConvertForm(const FORMA& form, PARTAB& table) {
  bool ok = false;
  // One table entry per row in types 1 to 3.
  const bool tooLong = form.RowCount() > kMaxTableEntries;
  switch (tooLong ? 0 : form.Type()) {
    case 1:
    case 3:
      ok = ConvertLitres(form, table);
      break;
    case 2:
      ok = ConvertCubicMetres(form, table);
      break;
    case 4:
      ok = ConvertPairs(form, table);
      break;
    default:
      break;  // volume increments and unknown types have no table
  }
  // A failed table keeps the form's row count so that its slot still lines up
  // with the form; its entries mean nothing and are zero.
  if (!ok) table.SetCount(form.RowCount());
  return ok;
}

bool SecondDifference(const PARTAB& in, PARTAB& out) {
  const int32_t n = in.Count();
  out.SetCount(n);
  bool smooth = true;
  for (int32_t i = 2; i < n; ++i) {
    const int64_t d = (static_cast<int64_t>(in[i]) - in[i - 1]) - (static_cast<int64_t>(in[i - 1]) - in[i - 2]);
    if (!SmoothDdv(d)) smooth = false;
    out[i] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(d)));
  }
  return smooth;
}
