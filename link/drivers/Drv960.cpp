#include "link/drivers/Drv960.h"

#include "link/Codes.h"
#include "link/drivers/Drv632.h"
#include "link/drivers/Drv853.h"

int32_t Drv960Limit(uint8_t driverIndex) {
  switch (driverIndex) {
    case kDrv960Index: return kDrv960Limit;
    case kDrv962Index: return kDrv962Limit;
    default: return 0;
  }
}

void WriteTables960(int32_t limit) {
  SessionContext& s = Session();
  int32_t highestMode = 0;
  if (!ReadPackingModes(highestMode)) {
    // A unit that does not know request 8 takes mode 0 only.
    if (s.ResultCode != kResultNoDriver) return;
    highestMode = 0;
  }
  WriteTables853(0, limit, true);
  if (s.ResultCode == kStatusOk) return;
  // Mode 1 costs twice the bytes but holds any table with 16-bit steps; the
  // retry asks a "96XX" unit for its memory again.
  if (s.ResultCode == kResultPackError && highestMode >= 1) WriteTables853(1, limit, true);
}

void RunDrv960(uint8_t driverIndex) {
  if (Session().Operation == kOpWrite) WriteTables960(Drv960Limit(driverIndex));
  else RunDrv853();
}
