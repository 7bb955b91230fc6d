#pragma once
// The table drivers' common ground: the request functions they share, the
// unit's directory records, and the header driver that serves every firmware
// keeping its tables behind a header read and written whole with request 1.
// They run in the session context (link/drivers/SessionContext.h).

#include <array>
#include <cstdint>
#include <string>

#include "link/Arjvol.h"
#include "link/drivers/SessionContext.h"
#include "model/Prjvol.h"

// Request functions: each runs one request on the session's link, appends the
// request's transport log to the session log, sets ResultCode to the status
// byte (kStatusLinkFailure when the request failed) and returns true exactly
// when it is kStatusOk.
bool Prepare();
bool ReadUnit(uint8_t code, void* dst, int32_t n);
bool WriteUnit(uint8_t code, const void* src, int32_t n);
// Request 2: 16-bit memory size, or 32-bit for the open-ended 96xx units.
bool ReadMemorySize(int64_t& size, bool wide);
// Request 8: the highest packing mode the unit accepts. A unit that does not
// know the request leaves kResultNoDriver.
bool ReadPackingModes(int32_t& highestMode);
bool Restart();
// Finds the unit's firmware: kVersionId621a for a 621a, kUntoldVersionId for
// a unit that does not know its version, else the version table's id of its
// code. False (and the id untouched) when the unit did not answer the probe.
bool Identify(uint8_t& versionId);
// The same, with the code the unit reported (6210 for the 621a, 0 when the
// unit does not tell).
bool Identify(uint8_t& versionId, int32_t& versionCode);

// The session's expected total on the wire (SessionContext::WireTotal): the
// bytes a handshaked transfer of an n-byte block takes, and raising the total
// to what has been exchanged so far plus `more`. The drivers plan their whole
// request sequence this way as soon as its sizes are known (a read once its
// directory has told the image's size); until then the total stays 0.
int64_t TransferWireBytes(int32_t n, bool write);
void ExpectWireBytes(int64_t more);
// Request 20: command, status, one byte.
constexpr int64_t kPrepareWireBytes = 3;

// The 16 six-byte directory records (stored number, reserved, entry count).
constexpr int32_t kRecordSize = 6;
constexpr int32_t kRecordsBytes = 16 * kRecordSize;
using DirectoryRecords = std::array<uint8_t, kRecordsBytes>;

// Packs the session's tables in the mode; on a table that does not fit the
// mode sets kResultPackError and returns false, before anything is sent.
bool PackSessionTables(TArjTab& arj, TableDirectory& dir);

void RecordsToDirectory(const uint8_t* records, TableDirectory& dir);
void DirectoryToRecords(const TableDirectory& dir, uint8_t* records);

// The read path without a line, for the drivers and for fuzzing: what the
// unit's directory records and image amount to. Directory: kStatusOk, or
// kStatusLinkFailure when the records or the mode describe nothing a unit
// could hold (then `packedSize` is 0). Tables: kStatusOk with `tables` filled,
// or kStatusLinkFailure with `tables` empty.
int32_t DecodeDirectory(const uint8_t* records, int32_t mode, TableDirectory& dir, int32_t& packedSize);
int32_t DecodeTables(const TableDirectory& dir, int32_t mode, const uint8_t* image, int32_t n, GROUPTAB& tables);

// Header geometry of one header driver.
struct HeaderGeometry {
  const char* Name;
  uint8_t DriverIndex;
  int32_t HeaderSize;
  int32_t FlagsOffset;
  int32_t FlagWidth;  // 1: byte flags (621a); 2: 16-bit little-endian words
  int32_t RecordsOffset;
  int32_t Reserve;    // unit memory kept free besides the header
};

constexpr std::array<HeaderGeometry, 9> kHeaderGeometries{{
    {"Drv621", 2, 274, 2, 1, 178, 688},
    {"Drv632", 3, 774, 2, 2, 322, 224},
    {"Drv634", 4, 808, 4, 2, 356, 512},
    {"Drv6343", 5, 822, 6, 2, 358, 512},
    {"Drv6363", 6, 862, 6, 2, 486, 1376},
    {"Drv640", 7, 1310, 6, 2, 934, 1376},
    {"Drv843", 8, 2070, 6, 2, 1622, 1440},
    {"Drv851", 9, 750, 6, 2, 422, 1440},
    {"Drv852", 10, 976, 6, 2, 646, 1600},
}};

// The row of a driver index, or null when it is not a header driver.
const HeaderGeometry* HeaderGeometryOf(uint8_t driverIndex);

// A stored table is flagged by bit 2 of its position's flag field.
constexpr uint16_t kStoredFlag = 4;

void ReadTables(const HeaderGeometry& g);
void WriteTables(const HeaderGeometry& g);
void DeleteTables(const HeaderGeometry& g);
// Dispatches on the session's Operation; kResultBadOperation for an unknown one.
void RunDriver(const HeaderGeometry& g);
