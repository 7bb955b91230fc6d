#include "link/Versions.h"

#include <array>

namespace {
struct VersionRecord {
  uint8_t Id;
  const char* Label;
  int32_t Code;
  uint8_t Driver;
};

// Searched in this order; ids are not in table order and id 5 is absent.
constexpr std::array<VersionRecord, 33> kVersionTable{{
    {0, "5X0 ", 0, 0},        {1, "501 ", 5010, 1},     {2, "511 ", 5110, 1},     {3, "521 ", 5210, 1},
    {4, "621a ", 6210, 2},    {6, "632 ", 6320, 3},     {7, "633 ", 6330, 4},     {8, "634 ", 6340, 4},
    {9, "6341 ", 6341, 4},    {10, "6342 ", 6342, 5},   {11, "6343 ", 6343, 5},   {12, "635 ", 6350, 5},
    {13, "636 ", 6360, 5},    {14, "6362 ", 6362, 5},   {15, "6363 ", 6363, 6},   {16, "6364 ", 6364, 6},
    {17, "641 ", 6410, 7},    {21, "731 ", 7310, 5},    {18, "735 ", 7350, 5},    {19, "7364 ", 7364, 6},
    {20, "741 ", 7410, 7},    {23, "7411 ", 7411, 7},   {22, "843 ", 8430, 8},    {24, "8431 ", 8431, 8},
    {25, "8432 ", 8432, 8},   {27, "8433 ", 8433, 8},   {26, "851 ", 8510, 9},    {28, "852 ", 8520, 10},
    {29, "853 ", 8530, 11},   {30, "960 ", 9600, 12},   {31, "96XX", 9616, 14},   {32, "962 ", 9620, 13},
    {33, "96XX", 9626, 14},
}};
constexpr int32_t kHighestKnownCode = 9626;

// A unit reports 6380 where it means a 6320.
constexpr int32_t kAliasCode = 6380;
constexpr int32_t kAliasedCode = 6320;

const VersionRecord* RecordOfId(uint8_t id) {
  for (const VersionRecord& r : kVersionTable)
    if (r.Id == id) return &r;
  return nullptr;
}
}  // namespace

uint8_t VersionIdOfCode(int32_t code) {
  for (const VersionRecord& r : kVersionTable)
    if (r.Code == code) return r.Id;
  // Newer 96x firmware keeps the open-ended layout.
  return code > kHighestKnownCode ? kOpenEndedVersionId : kUnknownVersionId;
}

std::string VersionLabel(uint8_t id) {
  const VersionRecord* r = RecordOfId(id);
  return r ? r->Label : "?";
}

uint8_t DriverOfVersion(uint8_t id) {
  const VersionRecord* r = RecordOfId(id);
  return r ? r->Driver : kNoDriver;
}

int32_t VersionCodeOfBytes(uint8_t a, uint8_t b, uint8_t c) {
  const int32_t last = c < 10 ? c * 10 : c;
  const int32_t code = a * 1000 + b * 100 + last;
  return code == kAliasCode ? kAliasedCode : code;
}

int32_t NormaliseVersionCode(int32_t code) {
  if (code >= 8530 && code <= 9545) return 8530;
  if (code >= 9600 && code <= 9615) return 9600;
  if (code >= 9620 && code <= 9625) return 9620;
  return code;
}

uint8_t VersionIdOfReportedCode(int32_t code) { return VersionIdOfCode(NormaliseVersionCode(code)); }
