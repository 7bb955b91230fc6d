#pragma once
// What a unit of one firmware looks like from the line: how it identifies
// itself, how its table memory is laid out and which display it has. The
// numbers are the unit's, so the program's drivers can be tried against them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tgxsim {

// How the unit keeps its table directory.
enum class MemoryKind {
  kHeader,   // a table header read and written whole with request 1
  kCompact,  // a 98-byte directory with request 4 (853 and the 96x units)
};

struct HeaderGeometry {
  int size = 0;            // bytes of the whole header
  int flagsOffset = 0;     // first slot flag field
  bool byteFlags = false;  // 621a: one byte per slot instead of a 16-bit word
  int recordsOffset = 0;   // 16 six-byte directory records
};

constexpr int kCompactDirectoryBytes = 98;
constexpr int kDirectoryRecordBytes = 96;
constexpr int kSlotCount = 16;

struct Firmware {
  int versionCode = 6320;                      // the code the master computes from the bytes
  std::array<uint8_t, 3> versionBytes{6, 3, 2};
  bool knowsVersion = true;     // false: request 7 answers status 12
  bool answers15WithZero = false;  // the 621a firmware
  MemoryKind memory = MemoryKind::kHeader;
  HeaderGeometry header;        // meaningful for kHeader
  bool wideMemorySize = false;  // 96xx: request 2 is naturally 4 bytes
  int defaultPackingModes = 1;  // value of request 8: highest accepted mode + 1
  int displayVariant = 0;       // 0 seven-segment, 1 and 2 character displays
  bool needsPanelStart = false; // polls are refused until request 13
  std::string family;           // short name for --help and messages
};

// The firmware whose version query yields `code`. Codes without a table
// driver of their own answer like a 632 unit.
Firmware FirmwareOfCode(int code);

// Version bytes a, b, c that the master turns back into `code`
// (a * 1000 + b * 100 + c', c' = c * 10 for c below 10). Empty when no
// bytes give that code (for example 6305).
std::optional<std::array<uint8_t, 3>> VersionBytesOf(int code);

// The master's reading of the bytes (VersionCodeOfBytes of the program).
int VersionCodeOf(const std::array<uint8_t, 3>& bytes);

// The unit's display variant for a known version code.
int DisplayVariantOf(int code);

}  // namespace tgxsim
