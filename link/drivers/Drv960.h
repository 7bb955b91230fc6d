#pragma once
// The 96x units: written like the 853 with their own limits, in packing mode 0
// or, when a table is too rough for it and the unit accepts it, mode 1.
// Reads and deletes are the 853's.

#include <cstdint>

#include "link/Versions.h"

constexpr int32_t kDrv960Limit = 54320;  // "960 "
constexpr int32_t kDrv962Limit = 53632;  // "962 "

inline bool IsDrv960Index(uint8_t driverIndex) { return driverIndex >= kDrv960Index && driverIndex <= kDrv96XXIndex; }
// The write limit of a 96x driver index; 0 means "ask the unit".
int32_t Drv960Limit(uint8_t driverIndex);

void WriteTables960(int32_t limit);
void RunDrv960(uint8_t driverIndex);
