#pragma once
// The firmware versions the program knows: the version table with its ids,
// labels and driver indexes, and how the code a unit reports becomes an id.
// The session picks its driver by it; tgx-sim answers by it.

#include <cstdint>
#include <string>

// Version ids with a meaning of their own.
constexpr uint8_t kUntoldVersionId = 0;      // the unit does not tell its version ("5X0 ", no driver)
constexpr uint8_t kVersionId621a = 4;        // found by the probe, never asked its version
constexpr uint8_t kFirstRestartingId = 10;   // from this id on the unit restarts after a change
constexpr uint8_t kOpenEndedVersionId = 33;  // "96XX": also every code above the table's highest
constexpr uint8_t kUnknownVersionId = 34;    // no record

// Driver indexes of the version table: the header drivers, the 853, the 96x units.
constexpr uint8_t kFirstHeaderDriver = 2;
constexpr uint8_t kLastHeaderDriver = 10;
constexpr uint8_t kDrv853Index = 11;
constexpr uint8_t kDrv960Index = 12;   // "960 "
constexpr uint8_t kDrv962Index = 13;   // "962 "
constexpr uint8_t kDrv96XXIndex = 14;  // "96XX": the unit tells its memory
constexpr uint8_t kNoDriver = 15;      // the driver index of an id without a record

// Version table lookups, each by the first record that matches.
// A code without a record: kOpenEndedVersionId above the highest code of the
// table, else kUnknownVersionId.
uint8_t VersionIdOfCode(int32_t code);
std::string VersionLabel(uint8_t id);  // "?" for an id without a record
uint8_t DriverOfVersion(uint8_t id);   // kNoDriver for an id without a record

// The version code of the three bytes a unit answers the version query with:
// a * 1000 + b * 100 + c, c counting tens below 10. A unit that reports 6380
// is served as a 6320.
int32_t VersionCodeOfBytes(uint8_t a, uint8_t b, uint8_t c);
// Codes inside a firmware family's range all mean that family's table layout:
// 8530 to 9545 are 8530, 9600 to 9615 are 9600, 9620 to 9625 are 9620.
int32_t NormaliseVersionCode(int32_t code);
// The id of a unit that reports `code`: normalised, then looked up.
uint8_t VersionIdOfReportedCode(int32_t code);
