#pragma once
// What the calibration table document says about one volume table besides its
// entries: how long it is, where it ends, whether the unit's compact storage
// takes it, and a checksum an auditor can compare with what the unit holds.

#include <cstddef>
#include <cstdint>
#include <string>

class PARTAB;

// CRC-32 with the usual IEEE polynomial (reflected 0xEDB88320, initial value
// and final xor 0xFFFFFFFF), continued from `crc` (0 to start).
uint32_t Crc32(const uint8_t* bytes, size_t n, uint32_t crc = 0);
// The CRC-32 of the table's entries as 32-bit little-endian values, entry 0
// first, whatever the machine's own byte order.
uint32_t TableCrc32(const PARTAB& table);
// Eight upper-case hexadecimal digits, the way the document prints it.
std::string Crc32Text(uint32_t crc);

struct TABSUMMARY {
  int32_t count = 0;        // entries
  int32_t topLevelMm = 0;   // level of the last entry, millimetres
  int32_t topVolume = 0;    // volume of the last entry, litres
  bool smooth = true;       // every second difference within -128..127
  int64_t largestDdv = 0;   // the second difference of largest magnitude (first of equals)
  int32_t largestDdvIndex = 0;  // its entry index (level in centimetres); 0 when there is none
  uint32_t crc = 0;         // TableCrc32

  friend bool operator==(const TABSUMMARY&, const TABSUMMARY&) = default;
};

TABSUMMARY SummarizeTable(const PARTAB& table);
