#include "report/Summary.h"

#include <array>
#include <cstdlib>

#include "forms/Convert.h"
#include "model/Prjvol.h"

namespace {
constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr int32_t kMmPerEntry = 10;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t c = b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
    table[b] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();
}  // namespace

uint32_t Crc32(const uint8_t* bytes, size_t n, uint32_t crc) {
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = kCrcTable[(crc ^ bytes[i]) & 0xFFu] ^ (crc >> 8);
  return ~crc;
}

uint32_t TableCrc32(const PARTAB& table) {
  // In pieces, so that a long table needs no second copy of itself.
  constexpr int32_t kChunk = 1024;
  std::array<uint8_t, kChunk * 4> bytes{};
  uint32_t crc = 0;
  for (int32_t from = 0; from < table.Count(); from += kChunk) {
    const int32_t n = table.Count() - from < kChunk ? table.Count() - from : kChunk;
    for (int32_t i = 0; i < n; ++i) {
      const uint32_t v = static_cast<uint32_t>(table[from + i]);
      for (int b = 0; b < 4; ++b) bytes[static_cast<size_t>(i * 4 + b)] = static_cast<uint8_t>(v >> (8 * b));
    }
    crc = Crc32(bytes.data(), static_cast<size_t>(n) * 4, crc);
  }
  return crc;
}

std::string Crc32Text(uint32_t crc) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s(8, '0');
  for (int k = 7; k >= 0; --k, crc >>= 4) s[static_cast<size_t>(k)] = kDigits[crc & 15u];
  return s;
}

TABSUMMARY SummarizeTable(const PARTAB& table) {
  TABSUMMARY s;
  s.count = table.Count();
  if (s.count > 0) {
    s.topLevelMm = (s.count - 1) * kMmPerEntry;
    s.topVolume = table[s.count - 1];
  }
  PARTAB ddv;
  s.smooth = SecondDifference(table, ddv);
  // Recomputed wide: the unit's 32-bit differences wrap for absurd tables,
  // and the document must not print a wrapped number as the largest.
  for (int32_t i = 2; i < table.Count(); ++i) {
    const int64_t d = (static_cast<int64_t>(table[i]) - table[i - 1]) - (static_cast<int64_t>(table[i - 1]) - table[i - 2]);
    if (std::llabs(d) > std::llabs(s.largestDdv)) {
      s.largestDdv = d;
      s.largestDdvIndex = i;
    }
  }
  s.crc = TableCrc32(table);
  return s;
}
